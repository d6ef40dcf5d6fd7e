// The program's captions name a Japanese font that this platform does not have
// under that name; it is mapped to an installed Japanese font of the same kind.
#pragma once

#include <QFont>
#include <QString>

namespace velmora::gui {

inline const QString kCaptionFontName = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kInstalledFontName = QStringLiteral("IPAPGothic");

// Installs the mapping; call once after the application object exists.
void installFontSubstitutes();

// The caption font of labels, lists and buttons: 9.75 pt, regular.
QFont captionFont();

} // namespace velmora::gui
