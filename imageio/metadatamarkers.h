// The marker segments that carry a source's metadata into a saved JPEG.
#pragma once

#include "imageio/metadata.h"
#include "imageio/picture.h"

#include <vector>

namespace velmora {

// The segments for a JPEG of `saved` pixels made from a source with this
// metadata, in the order to write them: the EXIF block made true of the saved
// picture (exifForSavedPicture) as APP1; the XMP segment, then the extended
// XMP segments in their order, byte for byte as APP1; the ICC profile byte
// for byte as APP2 "ICC_PROFILE" chunks, each with its sequence number (from
// 1) and the number of chunks, as many as it takes (how every JPEG reader
// expects an embedded profile); last the Photoshop (IPTC) segments byte for
// byte as APP13. None for what the source lacks, for an EXIF that cannot be
// read safely or does not fit one segment, and for a profile too long for 255
// chunks. A source with only EXIF and a profile gives the segments it always
// gave.
std::vector<JpegMarker> metadataMarkers(const SourceMetadata& metadata, const imageio::Size& saved);

} // namespace velmora
