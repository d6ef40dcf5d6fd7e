// Every writer against every kind of destination: names as long as the system
// allows are written, a link is written through and stays, what is not a
// regular file is refused and left as it is, nothing is left behind, and the
// answer comes at once (a writer that opened a FIFO would wait here for ever).
#include "app/velmora_m.h"
#include "imageio/bitmapwriter.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "tests/app/window_fixture.h"
#include "tests/support/buildlibrary.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include <sys/stat.h>

using namespace velmora;

namespace {

const QImage kPicture = PhotoLikeImage(20, 10);

bool saved(const QString& p, SaveKind kind) {
    return SaveThrough({kPicture, 1.5}, p, kind).status == SaveStatus::Saved;
}
bool savedThroughHiddenBitmap(const QString& p) {
    JpegLibrary first(QStringLiteral(VELMORA_TEST_OLDER_LIBRARIES "/libvelmora_first"), false);
    return SaveThrough({kPicture, 1.5}, p, SaveKind::Jpeg, {}, &first).status == SaveStatus::Saved;
}
std::int32_t grey(void*, std::int32_t, std::int32_t rows, unsigned char* at, std::int64_t line) {
    std::memset(at, 0x80, static_cast<std::size_t>(rows * line));
    return 0;
}
bool rowsEntry(const QString& p) {
    return ConvertRowsToJPG(grey, nullptr, 20, 10, 3, nullptr, 0, QFile::encodeName(p).constData(),
                            90) == 0;
}

// Each writes kPicture (or the bitmap file source.bmp) to a path.
using Writer = std::pair<const char*, std::function<bool(const QString&)>>;
const Writer kWriters[] = {
    {"saveJpeg", [](const QString& p) { return saved(p, SaveKind::Jpeg); }},
    {"saveBitmap", [](const QString& p) { return saved(p, SaveKind::Bitmap); }},
    {"saveThroughHiddenBitmap", savedThroughHiddenBitmap},
    {"WriteBitmap", [](const QString& p) { return imageio::writeBitmap(kPicture, p); }},
    {"ConvertBMPtoJPG",
     [](const QString& p) {
         QByteArray destination = QFile::encodeName(p);
         return ConvertBMPtoJPG(QFile::encodeName(QFileInfo(p).path() + "/../source.bmp"),
                                destination.data(), -1, 100, -1) == 0;
     }},
    {"ConvertPixelsToJPG", [](const QString& p) { return WriteJpegOfPicture(kPicture, p); }},
    {"ConvertRowsToJPG", rowsEntry},
};

const QString kLong240 = QString(236, 'n') + ".jpg", kLong255 = QString(251, 'n') + ".jpg";

// The destination `file` in the empty folder out, made by a shell command
// there ($B is the 255-byte name); ../elsewhere is another empty folder.
struct Place {
    const char* name;
    const char* setup;
    QString file;
    bool written;
};
const Place kPlaces[] = {
    {"new240", "", kLong240, true},
    {"new255", "", kLong255, true},
    {"replaces255", "echo old >$B && chmod 640 $B", kLong255, true},
    {"linkToFile", "echo old >../elsewhere/t && chmod 640 ../elsewhere/t && ln -s ../elsewhere/t l",
     "l", true},
    {"danglingLink", "ln -s nowhere l", "l", false},
    {"fifo", "mkfifo f", "f", false},
    {"directory", "mkdir d", "d", false},
    {"socket", "python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('s')\"", "s", false},
    {"device", "mknod n c 1 3", "n", false}, // as root only
};

std::pair<mode_t, mode_t> typeAndMode(const QString& path, bool followLinks) {
    struct stat st {};
    (followLinks ? ::stat : ::lstat)(QFile::encodeName(path).constData(), &st);
    return {st.st_mode & S_IFMT, st.st_mode & 07777};
}

class Destinations : public SettingsFileTest,
                     public ::testing::WithParamInterface<std::tuple<Writer, Place>> {
  protected:
    void SetUp() override { SettingsFileTest::SetUp(); }
    QStringList names() const {
        const auto filter = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        return QDir(dir.filePath("out")).entryList(filter) +
               QDir(dir.filePath("elsewhere")).entryList(filter);
    }
};

TEST_P(Destinations, writesOrRefusesAtOnceAndLeavesNothingBehind) {
    const auto& [writer, place] = GetParam();
    const QString path = dir.filePath("out/" + place.file);
    ASSERT_TRUE(imageio::writeBitmap(kPicture, dir.filePath("source.bmp")) &&
                QDir(dir.path()).mkpath("out") && QDir(dir.path()).mkpath("elsewhere"));
    const QString shell =
        QStringLiteral("cd '%1' && B=%2 && %3").arg(dir.filePath("out"), kLong255);
    if (*place.setup && std::system(qPrintable(shell.arg(place.setup))) != 0)
        GTEST_SKIP() << place.name << " cannot be made here";
    const QStringList before = names();
    const auto was = typeAndMode(path, false), target = typeAndMode(path, true);
    const mode_t umask = ::umask(0);
    ::umask(umask);

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(writer.second(path), place.written);
    EXPECT_LT(timer.elapsed(), 1000);
    // The name keeps its kind (a new name is a regular file); a link's target
    // keeps its mode, a new file has a new file's.
    EXPECT_EQ(typeAndMode(path, false).first, was.first ? was.first : S_IFREG);
    EXPECT_EQ(names(), before.isEmpty() && place.written ? QStringList{place.file} : before);
    if (place.written) {
        EXPECT_EQ(typeAndMode(path, true),
                  std::make_pair(mode_t(S_IFREG), target.first ? target.second : 0666 & ~umask));
        EXPECT_GT(QFile(path).size(), 100); // the picture, no longer "old"
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, Destinations,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(kPlaces)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).first) + "_" +
                                    std::get<1>(info.param).name;
                         });

using ProgramSave = WindowTest;

// The program names the file and why, in its own words, and writes nothing.
TEST_F(ProgramSave, saysWhyADestinationIsRefused) {
    ASSERT_EQ(std::system(qPrintable("cd '" + dir.path() + "' && mkfifo f.jpg && mkdir d.bmp")), 0);
    const std::pair<const char*, const char*> cases[] = {
        {"f.jpg", "保存先は FIFO (名前付きﾊﾟｲﾌﾟ) で、通常のﾌｧｲﾙではありません。"},
        {"d.bmp", "保存先はﾌｫﾙﾀﾞで、通常のﾌｧｲﾙではありません。"}};
    QTemporaryDir sources;
    ASSERT_TRUE(kPicture.save(sources.filePath("picture.bmp"), "BMP"));
    QString answer;
    MainWindowHooks h = hooks();
    h.askSaveName = [&](const gui::SaveFileRequest&, QString* chosen) {
        *chosen = answer;
        return true;
    };
    velmora_m w(h);
    ASSERT_TRUE(w.openImage(sources.filePath("picture.bmp")));
    setScale(w, 20);
    w.m_kakudai_Click();
    for (const auto& [name, reason] : cases) {
        testkit::MessageCatcher message;
        answer = dir.filePath(name);
        w.m_save_Click(0);
        QTRY_COMPARE(message.text, "ﾌｧｲﾙを保存できませんでした。\n" + dir.filePath(name) + "\n" +
                                       QString::fromUtf8(reason));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              (QStringList{"d.bmp", "f.jpg", "velmora.ini"}));
}

} // namespace
