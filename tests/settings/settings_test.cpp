#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace velmora;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

class SettingsFile : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString file = dir.filePath("velmora.ini");
};

} // namespace

TEST_F(SettingsFile, missingFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "");
    writeAll(file, "[Other]\nScale= 30\n[Section]\nPut_Path=/tmp\n");
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "");
    EXPECT_EQ(Ini_Read("Missing", kKeyPutPath, file), "");
}

TEST_F(SettingsFile, firstWriteCreatesFileAndSectionAndScaleReadsBack) {
    EXPECT_TRUE(Ini_Write(kSection, kKeyScale, scaleToText(12), file));
    EXPECT_EQ(readAll(file), "[Section]\nScale= 12\n");
    EXPECT_EQ(scaleFromText(Ini_Read(kSection, kKeyScale, file)), 12);
}

// A remembered folder longer than 255 bytes used to come back cut, and the image
// dialog then lost it.
TEST_F(SettingsFile, longUtf8ValueReadsBackWhole) {
    const QString folder = QStringLiteral("/home/") + QString(98, QChar(0x753B)); // 画
    ASSERT_EQ(folder.toUtf8().size(), 300);
    Ini_Write(kSection, kKeyGetPath, folder, file);
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, file), folder);
}

TEST_F(SettingsFile, fileTooLargeToBeOursIsNeitherReadNorRewritten) {
    const QByteArray huge = "[Section]\nScale= 30\n" + QByteArray(1 << 20, ';');
    writeAll(file, huge);
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "");
    EXPECT_FALSE(Ini_Write(kSection, kKeyScale, " 40", file));
    EXPECT_EQ(readAll(file), huge);
}

TEST_F(SettingsFile, sectionsAndKeysMatchWithoutRegardToCaseAndBlanksAreTrimmed) {
    writeAll(file, "[SECTION]\n  scale =   25  \n");
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "25");
    Ini_Write(kSection, kKeyScale, " 30", file);
    EXPECT_EQ(readAll(file), "[SECTION]\nScale= 30\n");
}

TEST_F(SettingsFile, otherSectionsKeysAndLinesAreKept) {
    writeAll(file, "; written by hand\n[Other]\nScale=7\n\n[Section]\nGet_Path=/a\nextra line\n"
                   "[Tail]\nx=1\n");
    Ini_Write(kSection, kKeyScale, " 25", file);
    Ini_Write(kSection, kKeyGetPath, "/b", file);
    EXPECT_EQ(readAll(file), "; written by hand\n[Other]\nScale=7\n\n[Section]\nGet_Path=/b\n"
                             "extra line\nScale= 25\n[Tail]\nx=1\n");
    EXPECT_EQ(Ini_Read("Other", kKeyScale, file), "7");
}

TEST_F(SettingsFile, japaneseFolderNamesSurvive) {
    const QString folder = QStringLiteral("/home/利用者/画像 フォルダ/ﾃｽﾄ");
    Ini_Write(kSection, kKeyPutPath, folder, file);
    EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, file), folder);
}

TEST_F(SettingsFile, garbageFileIsReadWithoutHarm) {
    QByteArray junk;
    for (int i = 0; i < 5000; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    writeAll(file, junk + "\n[Section]\nScale=40\n");
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "40");
}

TEST_F(SettingsFile, failedWritesChangeNothingOnDisk) {
    // A read-only file.
    writeAll(file, "[Section]\nScale= 20\n");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    EXPECT_FALSE(Ini_Write(kSection, kKeyScale, " 50", file));
    EXPECT_EQ(readAll(file), "[Section]\nScale= 20\n");

    // A folder that cannot be written: here one whose parent is a plain file.
    const QString blocker = dir.filePath("not-a-folder");
    writeAll(blocker, "x");
    EXPECT_FALSE(Ini_Write(kSection, kKeyScale, " 50", blocker + "/velmora.ini"));
    EXPECT_EQ(readAll(blocker), "x");
    // No temporary file is left behind by any write.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(ScaleText, writtenWithABlankForTheSign) {
    EXPECT_EQ(scaleToText(12), " 12");
    EXPECT_EQ(scaleToText(100), " 100");
}

TEST(ScaleText, unusableValuesFallBackToTheDefault) {
    struct Case {
        const char* text;
        std::int16_t expected;
    } cases[] = {
        {" 12", 12},   {"12.7", 12}, {"  25  ", 25}, {"100", 100},  {"32767", 32767},
        {"abc", 12},   {"", 12},     {"0", 12},      {"-5", 12},    {"0.5", 12},
        {"32768", 12}, {"1e9", 12},  {"nan", 12},    {"12abc", 12}, {"-32768", 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleFromText(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(SettingsLocation, besideTheProgramUnlessInstalledOrUnwritable) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    QDir(dir.path()).mkpath("build/bin");
    EXPECT_EQ(settingsFileFor(dir.filePath("build/bin"), config),
              dir.filePath("build/bin/velmora.ini"));

    // An installed layout: bin beside share/applications/velmora.desktop.
    QDir(dir.path()).mkpath("prefix/bin");
    QDir(dir.path()).mkpath("prefix/share/applications");
    QFile desktop(dir.filePath("prefix/share/applications/velmora.desktop"));
    ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
    desktop.close();
    EXPECT_EQ(settingsFileFor(dir.filePath("prefix/bin"), config), config + "/velmora/velmora.ini");

    // A folder that cannot be written (here: one that is not there at all).
    EXPECT_EQ(settingsFileFor(dir.filePath("gone"), config), config + "/velmora/velmora.ini");
}

TEST(SettingsLocation, installedIsADesktopEntryBesideOrAnUnwritableFolderWithoutSettings) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("build/bin");
    QDir(dir.path()).mkpath("prefix/bin");
    QDir(dir.path()).mkpath("prefix/share/applications");
    QFile desktop(dir.filePath("prefix/share/applications/velmora.desktop"));
    ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
    desktop.close();
    const struct {
        const char* folder;
        bool installed;
    } cases[] = {{"build/bin", false}, {"prefix/bin", true}, {"gone", true}};
    for (const auto& c : cases)
        EXPECT_EQ(isInstalledProgram(dir.filePath(c.folder)), c.installed) << c.folder;
}
