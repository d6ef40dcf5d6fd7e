// The image dialog's folders: paths joined without a doubled separator, which
// folders exist to be listed, and the folder the dialog starts in.
#include "dialogs/folders.h"
#include "gui/settingsfile.h"
#include "tests/support/support.h"

#include <QDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using Folders = DialogTest;

TEST(FolderPaths, rootFolderPathsHaveNoDoubledSeparator) {
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("a.bmp")), QStringLiteral("/a.bmp"));
    EXPECT_EQ(joinPath(QStringLiteral("/tmp/x"), QStringLiteral("a.bmp")),
              QStringLiteral("/tmp/x/a.bmp"));
    EXPECT_EQ(Add_Separator(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(Add_Separator(QStringLiteral("/tmp/x  ")), QStringLiteral("/tmp/x/"));
    EXPECT_EQ(Add_Separator(QStringLiteral("/tmp/x/")), QStringLiteral("/tmp/x/"));
}

TEST_F(Folders, folderExistsForListableFoldersOnly) {
    EXPECT_TRUE(Folder_Exists(dir.path()));
    EXPECT_TRUE(Folder_Exists(QStringLiteral("/")));
    EXPECT_FALSE(Folder_Exists(path(QStringLiteral("missing"))));
    const QString file = writeImage(QStringLiteral("a.bmp"), 2, 2);
    EXPECT_FALSE(Folder_Exists(file));
}

// An installed program once opened the dialog in its own bin folder.
TEST_F(Folders, installedProgramStartsInThePicturesFolderElseHome) {
    const QString pictures = path(QStringLiteral("Pictures"));
    ASSERT_TRUE(QDir().mkdir(pictures));
    const QString program = QStringLiteral("/usr/bin");
    const QString home = path(QStringLiteral("home"));
    const struct {
        const char* name;
        bool installed;
        QString pictures;
        QString expected;
    } cases[] = {
        {"notInstalled", false, pictures, program},
        {"installed", true, pictures, pictures},
        {"installedWithoutPicturesFolder", true, path(QStringLiteral("missing")), home},
        {"installedWithNoPicturesLocation", true, QString(), home},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startFolderFor(program, c.installed, c.pictures, home), c.expected) << c.name;
    // Here the program runs from the build, not installed.
    EXPECT_EQ(startFolder(), gui::appFolderName());
}

} // namespace
} // namespace velmora
