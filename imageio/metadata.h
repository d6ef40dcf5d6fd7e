// What a picture file carries beside its pixels, for a saved file to keep.
#pragma once

#include <QByteArray>

namespace velmora {

// A JPEG source's EXIF block (the APP1 payload, starting "Exif\0\0") and its
// ICC profile, as the image reader found them. Empty for a bitmap source, for
// a source without them, and where the user asked to leave them out.
struct SourceMetadata {
    QByteArray exif;
    QByteArray iccProfile;
};

// A marker segment to write into a JPEG after its JFIF header (APPn, such as
// Exif or one chunk of an ICC profile): code 0xE0 to 0xEF and the bytes after
// the length field, at most VELMORA_MAX_MARKER_BYTES.
struct JpegMarker {
    int code = 0;
    QByteArray bytes;
};

} // namespace velmora
