#include "gui/fonts.h"

namespace velmora::gui {

void InstallFontSubstitutes() {
    QFont::insertSubstitution(kCaptionFontName, kInstalledFontName);
}

QFont CaptionFont() {
    QFont font(kCaptionFontName);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace velmora::gui
