#include "controls/buttonstatus.h"

namespace velmora {

namespace {

Reaction mouseMove(ButtonStatus& s) {
    // The hover look starts only here; the pointer-tracking tick only ends it.
    // In state 3 a held left button blocks it: that is what keeps a click
    // cancelled by dragging off from being re-armed by dragging back on.
    if (s.ButtonState == VisualState::Normal) {
        s.ButtonState = VisualState::HighLight;
        return {Frame::HighLight};
    }
    if (s.ButtonState == VisualState::Selected && !s.LeftDown) {
        s.ButtonState = VisualState::HighLightSelect;
        return {Frame::HighLightSelect};
    }
    return {};
}

Reaction mouseDown(ButtonStatus& s, MouseButton button) {
    if (button != MouseButton::Left)
        return {};
    s.LeftDown = true;
    return {Frame::Pressed};
}

Reaction mouseUp(ButtonStatus& s, MouseButton button) {
    // The mouse's release ends a key's press too: one press, one Click.
    s.keyDown = false;
    Reaction r;
    if (button == MouseButton::Left) {
        s.LeftDown = false;
        if (s.ButtonState == VisualState::HighLight)
            r.paint = Frame::Normal;
        else if (s.ButtonState == VisualState::HighLightSelect)
            r.paint = Frame::HighLightSelect;
    }
    // Any button's release clicks, wherever the pointer is, unless the tick
    // has already seen the pointer leave the focused button (state 3).
    r.click = s.ButtonState != VisualState::Selected;
    return r;
}

Reaction gotFocus(ButtonStatus& s) {
    if (s.ButtonState != VisualState::HighLight) {
        s.ButtonState = VisualState::Selected;
        return {Frame::Selected};
    }
    s.ButtonState = VisualState::HighLightSelect;
    return {Frame::Pressed};
}

Reaction lostFocus(ButtonStatus& s) {
    s.keyDown = false;
    if (s.ButtonState == VisualState::Normal)
        return {};
    s.ButtonState = VisualState::Normal;
    return {Frame::Normal};
}

Reaction pointerLeft(ButtonStatus& s) {
    if (s.ButtonState == VisualState::HighLight) {
        s.ButtonState = VisualState::Normal;
        return {Frame::Normal};
    }
    if (s.ButtonState == VisualState::HighLightSelect) {
        s.ButtonState = VisualState::Selected;
        return {Frame::Selected};
    }
    return {};
}

// The frame a state is named after (Normal before Initialize).
Frame stateFrame(VisualState buttonState) {
    switch (buttonState) {
    case VisualState::HighLight:
        return Frame::HighLight;
    case VisualState::Selected:
        return Frame::Selected;
    case VisualState::HighLightSelect:
        return Frame::HighLightSelect;
    default:
        return Frame::Normal;
    }
}

Reaction keyDown(ButtonStatus& s) {
    s.keyDown = true;
    return {Frame::Pressed};
}

Reaction keyUp(ButtonStatus& s, bool click) {
    // A key that came up without having pressed the button (its press went to
    // another widget, or a mouse release or focus change ended it) does nothing.
    if (!s.keyDown)
        return {};
    s.keyDown = false;
    return {stateFrame(s.ButtonState), click};
}

// What the pointer and the focus change while a key holds the button down: the
// state as usual, the look stays Pressed.
Reaction underKey(const ButtonStatus& s, Reaction r) {
    if (s.keyDown)
        r.paint.reset();
    return r;
}

} // namespace

Reaction step(ButtonStatus& status, const ButtonEvent& event) {
    if (!status.IsEnabled) {
        // A key that comes up on a disabled button still ends its press, so
        // that enabling the button later does not finish it with a Click.
        if (event.kind == ButtonEventKind::KeyUp || event.kind == ButtonEventKind::KeyCancel)
            status.keyDown = false;
        return {};
    }
    switch (event.kind) {
    case ButtonEventKind::MouseMove:
        return underKey(status, mouseMove(status));
    case ButtonEventKind::MouseDown:
        return mouseDown(status, event.button);
    case ButtonEventKind::MouseUp:
        return mouseUp(status, event.button);
    case ButtonEventKind::GotFocus:
        return underKey(status, gotFocus(status));
    case ButtonEventKind::LostFocus:
        return lostFocus(status);
    case ButtonEventKind::PointerLeft:
        return underKey(status, pointerLeft(status));
    case ButtonEventKind::KeyDown:
        return keyDown(status);
    case ButtonEventKind::KeyUp:
        return keyUp(status, true);
    case ButtonEventKind::KeyCancel:
        return keyUp(status, false);
    }
    return {};
}

void updateHoverShading(ButtonStatus& status) {
    switch (status.ButtonState) {
    case VisualState::Normal:
    case VisualState::Selected:
        status.HoverShading = false;
        break;
    case VisualState::HighLight:
        status.HoverShading = true;
        break;
    default:
        break;
    }
}

} // namespace velmora
