// What assistive technology sees of the button, asked through QAccessible as a
// screen reader's bridge asks (Qt builds the interface without a bridge).
#include "tests/controls/controls_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <string>
#include <tuple>

namespace velmora {
namespace {

using testing::waitFor;

// Each way the button can be: focused or not, enabled or not.
class AccessibleButton : public testing::DialogFixture,
                         public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(AccessibleButton, isAPushButtonNamedByItsCaptionWithItsStateAndPressAction) {
    const auto [focused, enabled] = GetParam();
    button->Caption(QStringLiteral("設定"));
    if (focused) {
        button->setFocus();
        ASSERT_TRUE(waitFor([&] { return button->hasFocus(); }));
    }
    button->Enabled(enabled);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("設定"));
    // The caption label is the button's name, not a label beside it.
    EXPECT_EQ(a->childCount(), 0);
    EXPECT_EQ(bool(a->state().focused), focused);
    EXPECT_EQ(bool(a->state().disabled), !enabled);

    QAccessibleActionInterface* actions = a->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->actionNames(),
              enabled ? QStringList{QAccessibleActionInterface::pressAction()} : QStringList{});
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks->count(), enabled ? 1 : 0);
    EXPECT_FALSE(button->keyDown());

    button->Caption(QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("ｷｬﾝｾﾙ"));
}

INSTANTIATE_TEST_SUITE_P(focusedEnabled, AccessibleButton,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "focused" : "unfocused") +
                                    (std::get<1>(info.param) ? "Enabled" : "Disabled");
                         });

} // namespace
} // namespace velmora
