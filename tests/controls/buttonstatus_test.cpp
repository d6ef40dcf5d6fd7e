// The button's transition table, row by row, without a window.
#include "controls/buttonstatus.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

using K = ButtonEventKind;
using B = MouseButton;

struct Row {
    std::string name;
    quint8 state;
    bool leftDown;
    ButtonEvent event;
    quint8 newState;
    std::optional<Frame> painted;
    bool newLeftDown;
    bool click;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class TransitionTable : public ::testing::TestWithParam<Row> {};

TEST_P(TransitionTable, changesStatePaintsAndClicksAsTheRowSays) {
    const Row& row = GetParam();
    ButtonStatus s;
    s.IsEnabled = true;
    s.ButtonState = row.state;
    s.LeftDown = row.leftDown;
    const Reaction r = Step(s, row.event);
    EXPECT_EQ(s.ButtonState, row.newState);
    EXPECT_EQ(r.paint, row.painted);
    EXPECT_EQ(s.LeftDown, row.newLeftDown);
    EXPECT_EQ(r.click, row.click);
}

const Row kRows[] = {
    // name, state, leftDown, event, new state, painted, new leftDown, click
    {"moveInNormalHighlights", 1, false, {K::MouseMove}, 2, Frame::HighLight, false, false},
    {"moveInSelectedHighlightsSelection",
     3,
     false,
     {K::MouseMove},
     4,
     Frame::HighLightSelect,
     false,
     false},
    {"moveInSelectedWithLeftHeldDoesNotRearm",
     3,
     true,
     {K::MouseMove},
     3,
     std::nullopt,
     true,
     false},
    {"moveInHighLightChangesNothing", 2, false, {K::MouseMove}, 2, std::nullopt, false, false},
    {"moveInHighLightSelectChangesNothing", 4, true, {K::MouseMove}, 4, std::nullopt, true, false},
    {"moveBeforeInitializeChangesNothing", 0, false, {K::MouseMove}, 0, std::nullopt, false, false},
    {"leftDownPaintsPressed", 2, false, {K::MouseDown, B::Left}, 2, Frame::Pressed, true, false},
    {"leftDownInSelectedPaintsPressed",
     3,
     false,
     {K::MouseDown, B::Left},
     3,
     Frame::Pressed,
     true,
     false},
    {"rightDownDoesNothing", 2, false, {K::MouseDown, B::Right}, 2, std::nullopt, false, false},
    {"middleDownKeepsLeftDown", 4, true, {K::MouseDown, B::Middle}, 4, std::nullopt, true, false},
    {"leftUpInHighLightPaintsNormalAndClicks",
     2,
     true,
     {K::MouseUp, B::Left},
     2,
     Frame::Normal,
     false,
     true},
    {"leftUpInHighLightSelectRepaintsItAndClicks",
     4,
     true,
     {K::MouseUp, B::Left},
     4,
     Frame::HighLightSelect,
     false,
     true},
    {"leftUpInSelectedCancelsTheClick",
     3,
     true,
     {K::MouseUp, B::Left},
     3,
     std::nullopt,
     false,
     false},
    {"leftUpInNormalClicks", 1, true, {K::MouseUp, B::Left}, 1, std::nullopt, false, true},
    {"leftUpBeforeInitializeClicks", 0, true, {K::MouseUp, B::Left}, 0, std::nullopt, false, true},
    {"rightUpClicksWithoutPainting",
     2,
     false,
     {K::MouseUp, B::Right},
     2,
     std::nullopt,
     false,
     true},
    {"rightUpKeepsLeftDown", 4, true, {K::MouseUp, B::Right}, 4, std::nullopt, true, true},
    {"rightUpInSelectedDoesNotClick",
     3,
     false,
     {K::MouseUp, B::Right},
     3,
     std::nullopt,
     false,
     false},
    {"middleUpClicks", 1, false, {K::MouseUp, B::Middle}, 1, std::nullopt, false, true},
    {"focusInNormalSelects", 1, false, {K::GotFocus}, 3, Frame::Selected, false, false},
    {"focusBeforeInitializeSelects", 0, false, {K::GotFocus}, 3, Frame::Selected, false, false},
    {"focusInHighLightSelectFallsBackToSelected",
     4,
     false,
     {K::GotFocus},
     3,
     Frame::Selected,
     false,
     false},
    {"focusWhileHoveringPaintsPressed", 2, false, {K::GotFocus}, 4, Frame::Pressed, false, false},
    {"focusLossFromHighLightSelectGoesNormal",
     4,
     false,
     {K::LostFocus},
     1,
     Frame::Normal,
     false,
     false},
    {"focusLossBeforeInitializeGoesNormal",
     0,
     false,
     {K::LostFocus},
     1,
     Frame::Normal,
     false,
     false},
    {"focusLossInNormalDoesNothing", 1, false, {K::LostFocus}, 1, std::nullopt, false, false},
    {"pointerLeavingHighLightGoesNormal",
     2,
     false,
     {K::PointerLeft},
     1,
     Frame::Normal,
     false,
     false},
    {"pointerLeavingHighLightSelectGoesSelected",
     4,
     true,
     {K::PointerLeft},
     3,
     Frame::Selected,
     true,
     false},
    {"pointerLeavingSelectedDoesNothing",
     3,
     false,
     {K::PointerLeft},
     3,
     std::nullopt,
     false,
     false},
    {"pointerLeavingNormalDoesNothing", 1, false, {K::PointerLeft}, 1, std::nullopt, false, false},
};

INSTANTIATE_TEST_SUITE_P(Rows, TransitionTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.name; });

// A key's press: the Pressed frame while it is down, whatever the pointer and
// the focus do; Click when it comes up, with the look of the state it ends in.
struct KeyRow {
    std::string name;
    quint8 state;
    bool keyDown, enabled;
    ButtonEvent event;
    quint8 newState;
    std::optional<Frame> painted;
    bool newKeyDown, click;
};

void PrintTo(const KeyRow& row, std::ostream* os) {
    *os << row.name;
}

class KeyTransitionTable : public ::testing::TestWithParam<KeyRow> {};

TEST_P(KeyTransitionTable, changesStatePaintsAndClicksAsTheRowSays) {
    const KeyRow& row = GetParam();
    ButtonStatus s;
    s.IsEnabled = row.enabled;
    s.ButtonState = row.state;
    s.KeyDown = row.keyDown;
    const Reaction r = Step(s, row.event);
    EXPECT_EQ(s.ButtonState, row.newState);
    EXPECT_EQ(r.paint, row.painted);
    EXPECT_EQ(s.KeyDown, row.newKeyDown);
    EXPECT_EQ(r.click, row.click);
}

constexpr bool Y = true, N = false;
constexpr auto none = std::nullopt;
using F = Frame;

const KeyRow kKeyRows[] = {
    // name, state, keyDown, enabled, event, new state, painted, new keyDown, click
    {"downPaintsPressed", 3, N, Y, {K::KeyDown}, 3, F::Pressed, Y, N},
    {"upInSelectedClicks", 3, Y, Y, {K::KeyUp}, 3, F::Selected, N, Y},
    {"upInHighLightSelectClicks", 4, Y, Y, {K::KeyUp}, 4, F::HighLightSelect, N, Y},
    {"upOnUnfocusedDefaultClicks", 2, Y, Y, {K::KeyUp}, 2, F::HighLight, N, Y},
    {"upWithoutItsPressDoesNothing", 3, N, Y, {K::KeyUp}, 3, none, N, N},
    {"cancelDoesNotClick", 3, Y, Y, {K::KeyCancel}, 3, F::Selected, N, N},
    {"pointerLeavingKeepsPressed", 4, Y, Y, {K::PointerLeft}, 3, none, Y, N},
    {"moveKeepsPressed", 3, Y, Y, {K::MouseMove}, 4, none, Y, N},
    {"focusLossEndsThePress", 3, Y, Y, {K::LostFocus}, 1, F::Normal, N, N},
    // The mouse's release is the one Click of a press made by both.
    {"mouseUpEndsThePress", 4, Y, Y, {K::MouseUp, B::Left}, 4, F::HighLightSelect, N, Y},
    {"downWhileDisabledDoesNothing", 3, N, N, {K::KeyDown}, 3, none, N, N},
    // Enabled again later, the button must not finish the old press.
    {"upWhileDisabledEndsThePress", 3, Y, N, {K::KeyUp}, 3, none, N, N},
};

INSTANTIATE_TEST_SUITE_P(Rows, KeyTransitionTable, ::testing::ValuesIn(kKeyRows),
                         [](const auto& info) { return info.param.name; });

TEST(HoverShading, followsStatesOneToThreeAndIsKeptOtherwise) {
    const struct {
        quint8 state;
        bool before, after;
    } cases[] = {{1, true, false}, {2, false, true},  {3, true, false},
                 {4, true, true},  {4, false, false}, {0, true, true}};
    for (const auto& c : cases) {
        ButtonStatus s;
        s.ButtonState = c.state;
        s.HoverShading = c.before;
        UpdateHoverShading(s);
        EXPECT_EQ(s.HoverShading, c.after) << "state " << int(c.state);
    }
}

} // namespace
} // namespace velmora
