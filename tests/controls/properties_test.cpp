// Stored properties: the property bag, the reading and writing sequences, and
// the dialogs' layout resources.
#include "controls/buttonlayout.h"
#include "controls/command.h"
#include "controls/propertybag.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace velmora {
namespace {

QFont jpFont() {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPointSizeF(9.75);
    f.setWeight(QFont::Normal);
    return f;
}

TEST(PropertyBag, namesMatchWithoutRegardToCase) {
    PropertyBag bag;
    bag.writeProperty(QStringLiteral("enabled"), false, true);
    EXPECT_FALSE(bag.readProperty(QStringLiteral("Enabled"), true).toBool());
    EXPECT_FALSE(bag.readProperty(QStringLiteral("ENABLED"), true).toBool());
    bag.writeProperty(QStringLiteral("ENABLED"), QStringLiteral("-1"), true);
    EXPECT_EQ(bag.names(), QStringList{QStringLiteral("enabled")});
    EXPECT_EQ(bag.readProperty(QStringLiteral("missing"), 42).toInt(), 42);
}

TEST(StoredProperties, roundTripKeepsEveryProperty) {
    QWidget host;
    Command saved(&host);
    saved.readProperties(PropertyBag{});
    QFont font(QStringLiteral("IPAPGothic"), 12);
    font.setItalic(true);
    saved.Caption(QStringLiteral("ｷｬﾝｾﾙ"));
    saved.Font(font);
    saved.FontColour(0x0000FF);
    saved.Visible(0);
    saved.Enabled(false);
    PropertyBag bag;
    saved.writeProperties(bag);

    Command loaded(&host);
    loaded.readProperties(bag);
    EXPECT_EQ(loaded.Caption(), QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(loaded.Font(), font);
    EXPECT_EQ(loaded.FontColour(), 0x0000FFu);
    EXPECT_EQ(loaded.Visible(), 0);
    EXPECT_FALSE(loaded.IsEnabled());
    EXPECT_EQ(loaded.FirstRunFlag(), 1);
}

TEST(StoredProperties, captionCommandIsNotStoredAndComesBackAsCommand1) {
    QWidget host;
    Command saved(&host);
    saved.readProperties(PropertyBag{});
    saved.Caption(QStringLiteral("Command"));
    PropertyBag bag;
    saved.writeProperties(bag);
    EXPECT_TRUE(bag.isEmpty());

    Command loaded(&host);
    loaded.readProperties(bag);
    EXPECT_EQ(loaded.Caption(), QStringLiteral("Command1"));
    EXPECT_TRUE(loaded.IsEnabled());
    EXPECT_EQ(loaded.Font(), host.font());
}

TEST(StoredProperties, everythingOffItsDefaultIsWrittenInOrder) {
    QWidget host;
    Command b(&host);
    b.Enabled(false); // a new button: FirstRunFlag is still 0
    b.Caption(QStringLiteral("選択"));
    b.Font(jpFont());
    b.FontColour(0x10);
    b.Visible(0);
    PropertyBag bag;
    b.writeProperties(bag);
    EXPECT_EQ(bag.names(),
              (QStringList{"Enabled", "Caption", "FirstRun", "Font", "FontColour", "Visible"}));
    EXPECT_EQ(bag.readProperty(QStringLiteral("FirstRun")).toInt(), 0);
    EXPECT_EQ(bag.readProperty(QStringLiteral("Visible")).toInt(), 0);
}

TEST(StoredProperties, unreadableStoredValuesAreSkipped) {
    PropertyBag bag;
    bag.writeProperty(QStringLiteral("fontcolour"), QStringLiteral("red"));
    bag.writeProperty(QStringLiteral("visible"), QStringLiteral("0"));
    Command b;
    b.FontColour(0x202020);
    b.readProperties(bag);
    EXPECT_EQ(b.FontColour(), 0x202020u);
    EXPECT_EQ(b.Visible(), 0);

    PropertyBag tooBig;
    tooBig.writeProperty(QStringLiteral("firstrun"), QStringLiteral("300"));
    Command c;
    c.readProperties(tooBig);
    EXPECT_EQ(c.FirstRunFlag(), 0);
}

struct LayoutButton {
    const char* resource;
    const char* name;
    const char* caption;
    bool enabled;
};

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
    Buttons, DialogLayouts,
    ::testing::Values(LayoutButton{":/layouts/velmora_s.layout", "Cmd_Set", "設定", true},
                      LayoutButton{":/layouts/velmora_s.layout", "Cmd_Can", "ｷｬﾝｾﾙ", true},
                      LayoutButton{":/layouts/velmora_v.layout", "Cmd_Can", "ｷｬﾝｾﾙ", true},
                      LayoutButton{":/layouts/velmora_v.layout", "cmd_sel", "選択", false}),
    [](const auto& info) {
        // "velmora_s_Cmd_Set": the dialog and the button.
        return QString::fromUtf8(info.param.resource)
                   .section(u'/', -1)
                   .section(u'.', 0, 0)
                   .toStdString() +
               "_" + info.param.name;
    });

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
