// Both dialogs without a mouse: the keys reach the real widgets as a user's
// keyboard sends them, to whatever has the focus.
#include "helpers.h"

#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/folderlist.h"
#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "gui/surface.h"
#include "settings/settings.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace velmora {
namespace {

bool focusOn(QWidget* widget) {
    widget->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([&] { return widget->hasFocus(); }, 1000);
}

void showActive(QWidget* dialog) {
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
}

// The objectNames the Tab key visits from the first control, once round.
QStringList tabWalk(QWidget* first, int steps) {
    QStringList names;
    EXPECT_TRUE(focusOn(first));
    for (int i = 0; i < steps; ++i) {
        names << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    names << QApplication::focusWidget()->objectName();
    return names;
}

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
    Keys, RatioDialogKeys,
    ::testing::Values(
        RatioKey{"returnOnTheBarSets", "VS_Ritu", Qt::Key_Return, "Cmd_Set", true},
        RatioKey{"spaceOnSetSets", "Cmd_Set", Qt::Key_Space, "Cmd_Set", true},
        // The focused cancel button takes Return for itself.
        RatioKey{"returnOnCancelCancels", "Cmd_Can", Qt::Key_Return, "Cmd_Can", false},
        RatioKey{"escapeOnTheBarCancels", "VS_Ritu", Qt::Key_Escape, "Cmd_Can", false},
        // Space moves nothing on the bar and presses nothing.
        RatioKey{"spaceOnTheBarDoesNothing", "VS_Ritu", Qt::Key_Space, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, ratioDialogTabOrderIsBarSetCancel) {
    velmora_s dialog(12);
    showActive(&dialog);
    EXPECT_EQ(tabWalk(dialog.VS_Ritu(), 3),
              (QStringList{"VS_Ritu", "Cmd_Set", "Cmd_Can", "VS_Ritu"}));
}

// The image dialog on a folder with two pictures.
class ImageDialogKeys : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        writeImage(QStringLiteral("a.bmp"), 40, 20);
        writeImage(QStringLiteral("b.bmp"), 20, 40);
        dialog = std::make_unique<velmora_v>(dir.path());
        showActive(dialog.get());
    }
    void TearDown() override {
        dialog.reset();
        DialogTest::TearDown();
    }
    // Picks the first file of the list with the arrow key, as a keyboard user does.
    void previewFirstFileByKey() {
        ASSERT_TRUE(focusOn(dialog->File1()));
        QTest::keyClick(dialog->File1(), Qt::Key_Down);
        ASSERT_EQ(dialog->View_File(), path(QStringLiteral("a.bmp")));
        // The preview is decoded on a worker thread.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->previewPending(); }, 5000));
    }
    std::unique_ptr<velmora_v> dialog;
};

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
    Focus, ImageDialogReturn,
    ::testing::Values(ImageReturn{"fileList", "File1", true, Frame::Pressed, "b.bmp", true},
                      ImageReturn{"folderList", "Dir1", true, Frame::Normal, "", false},
                      ImageReturn{"cancel", "Cmd_Can", true, Frame::Normal, "", true},
                      ImageReturn{"fileListDisabled", "File1", false, Frame::Disable, "", false},
                      ImageReturn{"driveListDisabled", "Drive1", false, Frame::Disable, "", false},
                      ImageReturn{"typeListDisabled", "Combo_Kind", false, Frame::Disable, "",
                                  false},
                      ImageReturn{"selectDisabled", "Cmd_Sel", false, Frame::Disable, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageDialogKeys, doubleClickOnAFileChoosesIt) {
    ASSERT_TRUE(DoubleClickItem(dialog->File1(), QStringLiteral("b.bmp")));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->chosenFile(), path(QStringLiteral("b.bmp")));
}

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

TEST_F(ImageDialogKeys, tabOrderRunsThroughTheListsThenCancelThenSelect) {
    EXPECT_EQ(tabWalk(dialog->Drive1(), 6), (QStringList{"Drive1", "Dir1", "File1", "Combo_Kind",
                                                         "Cmd_Can", "Cmd_Sel", "Drive1"}));
}

QString accessibleText(QWidget* w, QAccessible::Text t = QAccessible::Name) {
    return QAccessible::queryAccessibleInterface(w)->text(t);
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

TEST_F(DialogTest, ratioBarIsNamedWithTheRatioShownAsItsDescription) {
    velmora_s dialog(25);
    EXPECT_EQ(accessibleText(dialog.VS_Ritu()), "拡大率");
    EXPECT_EQ(accessibleText(dialog.VS_Ritu(), QAccessible::Description), "2.5倍");
    dialog.VS_Ritu()->setValue(100);
    EXPECT_EQ(accessibleText(dialog.VS_Ritu(), QAccessible::Description), "10.0倍");
}

} // namespace
} // namespace velmora
