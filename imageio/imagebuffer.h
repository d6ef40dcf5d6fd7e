// Large images that are about to be written whole.
#pragma once

#include <QImage>

namespace velmora::imageio {

// A Format_RGB32 image of the given size whose pixels are NOT initialised,
// backed by memory that the system may give in huge pages: a fresh result of a
// hundred megabytes then costs a few dozen page faults instead of tens of
// thousands. Null when the memory cannot be had.
QImage allocateImage(int width, int height);

} // namespace velmora::imageio
