// The program's message box: every warning it shows carries the same title.
#pragma once

#include <QMessageBox>
#include <QString>

namespace velmora::gui {

// The title of every message box the program shows.
inline constexpr char16_t kMessageTitle[] = u"Vantorel";

// Shows a modal message box over `owner` with the program's title, and returns
// the button the user pressed.
QMessageBox::StandardButton showMessage(QWidget* owner, const QString& text,
                                        QMessageBox::Icon icon = QMessageBox::Warning,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

} // namespace velmora::gui
