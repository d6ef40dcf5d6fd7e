#include "controls/commandaccessible.h"

#include "controls/command.h"

namespace velmora {

namespace {

QAccessibleInterface* commandFactory(const QString&, QObject* object) {
    // Qt asks once per class up the hierarchy; the first ask (the most
    // derived class) already decides.
    if (auto* button = qobject_cast<Command*>(object))
        return new CommandAccessible(button);
    return nullptr;
}

} // namespace

CommandAccessible::CommandAccessible(Command* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

Command* CommandAccessible::button() const {
    return static_cast<Command*>(widget());
}

QString CommandAccessible::text(QAccessible::Text t) const {
    // A name given in code wins, as for Qt's own widgets; otherwise the
    // caption is the name.
    if (t == QAccessible::Name && button()->accessibleName().isEmpty())
        return button()->Caption();
    return QAccessibleWidget::text(t);
}

QAccessible::State CommandAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    // The button's own Enabled flag, not QWidget's, decides: the widget stays
    // enabled to get its events.
    s.disabled = !button()->IsEnabled();
    s.pressed = button()->LeftDown() || button()->keyDown();
    return s;
}

int CommandAccessible::childCount() const {
    return 0;
}

QAccessibleInterface* CommandAccessible::child(int) const {
    return nullptr;
}

QAccessibleInterface* CommandAccessible::childAt(int, int) const {
    return nullptr;
}

int CommandAccessible::indexOfChild(const QAccessibleInterface*) const {
    return -1;
}

QStringList CommandAccessible::actionNames() const {
    if (!button()->IsEnabled())
        return {};
    return {pressAction()};
}

void CommandAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction())
        button()->press();
}

QStringList CommandAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == pressAction())
        return {QStringLiteral("Space")};
    return {};
}

void installCommandAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(commandFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace velmora
