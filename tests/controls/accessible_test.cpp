// What assistive technology sees of the button, asked through QAccessible as a
// screen reader's bridge asks.
#include "controls_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

namespace velmora {
namespace {

using testing::DialogFixture;
using testing::waitFor;

class AccessibleButton : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        button->Caption(QStringLiteral("設定"));
    }
    // The interface a bridge gets; Qt builds it without accessibility being
    // active (the offscreen platform has no bridge to make it so).
    QAccessibleInterface* iface() const { return QAccessible::queryAccessibleInterface(button); }
};

TEST_F(AccessibleButton, isAPushButtonNamedAfterItsCaptionWithNoObjectsInside) {
    QAccessibleInterface* a = iface();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("設定"));
    // The caption label is the button's name, not a label beside it.
    EXPECT_EQ(a->childCount(), 0);
    EXPECT_EQ(a->childAt(a->rect().center().x(), a->rect().center().y()), nullptr);
    EXPECT_EQ(a->parent()->object(), panel);

    button->Caption(QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("ｷｬﾝｾﾙ"));
}

// The state a reader announces, for the ways the button can be.
struct StateCase {
    const char* name;
    bool focused;
    bool enabled;
};

class AccessibleButtonState : public AccessibleButton,
                              public ::testing::WithParamInterface<StateCase> {};

TEST_P(AccessibleButtonState, followsTheFocusAndTheButtonsOwnEnabledFlag) {
    const StateCase& c = GetParam();
    if (c.focused) {
        button->setFocus();
        ASSERT_TRUE(waitFor([&] { return button->hasFocus(); }));
    }
    button->Enabled(c.enabled);
    const QAccessible::State s = iface()->state();
    EXPECT_EQ(bool(s.focused), c.focused);
    EXPECT_EQ(bool(s.disabled), !c.enabled);
    EXPECT_TRUE(s.focusable);
}

INSTANTIATE_TEST_SUITE_P(States, AccessibleButtonState,
                         ::testing::Values(StateCase{"plain", false, true},
                                           StateCase{"focused", true, true},
                                           StateCase{"disabled", false, false},
                                           StateCase{"focusedAndDisabled", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AccessibleButton, pressActionClicksOnlyAnEnabledButton) {
    QAccessibleActionInterface* actions = iface()->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks->count(), 1);
    EXPECT_EQ(button->ShownFrame(), Frame::Normal);
    EXPECT_FALSE(button->KeyDown());

    button->Enabled(false);
    EXPECT_TRUE(actions->actionNames().isEmpty());
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks->count(), 1);
}

} // namespace
} // namespace velmora
