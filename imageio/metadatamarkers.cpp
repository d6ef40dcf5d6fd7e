#include "imageio/metadatamarkers.h"

#include "imageio/exifedit.h"
#include "libvelmora/velmora.h"

namespace velmora {

namespace {

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;
constexpr int kApp13 = 0xED;
// "ICC_PROFILE", its NUL, then the chunk's sequence number and the count.
constexpr char kIccId[] = "ICC_PROFILE";
constexpr std::ptrdiff_t kIccHeaderBytes = sizeof kIccId + 2;
constexpr std::ptrdiff_t kIccChunkBytes = VELMORA_MAX_MARKER_BYTES - kIccHeaderBytes;
// Sequence number and count are one byte each.
constexpr std::ptrdiff_t kMaxIccChunks = 255;

void addIccChunks(const std::string& profile, std::vector<JpegMarker>* markers) {
    const std::ptrdiff_t chunks =
        (std::ptrdiff_t(profile.size()) + kIccChunkBytes - 1) / kIccChunkBytes;
    if (chunks == 0 || chunks > kMaxIccChunks)
        return;
    for (std::ptrdiff_t i = 0; i < chunks; ++i) {
        std::string bytes(kIccId, sizeof kIccId);
        bytes += static_cast<char>(i + 1);
        bytes += static_cast<char>(chunks);
        bytes += profile.substr(std::size_t(i * kIccChunkBytes), kIccChunkBytes);
        markers->push_back({kApp2, bytes});
    }
}

// Segments as they were read: each fits one segment, as it came from one.
void addSegments(int code, const std::vector<std::string>& payloads,
                 std::vector<JpegMarker>* markers) {
    for (const std::string& payload : payloads)
        if (!payload.empty() && payload.size() <= std::size_t(VELMORA_MAX_MARKER_BYTES))
            markers->push_back({code, payload});
}

} // namespace

std::vector<JpegMarker> metadataMarkers(const SourceMetadata& metadata,
                                        const imageio::Size& saved) {
    std::vector<JpegMarker> markers;
    addSegments(kApp1, {exifForSavedPicture(metadata.exif, saved), metadata.xmp}, &markers);
    addSegments(kApp1, metadata.extendedXmp, &markers);
    addIccChunks(metadata.iccProfile, &markers);
    addSegments(kApp13, metadata.iptc, &markers);
    return markers;
}

} // namespace velmora
