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
constexpr std::ptrdiff_t kTiffHeaderBytes = 8;
// Where IFD1 keeps its thumbnail: the tag of the data's offset and the tag of
// its length (a JPEG thumbnail; an uncompressed one in a single strip).
constexpr std::pair<std::uint16_t, std::uint16_t> kThumbnailTags[] = {{0x0201, 0x0202},
                                                                      {0x0111, 0x0117}};
// Values start at even offsets, so the pieces of IFD1 may have a byte or so
// of padding between them; a gap this small holds nothing else.
constexpr std::ptrdiff_t kPaddingBytes = 3;

struct Range {
    std::ptrdiff_t at = 0;
    std::ptrdiff_t bytes = 0;
    std::ptrdiff_t end() const { return at + bytes; }
    bool overlaps(const Range& o) const { return at < o.end() && o.at < end(); }
};

// The part of [at, at + bytes) that lies in the block, if any.
void addClipped(const TiffBlock& t, std::ptrdiff_t at, std::ptrdiff_t bytes,
                std::vector<Range>* out) {
    if (at < 0 || bytes <= 0 || at >= t.size())
        return;
    out->push_back({at, std::min(bytes, t.size() - at)});
}

// The bytes an IFD takes: its table with the link to the next IFD, and the
// values that do not lie in its entries.
void addIfd(const TiffBlock& t, std::ptrdiff_t at, const std::vector<IfdEntry>& entries,
            std::vector<Range>* out) {
    addClipped(t, at, TiffBlock::nextLinkAt(at, entries.size()) + 4 - at, out);
    for (const IfdEntry& e : entries)
        if (const std::ptrdiff_t bytes = TiffBlock::valueBytes(e); bytes > 4)
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
std::ptrdiff_t tailStart(std::vector<Range> pieces, std::ptrdiff_t size) {
    std::sort(pieces.begin(), pieces.end(),
              [](const Range& a, const Range& b) { return a.end() > b.end(); });
    std::ptrdiff_t start = size;
    for (const Range& r : pieces)
        if (r.end() >= start - kPaddingBytes)
            start = std::min(start, r.at);
    return start;
}

// IFD1 and its thumbnail: cleared where they share no byte with what is kept,
// and cut off where they end the block.
void dropThumbnail(TiffBlock& t, std::ptrdiff_t ifd1, const std::vector<Range>& kept) {
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
    std::ptrdiff_t keptEnd = 0;
    for (const Range& k : kept)
        keptEnd = std::max(keptEnd, k.end());
    t.truncate(std::max(tailStart(pieces, t.size()), keptEnd));
}

// The block's structures as an edit finds them: the tables of the IFDs it
// writes into or keeps (with their links), and the values they point at.
struct Layout {
    std::vector<Range> tables{{0, kTiffHeaderBytes}};
    std::vector<Range> values;
};

// Adds the IFD at `at` whole, table and values; false when any of it lies
// outside the block.
bool addWholeIfd(const TiffBlock& t, std::ptrdiff_t at, Layout* layout) {
    const auto entries = t.entries(at);
    if (!entries)
        return false;
    const std::ptrdiff_t end = TiffBlock::nextLinkAt(at, entries->size()) + 4;
    if (!t.fits(at, end - at))
        return false;
    layout->tables.push_back({at, end - at});
    for (const IfdEntry& e : *entries)
        if (const std::ptrdiff_t bytes = TiffBlock::valueBytes(e); bytes > 4) {
            const std::ptrdiff_t value = t.number(e.at + 8, 4);
            if (!t.fits(value, bytes))
                return false;
            layout->values.push_back({value, bytes});
        }
    return true;
}

// The IFD an entry of the IFD at `at` with this tag points at, if any; 0 for
// none.
std::uint32_t pointedIfd(const TiffBlock& t, std::ptrdiff_t at, std::uint16_t tag) {
    for (const IfdEntry& e : t.entries(at).value_or(std::vector<IfdEntry>{}))
        if (e.tag == tag)
            return t.whole(e).value_or(0);
    return 0;
}

// Whether an edit can change the block without changing what it does not
// mean to: IFD0, the Exif, GPS and interoperability IFDs and IFD1 lie whole
// in the block with every value they point at, and no table shares a byte
// with the header, another table or a value. A pointer that leads back to a
// table already there (a loop) shares its bytes and is refused so too.
bool safeToEdit(const TiffBlock& t) {
    Layout layout;
    const std::ptrdiff_t ifd0 = t.firstIfd();
    if (!addWholeIfd(t, ifd0, &layout))
        return false;
    // The IFDs the output still points at must lie whole in the block; IFD1,
    // which the edit unlinks, only where it can be read at all.
    const std::uint32_t exifIfd = pointedIfd(t, ifd0, kExifIfdTag);
    const std::pair<std::uint32_t, bool> pointed[] = {
        {exifIfd, true},
        {pointedIfd(t, ifd0, kGpsIfdTag), true},
        {exifIfd != 0 ? pointedIfd(t, exifIfd, kInteropIfdTag) : 0, true},
        {t.number(TiffBlock::nextLinkAt(ifd0, t.entries(ifd0)->size()), 4), false}};
    for (const auto& [at, kept] : pointed)
        if (at != 0 && !addWholeIfd(t, at, &layout) && (kept || t.entries(at)))
            return false;
    for (std::size_t i = 0; i < layout.tables.size(); ++i) {
        for (std::size_t j = i + 1; j < layout.tables.size(); ++j)
            if (layout.tables[i].overlaps(layout.tables[j]))
                return false;
        for (const Range& value : layout.values)
            if (layout.tables[i].overlaps(value))
                return false;
    }
    return true;
}

// Edits the Exif IFD's dimensions; false when it cannot be read.
bool editExifIfd(TiffBlock& t, const IfdEntry& pointer, const imageio::Size& saved,
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

std::string exifForSavedPicture(const std::string& exif, const imageio::Size& saved) {
    TiffBlock t = TiffBlock::fromExif(exif);
    if (!t.valid() || !safeToEdit(t))
        return {};
    const std::ptrdiff_t ifd0 = t.firstIfd();
    const auto entries = t.entries(ifd0);
    const std::ptrdiff_t link = entries ? TiffBlock::nextLinkAt(ifd0, entries->size()) : 0;
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
