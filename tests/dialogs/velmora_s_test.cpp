// The zoom-ratio dialog: its bar and label, what it answers and how it is
// left, its tab order and the names a screen reader reads.
#include "tests/dialogs/dialogs_fixture.h"

#include "controls/command.h"
#include "dialogs/velmora_s.h"
#include "gui/settingsfile.h"
#include "tests/support/caseprint.h"

#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

namespace velmora {
namespace {

class RatioDialogTest : public DialogTest {};

using velmora_test::PrintTo;

struct LoadCase {
    const char* name;
    std::int16_t scale;
    int bar;
    const char* label;
};

class RatioDialogLoadTest : public RatioDialogTest,
                            public ::testing::WithParamInterface<LoadCase> {};

TEST_P(RatioDialogLoadTest, barAndLabelShowTheRatio) {
    const LoadCase& c = GetParam();
    velmora_s dialog(c.scale);
    EXPECT_EQ(dialog.VS_Ritu()->value(), c.bar);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QString::fromUtf8(c.label));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("拡大率の指定"));
}

INSTANTIATE_TEST_SUITE_P(cases, RatioDialogLoadTest,
                         ::testing::Values(LoadCase{"usual", 12, 12, "1.2倍"},
                                           LoadCase{"lowest", 11, 11, "1.1倍"},
                                           LoadCase{"highest", 100, 100, "10.0倍"},
                                           // A ratio the bar refuses leaves it at its first value.
                                           LoadCase{"belowRange", 10, 11, "1.1倍"},
                                           LoadCase{"aboveRange", 101, 11, "1.1倍"},
                                           LoadCase{"zero", 0, 11, "1.1倍"},
                                           LoadCase{"negative", -5, 11, "1.1倍"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RatioDialogTest, labelFollowsArrowKeysAndStopsAtTheEnds) {
    velmora_s dialog(99);
    dialog.show();
    QScrollBar* bar = dialog.VS_Ritu();
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QStringLiteral("10.0倍"));
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(bar->value(), 100);
    QTest::keyClick(bar, Qt::Key_Home);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QStringLiteral("1.1倍"));
    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QStringLiteral("1.2倍"));
}

TEST_F(RatioDialogTest, labelFollowsTheThumbWhileItIsDragged) {
    velmora_s dialog(12);
    dialog.show();
    QScrollBar* bar = dialog.VS_Ritu();
    // Without tracking the value stays put while the thumb moves: only the
    // Scroll handling can bring the label along.
    bar->setTracking(false);
    bar->setSliderDown(true);
    bar->setSliderPosition(57);
    EXPECT_EQ(bar->value(), 12);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QStringLiteral("5.7倍"));
    bar->setSliderDown(false);
    EXPECT_EQ(bar->value(), 57);
    EXPECT_EQ(dialog.lbl_Ritu()->text(), QStringLiteral("5.7倍"));
}

TEST_F(RatioDialogTest, setGivesTheRatioBackAndClosesWritingNoSettings) {
    velmora_s dialog(12);
    dialog.show();
    EXPECT_EQ(dialog.chosenScale(), std::nullopt);
    dialog.VS_Ritu()->setValue(100);
    ClickButton(dialog.Cmd_Set());
    EXPECT_EQ(dialog.chosenScale(), std::optional<std::int16_t>(100));
    // The main window stores what the dialog answers.
    EXPECT_EQ(settingsText(), QString());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(RatioDialogTest, setAfterAnOutOfRangeRatioStoresTheLowestValue) {
    velmora_s dialog(300);
    dialog.show();
    ClickButton(dialog.Cmd_Set());
    EXPECT_EQ(dialog.chosenScale(), std::optional<std::int16_t>(11));
}

class RatioDialogLeaveTest : public RatioDialogTest,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(RatioDialogLeaveTest, leavingWithoutSetKeepsRatioAndSettings) {
    Ini_Write(kSection, kKeyScale, QStringLiteral(" 30"), settingsFile());
    const QString before = settingsText();
    velmora_s dialog(30);
    dialog.show();
    dialog.VS_Ritu()->setValue(75);
    const std::string way = GetParam();
    if (way == "cancel")
        ClickButton(dialog.Cmd_Can());
    else if (way == "closeBox")
        dialog.close();
    else
        QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.unloaded());
    EXPECT_EQ(dialog.chosenScale(), std::nullopt);
    EXPECT_EQ(settingsText(), before);
}

INSTANTIATE_TEST_SUITE_P(ways, RatioDialogLeaveTest,
                         ::testing::Values("cancel", "closeBox", "escape"),
                         velmora_test::WordName());

TEST_F(RatioDialogTest, tabOrderIsBarSetCancel) {
    velmora_s dialog(12);
    showActive(&dialog);
    EXPECT_EQ(tabWalk(dialog.VS_Ritu(), 3),
              (QStringList{"VS_Ritu", "Cmd_Set", "Cmd_Can", "VS_Ritu"}));
}

TEST_F(RatioDialogTest, barIsNamedWithTheRatioShownAsItsDescription) {
    velmora_s dialog(25);
    EXPECT_EQ(accessibleText(dialog.VS_Ritu()), "拡大率");
    EXPECT_EQ(accessibleText(dialog.VS_Ritu(), QAccessible::Description), "2.5倍");
    dialog.VS_Ritu()->setValue(100);
    EXPECT_EQ(accessibleText(dialog.VS_Ritu(), QAccessible::Description), "10.0倍");
}

} // namespace
} // namespace velmora
