// The button's transition table, row by row, without a window.
#include "controls/buttonstatus.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

using K = ButtonEventKind;
using B = MouseButton;
using F = Frame;
constexpr bool Y = true, N = false;
constexpr auto none = std::nullopt;
const ButtonEvent Move{K::MouseMove}, Focus{K::GotFocus}, Blur{K::LostFocus}, Leave{K::PointerLeft};
const ButtonEvent LeftDown{K::MouseDown, B::Left}, RightDown{K::MouseDown, B::Right},
    MiddleDown{K::MouseDown, B::Middle}, LeftUp{K::MouseUp, B::Left}, RightUp{K::MouseUp, B::Right},
    MiddleUp{K::MouseUp, B::Middle};
const ButtonEvent KeyDown{K::KeyDown}, KeyUp{K::KeyUp}, KeyCancel{K::KeyCancel};

// What is held down on the button: nothing, the left mouse button or a key.
enum Held { no, left, key };

struct Row {
    std::string name;
    quint8 state;
    Held held;
    bool enabled;
    ButtonEvent event;
    quint8 newState;
    std::optional<Frame> painted;
    Held newHeld;
    bool click;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class TransitionTable : public ::testing::TestWithParam<Row> {};

TEST_P(TransitionTable, changesStatePaintsAndClicksAsTheRowSays) {
    const Row& row = GetParam();
    ButtonStatus s;
    s.IsEnabled = row.enabled;
    s.ButtonState = row.state;
    s.LeftDown = row.held == left;
    s.KeyDown = row.held == key;
    const Reaction r = Step(s, row.event);
    EXPECT_EQ(s.ButtonState, row.newState);
    EXPECT_EQ(r.paint, row.painted);
    EXPECT_EQ(s.LeftDown, row.newHeld == left);
    EXPECT_EQ(s.KeyDown, row.newHeld == key);
    EXPECT_EQ(r.click, row.click);
}

const Row kRows[] = {
    // name, state, held, enabled, event, new state, painted, held after, click
    {"moveInNormalHighlights", 1, no, Y, Move, 2, F::HighLight, no, N},
    {"moveInSelectedHighlightsSelection", 3, no, Y, Move, 4, F::HighLightSelect, no, N},
    {"moveInSelectedWithLeftHeldDoesNotRearm", 3, left, Y, Move, 3, none, left, N},
    {"moveInHighLightChangesNothing", 2, no, Y, Move, 2, none, no, N},
    {"moveInHighLightSelectChangesNothing", 4, left, Y, Move, 4, none, left, N},
    {"moveBeforeInitializeChangesNothing", 0, no, Y, Move, 0, none, no, N},
    {"leftDownPaintsPressed", 2, no, Y, LeftDown, 2, F::Pressed, left, N},
    {"leftDownInSelectedPaintsPressed", 3, no, Y, LeftDown, 3, F::Pressed, left, N},
    {"rightDownDoesNothing", 2, no, Y, RightDown, 2, none, no, N},
    {"middleDownKeepsLeftDown", 4, left, Y, MiddleDown, 4, none, left, N},
    {"leftUpInHighLightPaintsNormalAndClicks", 2, left, Y, LeftUp, 2, F::Normal, no, Y},
    {"leftUpInHighLightSelectRepaintsItAndClicks", 4, left, Y, LeftUp, 4, F::HighLightSelect, no,
     Y},
    {"leftUpInSelectedCancelsTheClick", 3, left, Y, LeftUp, 3, none, no, N},
    {"leftUpInNormalClicks", 1, left, Y, LeftUp, 1, none, no, Y},
    {"leftUpBeforeInitializeClicks", 0, left, Y, LeftUp, 0, none, no, Y},
    {"rightUpClicksWithoutPainting", 2, no, Y, RightUp, 2, none, no, Y},
    {"rightUpKeepsLeftDown", 4, left, Y, RightUp, 4, none, left, Y},
    {"rightUpInSelectedDoesNotClick", 3, no, Y, RightUp, 3, none, no, N},
    {"middleUpClicks", 1, no, Y, MiddleUp, 1, none, no, Y},
    {"focusInNormalSelects", 1, no, Y, Focus, 3, F::Selected, no, N},
    {"focusBeforeInitializeSelects", 0, no, Y, Focus, 3, F::Selected, no, N},
    {"focusInHighLightSelectFallsBackToSelected", 4, no, Y, Focus, 3, F::Selected, no, N},
    {"focusWhileHoveringPaintsPressed", 2, no, Y, Focus, 4, F::Pressed, no, N},
    {"focusLossFromHighLightSelectGoesNormal", 4, no, Y, Blur, 1, F::Normal, no, N},
    {"focusLossBeforeInitializeGoesNormal", 0, no, Y, Blur, 1, F::Normal, no, N},
    {"focusLossInNormalDoesNothing", 1, no, Y, Blur, 1, none, no, N},
    {"pointerLeavingHighLightGoesNormal", 2, no, Y, Leave, 1, F::Normal, no, N},
    {"pointerLeavingHighLightSelectGoesSelected", 4, left, Y, Leave, 3, F::Selected, left, N},
    {"pointerLeavingSelectedDoesNothing", 3, no, Y, Leave, 3, none, no, N},
    {"pointerLeavingNormalDoesNothing", 1, no, Y, Leave, 1, none, no, N},
    // A key's press: the Pressed frame while it is down, whatever the pointer
    // and the focus do; Click when it comes up, with the look of the state it
    // ends in.
    {"keyDownPaintsPressed", 3, no, Y, KeyDown, 3, F::Pressed, key, N},
    {"keyUpInSelectedClicks", 3, key, Y, KeyUp, 3, F::Selected, no, Y},
    {"keyUpInHighLightSelectClicks", 4, key, Y, KeyUp, 4, F::HighLightSelect, no, Y},
    {"keyUpOnUnfocusedDefaultClicks", 2, key, Y, KeyUp, 2, F::HighLight, no, Y},
    {"keyUpWithoutItsPressDoesNothing", 3, no, Y, KeyUp, 3, none, no, N},
    {"keyCancelDoesNotClick", 3, key, Y, KeyCancel, 3, F::Selected, no, N},
    {"keyPointerLeavingKeepsPressed", 4, key, Y, Leave, 3, none, key, N},
    {"keyMoveKeepsPressed", 3, key, Y, Move, 4, none, key, N},
    {"keyFocusLossEndsThePress", 3, key, Y, Blur, 1, F::Normal, no, N},
    // The mouse's release is the one Click of a press made by both.
    {"keyMouseUpEndsThePress", 4, key, Y, LeftUp, 4, F::HighLightSelect, no, Y},
    {"keyDownWhileDisabledDoesNothing", 3, no, N, KeyDown, 3, none, no, N},
    // Enabled again later, the button must not finish the old press.
    {"keyUpWhileDisabledEndsThePress", 3, key, N, KeyUp, 3, none, no, N},
};

INSTANTIATE_TEST_SUITE_P(Rows, TransitionTable, ::testing::ValuesIn(kRows),
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
