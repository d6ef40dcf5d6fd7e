// The picture the application benchmarks work on: photo-like, smooth shading
// with a little grain, the same for the same size.
#pragma once

#include <QImage>

#include <random>

namespace velmora::bench {

inline QImage PhotoLike(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 rng(5);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x / 16 + rng() % 6) & 0xFF, (y / 12 + rng() % 6) & 0xFF,
                           ((x + y) / 28) & 0xFF);
    }
    return image;
}

} // namespace velmora::bench
