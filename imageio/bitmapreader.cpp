#include "imageio/bitmapreader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

namespace velmora::imageio {

namespace {

// A 14-byte file header ("BM", file size, reserved, pixel data offset), then
// the info header, whose first field is its own size.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12; // OS/2 1.x: 16-bit fields
constexpr std::uint32_t kInfoHeaderSize = 40; // Windows: 32-bit signed fields
constexpr std::uint32_t kOs2HeaderSize = 64;  // OS/2 2.x: the Windows fields and more
constexpr std::uint32_t kV4HeaderSize = 108;  // Windows: the 40 bytes, colour masks, colour space
constexpr std::uint32_t kV5HeaderSize = 124;  // Windows: the V4 fields, intent and profile
constexpr std::uint32_t kMaskBytes = 12;      // red, green, blue masks after a 40 or 64-byte header
constexpr int kMaxPaletteSize = 256;

constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRunLength8 = 1;
constexpr std::uint32_t kRunLength4 = 2;
constexpr std::uint32_t kBitfields = 3;

// Reads go in pieces of about this size: memory stays small and a reader that
// is cancelled through its source stops soon.
constexpr std::size_t kReadBytes = std::size_t(1) << 20;
constexpr std::size_t kStreamBytes = std::size_t(64) << 10;

constexpr const char* kEndsInHeaders = "the file ends inside its headers";
constexpr const char* kEndsEarly = "the file ends before its last row";
constexpr const char* kUnreadable = "the file cannot be read";
constexpr const char* kNoMemory = "not enough memory";
constexpr const char* kBadIndex = "a palette index beyond the palette";

std::uint32_t le16(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | le16(p + 2) << 16;
}

// Two's complement, as the header's signed fields are stored.
std::int64_t le32Signed(const unsigned char* p) {
    const std::uint32_t v = le32(p);
    return v < 0x80000000u ? std::int64_t(v) : std::int64_t(v) - (std::int64_t(1) << 32);
}

BitmapStatus refuse(const char** why, const char* text,
                    BitmapStatus status = BitmapStatus::NotABitmap) {
    if (why)
        *why = text;
    return status;
}

// A read of the source whose failure is told in words: `ended` when the file
// is shorter than the read.
BitmapStatus readOrSay(const BitmapSource& source, std::uint64_t offset, unsigned char* buffer,
                       std::size_t count, const char* ended, const char** why) {
    const BitmapStatus status = source.readAt(offset, buffer, count);
    if (status == BitmapStatus::Ok)
        return status;
    return refuse(why, status == BitmapStatus::NotABitmap ? ended : kUnreadable, status);
}

struct Fields {
    std::uint32_t infoSize = 0;
    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bitsPerPixel = 0, compression = kUncompressed;
    std::int64_t coloursUsed = 0;
    std::uint32_t masks[3] = {}; // red, green, blue of a 108 or 124-byte header
};

bool wideHeader(std::uint32_t infoSize) {
    return infoSize == kV4HeaderSize || infoSize == kV5HeaderSize;
}

bool knownHeader(std::uint32_t infoSize) {
    return infoSize == kCoreHeaderSize || infoSize == kInfoHeaderSize ||
           infoSize == kOs2HeaderSize || wideHeader(infoSize);
}

Fields decode(const unsigned char* info, std::uint32_t infoSize) {
    Fields f;
    f.infoSize = infoSize;
    if (infoSize == kCoreHeaderSize) {
        f.width = le16(info + 4);
        f.height = le16(info + 6);
        f.planes = le16(info + 8);
        f.bitsPerPixel = le16(info + 10);
        return f;
    }
    f.width = le32Signed(info + 4);
    f.height = le32Signed(info + 8); // negative: rows stored top-down
    f.planes = le16(info + 12);
    f.bitsPerPixel = le16(info + 14);
    f.compression = le32(info + 16);
    f.coloursUsed = le32Signed(info + 32);
    if (wideHeader(infoSize)) {
        for (int c = 0; c < 3; ++c)
            f.masks[c] = le32(info + 40 + 4 * c);
    }
    return f;
}

// The depths and codings read: any depth uncompressed, run-length coding at
// its own depth, masks at 16 and 32 bits.
bool readKind(const Fields& f) {
    switch (f.bitsPerPixel) {
    case 1:
    case 24:
        return f.compression == kUncompressed;
    case 4:
        return f.compression == kUncompressed || f.compression == kRunLength4;
    case 8:
        return f.compression == kUncompressed || f.compression == kRunLength8;
    case 16:
    case 32:
        return f.compression == kUncompressed || f.compression == kBitfields;
    default:
        return false;
    }
}

// A mask's set bits form one run (or there are none: the channel is 0).
bool contiguous(std::uint32_t mask) {
    if (mask == 0)
        return true;
    const std::uint64_t low = mask >> __builtin_ctz(mask);
    return (low & (low + 1)) == 0;
}

// How many palette entries the file holds: the header's count, or all the
// depth can index when it says 0 or less; more than 256 is refused.
int paletteEntries(const Fields& f) {
    if (f.bitsPerPixel > 8)
        return 0;
    if (f.coloursUsed > kMaxPaletteSize)
        return -1;
    return f.coloursUsed > 0 ? int(f.coloursUsed) : 1 << f.bitsPerPixel;
}

BitmapStatus readMasks(const BitmapSource& source, const Fields& f, BitmapLayout* layout,
                       const char** why) {
    std::uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    if (f.bitsPerPixel == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    }
    if (f.compression == kBitfields && wideHeader(f.infoSize)) {
        std::copy(f.masks, f.masks + 3, masks);
    } else if (f.compression == kBitfields) {
        unsigned char raw[kMaskBytes];
        if (const BitmapStatus status = readOrSay(source, kFileHeaderSize + f.infoSize, raw,
                                                  kMaskBytes, kEndsInHeaders, why);
            status != BitmapStatus::Ok)
            return status;
        for (int c = 0; c < 3; ++c)
            masks[c] = le32(raw + 4 * c);
    }
    if (!std::all_of(masks, masks + 3, contiguous))
        return refuse(why, "colour masks whose bits are not contiguous");
    layout->redMask = masks[0];
    layout->greenMask = masks[1];
    layout->blueMask = masks[2];
    return BitmapStatus::Ok;
}

BitmapStatus readPalette(const BitmapSource& source, std::uint64_t offset, int entries,
                         std::size_t entrySize, BitmapLayout* layout, const char** why) {
    unsigned char raw[4 * kMaxPaletteSize];
    if (const BitmapStatus status =
            readOrSay(source, offset, raw, entrySize * entries, kEndsInHeaders, why);
        status != BitmapStatus::Ok)
        return status;
    layout->palette.resize(std::size_t(entries));
    for (int i = 0; i < entries; ++i) {
        const unsigned char* bgr = raw + entrySize * i;
        layout->palette[i] = std::uint32_t(bgr[2]) << 16 | std::uint32_t(bgr[1]) << 8 | bgr[0];
    }
    return BitmapStatus::Ok;
}

} // namespace

BitmapStatus DescriptorSource::readAt(std::uint64_t offset, unsigned char* buffer,
                                      std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, buffer + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return BitmapStatus::SourceUnreadable;
        if (n == 0)
            return BitmapStatus::NotABitmap;
        done += std::size_t(n);
    }
    return BitmapStatus::Ok;
}

namespace {

// The layout of checked header fields (the palette and masks still to read).
void setLayout(const Fields& f, std::uint64_t dataOffset, std::uint64_t rowBytes,
               BitmapLayout* layout) {
    layout->width = int(f.width);
    layout->height = int(f.height < 0 ? -f.height : f.height);
    layout->topDown = f.height < 0;
    layout->bitsPerPixel = int(f.bitsPerPixel);
    layout->coding = f.compression == kRunLength8   ? BitmapCoding::RunLength8
                     : f.compression == kRunLength4 ? BitmapCoding::RunLength4
                                                    : BitmapCoding::Plain;
    layout->dataOffset = dataOffset;
    layout->rowBytes = rowBytes;
    layout->palette.clear();
}

} // namespace

BitmapStatus readBitmapLayout(const BitmapSource& source, int maxSide, BitmapLayout* layout,
                              const char** why) try {
    unsigned char h[kFileHeaderSize + kV5HeaderSize] = {};
    if (const BitmapStatus status =
            readOrSay(source, 0, h, kFileHeaderSize + 4, "not a bitmap", why);
        status != BitmapStatus::Ok)
        return status;
    if (h[0] != 'B' || h[1] != 'M')
        return refuse(why, "not a bitmap");
    const std::uint64_t dataOffset = le32(h + 10);
    const std::uint32_t infoSize = le32(h + kFileHeaderSize);
    if (!knownHeader(infoSize))
        return refuse(why, "a bitmap header of a kind not read");
    if (const BitmapStatus status =
            readOrSay(source, 0, h, kFileHeaderSize + infoSize, kEndsInHeaders, why);
        status != BitmapStatus::Ok)
        return status;
    const Fields f = decode(h + kFileHeaderSize, infoSize);
    if (f.width <= 0 || f.height == 0 || f.height == INT_MIN)
        return refuse(why, "a bitmap without pixels");
    const std::int64_t height = f.height < 0 ? -f.height : f.height;
    if (f.width > maxSide || height > maxSide)
        return refuse(why, "a bitmap too large to read", BitmapStatus::TooLarge);
    if (f.planes != 1 || !readKind(f))
        return refuse(why, "a kind of bitmap not read (its depth or compression)");
    const int entries = paletteEntries(f);
    if (entries < 0)
        return refuse(why, "a palette of more than 256 colours");

    const bool masksAfterHeader = f.compression == kBitfields && !wideHeader(infoSize);
    const std::size_t entrySize = infoSize == kCoreHeaderSize ? 3 : 4;
    const std::uint64_t paletteOffset =
        kFileHeaderSize + infoSize + (masksAfterHeader ? kMaskBytes : 0);
    const std::uint64_t headersEnd = paletteOffset + entrySize * std::uint64_t(entries);
    const std::uint64_t fileSize = source.size();
    if (dataOffset < headersEnd)
        return refuse(why, "pixel data that starts inside the headers");
    // Uncompressed rows must all be in the file; a run-length stream needs at
    // least one code, and is checked as it is read.
    const bool runLength = f.compression == kRunLength8 || f.compression == kRunLength4;
    const std::uint64_t rowBytes = (std::uint64_t(f.width) * f.bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t left = dataOffset < fileSize ? fileSize - dataOffset : 0;
    if (runLength ? left < 2 : std::uint64_t(height) > left / rowBytes)
        return refuse(why, kEndsEarly);

    setLayout(f, dataOffset, runLength ? 0 : rowBytes, layout);
    if (f.bitsPerPixel == 16 || f.bitsPerPixel == 32)
        return readMasks(source, f, layout, why);
    return entries > 0 ? readPalette(source, paletteOffset, entries, entrySize, layout, why)
                       : BitmapStatus::Ok;
} catch (const std::bad_alloc&) {
    return refuse(why, kNoMemory, BitmapStatus::OutOfMemory);
}

// --- Rows ---------------------------------------------------------------------

// What walkRuns() does with what it reads.
class BitmapRows::RunVisitor {
  public:
    virtual ~RunVisitor() = default;
    // `count` palette indexes, all in the palette, from column x of stored
    // row `row`, all inside the row.
    virtual void span(int row, int x, const unsigned char* indexes, int count) = 0;
    // The cursor left stored row `from` for state.row (the height at the end).
    virtual void moved(int from, const RunState& state) = 0;
};

namespace {

// The run-length stream read forward through a buffer.
class RunStream {
  public:
    RunStream(const BitmapSource& source, std::uint64_t offset)
        : source_(source), next_(offset), buffer_(kStreamBytes) {}

    // The next `count` bytes; NotABitmap when the file ends first.
    BitmapStatus take(unsigned char* bytes, std::size_t count, const char** why) {
        while (count > 0) {
            if (at_ == have_) {
                const std::uint64_t size = source_.size();
                have_ = std::size_t(
                    std::min<std::uint64_t>(buffer_.size(), next_ < size ? size - next_ : 0));
                at_ = 0;
                if (have_ == 0)
                    return refuse(why, kEndsEarly);
                if (const BitmapStatus status =
                        readOrSay(source_, next_, buffer_.data(), have_, kEndsEarly, why);
                    status != BitmapStatus::Ok) {
                    have_ = 0;
                    return status;
                }
                next_ += have_;
            }
            const std::size_t n = std::min(count, have_ - at_);
            std::copy_n(buffer_.data() + at_, n, bytes);
            at_ += n, bytes += n, count -= n;
        }
        return BitmapStatus::Ok;
    }

    // The file offset of the next byte take() gives.
    std::uint64_t offset() const { return next_ - (have_ - at_); }

  private:
    const BitmapSource& source_;
    std::uint64_t next_; // the first byte after the buffer's
    std::vector<unsigned char> buffer_;
    std::size_t at_ = 0, have_ = 0;
};

// The index of pixel i of packed 4-bit pixels: the high half of a byte first.
unsigned char nibble(const unsigned char* bytes, int i) {
    return i % 2 ? bytes[i / 2] & 0x0F : bytes[i / 2] >> 4;
}

template <int kBytes> void put(unsigned char* out, std::uint32_t rgb) {
    out[0] = static_cast<unsigned char>(rgb);
    out[1] = static_cast<unsigned char>(rgb >> 8);
    out[2] = static_cast<unsigned char>(rgb >> 16);
    if constexpr (kBytes == 4)
        out[3] = 0xFF;
}

} // namespace

BitmapRows::BitmapRows(const BitmapSource& source, BitmapLayout layout)
    : source_(source), layout_(std::move(layout)) {
    const std::uint32_t masks[3] = {layout_.redMask, layout_.greenMask, layout_.blueMask};
    for (int c = 0; c < 3; ++c) {
        Channel& channel = channels_[c];
        if (masks[c] == 0)
            continue; // always 0
        // Of a channel wider than 8 bits, its top 8 count.
        const int low = __builtin_ctz(masks[c]);
        const int bits = 32 - __builtin_clz(masks[c]) - low;
        const int kept = std::min(bits, 8);
        channel.shift = low + bits - kept;
        channel.mask = (1u << kept) - 1;
        // Its bits repeated from the top down, so that all ones is 255.
        for (std::uint32_t v = 0; v <= channel.mask; ++v) {
            std::uint32_t level = v << (8 - kept);
            for (int filled = kept; filled < 8; filled *= 2)
                level |= level >> filled;
            channel.level[v] = static_cast<unsigned char>(level);
        }
    }
}

std::uint32_t BitmapRows::masked(std::uint32_t pixel) const {
    std::uint32_t rgb = 0;
    for (const Channel& channel : channels_)
        rgb = rgb << 8 | channel.level[(pixel >> channel.shift) & channel.mask];
    return rgb;
}

template <int kBytes>
bool BitmapRows::decodeRow(const unsigned char* in, unsigned char* out) const {
    const int width = layout_.width;
    switch (layout_.bitsPerPixel) {
    case 24:
        for (int x = 0; x < width; ++x, in += 3, out += kBytes)
            put<kBytes>(out, std::uint32_t(in[2]) << 16 | std::uint32_t(in[1]) << 8 | in[0]);
        return true;
    case 16:
        for (int x = 0; x < width; ++x, in += 2, out += kBytes)
            put<kBytes>(out, masked(le16(in)));
        return true;
    case 32:
        for (int x = 0; x < width; ++x, in += 4, out += kBytes)
            put<kBytes>(out, masked(le32(in)));
        return true;
    default: {
        const int bits = layout_.bitsPerPixel;
        const std::size_t entries = layout_.palette.size();
        for (int x = 0; x < width; ++x, out += kBytes) {
            const unsigned index = bits == 8   ? in[x]
                                   : bits == 4 ? nibble(in, x)
                                               : (in[x / 8] >> (7 - x % 8)) & 1;
            if (index >= entries)
                return false;
            put<kBytes>(out, layout_.palette[index]);
        }
        return true;
    }
    }
}

template <int kBytes>
BitmapStatus BitmapRows::fillPlain(int first, int count, unsigned char* out, std::size_t stride,
                                   const char** why) const {
    const std::uint64_t rowBytes = layout_.rowBytes;
    const int perRead = int(std::clamp<std::uint64_t>(kReadBytes / rowBytes, 1, count));
    std::vector<unsigned char> buffer(std::size_t(rowBytes) * perRead);
    for (int done = 0; done < count;) {
        const int n = std::min(perRead, count - done);
        // Picture rows first + done .. + n - 1 are one run of stored rows.
        const int top = first + done;
        const int stored = layout_.topDown ? top : layout_.height - top - n;
        if (const BitmapStatus status =
                readOrSay(source_, layout_.dataOffset + rowBytes * std::uint64_t(stored),
                          buffer.data(), std::size_t(rowBytes) * n, kEndsEarly, why);
            status != BitmapStatus::Ok)
            return status;
        for (int i = 0; i < n; ++i) {
            const int inBuffer = layout_.topDown ? i : n - 1 - i;
            if (!decodeRow<kBytes>(buffer.data() + std::size_t(rowBytes) * inBuffer,
                                   out + stride * std::size_t(done + i)))
                return refuse(why, kBadIndex);
        }
        done += n;
    }
    return BitmapStatus::Ok;
}

// Codes come in pairs. A first byte above 0 repeats the second's index that
// many times (at 4 bits, its two halves in turn). A first byte of 0 is an
// escape: 0 ends the row, 1 the picture, 2 jumps right and up by the next
// two bytes, and 3 or more gives that many indexes as they are, padded to an
// even number of bytes. Pixels past a row's end are dropped; a row or jump
// past the last row ends the picture.
BitmapStatus BitmapRows::walkRuns(RunState& state, int stopRow, RunVisitor& visitor,
                                  const char** why) const {
    const bool four = layout_.coding == BitmapCoding::RunLength4;
    RunStream stream(source_, state.offset);
    unsigned char code[2];
    unsigned char raw[256];
    unsigned char indexes[256];
    const auto moveTo = [&](int x, int row) {
        const int from = state.row;
        state.x = std::min(x, layout_.width);
        state.row = std::min(row, layout_.height);
        state.offset = stream.offset();
        if (state.row != from)
            visitor.moved(from, state);
    };
    while (state.row < stopRow) {
        if (const BitmapStatus status = stream.take(code, 2, why); status != BitmapStatus::Ok)
            return status;
        int count = 0;
        if (code[0] > 0) {
            count = code[0];
            for (int i = 0; i < count; ++i)
                indexes[i] = four ? nibble(&code[1], i % 2) : code[1];
        } else if (code[1] == 0) {
            moveTo(0, state.row + 1);
        } else if (code[1] == 1) {
            moveTo(0, layout_.height);
        } else if (code[1] == 2) {
            if (const BitmapStatus status = stream.take(raw, 2, why); status != BitmapStatus::Ok)
                return status;
            moveTo(state.x + raw[0], state.row + raw[1]);
        } else {
            count = code[1];
            const std::size_t bytes = four ? (count + 1) / 2 : count;
            if (const BitmapStatus status = stream.take(raw, bytes + bytes % 2, why);
                status != BitmapStatus::Ok)
                return status;
            for (int i = 0; i < count; ++i)
                indexes[i] = four ? nibble(raw, i) : raw[i];
        }
        if (count > 0) {
            const int inRow = std::min(count, layout_.width - state.x);
            if (std::any_of(indexes, indexes + std::max(inRow, 0),
                            [&](unsigned char i) { return i >= layout_.palette.size(); }))
                return refuse(why, kBadIndex);
            if (inRow > 0)
                visitor.span(state.row, state.x, indexes, inRow);
            state.x = std::min(state.x + count, layout_.width);
        }
    }
    return BitmapStatus::Ok;
}

BitmapStatus BitmapRows::indexRuns(const char** why) try {
    if (layout_.coding == BitmapCoding::Plain || !rowStarts_.empty())
        return BitmapStatus::Ok;
    // Each stored row starts where the cursor first reaches it or passes it.
    class Recorder : public RunVisitor {
      public:
        explicit Recorder(std::vector<RunState>& starts) : starts_(starts) {}
        void span(int, int, const unsigned char*, int) override {}
        void moved(int from, const RunState& state) override {
            const int last = std::min<int>(state.row, int(starts_.size()) - 1);
            for (int row = from + 1; row <= last; ++row)
                starts_[row] = state;
        }

      private:
        std::vector<RunState>& starts_;
    };
    std::vector<RunState> starts(std::size_t(layout_.height));
    starts[0].offset = layout_.dataOffset;
    Recorder recorder(starts);
    RunState state = starts[0];
    if (const BitmapStatus status = walkRuns(state, layout_.height, recorder, why);
        status != BitmapStatus::Ok)
        return status;
    rowStarts_ = std::move(starts);
    return BitmapStatus::Ok;
} catch (const std::bad_alloc&) {
    return refuse(why, kNoMemory, BitmapStatus::OutOfMemory);
}

template <int kBytes>
BitmapStatus BitmapRows::fillRuns(int first, int count, unsigned char* out, std::size_t stride,
                                  const char** why) const {
    // Picture rows first .. first + count - 1 are stored rows begin .. end - 1.
    const int begin = layout_.topDown ? first : layout_.height - first - count;
    const int end = begin + count;
    class Writer : public RunVisitor {
      public:
        Writer(const BitmapRows& rows, int first, int begin, unsigned char* out, std::size_t stride)
            : rows_(rows), first_(first), begin_(begin), out_(out), stride_(stride) {}
        void span(int row, int x, const unsigned char* indexes, int count) override {
            if (row < begin_)
                return; // read on the way to the rows asked for
            const BitmapLayout& layout = rows_.layout_;
            const int y = layout.topDown ? row : layout.height - 1 - row;
            unsigned char* pixel =
                out_ + stride_ * std::size_t(y - first_) + std::size_t(x) * kBytes;
            for (int i = 0; i < count; ++i, pixel += kBytes)
                put<kBytes>(pixel, layout.palette[indexes[i]]);
        }
        void moved(int, const RunState&) override {}

      private:
        const BitmapRows& rows_;
        int first_, begin_;
        unsigned char* out_;
        std::size_t stride_;
    };
    // What the codes skip is the palette's first colour.
    for (int i = 0; i < count; ++i) {
        unsigned char* row = out + stride * std::size_t(i);
        for (int x = 0; x < layout_.width; ++x)
            put<kBytes>(row + std::size_t(x) * kBytes, layout_.palette[0]);
    }
    RunState state;
    state.offset = layout_.dataOffset;
    if (!rowStarts_.empty())
        state = rowStarts_[std::size_t(begin)];
    Writer writer(*this, first, begin, out, stride);
    return walkRuns(state, end, writer, why);
}

BitmapStatus BitmapRows::fill(int first, int count, Format format, unsigned char* out,
                              std::size_t stride, const char** why) const try {
    if (first < 0 || count < 1 || count > layout_.height - first)
        return refuse(why, "rows outside the picture");
    const bool four = format == Format::Bgrx;
    if (layout_.coding == BitmapCoding::Plain)
        return four ? fillPlain<4>(first, count, out, stride, why)
                    : fillPlain<3>(first, count, out, stride, why);
    return four ? fillRuns<4>(first, count, out, stride, why)
                : fillRuns<3>(first, count, out, stride, why);
} catch (const std::bad_alloc&) {
    return refuse(why, kNoMemory, BitmapStatus::OutOfMemory);
}

} // namespace velmora::imageio
