// JPEG files of every kind the program meets, made with libjpeg for the tests.
#pragma once

#include <QByteArray>
#include <QImage>

#include <utility>
#include <vector>

namespace velmora::testkit {

enum class JpegKind {
    Baseline444,
    Baseline420,
    Baseline422,
    Progressive420,
    Grayscale,
    GrayscaleProgressive,
    Cmyk,
    Ycck,
    RestartMarkers,
    Arithmetic
};

// Gradients in every channel with a little noise: a turned or mirrored
// picture, or a wrong colour conversion, cannot pass a comparison.
QImage Colourful(int width, int height, quint32 seed = 7);
// The picture as a JPEG file of the given kind (quality 90).
QByteArray EncodeJpeg(const QImage& picture, JpegKind kind);
// The file with one more marker segment (0xE1 for APP1, ...) after its start.
QByteArray WithSegment(const QByteArray& jpeg, int marker, const QByteArray& payload);
// The file with an ICC profile in APP2 chunks of at most chunkBytes each.
QByteArray WithIccProfile(const QByteArray& jpeg, const QByteArray& profile, int chunkBytes);
// The file's APPn segments before its first scan, in order: each one's
// marker (0xE1 for APP1, ...) and payload.
std::vector<std::pair<int, QByteArray>> AppSegments(const QByteArray& jpeg);
// An APP1 EXIF block holding only the orientation tag.
QByteArray ExifOrientationBlock(int orientation, bool bigEndian = false);

} // namespace velmora::testkit
