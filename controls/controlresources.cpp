#include "controls/controlresources.h"

#include <array>

// Q_INIT_RESOURCE names a function in the global namespace, so it cannot be
// used inside ours.
static void initControlsQrc() {
    Q_INIT_RESOURCE(controls);
}

namespace velmora {

void initControlResources() {
    static const bool done = (initControlsQrc(), true);
    Q_UNUSED(done);
}

QImage frameImage(Frame frame) {
    static const std::array<QImage, 6> frames = [] {
        initControlResources();
        const char* names[] = {"normal",   "highlight", "highlightselect",
                               "selected", "pressed",   "disable"};
        std::array<QImage, 6> images;
        for (int i = 0; i < 6; ++i)
            images[i] = QImage(QStringLiteral(":/frames/%1.bmp").arg(QLatin1String(names[i])))
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return images;
    }();
    return frames[static_cast<int>(frame)];
}

} // namespace velmora
