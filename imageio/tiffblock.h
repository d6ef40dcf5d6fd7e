// The TIFF structure inside an EXIF block (a JPEG APP1 payload after its
// "Exif\0\0"): numbers read and written in the block's own byte order ("II"
// little, "MM" big endian), every access checked against the block's length,
// so that whatever offsets a file claims, nothing outside the block is ever
// read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::imageio {

// One 12-byte entry of an image file directory (IFD).
struct IfdEntry {
    std::ptrdiff_t at = 0; // where the entry starts in the block
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
};

// Field types of TIFF entries used here.
inline constexpr std::uint16_t kTiffShort = 3;
inline constexpr std::uint16_t kTiffLong = 4;
inline constexpr std::uint16_t kTiffIfd = 13; // a LONG that points at an IFD
inline constexpr int kIfdEntryBytes = 12;

class TiffBlock {
  public:
    // The TIFF data of an EXIF block, the block without its "Exif\0\0"; an
    // invalid block when exif does not start so.
    static TiffBlock fromExif(const std::string& exif);
    explicit TiffBlock(std::string data) : data_(std::move(data)) {}
    // The EXIF block again: "Exif\0\0" and the data.
    std::string toExif() const;

    // The byte order mark and the number 42 are there.
    bool valid() const;
    std::ptrdiff_t size() const { return std::ptrdiff_t(data_.size()); }
    const std::string& data() const { return data_; }
    bool fits(std::ptrdiff_t at, std::ptrdiff_t bytes) const {
        return at >= 0 && bytes >= 0 && bytes <= size() && at <= size() - bytes;
    }

    // The unsigned number of 1 to 4 bytes at `at`; 0 where it does not fit.
    std::uint32_t number(std::ptrdiff_t at, int bytes) const;
    // Writes it; nothing where it does not fit.
    void setNumber(std::ptrdiff_t at, int bytes, std::uint32_t value);
    // Sets bytes [at, at + bytes) to 0 where they lie in the block.
    void clear(std::ptrdiff_t at, std::ptrdiff_t bytes);
    // Drops everything from `at` on.
    void truncate(std::ptrdiff_t at) {
        if (at >= 0 && at < size())
            data_.resize(std::size_t(at));
    }

    // The offset of the first IFD (IFD0).
    std::uint32_t firstIfd() const { return number(4, 4); }
    // The entries of the IFD at `at`; none when its count or its entries do
    // not fit in the block. The link to the next IFD after them may not.
    std::optional<std::vector<IfdEntry>> entries(std::ptrdiff_t at) const;
    // Where the IFD at `at` with `count` entries keeps the offset of the next.
    static std::ptrdiff_t nextLinkAt(std::ptrdiff_t at, std::size_t count) {
        return at + 2 + std::ptrdiff_t(count) * kIfdEntryBytes;
    }
    // The bytes of an entry's value: its count times its type's size; 0 for a
    // type this does not know. Values of up to 4 bytes lie in the entry
    // itself, at its byte 8; longer ones at the offset found there.
    static std::ptrdiff_t valueBytes(const IfdEntry& entry);
    // The first value of a SHORT, LONG or IFD entry whose values lie in the
    // entry itself; none for any other entry.
    std::optional<std::uint32_t> whole(const IfdEntry& entry) const;

  private:
    bool littleEndian() const { return data_.starts_with("II"); }

    std::string data_;
};

} // namespace velmora::imageio
