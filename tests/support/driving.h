// Helpers that drive widgets through real input events, shared by the tests and
// the dialog benchmark.
#pragma once

#include <functional>

class QWidget;

namespace velmora {

class Command;

// The pointer moved onto the button, then a press and release of the left
// button in its middle.
void ClickButton(Command* button);

// Waits until a modal dialog is up, then runs drive(dialog) on it; returns at
// once. Used to drive dialogs that are shown with exec(). The check runs every
// pollMs milliseconds.
void WhenModal(const std::function<void(QWidget*)>& drive, int pollMs = 10);

} // namespace velmora
