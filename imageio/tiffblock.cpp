#include "imageio/tiffblock.h"

#include <algorithm>
#include <string_view>

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

TiffBlock TiffBlock::fromExif(const std::string& exif) {
    if (!exif.starts_with(std::string_view(kExifId, kExifIdBytes)))
        return TiffBlock(std::string());
    return TiffBlock(exif.substr(kExifIdBytes));
}

std::string TiffBlock::toExif() const {
    return std::string(kExifId, kExifIdBytes) + data_;
}

bool TiffBlock::valid() const {
    return data_.size() >= kHeaderBytes && (data_.starts_with("II") || data_.starts_with("MM")) &&
           number(2, 2) == kTiffMagic;
}

std::uint32_t TiffBlock::number(std::ptrdiff_t at, int bytes) const {
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

void TiffBlock::setNumber(std::ptrdiff_t at, int bytes, std::uint32_t value) {
    if (bytes < 1 || bytes > 4 || !fits(at, bytes))
        return;
    const bool little = littleEndian();
    for (int i = 0; i < bytes; ++i)
        data_[at + (little ? i : bytes - 1 - i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void TiffBlock::clear(std::ptrdiff_t at, std::ptrdiff_t bytes) {
    if (fits(at, bytes))
        std::fill(data_.begin() + at, data_.begin() + at + bytes, '\0');
}

std::optional<std::vector<IfdEntry>> TiffBlock::entries(std::ptrdiff_t at) const {
    if (!fits(at, 2))
        return std::nullopt;
    const std::size_t count = number(at, 2);
    if (!fits(at + 2, std::ptrdiff_t(count) * kIfdEntryBytes))
        return std::nullopt;
    std::vector<IfdEntry> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        IfdEntry& e = out[i];
        e.at = at + 2 + std::ptrdiff_t(i) * kIfdEntryBytes;
        e.tag = static_cast<std::uint16_t>(number(e.at, 2));
        e.type = static_cast<std::uint16_t>(number(e.at + 2, 2));
        e.count = number(e.at + 4, 4);
    }
    return out;
}

std::ptrdiff_t TiffBlock::valueBytes(const IfdEntry& entry) {
    if (entry.type >= std::size(kTypeBytes))
        return 0;
    return std::ptrdiff_t(entry.count) * kTypeBytes[entry.type];
}

std::optional<std::uint32_t> TiffBlock::whole(const IfdEntry& entry) const {
    const bool longType = entry.type == kTiffLong || entry.type == kTiffIfd;
    if (entry.count == 0 || valueBytes(entry) > 4 || (entry.type != kTiffShort && !longType))
        return std::nullopt;
    return number(entry.at + 8, longType ? 4 : 2);
}

} // namespace velmora::imageio
