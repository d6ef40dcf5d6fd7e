#include "gui/pointer.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace velmora::gui {

namespace {

struct ActiveFake {
    FakePointer fake;
    // Guards against a test that deletes the window it named.
    QPointer<QWidget> window;
};

std::optional<ActiveFake>& fakePointer() {
    static std::optional<ActiveFake> instance;
    return instance;
}

} // namespace

bool GetCursorPos(QPoint* screenPos) {
    if (screenPos == nullptr)
        return false;
    if (const auto& fake = fakePointer()) {
        if (!fake->fake.readable)
            return false;
        *screenPos = fake->fake.position;
        return true;
    }
    *screenPos = QCursor::pos();
    return true;
}

QWidget* WindowFromPoint(const QPoint& screenPos) {
    if (const auto& fake = fakePointer(); fake && fake->fake.overrideWindow)
        return fake->window.data();
    // widgetAt skips children marked Qt::WA_TransparentForMouseEvents, which is
    // what makes a windowless caption count as its button.
    return QApplication::widgetAt(screenPos);
}

void setFakePointer(const FakePointer& fake) {
    fakePointer() = ActiveFake{fake, fake.window};
}

void clearFakePointer() {
    fakePointer().reset();
}

} // namespace velmora::gui
