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

// The states, short, as the table's columns show them.
constexpr VisualState Un = VisualState::Uninitialized, Nm = VisualState::Normal,
                      HL = VisualState::HighLight, Sl = VisualState::Selected,
                      HS = VisualState::HighLightSelect;

struct Row {
    std::string name;
    VisualState state;
    Held held;
    bool enabled;
    ButtonEvent event;
    VisualState newState;
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
    s.keyDown = row.held == key;
    const Reaction r = step(s, row.event);
    EXPECT_EQ(s.ButtonState, row.newState);
    EXPECT_EQ(r.paint, row.painted);
    EXPECT_EQ(s.LeftDown, row.newHeld == left);
    EXPECT_EQ(s.keyDown, row.newHeld == key);
    EXPECT_EQ(r.click, row.click);
}

const Row kRows[] = {
    // name, state, held, enabled, event, new state, painted, held after, click
    {"moveInNormalHighlights", Nm, no, Y, Move, HL, F::HighLight, no, N},
    {"moveInSelectedHighlightsSelection", Sl, no, Y, Move, HS, F::HighLightSelect, no, N},
    {"moveInSelectedWithLeftHeldDoesNotRearm", Sl, left, Y, Move, Sl, none, left, N},
    {"moveInHighLightChangesNothing", HL, no, Y, Move, HL, none, no, N},
    {"moveInHighLightSelectChangesNothing", HS, left, Y, Move, HS, none, left, N},
    {"moveBeforeInitializeChangesNothing", Un, no, Y, Move, Un, none, no, N},
    {"leftDownPaintsPressed", HL, no, Y, LeftDown, HL, F::Pressed, left, N},
    {"leftDownInSelectedPaintsPressed", Sl, no, Y, LeftDown, Sl, F::Pressed, left, N},
    {"rightDownDoesNothing", HL, no, Y, RightDown, HL, none, no, N},
    {"middleDownKeepsLeftDown", HS, left, Y, MiddleDown, HS, none, left, N},
    {"leftUpInHighLightPaintsNormalAndClicks", HL, left, Y, LeftUp, HL, F::Normal, no, Y},
    {"leftUpInHighLightSelectRepaintsItAndClicks", HS, left, Y, LeftUp, HS, F::HighLightSelect, no,
     Y},
    {"leftUpInSelectedCancelsTheClick", Sl, left, Y, LeftUp, Sl, none, no, N},
    {"leftUpInNormalClicks", Nm, left, Y, LeftUp, Nm, none, no, Y},
    {"leftUpBeforeInitializeClicks", Un, left, Y, LeftUp, Un, none, no, Y},
    {"rightUpClicksWithoutPainting", HL, no, Y, RightUp, HL, none, no, Y},
    {"rightUpKeepsLeftDown", HS, left, Y, RightUp, HS, none, left, Y},
    {"rightUpInSelectedDoesNotClick", Sl, no, Y, RightUp, Sl, none, no, N},
    {"middleUpClicks", Nm, no, Y, MiddleUp, Nm, none, no, Y},
    {"focusInNormalSelects", Nm, no, Y, Focus, Sl, F::Selected, no, N},
    {"focusBeforeInitializeSelects", Un, no, Y, Focus, Sl, F::Selected, no, N},
    {"focusInHighLightSelectFallsBackToSelected", HS, no, Y, Focus, Sl, F::Selected, no, N},
    {"focusWhileHoveringPaintsPressed", HL, no, Y, Focus, HS, F::Pressed, no, N},
    {"focusLossFromHighLightSelectGoesNormal", HS, no, Y, Blur, Nm, F::Normal, no, N},
    {"focusLossBeforeInitializeGoesNormal", Un, no, Y, Blur, Nm, F::Normal, no, N},
    {"focusLossInNormalDoesNothing", Nm, no, Y, Blur, Nm, none, no, N},
    {"pointerLeavingHighLightGoesNormal", HL, no, Y, Leave, Nm, F::Normal, no, N},
    {"pointerLeavingHighLightSelectGoesSelected", HS, left, Y, Leave, Sl, F::Selected, left, N},
    {"pointerLeavingSelectedDoesNothing", Sl, no, Y, Leave, Sl, none, no, N},
    {"pointerLeavingNormalDoesNothing", Nm, no, Y, Leave, Nm, none, no, N},
    // A key's press: the Pressed frame while it is down, whatever the pointer
    // and the focus do; Click when it comes up, with the look of the state it
    // ends in.
    {"keyDownPaintsPressed", Sl, no, Y, KeyDown, Sl, F::Pressed, key, N},
    {"keyUpInSelectedClicks", Sl, key, Y, KeyUp, Sl, F::Selected, no, Y},
    {"keyUpInHighLightSelectClicks", HS, key, Y, KeyUp, HS, F::HighLightSelect, no, Y},
    {"keyUpOnUnfocusedDefaultClicks", HL, key, Y, KeyUp, HL, F::HighLight, no, Y},
    {"keyUpWithoutItsPressDoesNothing", Sl, no, Y, KeyUp, Sl, none, no, N},
    {"keyCancelDoesNotClick", Sl, key, Y, KeyCancel, Sl, F::Selected, no, N},
    {"keyPointerLeavingKeepsPressed", HS, key, Y, Leave, Sl, none, key, N},
    {"keyMoveKeepsPressed", Sl, key, Y, Move, HS, none, key, N},
    {"keyFocusLossEndsThePress", Sl, key, Y, Blur, Nm, F::Normal, no, N},
    // The mouse's release is the one Click of a press made by both.
    {"keyMouseUpEndsThePress", HS, key, Y, LeftUp, HS, F::HighLightSelect, no, Y},
    {"keyDownWhileDisabledDoesNothing", Sl, no, N, KeyDown, Sl, none, no, N},
    // Enabled again later, the button must not finish the old press.
    {"keyUpWhileDisabledEndsThePress", Sl, key, N, KeyUp, Sl, none, no, N},
};

INSTANTIATE_TEST_SUITE_P(rows, TransitionTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.name; });

TEST(HoverShading, followsStatesOneToThreeAndIsKeptOtherwise) {
    const struct {
        VisualState state;
        bool before, after;
    } cases[] = {{Nm, true, false}, {HL, false, true},  {Sl, true, false},
                 {HS, true, true},  {HS, false, false}, {Un, true, true}};
    for (const auto& c : cases) {
        ButtonStatus s;
        s.ButtonState = c.state;
        s.HoverShading = c.before;
        updateHoverShading(s);
        EXPECT_EQ(s.HoverShading, c.after) << "state " << int(c.state);
    }
}

} // namespace
} // namespace velmora
