#include "tests/support/driving.h"

#include "controls/command.h"
#include "gui/pointer.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

namespace velmora {

void ClickButton(Command* button) {
    // As with a real mouse, the pointer comes over the button before it is
    // pressed; the button's tracking sees it there.
    const QPoint centre = button->rect().center();
    gui::FakePointer fake;
    fake.position = button->mapToGlobal(centre);
    fake.overrideWindow = true;
    fake.window = button;
    gui::setFakePointer(fake);
    // The move goes to the button itself: routed through the window it can be
    // swallowed when the platform thinks the pointer has not moved.
    QMouseEvent move(QEvent::MouseMove, QPointF(centre), QPointF(fake.position), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    QTest::mouseClick(button, Qt::LeftButton, {}, centre);
}

void WhenModal(const std::function<void(QWidget*)>& drive, int pollMs) {
    auto* poll = new QTimer;
    poll->setInterval(pollMs);
    QObject::connect(poll, &QTimer::timeout, [poll, drive] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        drive(dialog);
    });
    poll->start();
}

} // namespace velmora
