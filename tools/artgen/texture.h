// The dialogs' background texture: a 1030 x 23 strip of light, streaky
// brushed-metal grey, lightest at the left edge and darker towards the right.
#pragma once

#include <QImage>

namespace artgen {

inline constexpr int kTextureWidth = 1030;
inline constexpr int kTextureHeight = 23;

// The same picture on every run and every machine: the noise comes from a
// fixed-seed std::mt19937, whose sequence the C++ standard fixes, and is turned
// into values with integer arithmetic only.
QImage drawTexture();

} // namespace artgen
