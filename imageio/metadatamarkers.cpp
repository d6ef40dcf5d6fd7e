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
constexpr qsizetype kIccHeaderBytes = sizeof kIccId + 2;
constexpr qsizetype kIccChunkBytes = VELMORA_MAX_MARKER_BYTES - kIccHeaderBytes;
// Sequence number and count are one byte each.
constexpr qsizetype kMaxIccChunks = 255;

void addIccChunks(const QByteArray& profile, std::vector<JpegMarker>* markers) {
    const qsizetype chunks = (profile.size() + kIccChunkBytes - 1) / kIccChunkBytes;
    if (chunks == 0 || chunks > kMaxIccChunks)
        return;
    for (qsizetype i = 0; i < chunks; ++i) {
        QByteArray bytes(kIccId, sizeof kIccId);
        bytes.append(static_cast<char>(i + 1));
        bytes.append(static_cast<char>(chunks));
        bytes.append(profile.mid(i * kIccChunkBytes, kIccChunkBytes));
        markers->push_back({kApp2, bytes});
    }
}

// Segments as they were read: each fits one segment, as it came from one.
void addSegments(int code, const std::vector<QByteArray>& payloads,
                 std::vector<JpegMarker>* markers) {
    for (const QByteArray& payload : payloads)
        if (!payload.isEmpty() && payload.size() <= VELMORA_MAX_MARKER_BYTES)
            markers->push_back({code, payload});
}

} // namespace

std::vector<JpegMarker> metadataMarkers(const SourceMetadata& metadata, const QSize& saved) {
    std::vector<JpegMarker> markers;
    addSegments(kApp1, {exifForSavedPicture(metadata.exif, saved), metadata.xmp}, &markers);
    addSegments(kApp1, metadata.extendedXmp, &markers);
    addIccChunks(metadata.iccProfile, &markers);
    addSegments(kApp13, metadata.iptc, &markers);
    return markers;
}

} // namespace velmora
