// Both dialogs without a mouse: the keys reach the real widgets as a user's
// keyboard sends them, to whatever has the focus.
#include "helpers.h"

#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/folderlist.h"
#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "platform/surface.h"
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
QStringList tabWalk(QWidget* dialog, QWidget* first, int steps) {
    QStringList names;
    EXPECT_TRUE(focusOn(first));
    for (int i = 0; i < steps; ++i) {
        names << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    names << QApplication::focusWidget()->objectName();
    Q_UNUSED(dialog);
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
        EXPECT_EQ(button->ShownFrame() == Frame::Pressed, button->objectName() == pressed)
            << button->objectName().toStdString();
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyRelease(QApplication::focusWidget(), k.key);

    EXPECT_EQ(dialog.isVisible(), pressed.isEmpty());
    EXPECT_EQ(dialog.Chosen_Scale(), k.set ? std::optional<std::int16_t>(40) : std::nullopt);
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, Settings_File()).isEmpty(), !k.set);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RatioDialogKeys,
    ::testing::Values(
        RatioKey{"returnOnTheBarSets", "VS_Ritu", Qt::Key_Return, "Cmd_Set", true},
        RatioKey{"enterOnTheBarSets", "VS_Ritu", Qt::Key_Enter, "Cmd_Set", true},
        RatioKey{"spaceOnSetSets", "Cmd_Set", Qt::Key_Space, "Cmd_Set", true},
        RatioKey{"returnOnSetSets", "Cmd_Set", Qt::Key_Return, "Cmd_Set", true},
        // The focused cancel button takes Return for itself.
        RatioKey{"returnOnCancelCancels", "Cmd_Can", Qt::Key_Return, "Cmd_Can", false},
        RatioKey{"spaceOnCancelCancels", "Cmd_Can", Qt::Key_Space, "Cmd_Can", false},
        RatioKey{"escapeOnTheBarCancels", "VS_Ritu", Qt::Key_Escape, "Cmd_Can", false},
        RatioKey{"escapeOnSetCancels", "Cmd_Set", Qt::Key_Escape, "Cmd_Can", false},
        // Space moves nothing on the bar and presses nothing.
        RatioKey{"spaceOnTheBarDoesNothing", "VS_Ritu", Qt::Key_Space, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, ratioDialogTabOrderIsBarSetCancel) {
    velmora_s dialog(12);
    showActive(&dialog);
    EXPECT_EQ(tabWalk(&dialog, dialog.VS_Ritu(), 3),
              (QStringList{"VS_Ritu", "Cmd_Set", "Cmd_Can", "VS_Ritu"}));
}

// The image dialog on a folder with two pictures.
class ImageDialogKeys : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Ini_Write(kSection, kKeyGetPath, dir.path(), Settings_File());
        writeImage(QStringLiteral("a.bmp"), 40, 20);
        writeImage(QStringLiteral("b.bmp"), 20, 40);
        dialog = std::make_unique<velmora_v>();
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
    }
    std::unique_ptr<velmora_v> dialog;
};

TEST_F(ImageDialogKeys, returnInTheFileListChoosesTheFileWithSelectShownPressed) {
    previewFirstFileByKey();
    QTest::keyClick(dialog->File1(), Qt::Key_Down);
    QTest::keyPress(dialog->File1(), Qt::Key_Return);
    EXPECT_EQ(dialog->Cmd_Sel()->ShownFrame(), Frame::Pressed);
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyRelease(dialog->File1(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->Chosen_File(), path(QStringLiteral("b.bmp")));
}

TEST_F(ImageDialogKeys, doubleClickOnAFileChoosesIt) {
    ASSERT_TRUE(DoubleClickItem(dialog->File1(), QStringLiteral("b.bmp")));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->Chosen_File(), path(QStringLiteral("b.bmp")));
}

TEST_F(ImageDialogKeys, doubleClickOnAnEmptyPartOfTheListChoosesNothing) {
    const QPoint below(5, dialog->File1()->viewport()->height() - 3);
    QTest::mouseDClick(dialog->File1()->viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Chosen_File().isEmpty());
}

// Return where the select button is the default, before anything is previewed:
// the disabled button is neither pressed nor shown pressed.
class DisabledSelect : public ImageDialogKeys, public ::testing::WithParamInterface<const char*> {};

TEST_P(DisabledSelect, returnDoesNothing) {
    auto* focus = dialog->findChild<QWidget*>(QString::fromUtf8(GetParam()));
    ASSERT_NE(focus, nullptr);
    ASSERT_TRUE(focusOn(focus));
    ASSERT_FALSE(dialog->Cmd_Sel()->IsEnabled());
    QTest::keyPress(focus, Qt::Key_Return);
    EXPECT_EQ(dialog->Cmd_Sel()->ShownFrame(), Frame::Disable);
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Chosen_File().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Focus, DisabledSelect,
                         ::testing::Values("File1", "Drive1", "Combo_Kind", "Cmd_Sel"));

TEST_F(ImageDialogKeys, returnOnCancelCancelsThoughSelectIsEnabled) {
    previewFirstFileByKey();
    ASSERT_TRUE(focusOn(dialog->Cmd_Can()));
    QTest::keyClick(dialog->Cmd_Can(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(dialog->Chosen_File().isEmpty());
}

TEST_F(ImageDialogKeys, returnInTheFolderListOpensTheFolderAndChoosesNothing) {
    previewFirstFileByKey();
    ASSERT_TRUE(QDir().mkdir(path(QStringLiteral("sub"))));
    dialog->Dir1()->SetPath(dir.path());
    ASSERT_TRUE(focusOn(dialog->Dir1()));
    dialog->Dir1()->setCurrentRow(dialog->Dir1()->count() - 1);
    QTest::keyClick(dialog->Dir1(), Qt::Key_Return);
    EXPECT_EQ(dialog->Dir1()->Path(), path(QStringLiteral("sub")));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Cmd_Sel()->ShownFrame(), Frame::Normal);
}

TEST_F(ImageDialogKeys, escapeCancelsWithCancelShownPressed) {
    previewFirstFileByKey();
    QTest::keyPress(dialog->File1(), Qt::Key_Escape);
    EXPECT_EQ(dialog->Cmd_Can()->ShownFrame(), Frame::Pressed);
    QTest::keyRelease(dialog->File1(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(dialog->Chosen_File().isEmpty());
}

// A key that comes up in another window never reaches the dialog.
TEST_F(ImageDialogKeys, losingTheKeyboardWhileReturnIsDownEndsThePressWithoutChoosing) {
    previewFirstFileByKey();
    QTest::keyPress(dialog->File1(), Qt::Key_Return);
    ASSERT_EQ(dialog->Cmd_Sel()->ShownFrame(), Frame::Pressed);
    QWidget elsewhere;
    showActive(&elsewhere);
    EXPECT_EQ(dialog->Cmd_Sel()->ShownFrame(), Frame::Normal);
    EXPECT_FALSE(dialog->Cmd_Sel()->KeyDown());
    showActive(dialog.get());
    QTest::keyRelease(dialog->File1(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ImageDialogKeys, tabOrderRunsThroughTheListsThenCancelThenSelect) {
    EXPECT_EQ(
        tabWalk(dialog.get(), dialog->Drive1(), 6),
        (QStringList{"Drive1", "Dir1", "File1", "Combo_Kind", "Cmd_Can", "Cmd_Sel", "Drive1"}));
}

// The names a screen reader reads for the controls without a caption.
TEST_F(ImageDialogKeys, controlsHaveJapaneseNamesForScreenReaders) {
    const auto name = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    };
    const auto description = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description);
    };
    // A combo box is named after its entry on Linux; what it is for is its
    // description.
    EXPECT_EQ(description(dialog->Drive1()), QStringLiteral("ﾄﾞﾗｲﾌﾞ"));
    EXPECT_EQ(description(dialog->Combo_Kind()), QStringLiteral("ﾌｧｲﾙの種類"));
    EXPECT_EQ(name(dialog->Dir1()), QStringLiteral("ﾌｫﾙﾀﾞ"));
    EXPECT_EQ(name(dialog->File1()), QStringLiteral("ﾌｧｲﾙ"));
    EXPECT_EQ(name(dialog->Pic_K()), QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    EXPECT_EQ(name(dialog->lbl_Size()), QStringLiteral("画像の大きさ"));
    EXPECT_EQ(name(dialog->Cmd_Sel()), QStringLiteral("選択"));
    previewFirstFileByKey();
    EXPECT_EQ(name(dialog->lbl_Size()), QStringLiteral("画像の大きさ 40 * 20"));
    EXPECT_EQ(dialog->lbl_Size()->text(), QStringLiteral("40 * 20"));
}

TEST_F(DialogTest, ratioBarIsNamedForScreenReadersWithTheRatioAsItsDescription) {
    velmora_s dialog(25);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(dialog.VS_Ritu());
    EXPECT_EQ(bar->text(QAccessible::Name), QStringLiteral("拡大率"));
    EXPECT_EQ(bar->text(QAccessible::Description), QStringLiteral("2.5倍"));
    dialog.VS_Ritu()->setValue(100);
    EXPECT_EQ(bar->text(QAccessible::Description), QStringLiteral("10.0倍"));
}

} // namespace
} // namespace velmora
