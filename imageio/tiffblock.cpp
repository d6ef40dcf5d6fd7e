#include "imageio/tiffblock.h"

namespace velmora::imageio {

namespace {

constexpr char kExifId[] = "Exif\0\0"; // 6 bytes before the TIFF structure
constexpr int kExifIdBytes = 6;
constexpr std::uint32_t kTiffMagic = 42;
constexpr int kHeaderBytes = 8;

// Bytes per value of TIFF field types 1 to 13 (BYTE, ASCII, SHORT, LONG,
// RATIONAL, SBYTE, UNDEFINED, SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE, IFD).
constexpr int kTypeBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};

} // namespace

TiffBlock TiffBlock::fromExif(const QByteArray& exif) {
    if (!exif.startsWith(QByteArray(kExifId, kExifIdBytes)))
        return TiffBlock(QByteArray());
    return TiffBlock(exif.mid(kExifIdBytes));
}

QByteArray TiffBlock::toExif() const {
    return QByteArray(kExifId, kExifIdBytes) + data_;
}

bool TiffBlock::valid() const {
    return data_.size() >= kHeaderBytes && (data_.startsWith("II") || data_.startsWith("MM")) &&
           number(2, 2) == kTiffMagic;
}

std::uint32_t TiffBlock::number(qsizetype at, int bytes) const {
    if (bytes < 1 || bytes > 4 || !fits(at, bytes))
        return 0;
    const bool little = littleEndian();
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const auto b = static_cast<unsigned char>(data_[at + (little ? bytes - 1 - i : i)]);
        v = (v << 8) | b;
    }
    return v;
}

void TiffBlock::setNumber(qsizetype at, int bytes, std::uint32_t value) {
    if (bytes < 1 || bytes > 4 || !fits(at, bytes))
        return;
    const bool little = littleEndian();
    for (int i = 0; i < bytes; ++i)
        data_[at + (little ? i : bytes - 1 - i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void TiffBlock::clear(qsizetype at, qsizetype bytes) {
    if (fits(at, bytes))
        std::fill(data_.begin() + at, data_.begin() + at + bytes, '\0');
}

std::optional<std::vector<IfdEntry>> TiffBlock::entries(qsizetype at) const {
    if (!fits(at, 2))
        return std::nullopt;
    const std::size_t count = number(at, 2);
    if (!fits(at + 2, qsizetype(count) * kIfdEntryBytes))
        return std::nullopt;
    std::vector<IfdEntry> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        IfdEntry& e = out[i];
        e.at = at + 2 + qsizetype(i) * kIfdEntryBytes;
        e.tag = static_cast<std::uint16_t>(number(e.at, 2));
        e.type = static_cast<std::uint16_t>(number(e.at + 2, 2));
        e.count = number(e.at + 4, 4);
    }
    return out;
}

qsizetype TiffBlock::valueBytes(const IfdEntry& entry) {
    if (entry.type >= std::size(kTypeBytes))
        return 0;
    return qsizetype(entry.count) * kTypeBytes[entry.type];
}

std::optional<std::uint32_t> TiffBlock::whole(const IfdEntry& entry) const {
    const bool longType = entry.type == kTiffLong || entry.type == kTiffIfd;
    if (entry.count == 0 || valueBytes(entry) > 4 || (entry.type != kTiffShort && !longType))
        return std::nullopt;
    return number(entry.at + 8, longType ? 4 : 2);
}

} // namespace velmora::imageio
