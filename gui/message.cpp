#include "gui/message.h"

namespace velmora::gui {

QMessageBox::StandardButton showMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromUtf16(kMessageTitle), text, buttons, owner);
    // As QMessageBox's own static functions answer: a box closed some other way
    // counts as Cancel.
    if (box.exec() == -1)
        return QMessageBox::Cancel;
    return box.standardButton(box.clickedButton());
}

} // namespace velmora::gui
