// What assistive technology (a screen reader through AT-SPI) sees of a Command:
// a push button named after its caption, focused or disabled as the button is,
// with one action, press, that clicks it. The caption label inside the button
// is part of the button, not an object of its own.
#pragma once

#include <QAccessibleWidget>

namespace velmora {

class Command;

class CommandAccessible : public QAccessibleWidget {
  public:
    explicit CommandAccessible(Command* button);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    // Only the press action, and only while the button is enabled.
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

  private:
    Command* button() const;
};

// Makes Qt build a CommandAccessible for every Command; the first Command made
// calls it, later calls do nothing.
void installCommandAccessibility();

} // namespace velmora
