#include "imageio/exifedit.h"

#include "imageio/tiffblock.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

using imageio::IfdEntry;
using imageio::TiffBlock;

namespace {

constexpr std::uint16_t kImageWidthTag = 0x0100;
constexpr std::uint16_t kImageLengthTag = 0x0101;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kExifIfdTag = 0x8769;
constexpr std::uint16_t kGpsIfdTag = 0x8825;
constexpr std::uint16_t kPixelXTag = 0xA002;
constexpr std::uint16_t kPixelYTag = 0xA003;
constexpr std::uint16_t kInteropIfdTag = 0xA005;
constexpr std::uint32_t kAsStored = 1;
constexpr std::uint32_t kLargestShort = 0xFFFF;
constexpr qsizetype kTiffHeaderBytes = 8;
// Where IFD1 keeps its thumbnail: the tag of the data's offset and the tag of
// its length (a JPEG thumbnail; an uncompressed one in a single strip).
constexpr std::pair<std::uint16_t, std::uint16_t> kThumbnailTags[] = {{0x0201, 0x0202},
                                                                      {0x0111, 0x0117}};
// Values start at even offsets, so the pieces of IFD1 may have a byte or so
// of padding between them; a gap this small holds nothing else.
constexpr qsizetype kPaddingBytes = 3;

struct Range {
    qsizetype at = 0;
    qsizetype bytes = 0;
    qsizetype end() const { return at + bytes; }
    bool overlaps(const Range& o) const { return at < o.end() && o.at < end(); }
};

// The part of [at, at + bytes) that lies in the block, if any.
void addClipped(const TiffBlock& t, qsizetype at, qsizetype bytes, std::vector<Range>* out) {
    if (at < 0 || bytes <= 0 || at >= t.size())
        return;
    out->push_back({at, std::min(bytes, t.size() - at)});
}

// The bytes an IFD takes: its table with the link to the next IFD, and the
// values that do not lie in its entries.
void addIfd(const TiffBlock& t, qsizetype at, const std::vector<IfdEntry>& entries,
            std::vector<Range>* out) {
    addClipped(t, at, TiffBlock::nextLinkAt(at, entries.size()) + 4 - at, out);
    for (const IfdEntry& e : entries)
        if (const qsizetype bytes = TiffBlock::valueBytes(e); bytes > 4)
            addClipped(t, t.number(e.at + 8, 4), bytes, out);
}

// The IFD a pointer entry leads to, added to `out` when it can be read.
void addPointedIfd(const TiffBlock& t, const IfdEntry& pointer, std::vector<Range>* out) {
    if (const std::optional<std::uint32_t> at = t.whole(pointer))
        if (const auto entries = t.entries(*at))
            addIfd(t, *at, *entries, out);
}

// Makes an entry hold one value of the type, in the entry itself.
void setValue(TiffBlock& t, const IfdEntry& e, std::uint16_t type, std::uint32_t value) {
    t.setNumber(e.at + 2, 2, type);
    t.setNumber(e.at + 4, 4, 1);
    t.clear(e.at + 8, 4);
    t.setNumber(e.at + 8, type == imageio::kTiffShort ? 2 : 4, value);
}

// A size keeps a SHORT entry's type while it fits; LONG otherwise.
void setDimension(TiffBlock& t, const IfdEntry& e, int pixels) {
    const auto value = static_cast<std::uint32_t>(pixels);
    const bool asShort = e.type == imageio::kTiffShort && value <= kLargestShort;
    setValue(t, e, asShort ? imageio::kTiffShort : imageio::kTiffLong, value);
}

// Where the run of pieces that ends the block starts (allowing padding
// between them); the block's size when none ends it.
qsizetype tailStart(std::vector<Range> pieces, qsizetype size) {
    std::sort(pieces.begin(), pieces.end(),
              [](const Range& a, const Range& b) { return a.end() > b.end(); });
    qsizetype start = size;
    for (const Range& r : pieces)
        if (r.end() >= start - kPaddingBytes)
            start = std::min(start, r.at);
    return start;
}

// IFD1 and its thumbnail: cleared where they share no byte with what is kept,
// and cut off where they end the block.
void dropThumbnail(TiffBlock& t, qsizetype ifd1, const std::vector<Range>& kept) {
    const auto entries = t.entries(ifd1);
    if (!entries)
        return;
    std::vector<Range> pieces;
    addIfd(t, ifd1, *entries, &pieces);
    for (const auto& [offsetTag, lengthTag] : kThumbnailTags) {
        std::optional<std::uint32_t> offset, length;
        for (const IfdEntry& e : *entries) {
            if (e.tag == offsetTag && e.count == 1)
                offset = t.whole(e);
            if (e.tag == lengthTag && e.count == 1)
                length = t.whole(e);
        }
        if (offset && length)
            addClipped(t, *offset, *length, &pieces);
    }
    std::erase_if(pieces, [&](const Range& piece) {
        return std::any_of(kept.begin(), kept.end(),
                           [&](const Range& k) { return piece.overlaps(k); });
    });
    for (const Range& piece : pieces)
        t.clear(piece.at, piece.bytes);
    qsizetype keptEnd = 0;
    for (const Range& k : kept)
        keptEnd = std::max(keptEnd, k.end());
    t.truncate(std::max(tailStart(pieces, t.size()), keptEnd));
}

// Edits the Exif IFD's dimensions; false when it cannot be read.
bool editExifIfd(TiffBlock& t, const IfdEntry& pointer, const QSize& saved,
                 std::vector<Range>* kept) {
    const std::optional<std::uint32_t> at = t.whole(pointer);
    const auto entries = at ? t.entries(*at) : std::nullopt;
    if (!entries)
        return false;
    addIfd(t, *at, *entries, kept);
    for (const IfdEntry& e : *entries) {
        if (e.tag == kPixelXTag)
            setDimension(t, e, saved.width());
        else if (e.tag == kPixelYTag)
            setDimension(t, e, saved.height());
        else if (e.tag == kInteropIfdTag)
            addPointedIfd(t, e, kept);
    }
    return true;
}

} // namespace

QByteArray exifForSavedPicture(const QByteArray& exif, const QSize& saved) {
    TiffBlock t = TiffBlock::fromExif(exif);
    if (!t.valid())
        return {};
    const qsizetype ifd0 = t.firstIfd();
    const auto entries = t.entries(ifd0);
    const qsizetype link = entries ? TiffBlock::nextLinkAt(ifd0, entries->size()) : 0;
    if (!entries || !t.fits(link, 4))
        return {};
    std::vector<Range> kept{{0, kTiffHeaderBytes}};
    addIfd(t, ifd0, *entries, &kept);
    for (const IfdEntry& e : *entries) {
        if (e.tag == kOrientationTag)
            setValue(t, e, imageio::kTiffShort, kAsStored);
        else if (e.tag == kImageWidthTag)
            setDimension(t, e, saved.width());
        else if (e.tag == kImageLengthTag)
            setDimension(t, e, saved.height());
        else if (e.tag == kGpsIfdTag)
            addPointedIfd(t, e, &kept);
        else if (e.tag == kExifIfdTag && !editExifIfd(t, e, saved, &kept))
            return {};
    }
    const std::uint32_t ifd1 = t.number(link, 4);
    t.setNumber(link, 4, 0);
    if (ifd1 != 0)
        dropThumbnail(t, ifd1, kept);
    return t.toExif();
}

} // namespace velmora
