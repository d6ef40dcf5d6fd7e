// What a picture file carries beside its pixels, for a saved file to keep.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// A JPEG source's metadata as the image reader found it, each piece (bytes)
// as the
// payload of its segment (the bytes after the length field, identifier
// included), so that a JPEG writer puts it back as it was. Empty for a bitmap
// source, for a source without it, and where the user asked to leave it out.
struct SourceMetadata {
    // The first APP1 "Exif\0\0" segment.
    std::string exif;
    // The ICC profile, joined from its APP2 "ICC_PROFILE" chunks.
    std::string iccProfile;
    // The first APP1 "http://ns.adobe.com/xap/1.0/\0" segment: the XMP packet.
    std::string xmp;
    // Every APP1 "http://ns.adobe.com/xmp/extension/\0" segment, in file
    // order: the part of the XMP that did not fit its segment.
    std::vector<std::string> extendedXmp;
    // Every APP13 "Photoshop 3.0\0" segment, in file order: the IPTC record
    // among Photoshop's resources.
    std::vector<std::string> iptc;
    // ICC chunks were there but made no whole profile (one missing, repeated
    // or numbered wrong): the profile is left out.
    bool iccIncomplete = false;

    // The bytes all of it holds.
    long long bytes() const;
};

inline long long SourceMetadata::bytes() const {
    long long total = static_cast<long long>(exif.size() + iccProfile.size() + xmp.size());
    for (const std::vector<std::string>* pieces : {&extendedXmp, &iptc})
        for (const std::string& piece : *pieces)
            total += static_cast<long long>(piece.size());
    return total;
}

// A marker segment to write into a JPEG after its JFIF header (APPn, such as
// Exif or one chunk of an ICC profile): code 0xE0 to 0xEF and the bytes after
// the length field, at most VELMORA_MAX_MARKER_BYTES.
struct JpegMarker {
    int code = 0;
    std::string bytes;
};

} // namespace velmora
