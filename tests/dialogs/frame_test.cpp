// What both dialogs share: where a dialog stands, the tiled texture, the
// buttons' set-up, the animations from and back to the pointer, and the keys
// that press the default and the cancel button.
#include "tests/dialogs/dialogs_fixture.h"

#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/folderlist.h"
#include "dialogs/frame.h"
#include "dialogs/velmora_s.h"
#include "gui/animation.h"
#include "gui/pointer.h"
#include "gui/surface.h"
#include "gui/twips.h"
#include "tests/support/caseprint.h"

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTest>

#include <tuple>

namespace velmora {
namespace {
using velmora_test::PrintTo;

struct PlaceCase {
    const char* name;
    double screen;
    double dialog;
    int divisor;
    int expected;
};

class PlaceCoordinateTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceCoordinateTest, roundsHalfToEvenThenTruncatesTowardZero) {
    const PlaceCase& c = GetParam();
    EXPECT_EQ(placeCoordinate(c.screen, c.dialog, c.divisor), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    cases, PlaceCoordinateTest,
    ::testing::Values(
        // 1280 x 1024 screen and the image selection dialog's 7410 x 4380 twips.
        PlaceCase{"leftOnWideScreen", pixelsToTwips(1280), 7410, 2, 5895},
        PlaceCase{"topOnWideScreen", pixelsToTwips(1024), 4380, 3, 3660},
        PlaceCase{"halfRoundsDownToEven", 100.5, 0, 2, 50},
        PlaceCase{"halfRoundsUpToEven", 101.5, 0, 2, 51},
        PlaceCase{"threeAndAHalfGoesToFour", 3.5, 0, 3, 1},
        PlaceCase{"twoAndAHalfGoesToTwo", 2.5, 0, 3, 0},
        PlaceCase{"negativeTruncatesNotFloors", 0, 7, 2, -3},
        PlaceCase{"negativeThirdTruncates", 0, 7, 3, -2},
        PlaceCase{"negativeHalfToEven", 0, 5.5, 3, -2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TilePositions, laysColumnsTopToBottomAndOvershootsBothEdges) {
    const std::vector<QPoint> expected = {{0, 0},   {0, 5},  {0, 10}, {10, 0}, {10, 5},
                                          {10, 10}, {20, 0}, {20, 5}, {20, 10}};
    EXPECT_EQ(tilePositions(10, 5, 15, 7), expected);
}

TEST(TilePositions, metalStripOnZoomDialogPanelGivesTwoColumnsOfTen) {
    const std::vector<QPoint> positions = tilePositions(1030, 23, 249, 197);
    ASSERT_EQ(positions.size(), 20u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(positions[i], QPoint(0, 23 * i));
        EXPECT_EQ(positions[10 + i], QPoint(1030, 23 * i));
    }
}

TEST(TilePositions, tileSizeRoundsHalfToEven) {
    // 2.5 rounds to 2 and 3.5 to 4.
    const std::vector<QPoint> positions = tilePositions(2.5, 3.5, 1, 1);
    const std::vector<QPoint> expected = {{0, 0}, {0, 4}, {2, 0}, {2, 4}};
    EXPECT_EQ(positions, expected);
}

// A texture that failed to load has no size; the loop used to spin forever.
TEST(TilePositions, emptyTextureLaysNothing) {
    EXPECT_TRUE(tilePositions(0, 23, 100, 100).empty());
    EXPECT_TRUE(tilePositions(1030, 0, 100, 100).empty());
}

TEST(TileTexture, coversThePanelWithClippedCopies) {
    QImage texture(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            texture.setPixel(x, y, qRgb(x * 30, y * 40, 90));
    gui::Surface panel;
    panel.resize(16, 12);
    panel.setBackground(QColor(1, 2, 3));
    panel.clear();
    Tile_Texture(&panel, texture);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(panel.image().pixel(x, y), texture.pixel(x % 7, y % 5)) << x << "," << y;
}

TEST(TileTexture, panelLowerThanATileShowsOneRowOfTiles) {
    QImage texture(1030, 23, QImage::Format_RGB32);
    texture.fill(qRgb(200, 190, 180));
    texture.setPixel(3, 4, qRgb(1, 1, 1));
    gui::Surface panel;
    panel.resize(40, 10);
    panel.clear();
    Tile_Texture(&panel, texture);
    EXPECT_EQ(panel.image().pixel(3, 4), qRgb(1, 1, 1));
    EXPECT_EQ(panel.image().pixel(39, 9), qRgb(200, 190, 180));
}

class FrameTest : public DialogTest {};

TEST_F(FrameTest, pointerCaptureStoresPositionOrZeroWhenUnreadable) {
    gui::FakePointer fake;
    fake.position = QPoint(123, -45);
    gui::setFakePointer(fake);
    EXPECT_EQ(capturePointer(), QPoint(123, -45));
    fake.readable = false;
    gui::setFakePointer(fake);
    EXPECT_EQ(capturePointer(), QPoint(0, 0));
}

TEST_F(FrameTest, initButtonsStartsTrackingOnEveryButton) {
    QWidget host;
    auto* first = new Command(&host);
    auto* inner = new QWidget(&host);
    auto* second = new Command(inner);
    Init_Buttons(&host);
    EXPECT_EQ(first->ButtonState(), VisualState::Normal);
    EXPECT_EQ(second->ButtonState(), VisualState::Normal);
    EXPECT_TRUE(first->trackingPointer());
    EXPECT_TRUE(second->trackingPointer());
}

TEST_F(FrameTest, animationsRunFromPointerAndBackToTheFirstPointCaptured) {
    velmora_s dialog(12);
    // Placed, not yet shown: its frame is still to come.
    const QRect placed(dialog.pos(), dialog.size());
    EXPECT_TRUE(gui::recordedAnimations().empty());
    dialog.show();
    ASSERT_EQ(gui::recordedAnimations().size(), 1u);
    EXPECT_EQ(gui::recordedAnimations()[0].from, QRect(300, 200, 0, 0));
    const QRect window = dialog.frameGeometry();
    // The opening once ended on the client area alone, not on the framed window
    // that the closing starts from.
    EXPECT_EQ(gui::recordedAnimations()[0].to, window);
    EXPECT_EQ(window.topLeft(), placed.topLeft());
    EXPECT_GT(window.height(), placed.height());

    // The pointer has moved since the dialog loaded: it still closes to the
    // point captured at load.
    gui::FakePointer moved;
    moved.position = QPoint(5, 6);
    gui::setFakePointer(moved);
    ClickButton(dialog.Cmd_Can());
    ASSERT_EQ(gui::recordedAnimations().size(), 2u);
    EXPECT_EQ(gui::recordedAnimations()[1].from, window);
    EXPECT_EQ(gui::recordedAnimations()[1].to, QRect(300, 200, 0, 0));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FrameTest, closeBoxPlaysTheClosingAnimationOnce) {
    velmora_s dialog(12);
    dialog.show();
    dialog.close();
    ASSERT_EQ(gui::recordedAnimations().size(), 2u);
    EXPECT_EQ(gui::recordedAnimations()[1].to, QRect(300, 200, 0, 0));
    EXPECT_TRUE(dialog.unloaded());
}

TEST_F(FrameTest, eachDialogAnimatesFromWhereThePointerWasWhenItLoaded) {
    velmora_s first(12);
    first.show();
    ClickButton(first.Cmd_Can());
    gui::FakePointer fake;
    fake.position = QPoint(700, 10);
    gui::setFakePointer(fake);
    velmora_s second(12);
    second.show();
    EXPECT_EQ(first.pointerAtLoad(), QPoint(300, 200));
    EXPECT_EQ(second.pointerAtLoad(), QPoint(700, 10));
    EXPECT_EQ(gui::recordedAnimations().back().from, QRect(700, 10, 0, 0));
}

// --- Keys ---------------------------------------------------------------------

// What a key does in the zoom-ratio dialog, by where the focus is.
struct RatioKey {
    const char* name;
    const char* focus; // objectName of the focused control
    Qt::Key key;
    const char* pressed; // the button shown pressed while the key is down, or ""
    bool set;            // the dialog closed with the ratio set
};

class RatioDialogKeys : public DialogTest, public ::testing::WithParamInterface<RatioKey> {};

TEST_P(RatioDialogKeys, pressTheButtonTheKeyStandsFor) {
    const RatioKey& k = GetParam();
    velmora_s dialog(12);
    showActive(&dialog);
    dialog.VS_Ritu()->setValue(40);
    auto* focus = dialog.findChild<QWidget*>(QString::fromUtf8(k.focus));
    ASSERT_NE(focus, nullptr);
    ASSERT_TRUE(focusOn(focus));

    QTest::keyPress(focus, k.key);
    const QString pressed = QString::fromUtf8(k.pressed);
    for (Command* button : {dialog.Cmd_Set(), dialog.Cmd_Can()})
        EXPECT_EQ(button->shownFrame() == Frame::Pressed, button->objectName() == pressed)
            << button->objectName().toStdString();
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyRelease(QApplication::focusWidget(), k.key);

    EXPECT_EQ(dialog.isVisible(), pressed.isEmpty());
    EXPECT_EQ(dialog.chosenScale(), k.set ? std::optional<std::int16_t>(40) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    keys, RatioDialogKeys,
    ::testing::Values(
        RatioKey{"returnOnTheBarSets", "VS_Ritu", Qt::Key_Return, "Cmd_Set", true},
        RatioKey{"spaceOnSetSets", "Cmd_Set", Qt::Key_Space, "Cmd_Set", true},
        // The focused cancel button takes Return for itself.
        RatioKey{"returnOnCancelCancels", "Cmd_Can", Qt::Key_Return, "Cmd_Can", false},
        RatioKey{"escapeOnTheBarCancels", "VS_Ritu", Qt::Key_Escape, "Cmd_Can", false},
        // Space moves nothing on the bar and presses nothing.
        RatioKey{"spaceOnTheBarDoesNothing", "VS_Ritu", Qt::Key_Space, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Return by where the focus is. Once a file is previewed, the file list
// chooses the current file (select shown pressed while the key is down), the
// folder list opens its folder, the focused cancel button cancels. Before, the
// select button is disabled: Return where it is the default neither presses it
// nor shows it pressed.
struct ImageReturn {
    const char* name;
    const char* focus;
    bool previewed;
    Frame selectWhileDown;
    const char* chosen; // "" when nothing is chosen
    bool closes;
};

class ImageDialogReturn : public ImageDialogKeys,
                          public ::testing::WithParamInterface<ImageReturn> {};

TEST_P(ImageDialogReturn, actsOnWhatHasTheFocus) {
    const ImageReturn& c = GetParam();
    if (c.previewed) {
        ASSERT_TRUE(QDir().mkdir(path(QStringLiteral("sub"))));
        dialog->Dir1()->setPath(dir.path());
        dialog->Dir1()->setCurrentRow(dialog->Dir1()->count() - 1);
        previewFirstFileByKey();
        QTest::keyClick(dialog->File1(), Qt::Key_Down);
    }
    auto* focus = dialog->findChild<QWidget*>(QString::fromUtf8(c.focus));
    ASSERT_TRUE(focusOn(focus));
    QTest::keyPress(focus, Qt::Key_Return);
    EXPECT_EQ(dialog->Cmd_Sel()->shownFrame(), c.selectWhileDown);
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialog->isVisible(), !c.closes);
    EXPECT_EQ(dialog->chosenFile(), *c.chosen ? path(QString::fromUtf8(c.chosen)) : QString());
}

INSTANTIATE_TEST_SUITE_P(
    focus, ImageDialogReturn,
    ::testing::Values(ImageReturn{"fileList", "File1", true, Frame::Pressed, "b.bmp", true},
                      ImageReturn{"folderList", "Dir1", true, Frame::Normal, "", false},
                      ImageReturn{"cancel", "Cmd_Can", true, Frame::Normal, "", true},
                      ImageReturn{"fileListDisabled", "File1", false, Frame::Disable, "", false},
                      ImageReturn{"driveListDisabled", "Drive1", false, Frame::Disable, "", false},
                      ImageReturn{"typeListDisabled", "Combo_Kind", false, Frame::Disable, "",
                                  false},
                      ImageReturn{"selectDisabled", "Cmd_Sel", false, Frame::Disable, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A key that comes up in another window never reaches the dialog.
TEST_F(ImageDialogKeys, losingTheKeyboardWhileReturnIsDownEndsThePressWithoutChoosing) {
    previewFirstFileByKey();
    QTest::keyPress(dialog->File1(), Qt::Key_Return);
    ASSERT_EQ(dialog->Cmd_Sel()->shownFrame(), Frame::Pressed);
    QWidget elsewhere;
    showActive(&elsewhere);
    EXPECT_EQ(dialog->Cmd_Sel()->shownFrame(), Frame::Normal);
    EXPECT_FALSE(dialog->Cmd_Sel()->keyDown());
    showActive(dialog.get());
    QTest::keyRelease(dialog->File1(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
} // namespace velmora
