// The mouse pointer as the button control's tracking and the dialogs' opening
// animation see it: where it is on the screen, and which window lies under it.
//
// Tests replace the real pointer with a fake one (setFakePointer), because a
// platform without a pointing device (the offscreen one) never moves QCursor.
#pragma once

#include <QPoint>

class QWidget;

namespace velmora::gui {

// Stores the pointer's position in screen pixels into *screenPos and returns
// true; returns false (and leaves *screenPos alone) when it cannot be read.
bool GetCursorPos(QPoint* screenPos);

// The widget that owns the screen point: the innermost widget that receives the
// mouse there. A child that lets mouse events through (such as a button's
// caption) is not a window of its own, so the point counts as over its parent.
// nullptr when no window of this program lies under the point.
QWidget* WindowFromPoint(const QPoint& screenPos);

// A pretend pointer for tests. While one is set, GetCursorPos reports
// `position` (or fails when `readable` is false) and WindowFromPoint reports
// `window` when `overrideWindow` is true, otherwise it looks the point up among
// the real widgets.
struct FakePointer {
    QPoint position;
    bool readable = true;
    bool overrideWindow = false;
    QWidget* window = nullptr;
};

// Installs the fake pointer; every later call sees it until clearFakePointer.
void setFakePointer(const FakePointer& fake);
// Back to the real pointer.
void clearFakePointer();

} // namespace velmora::gui
