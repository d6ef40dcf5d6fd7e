#include "settings/settings.h"

#include "tests/support/tempfolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace velmora;
using testkit::ReadBytes;

namespace {

void writeAll(const std::string& path, const std::string& data) {
    ASSERT_TRUE(testkit::WriteBytes(path, data));
}

std::string readAll(const std::string& path) {
    return ReadBytes(path);
}

class SettingsFile : public ::testing::Test {
  protected:
    testkit::TempFolder dir;
    std::string file = dir.filePath("velmora.ini");
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
    std::string folder = "/home/";
    for (int i = 0; i < 98; ++i)
        folder += "画";
    ASSERT_EQ(folder.size(), 300u);
    Ini_Write(kSection, kKeyGetPath, folder, file);
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, file), folder);
}

TEST_F(SettingsFile, fileTooLargeToBeOursIsNeitherReadNorRewritten) {
    const std::string huge = "[Section]\nScale= 30\n" + std::string(1 << 20, ';');
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
    const std::string folder = "/home/利用者/画像 フォルダ/ﾃｽﾄ";
    Ini_Write(kSection, kKeyPutPath, folder, file);
    EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, file), folder);
}

TEST_F(SettingsFile, garbageFileIsReadWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 5000; ++i)
        junk.push_back(static_cast<char>((i * 7919) % 256));
    writeAll(file, junk + "\n[Section]\nScale=40\n");
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, file), "40");
}

TEST_F(SettingsFile, failedWritesChangeNothingOnDisk) {
    // A read-only file.
    writeAll(file, "[Section]\nScale= 20\n");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_FALSE(Ini_Write(kSection, kKeyScale, " 50", file));
    EXPECT_EQ(readAll(file), "[Section]\nScale= 20\n");

    // A folder that cannot be written: here one whose parent is a plain file.
    const std::string blocker = dir.filePath("not-a-folder");
    writeAll(blocker, "x");
    EXPECT_FALSE(Ini_Write(kSection, kKeyScale, " 50", blocker + "/velmora.ini"));
    EXPECT_EQ(readAll(blocker), "x");
    // No temporary file is left behind by any write.
    const auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);
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
        EXPECT_EQ(scaleFromText(c.text), c.expected) << c.text;
}

TEST(SettingsLocation, besideTheProgramUnlessInstalledOrUnwritable) {
    testkit::TempFolder dir;
    const std::string config = dir.filePath("config");
    std::filesystem::create_directories(dir.filePath("build/bin"));
    EXPECT_EQ(settingsFileFor(dir.filePath("build/bin"), config),
              dir.filePath("build/bin/velmora.ini"));

    // An installed layout: bin beside share/applications/velmora.desktop.
    std::filesystem::create_directories(dir.filePath("prefix/bin"));
    ASSERT_TRUE(testkit::WriteBytes(dir.filePath("prefix/share/applications/velmora.desktop"), ""));
    EXPECT_EQ(settingsFileFor(dir.filePath("prefix/bin"), config), config + "/velmora/velmora.ini");

    // A folder that cannot be written (here: one that is not there at all).
    EXPECT_EQ(settingsFileFor(dir.filePath("gone"), config), config + "/velmora/velmora.ini");
}

TEST(SettingsLocation, installedIsADesktopEntryBesideOrAnUnwritableFolderWithoutSettings) {
    testkit::TempFolder dir;
    std::filesystem::create_directories(dir.filePath("build/bin"));
    std::filesystem::create_directories(dir.filePath("prefix/bin"));
    ASSERT_TRUE(testkit::WriteBytes(dir.filePath("prefix/share/applications/velmora.desktop"), ""));
    const struct {
        const char* folder;
        bool installed;
    } cases[] = {{"build/bin", false}, {"prefix/bin", true}, {"gone", true}};
    for (const auto& c : cases)
        EXPECT_EQ(isInstalledProgram(dir.filePath(c.folder)), c.installed) << c.folder;
}
