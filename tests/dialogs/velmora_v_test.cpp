// The image dialog: the files it lists and previews, the folders and drives it
// moves between, what it hands over and how it is left, its keys, its tab
// order and the names a screen reader reads.
#include "tests/dialogs/dialogs_fixture.h"

#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/folderlist.h"
#include "dialogs/folders.h"
#include "dialogs/pictureholder.h"
#include "dialogs/velmora_v.h"
#include "gui/backgroundwork.h"
#include "gui/filenames.h"
#include "gui/settingsfile.h"
#include "gui/surface.h"
#include "gui/twips.h"
#include "platform/drives.h"
#include "settings/settings.h"
#include "tests/support/badimages.h"
#include "tests/support/caseprint.h"
#include "tests/support/fakememory.h"
#include "tests/support/fifowatch.h"
#include "tests/support/jpegfiles.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

QString cleanAppFolder() {
    return QDir::cleanPath(gui::appFolderName());
}

class ImageDialogTest : public DialogTest {
  protected:
    // Opens the dialog on the test folder.
    void SetUp() override {
        DialogTest::SetUp();
        remembered = dir.path();
    }
    // The folder the dialogs of the test open on, as the main window
    // remembers it.
    QString remembered;
    QStringList fileNames(velmora_v& dialog) const {
        QStringList names;
        for (int i = 0; i < dialog.File1()->count(); ++i)
            names << dialog.File1()->item(i)->text();
        return names;
    }
    // Whether every pixel of the preview has the window colour.
    static bool previewBlank(velmora_v& dialog) {
        const QColor window = QApplication::palette().color(QPalette::Base);
        const QImage& image = dialog.Pic_K()->image();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != window.rgb())
                    return false;
        return true;
    }
};

using velmora_test::PrintTo;

struct PreviewCase {
    const char* name;
    int width;
    int height;
    int previewWidth;
    int previewHeight;
};

class PreviewTest : public ImageDialogTest, public ::testing::WithParamInterface<PreviewCase> {};

TEST_P(PreviewTest, sizeTextAndFittedPreview) {
    const PreviewCase& c = GetParam();
    const QString file = writeImage(QStringLiteral("picture.bmp"), c.width, c.height);
    velmora_v dialog(remembered);
    dialog.show();
    EXPECT_FALSE(dialog.Cmd_Sel()->IsEnabled());
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("picture.bmp")));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("%1 * %2").arg(c.width).arg(c.height));
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(c.previewWidth, c.previewHeight));
    // An empty preview has no retained image at all.
    EXPECT_EQ(dialog.Pic_K()->image().size(),
              c.previewHeight > 0 ? QSize(c.previewWidth, c.previewHeight) : QSize(0, 0));
    EXPECT_TRUE(dialog.Pic_K()->isVisible());
    EXPECT_TRUE(dialog.Cmd_Sel()->IsEnabled());
    EXPECT_EQ(dialog.View_File(), file);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    if (c.previewHeight > 0) {
        EXPECT_EQ(dialog.Pic_K()->image().pixel(0, 0), qRgb(40, 120, 200));
    }
}

INSTANTIATE_TEST_SUITE_P(cases, PreviewTest,
                         ::testing::Values(PreviewCase{"landscape", 640, 480, 100, 75},
                                           PreviewCase{"portrait", 480, 640, 75, 100},
                                           PreviewCase{"square", 50, 50, 100, 100},
                                           // 66.67 rounds to 67.
                                           PreviewCase{"thirds", 300, 200, 100, 67},
                                           // 12.5 rounds to even, 12.
                                           PreviewCase{"halfRoundsToEven", 800, 100, 100, 12},
                                           // 0.3 rounds to 0: nothing is drawn.
                                           PreviewCase{"veryWide", 1000, 3, 100, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageDialogTest, previewRepeatsAndDropsWholePixelsWithoutBlending) {
    // One-pixel stripes of two colours: any blending would give a third colour.
    QImage stripes(333, 250, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y)
        for (int x = 0; x < stripes.width(); ++x)
            stripes.setPixel(x, y, ((x + y) % 2) ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    ASSERT_TRUE(stripes.save(path(QStringLiteral("stripes.bmp"))));
    QImage tiny(3, 2, QImage::Format_RGB32);
    tiny.fill(qRgb(0, 255, 0));
    tiny.setPixel(1, 0, qRgb(9, 9, 9));
    ASSERT_TRUE(tiny.save(path(QStringLiteral("tiny.bmp"))));

    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("stripes.bmp")));
    const QImage shrunk = dialog.Pic_K()->image();
    ASSERT_EQ(shrunk.size(), QSize(100, 75));
    int red = 0, blue = 0;
    for (int y = 0; y < shrunk.height(); ++y) {
        for (int x = 0; x < shrunk.width(); ++x) {
            const QRgb p = shrunk.pixel(x, y);
            ASSERT_TRUE(p == qRgb(255, 0, 0) || p == qRgb(0, 0, 255)) << x << "," << y;
            (p == qRgb(255, 0, 0) ? red : blue)++;
        }
    }
    EXPECT_GT(red, 0);
    EXPECT_GT(blue, 0);

    // Enlarged, each source pixel becomes a block of one colour.
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("tiny.bmp")));
    const QImage grown = dialog.Pic_K()->image();
    ASSERT_EQ(grown.size(), QSize(100, 67));
    for (int y = 0; y < grown.height(); ++y) {
        for (int x = 0; x < grown.width(); ++x) {
            const bool dark = x >= 33 && x < 67 && y < 33;
            ASSERT_EQ(grown.pixel(x, y), dark ? qRgb(9, 9, 9) : qRgb(0, 255, 0)) << x << "," << y;
        }
    }
}

TEST_F(ImageDialogTest, listsImagesOnlyCaseIgnoredAndSorted) {
    for (const char* name : {"b.BMP", "PHOTO.JPG", "a.jpeg", "c.png", "d.txt", ".hidden.bmp"}) {
        QFile file(path(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QDir(dir.path()).mkdir(QStringLiteral("sub.bmp"));
    velmora_v dialog(remembered);
    EXPECT_EQ(fileNames(dialog), (QStringList{QStringLiteral("a.jpeg"), QStringLiteral("b.BMP"),
                                              QStringLiteral("PHOTO.JPG")}));
    ASSERT_EQ(dialog.Combo_Kind()->count(), 1);
    EXPECT_EQ(dialog.Combo_Kind()->currentText(), QStringLiteral("*.bmp;*.jpg;*.jpeg"));
    EXPECT_EQ(dialog.File1()->pattern(), QStringLiteral("*.bmp;*.jpg;*.jpeg"));
    EXPECT_EQ(dialog.Dir1()->path(), dir.path());
    EXPECT_EQ(dialog.File1()->path(), dir.path());
    EXPECT_TRUE(dialog.lbl_Size()->text().isEmpty());
    EXPECT_TRUE(dialog.View_File().isEmpty());
}

TEST_F(ImageDialogTest, rootFolderPathsHaveNoDoubledSeparator) {
    remembered = QStringLiteral("/");
    velmora_v dialog(remembered);
    dialog.show();
    EXPECT_EQ(dialog.Dir1()->path(), QStringLiteral("/"));
    EXPECT_EQ(dialog.File1()->path(), QStringLiteral("/"));
    EXPECT_EQ(dialog.Drive1()->currentText(), QStringLiteral("/"));
    ClickButton(dialog.Cmd_Can());
    EXPECT_EQ(dialog.folder(), QStringLiteral("/"));
}

class StartFolderTest : public ImageDialogTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(StartFolderTest, unusableStoredFolderFallsBackToTheProgramFolder) {
    const std::string kind = GetParam();
    remembered.clear();
    if (kind == "empty") {
        remembered = QString();
    } else if (kind == "vanished") {
        const QString gone = path(QStringLiteral("gone"));
        ASSERT_TRUE(QDir().mkdir(gone));
        remembered = gone;
        ASSERT_TRUE(QDir().rmdir(gone));
    }
    velmora_v dialog(remembered);
    EXPECT_EQ(dialog.Dir1()->path(), cleanAppFolder());
    EXPECT_EQ(dialog.File1()->path(), cleanAppFolder());
    EXPECT_EQ(dialog.Drive1()->currentText(),
              gui::nameFromBytes(platform::driveOfFolder(gui::pathBytes(cleanAppFolder()),
                                                         platform::mountedDrives())));
}

INSTANTIATE_TEST_SUITE_P(kinds, StartFolderTest, ::testing::Values("missing", "empty", "vanished"),
                         velmora_test::WordName());

class LeaveTest : public ImageDialogTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LeaveTest, leavingWithoutSelectStoresTheFolderShownAndChoosesNothing) {
    writeImage(QStringLiteral("a.bmp"), 20, 10);
    const QString sub = path(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkdir(sub));
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("a.bmp")));
    ASSERT_TRUE(DoubleClickItem(dialog.Dir1(), QStringLiteral("sub")));
    ASSERT_EQ(dialog.Dir1()->path(), sub);
    if (std::string(GetParam()) == "cancel")
        ClickButton(dialog.Cmd_Can());
    else
        dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.chosenFile().isEmpty());
    EXPECT_EQ(dialog.folder(), sub);
}

INSTANTIATE_TEST_SUITE_P(ways, LeaveTest, ::testing::Values("cancel", "closeBox"),
                         velmora_test::WordName());

TEST_F(ImageDialogTest, selectHandsOverThePreviewedFileAfterTheFolderChanged) {
    const QString file = writeImage(QStringLiteral("first.jpg"), 64, 48);
    const QString sub = path(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkdir(sub));
    QImage(5, 5, QImage::Format_RGB32).save(sub + QStringLiteral("/other.bmp"));
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("first.jpg")));
    // A single click in the folder list only marks the entry.
    ASSERT_TRUE(ClickItem(dialog.Dir1(), QStringLiteral("sub")));
    EXPECT_EQ(dialog.Dir1()->path(), dir.path());
    // Enter opens it; the file list follows, the preview stays.
    QTest::keyClick(dialog.Dir1(), Qt::Key_Return);
    EXPECT_EQ(dialog.Dir1()->path(), sub);
    EXPECT_EQ(fileNames(dialog), QStringList{QStringLiteral("other.bmp")});
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("64 * 48"));
    EXPECT_TRUE(dialog.Cmd_Sel()->IsEnabled());
    ClickButton(dialog.Cmd_Sel());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.chosenFile(), file);
    EXPECT_EQ(dialog.folder(), sub);
}

// Taking the focus used to make the first entry current, so a first click on
// it raised no Click and showed no preview.
TEST_F(ImageDialogTest, firstClickOnTheFirstFileAfterFocusPreviewsIt) {
    writeImage(QStringLiteral("a.bmp"), 40, 20);
    writeImage(QStringLiteral("b.bmp"), 20, 40);
    velmora_v dialog(remembered);
    dialog.show();
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(dialog.File1(), &focusIn);
    EXPECT_TRUE(dialog.File1()->fileName().isEmpty());
    EXPECT_TRUE(dialog.View_File().isEmpty());
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("a.bmp")));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("40 * 20"));
}

TEST_F(ImageDialogTest, disabledSelectButtonDoesNothing) {
    velmora_v dialog(remembered);
    dialog.show();
    ClickButton(dialog.Cmd_Sel());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.chosenFile().isEmpty());
}

// An undecodable file used to leave the last picture's size and preview on show.
TEST_F(ImageDialogTest, undecodableFileShowsEmptyPreviewAndNoSize) {
    writeImage(QStringLiteral("good.bmp"), 640, 480);
    QFile bad(path(QStringLiteral("bad.jpg")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is no picture at all");
    bad.close();
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("good.bmp")));
    ASSERT_EQ(dialog.lbl_Size()->text(), QStringLiteral("640 * 480"));
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("bad.jpg")));
    EXPECT_TRUE(dialog.lbl_Size()->text().isEmpty());
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(100, 100));
    EXPECT_TRUE(previewBlank(dialog));
    EXPECT_TRUE(dialog.Pic_F()->picture().isNull());
    EXPECT_EQ(dialog.View_File(), path(QStringLiteral("bad.jpg")));
    EXPECT_TRUE(dialog.Cmd_Sel()->IsEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ImageDialogTest, hundredMegapixelPictureOpens) {
    QImage big(10000, 10000, QImage::Format_RGB32);
    ASSERT_FALSE(big.isNull());
    big.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(big.save(path(QStringLiteral("big.jpg")), "JPG", 50));
    big = QImage();
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("big.jpg")));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("10000 * 10000"));
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(100, 100));
}

// A header claiming a picture far larger than memory used to be decoded anyway.
TEST_F(ImageDialogTest, pictureTooBigForMemoryFailsLikeAnUndecodableOne) {
    QFile file(path(QStringLiteral("huge.jpg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(testkit::LyingJpeg(65000, 65000)); // 17 GB decoded
    file.close();
    testkit::PretendMemoryLeft(path(QStringLiteral("memory")), 8LL << 30);
    const std::unique_ptr<void, void (*)(void*)> stop(
        this, [](void*) { testkit::StopPretendingMemory(); });
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("huge.jpg")));
    EXPECT_TRUE(dialog.lbl_Size()->text().isEmpty());
    EXPECT_TRUE(previewBlank(dialog));
    EXPECT_TRUE(dialog.Cmd_Sel()->IsEnabled());
}

TEST_F(ImageDialogTest, drivePickedMovesTheFolderAndFileLists) {
    const QString drive = dir.path();
    writeImage(QStringLiteral("x.bmp"), 4, 4);
    platform::setDriveListForTest(std::vector<std::string>{"/", gui::pathBytes(drive)});
    remembered = QStringLiteral("/");
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_EQ(dialog.Drive1()->currentText(), QStringLiteral("/"));
    QTest::keyClick(dialog.Drive1(), Qt::Key_Down);
    EXPECT_EQ(dialog.Drive1()->currentText(), drive);
    EXPECT_EQ(dialog.Dir1()->path(), drive);
    EXPECT_EQ(fileNames(dialog), QStringList{QStringLiteral("x.bmp")});
}

TEST_F(ImageDialogTest, driveNotReadyIsReportedOnceAndTheDriveListGoesBack) {
    const QString gone = path(QStringLiteral("unmounted"));
    platform::setDriveListForTest(std::vector<std::string>{"/", gui::pathBytes(gone)});
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_EQ(dialog.Drive1()->currentText(), QStringLiteral("/"));
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    const int shown = AnswerMessageBoxes([&] { QTest::keyClick(dialog.Drive1(), Qt::Key_Down); },
                                         [&](QMessageBox* box) {
                                             text = box->text();
                                             title = box->windowTitle();
                                             icon = box->icon();
                                             buttons = box->standardButtons();
                                         });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(text, QStringLiteral("ﾄﾞﾗｲﾌﾞ") + gone + QStringLiteral(" は、準備されていません。"));
    EXPECT_EQ(title, QStringLiteral("Vantorel"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(dialog.Drive1()->currentText(), QStringLiteral("/"));
    EXPECT_EQ(dialog.Dir1()->path(), dir.path());
}

// Lets the superuser see a folder as another user would while it lives.
struct UnprivilegedWhileAlive {
    const bool dropped = ::geteuid() == 0 && ::seteuid(65534) == 0; // nobody
    ~UnprivilegedWhileAlive() {
        if (dropped) {
            EXPECT_EQ(::seteuid(0), 0);
        }
    }
};

TEST_F(ImageDialogTest, unreadableDriveReportsTheErrorOnTwoLinesWithRetryAndCancel) {
    const QString locked = path(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    platform::setDriveListForTest(std::vector<std::string>{"/", gui::pathBytes(locked)});
    velmora_v dialog(remembered);
    dialog.show();
    QString text;
    QMessageBox::StandardButtons buttons;
    int shownLines = 0;
    {
        UnprivilegedWhileAlive nobody;
        AnswerMessageBoxes([&] { QTest::keyClick(dialog.Drive1(), Qt::Key_Down); },
                           [&](QMessageBox* box) {
                               text = box->text();
                               buttons = box->standardButtons();
                               auto* label = box->findChild<QLabel*>("qt_msgbox_label");
                               ASSERT_NE(label, nullptr);
                               shownLines =
                                   label->sizeHint().height() / label->fontMetrics().lineSpacing();
                           });
    }
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The line break was once a carriage return, which the box showed as a blank.
    EXPECT_EQ(text, QStringLiteral("velmora: &H46\nｱｸｾｽが拒否されました。"));
    EXPECT_EQ(shownLines, 2);
    EXPECT_EQ(buttons, QMessageBox::Retry | QMessageBox::Cancel);
    EXPECT_EQ(dialog.Drive1()->currentText(), QStringLiteral("/"));
}

TEST_F(ImageDialogTest, opensAtTheDesignedSizeAndPlace) {
    velmora_v dialog(remembered);
    EXPECT_EQ(dialog.size(), QSize(489, 261));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("画像の選択"));
    EXPECT_EQ(dialog.Cmd_Sel()->Caption(), QStringLiteral("選択"));
    EXPECT_EQ(dialog.Cmd_Can()->Caption(), QStringLiteral("ｷｬﾝｾﾙ"));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int left = placeCoordinate(pixelsToTwips(screen.width()), 7410, 2);
    const int top = placeCoordinate(pixelsToTwips(screen.height()), 4380, 3);
    EXPECT_EQ(dialog.pos(), QPoint(twipsToPixelsNearest(left), twipsToPixelsNearest(top)));
}

// Holds back the decodes of previews while it lives, then lets them go and
// waits for them: a test sees the dialog while a decode is under way.
struct HeldDecodes {
    HeldDecodes() { gui::holdBackgroundWorkForTest(true); }
    ~HeldDecodes() {
        gui::holdBackgroundWorkForTest(false);
        SettleBackgroundWork();
    }
};

class PreviewWorkTest : public ImageDialogTest {
  protected:
    void SetUp() override {
        ImageDialogTest::SetUp();
        ASSERT_TRUE(
            WriteTestFile(path("big.jpg"), testkit::EncodeJpeg(testkit::Colourful(1600, 1200),
                                                               testkit::JpegKind::Progressive420)));
    }
};

// A large JPEG's preview once held the dialog for seconds.
TEST_F(PreviewWorkTest, aSecondClickSupersedesTheDecodeUnderWay) {
    writeImage(QStringLiteral("small.bmp"), 30, 20);
    velmora_v dialog(remembered);
    dialog.show();
    {
        HeldDecodes held;
        ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("big.jpg"), false));
        EXPECT_TRUE(dialog.previewPending());
        EXPECT_TRUE(dialog.Cmd_Sel()->IsEnabled());
        ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("small.bmp"), false));
    }
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("30 * 20"));
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(100, 67));
    EXPECT_TRUE(dialog.Pic_K()->isVisible());
}

TEST_F(PreviewWorkTest, cancelAndTheCloseBoxNeverWaitForTheDecode) {
    for (const bool closeBox : {false, true}) {
        HeldDecodes held; // the decode does not even start before the dialog is gone
        velmora_v dialog(remembered);
        dialog.show();
        ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("big.jpg"), false));
        closeBox ? (void)dialog.close() : ClickButton(dialog.Cmd_Can());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.chosenFile().isEmpty());
    }
}

TEST_F(PreviewWorkTest, largeJpegIsPreviewedFromAReducedDecodeWithItsWholeUprightSize) {
    ASSERT_TRUE(
        WriteTestFile(path("turned.jpg"),
                      testkit::WithSegment(testkit::EncodeJpeg(testkit::Colourful(640, 480),
                                                               testkit::JpegKind::Baseline420),
                                           0xE1, testkit::ExifOrientationBlock(6))));
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("big.jpg")));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("1600 * 1200"));
    EXPECT_EQ(dialog.Pic_F()->picture().size(), QSize(200, 150)); // 1/8
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(100, 75));
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("turned.jpg")));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("480 * 640"));
    EXPECT_EQ(dialog.Pic_K()->size(), QSize(75, 100));
}

// A link to a FIFO was listed and a click on it froze the dialog; a name that
// is not UTF-8 was missing.
TEST_F(ImageDialogTest, listsRegularFilesByTheirNamesAsBytesAndNothingElse) {
    const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xE9.bmp";
    const QString made = writeImage(QStringLiteral("x.bmp"), 8, 6);
    ASSERT_EQ(std::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
    writeImage(QStringLiteral("swapped.jpg"), 4, 4);
    const testkit::FifoWatch fifo(path(QStringLiteral("fifo.jpg")));
    const char* links[][2] = {{"swapped.jpg", "link.jpg"},
                              {"fifo.jpg", "pipe.bmp"},
                              {"/dev/zero", "zero.bmp"},
                              {"gone.jpg", "broken.jpg"}};
    for (const auto& [target, link] : links)
        ASSERT_TRUE(QFile::link(QDir(dir.path()).absoluteFilePath(QString::fromUtf8(target)),
                                path(QString::fromUtf8(link))));
    velmora_v dialog(remembered);
    dialog.show();
    const QString shown = QStringLiteral("caf\uFFFD.bmp");
    EXPECT_EQ(fileNames(dialog),
              (QStringList{shown, QStringLiteral("link.jpg"), QStringLiteral("swapped.jpg")}));
    ASSERT_TRUE(ClickItem(dialog.File1(), shown));
    EXPECT_EQ(dialog.lbl_Size()->text(), QStringLiteral("8 * 6"));
    // A file swapped for a FIFO after the list was made previews nothing.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("swapped.jpg"))));
    const testkit::FifoWatch swapped(path(QStringLiteral("swapped.jpg")));
    ASSERT_TRUE(ClickItem(dialog.File1(), QStringLiteral("swapped.jpg")));
    EXPECT_TRUE(dialog.lbl_Size()->text().isEmpty());
    ASSERT_TRUE(ClickItem(dialog.File1(), shown));
    ClickButton(dialog.Cmd_Sel());
    EXPECT_EQ(gui::nameToBytes(dialog.chosenFile()), raw);
    EXPECT_FALSE(fifo.someoneWaited() || swapped.someoneWaited());
    ::unlink(raw.constData()); // QTemporaryDir takes names as text: it cannot remove it
}

// A folder whose name is not UTF-8 was listed under a name that led nowhere.
TEST_F(ImageDialogTest, opensAFolderByItsNameAsBytes) {
    const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xE9";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QString made = writeImage(QStringLiteral("x.bmp"), 8, 6);
    ASSERT_EQ(std::rename(QFile::encodeName(made).constData(), (folder + "/x.bmp").constData()), 0);
    velmora_v dialog(remembered);
    dialog.show();
    ASSERT_TRUE(DoubleClickItem(dialog.Dir1(), QStringLiteral("d\uFFFD")));
    EXPECT_EQ(gui::nameToBytes(dialog.Dir1()->path()), folder);
    EXPECT_EQ(fileNames(dialog), QStringList{QStringLiteral("x.bmp")});
    ::unlink((folder + "/x.bmp").constData()); // QTemporaryDir takes names as text
    ::rmdir(folder.constData());
}

// --- Keys and names -----------------------------------------------------------

TEST_F(ImageDialogKeys, doubleClickOnAFileChoosesIt) {
    ASSERT_TRUE(DoubleClickItem(dialog->File1(), QStringLiteral("b.bmp")));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->chosenFile(), path(QStringLiteral("b.bmp")));
}

TEST_F(ImageDialogKeys, tabOrderRunsThroughTheListsThenCancelThenSelect) {
    EXPECT_EQ(tabWalk(dialog->Drive1(), 6), (QStringList{"Drive1", "Dir1", "File1", "Combo_Kind",
                                                         "Cmd_Can", "Cmd_Sel", "Drive1"}));
}

// The names a screen reader reads for the controls without a caption. A combo
// box is named after its entry on Linux; what it is for is its description.
TEST_F(ImageDialogKeys, controlsHaveJapaneseNamesForScreenReaders) {
    EXPECT_EQ(accessibleText(dialog->Drive1(), QAccessible::Description), "ﾄﾞﾗｲﾌﾞ");
    EXPECT_EQ(accessibleText(dialog->Combo_Kind(), QAccessible::Description), "ﾌｧｲﾙの種類");
    EXPECT_EQ(accessibleText(dialog->Dir1()), "ﾌｫﾙﾀﾞ");
    EXPECT_EQ(accessibleText(dialog->File1()), "ﾌｧｲﾙ");
    EXPECT_EQ(accessibleText(dialog->Pic_K()), "ﾌﾟﾚﾋﾞｭｰ");
    EXPECT_EQ(accessibleText(dialog->lbl_Size()), "画像の大きさ");
    previewFirstFileByKey();
    EXPECT_EQ(accessibleText(dialog->lbl_Size()), "画像の大きさ 40 * 20");
    EXPECT_EQ(dialog->lbl_Size()->text(), "40 * 20");
}

} // namespace
} // namespace velmora
