// The dialogs' stored button layouts: each button's caption, font and state
// as the layout resources give them, and the layout text read section by
// section.
#include "controls/buttonlayout.h"
#include "controls/command.h"
#include "tests/support/caseprint.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct LayoutButton {
    const char* test; // the dialog and the button, for the test's name
    const char* resource;
    const char* name;
    const char* caption;
    bool enabled;
};

void PrintTo(const LayoutButton& b, std::ostream* os) {
    *os << b.test;
}

class DialogLayouts : public ::testing::TestWithParam<LayoutButton> {};

TEST_P(DialogLayouts, loadCaptionFontAndEnabledState) {
    const LayoutButton& p = GetParam();
    QWidget host;
    Command b(&host);
    ASSERT_TRUE(loadButtonLayout(&b, QString::fromUtf8(p.resource), QString::fromUtf8(p.name)));
    EXPECT_EQ(b.Caption(), QString::fromUtf8(p.caption));
    EXPECT_EQ(b.IsEnabled(), p.enabled);
    EXPECT_EQ(b.Font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_DOUBLE_EQ(b.Font().pointSizeF(), 9.75);
    EXPECT_EQ(b.Font().weight(), QFont::Normal);
    EXPECT_EQ(b.FirstRunFlag(), 1);
    EXPECT_EQ(b.FontColour(), 0u);
    EXPECT_EQ(b.Visible(), 255);
}

INSTANTIATE_TEST_SUITE_P(
    buttons, DialogLayouts,
    ::testing::Values(
        LayoutButton{"ratioDialogSet", ":/layouts/velmora_s.layout", "Cmd_Set", "設定", true},
        LayoutButton{"ratioDialogCancel", ":/layouts/velmora_s.layout", "Cmd_Can", "ｷｬﾝｾﾙ", true},
        LayoutButton{"imageDialogCancel", ":/layouts/velmora_v.layout", "Cmd_Can", "ｷｬﾝｾﾙ", true},
        LayoutButton{"imageDialogSelect", ":/layouts/velmora_v.layout", "cmd_sel", "選択", false}),
    [](const auto& info) { return std::string(info.param.test); });

TEST(DialogLayouts, missingButtonOrResourceLeavesTheButtonAlone) {
    Command b;
    EXPECT_FALSE(loadButtonLayout(&b, QStringLiteral(":/layouts/velmora_s.layout"),
                                  QStringLiteral("Cmd_Sel")));
    EXPECT_FALSE(
        loadButtonLayout(&b, QStringLiteral(":/layouts/none.layout"), QStringLiteral("Cmd_Set")));
    EXPECT_EQ(b.Caption(), QStringLiteral("Command"));
    EXPECT_FALSE(b.IsEnabled());
}

TEST(LayoutText, readsOnlyItsOwnSectionAndRejectsBrokenLines) {
    const QString text = QStringLiteral("; comment\n[A]\ncaption = one\n\n[b]\n"
                                        "Caption=two = three\nfont = X, 12, 700, 128, italic\n");
    const auto a = readLayoutSection(text, QStringLiteral("a"));
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->names(), QStringList{QStringLiteral("caption")});
    const auto b = readLayoutSection(text, QStringLiteral("B"));
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->readProperty(QStringLiteral("caption")).toString(), QStringLiteral("two = three"));
    const QFont font = b->readProperty(QStringLiteral("font")).value<QFont>();
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_TRUE(font.italic());

    EXPECT_FALSE(readLayoutSection(QStringLiteral("[A]\nno equals sign\n"), QStringLiteral("A")));
    EXPECT_FALSE(
        readLayoutSection(QStringLiteral("[A]\nfont = X, big, 400, 128\n"), QStringLiteral("A")));
    EXPECT_FALSE(readLayoutSection(QStringLiteral("[A\n"), QStringLiteral("A")));
}

} // namespace
} // namespace velmora
