// Everything the button control knows about itself, and the one table that
// says how mouse, focus and pointer-tracking notifications change it.
//
// The table is kept apart from the widget so that it can be read, and tested,
// on its own: Command feeds it the notifications Qt delivers and paints the
// frame the table names.
#pragma once

#include <QtGlobal>

#include <optional>

namespace velmora {

// The six frame pictures; each one is a look of the button.
enum class Frame { Normal, HighLight, HighLightSelect, Selected, Pressed, Disable };

// Visual states, kept in ButtonStatus::ButtonState. Each is named after the
// frame shown on entering it. A new button is Uninitialized until
// Command::Initialize.
enum class VisualState : quint8 {
    Uninitialized,
    Normal,          // pointer elsewhere, no focus
    HighLight,       // pointer over the button, no focus
    Selected,        // focus, pointer elsewhere
    HighLightSelect, // focus and pointer over the button
};

// Mouse buttons as the handlers number them.
enum class MouseButton { Left, Right, Middle };

struct ButtonStatus {
    // The Enabled property. false in a new button until the first read of
    // Enabled or a stored value switches it on.
    bool IsEnabled = false;
    // Backs the stored "FirstRun" key: 0 in a new button, 1 once it has been
    // used or read from store.
    quint8 FirstRunFlag = 0;
    VisualState ButtonState = VisualState::Uninitialized;
    // Which way round the face gradient runs; true is the hover shading.
    bool HoverShading = false;
    // The left button went down on the button and has not come up yet.
    bool LeftDown = false;
    // A key (Space or Return) pressed the button and has not come up yet.
    bool keyDown = false;
    // The frame the face was last painted with.
    Frame shown = Frame::Normal;
};

// KeyDown and KeyUp are a key that presses the button (Space or Return on the
// focused button, or the dialog's Return or Escape for its default or cancel
// button); KeyCancel ends such a press without a Click (the window lost the
// keyboard before the key came up).
enum class ButtonEventKind {
    MouseMove,
    MouseDown,
    MouseUp,
    GotFocus,
    LostFocus,
    PointerLeft,
    KeyDown,
    KeyUp,
    KeyCancel
};

struct ButtonEvent {
    ButtonEventKind kind;
    MouseButton button = MouseButton::Left; // for MouseDown and MouseUp
};

// What a notification asks of the widget after the status has changed.
struct Reaction {
    std::optional<Frame> paint; // repaint with this frame
    bool click = false;         // raise Click
    bool operator==(const Reaction&) const = default;
};

// Applies one notification to the status. A disabled button ignores them all.
//
// A key press shows the Pressed frame until the key comes up, whatever the
// pointer and the focus do meanwhile (their state changes still count); the
// release raises Click and shows the frame the state is named after. A mouse
// release or a loss of the focus ends the key's press: the mouse's own rules
// then decide the look and the Click.
Reaction step(ButtonStatus& status, const ButtonEvent& event);

// The first step of every repaint: states 1 and 3 take the normal shading,
// state 2 the hover shading; any other state (4 included) keeps the shading it
// had, so state 4 looks like the state it was entered from.
void updateHoverShading(ButtonStatus& status);

// The frame that shows the enabled state: Normal for an enabled button,
// Disable otherwise.
inline Frame enabledFrame(const ButtonStatus& status) {
    return status.IsEnabled ? Frame::Normal : Frame::Disable;
}

} // namespace velmora
