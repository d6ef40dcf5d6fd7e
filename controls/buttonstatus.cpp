#include "controls/buttonstatus.h"

namespace velmora {

namespace {

Reaction mouseMove(ButtonStatus& s) {
    // The hover look starts only here; the pointer-tracking tick only ends it.
    // In state 3 a held left button blocks it: that is what keeps a click
    // cancelled by dragging off from being re-armed by dragging back on.
    if (s.ButtonState == state::Normal) {
        s.ButtonState = state::HighLight;
        return {Frame::HighLight};
    }
    if (s.ButtonState == state::Selected && !s.LeftDown) {
        s.ButtonState = state::HighLightSelect;
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
    Reaction r;
    if (button == MouseButton::Left) {
        s.LeftDown = false;
        if (s.ButtonState == state::HighLight)
            r.paint = Frame::Normal;
        else if (s.ButtonState == state::HighLightSelect)
            r.paint = Frame::HighLightSelect;
    }
    // Any button's release clicks, wherever the pointer is, unless the tick
    // has already seen the pointer leave the focused button (state 3).
    r.click = s.ButtonState != state::Selected;
    return r;
}

Reaction gotFocus(ButtonStatus& s) {
    if (s.ButtonState != state::HighLight) {
        s.ButtonState = state::Selected;
        return {Frame::Selected};
    }
    s.ButtonState = state::HighLightSelect;
    return {Frame::Pressed};
}

Reaction lostFocus(ButtonStatus& s) {
    if (s.ButtonState == state::Normal)
        return {};
    s.ButtonState = state::Normal;
    return {Frame::Normal};
}

Reaction pointerLeft(ButtonStatus& s) {
    if (s.ButtonState == state::HighLight) {
        s.ButtonState = state::Normal;
        return {Frame::Normal};
    }
    if (s.ButtonState == state::HighLightSelect) {
        s.ButtonState = state::Selected;
        return {Frame::Selected};
    }
    return {};
}

} // namespace

Reaction Step(ButtonStatus& status, const ButtonEvent& event) {
    if (!status.IsEnabled)
        return {};
    switch (event.kind) {
    case ButtonEventKind::MouseMove:
        return mouseMove(status);
    case ButtonEventKind::MouseDown:
        return mouseDown(status, event.button);
    case ButtonEventKind::MouseUp:
        return mouseUp(status, event.button);
    case ButtonEventKind::GotFocus:
        return gotFocus(status);
    case ButtonEventKind::LostFocus:
        return lostFocus(status);
    case ButtonEventKind::PointerLeft:
        return pointerLeft(status);
    }
    return {};
}

void UpdateHoverShading(ButtonStatus& status) {
    switch (status.ButtonState) {
    case state::Normal:
    case state::Selected:
        status.HoverShading = false;
        break;
    case state::HighLight:
        status.HoverShading = true;
        break;
    default:
        break;
    }
}

} // namespace velmora
