#include "gui/fonts.h"

namespace velmora::gui {

void installFontSubstitutes() {
    QFont::insertSubstitution(kCaptionFontName, kInstalledFontName);
}

QFont captionFont() {
    QFont font(kCaptionFontName);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace velmora::gui
