// The TIFF structure inside an EXIF block (a JPEG APP1 payload after its
// "Exif\0\0"): numbers read and written in the block's own byte order ("II"
// little, "MM" big endian), every access checked against the block's length,
// so that whatever offsets a file claims, nothing outside the block is ever
// read or written.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::imageio {

// One 12-byte entry of an image file directory (IFD).
struct IfdEntry {
    qsizetype at = 0; // where the entry starts in the block
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
    static TiffBlock fromExif(const QByteArray& exif);
    explicit TiffBlock(QByteArray data) : data_(std::move(data)) {}
    // The EXIF block again: "Exif\0\0" and the data.
    QByteArray toExif() const;

    // The byte order mark and the number 42 are there.
    bool valid() const;
    qsizetype size() const { return data_.size(); }
    const QByteArray& data() const { return data_; }
    bool fits(qsizetype at, qsizetype bytes) const {
        return at >= 0 && bytes >= 0 && bytes <= data_.size() && at <= data_.size() - bytes;
    }

    // The unsigned number of 1 to 4 bytes at `at`; 0 where it does not fit.
    std::uint32_t number(qsizetype at, int bytes) const;
    // Writes it; nothing where it does not fit.
    void setNumber(qsizetype at, int bytes, std::uint32_t value);
    // Sets bytes [at, at + bytes) to 0 where they lie in the block.
    void clear(qsizetype at, qsizetype bytes);
    // Drops everything from `at` on.
    void truncate(qsizetype at) { data_.truncate(at); }

    // The offset of the first IFD (IFD0).
    std::uint32_t firstIfd() const { return number(4, 4); }
    // The entries of the IFD at `at`; none when its count or its entries do
    // not fit in the block. The link to the next IFD after them may not.
    std::optional<std::vector<IfdEntry>> entries(qsizetype at) const;
    // Where the IFD at `at` with `count` entries keeps the offset of the next.
    static qsizetype nextLinkAt(qsizetype at, std::size_t count) {
        return at + 2 + qsizetype(count) * kIfdEntryBytes;
    }
    // The bytes of an entry's value: its count times its type's size; 0 for a
    // type this does not know. Values of up to 4 bytes lie in the entry
    // itself, at its byte 8; longer ones at the offset found there.
    static qsizetype valueBytes(const IfdEntry& entry);
    // The first value of a SHORT, LONG or IFD entry whose values lie in the
    // entry itself; none for any other entry.
    std::optional<std::uint32_t> whole(const IfdEntry& entry) const;

  private:
    bool littleEndian() const { return data_.startsWith("II"); }

    QByteArray data_;
};

} // namespace velmora::imageio
