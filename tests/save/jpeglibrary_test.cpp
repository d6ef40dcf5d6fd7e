// The conversion library as the save finds and uses it: its refusals said in
// words, found again once installed after a failed save, and found where it is
// installed by the name of its major version.
#include "libvelmora/statuswords.h"
#include "libvelmora/velmora.h"
#include "save/jpeglibrary.h"
#include "tests/save/save_fixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace velmora;

namespace {

// The library's status was once shown as a bare number.
TEST_F(Saving, theLibrarysRefusalIsShownInWords) {
    const QString notABitmap = dir.filePath("text.bmp");
    ASSERT_TRUE(WriteTestFile(notABitmap, "no bitmap here"));
    std::string error;
    ASSERT_TRUE(library.load());
    EXPECT_EQ(library.convertBitmap(Bytes(notABitmap), Bytes(dir.filePath("out.jpg")), &error), -3);
    EXPECT_TRUE(Contains(error, "ﾋﾞｯﾄﾏｯﾌﾟではありません")) << error;
}

// The library's words once wrote "ファイル" where every caption has "ﾌｧｲﾙ".
TEST(StatusWords, useTheHalfWidthKatakanaOfTheCaptions) {
    std::vector<int> statuses = {12345}; // one the table does not know
    for (const jpeg::StatusWords& words : jpeg::kStatusWords)
        statuses.push_back(words.status);
    for (int status : statuses) {
        const QString text = QString::fromStdString(jpegStatusText(status));
        const bool fullWidth = std::any_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0x30A0 && c.unicode() <= 0x30FF;
        });
        EXPECT_FALSE(fullWidth) << status << " " << text.toStdString();
    }
    EXPECT_EQ(jpegStatusText(VELMORA_E_OUT_OF_MEMORY), "ﾒﾓﾘが足りません。");
}

// The library's absence was once remembered for the rest of the run.
TEST_F(Saving, libraryInstalledAfterAFailedSaveIsFoundAtTheNext) {
    const QString folder = dir.filePath("lib");
    ASSERT_TRUE(QDir().mkpath(folder));
    library = JpegLibrary(Bytes(folder), false);
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), 0};
    EXPECT_NE(save(recipe, dir.filePath("first.jpg"), SaveKind::Jpeg).status, SaveStatus::Saved);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_TEST_BIN "/libvelmora.so.1"),
                            folder + "/libvelmora.so.1"));
    const SaveResult second = save(recipe, dir.filePath("second.jpg"), SaveKind::Jpeg);
    EXPECT_EQ(second.status, SaveStatus::Saved) << second.error;
    EXPECT_FALSE(QImage(dir.filePath("second.jpg")).isNull());
}

// An installed program finds the library installed with it, under any prefix,
// by the name of its major version; never the development link alone, which
// could be a newer, incompatible library.
TEST_F(Saving, theLibraryIsFoundWhereItIsInstalledByItsSoname) {
    struct Case {
        const char* name;
        QString folder; // relative to the program's folder
        const char* file;
        bool saved;
    } cases[] = {
        {"beside the program, as in the build tree", QStringLiteral("."), "libvelmora.so.1", true},
        {"in the installed library folder", QStringLiteral(VELMORA_LIBDIR_FROM_BINDIR),
         "libvelmora.so.1", true},
        {"only the development link", QStringLiteral("."), "libvelmora.so", false},
        {"in a folder the program does not use", QStringLiteral("../lib/other"), "libvelmora.so.1",
         false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString prefix = dir.filePath(QStringLiteral("prefix%1").arg(n++));
        const QString libraryFolder = prefix + "/bin/" + c.folder;
        ASSERT_TRUE(QDir().mkpath(libraryFolder) && QDir().mkpath(prefix + "/bin"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_TEST_BIN "/libvelmora.so.1"),
                                libraryFolder + "/" + c.file));
        library = JpegLibrary(Bytes(prefix + "/bin"), false);
        const QString jpeg = prefix + "/out.jpg";
        const SaveResult result = save({Pic(PhotoLikeImage(61, 47)), 0}, jpeg, SaveKind::Jpeg);
        EXPECT_EQ(result.status == SaveStatus::Saved, c.saved) << c.name << ": " << result.error;
        EXPECT_EQ(QFile::exists(jpeg), c.saved) << c.name;
    }
}

} // namespace
