#include "imageio/pngwriter.h"

#include "imageio/exifedit.h"
#include "imageio/writefailure.h"
#include "outputfile/outputfile.h"

#include <zlib.h>

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace velmora::imageio {

namespace {

constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kBitDepth = 8;
constexpr int kColourTypeRgb = 2;
// A chunk's data is at most 2^31 - 1 bytes; a strip's data goes in chunks of
// at most this much.
constexpr std::size_t kMaxIdatBytes = std::size_t(1) << 30;
// The zlib stream's header: deflate with a 32 KiB window, compressed the
// fastest way (the strips' own), its check bits.
constexpr char kZlibHeader[] = {0x78, 0x01};
constexpr char kExifId[] = "Exif\0"; // with its NUL: "Exif\0\0"
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
constexpr char kProfileName[] = "ICC Profile";
constexpr char kXmpKeyword[] = "XML:com.adobe.xmp";
// Where an ICC profile's header names the colour space of the data it describes.
constexpr std::size_t kProfileSpaceAt = 16;
constexpr char kRgbSpace[] = "RGB ";

using Bytes = std::string_view;

Bytes bytesOf(const std::string& a) {
    return {a.data(), a.size()};
}

void putBigEndian(std::string* out, std::uint32_t v) {
    for (const int shift : {24, 16, 8, 0})
        out->push_back(static_cast<char>(v >> shift));
}

std::uint32_t crcOf(std::uint32_t crc, Bytes part) {
    for (std::size_t done = 0; done < part.size(); done += kMaxIdatBytes)
        crc = static_cast<std::uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(part.data() + done),
                  static_cast<uInt>(std::min(part.size() - done, kMaxIdatBytes))));
    return crc;
}

// The length and type that start a chunk of data in parts.
std::string chunkHead(const char* type, std::initializer_list<Bytes> parts) {
    std::size_t length = 0;
    for (const Bytes& p : parts)
        length += p.size();
    std::string head;
    putBigEndian(&head, static_cast<std::uint32_t>(length));
    head.append(type, 4);
    return head;
}

// The CRC that ends it.
std::uint32_t chunkCrc(const char* type, std::initializer_list<Bytes> parts) {
    std::uint32_t crc = crcOf(static_cast<std::uint32_t>(crc32(0, nullptr, 0)), Bytes(type, 4));
    for (const Bytes& p : parts)
        crc = crcOf(crc, p);
    return crc;
}

// A whole chunk of small data.
std::string chunk(const char* type, const std::string& data) {
    std::string whole = chunkHead(type, {bytesOf(data)}) + data;
    putBigEndian(&whole, chunkCrc(type, {bytesOf(data)}));
    return whole;
}

std::string headerChunk(int width, int height) {
    std::string data;
    putBigEndian(&data, static_cast<std::uint32_t>(width));
    putBigEndian(&data, static_cast<std::uint32_t>(height));
    // Bit depth, colour type, deflate, the adaptive filters, not interlaced.
    const char rest[] = {char(kBitDepth), char(kColourTypeRgb), 0, 0, 0};
    data.append(rest, sizeof rest);
    return chunk("IHDR", data);
}

std::string profileChunk(const std::string& profile) {
    if (profile.size() < kProfileSpaceAt + 4 || profile.compare(kProfileSpaceAt, 4, kRgbSpace) != 0)
        return {};
    uLongf size = compressBound(static_cast<uLong>(profile.size()));
    std::string deflated(static_cast<std::size_t>(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                  reinterpret_cast<const Bytef*>(profile.data()),
                  static_cast<uLong>(profile.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    deflated.resize(static_cast<std::size_t>(size));
    // The name, its NUL and the compression method (deflate).
    return chunk("iCCP", std::string(kProfileName, sizeof kProfileName) + '\0' + deflated);
}

std::string exifChunk(const std::string& exif, int width, int height) {
    const std::string saved = exifForSavedPicture(exif, Size(width, height));
    if (!saved.starts_with(std::string_view(kExifId, sizeof kExifId)))
        return {};
    return chunk("eXIf", saved.substr(sizeof kExifId));
}

std::string xmpChunk(const std::string& xmp) {
    const std::string id(kXmpId, sizeof kXmpId);
    if (!xmp.starts_with(id))
        return {};
    // The keyword, uncompressed, no language tag, no translated keyword.
    const std::string head = std::string(kXmpKeyword, sizeof kXmpKeyword) + std::string(4, '\0');
    return chunk("iTXt", head + xmp.substr(id.size()));
}

} // namespace

std::string pngMetadataChunks(const SourceMetadata& metadata, int width, int height) {
    return profileChunk(metadata.iccProfile) + exifChunk(metadata.exif, width, height) +
           xmpChunk(metadata.xmp);
}

// The file under its temporary name (outputfile/outputfile.h: the rules of
// where it may go, the permissions, nothing left behind unless committed).
struct PngWriter::File : jpeg::OutputFile {
    bool put(Bytes part) {
        return write(reinterpret_cast<const unsigned char*>(part.data()), part.size());
    }
    bool put(const std::string& part) { return put(bytesOf(part)); }
    // One chunk of data in parts, written part by part.
    bool putChunk(const char* type, std::initializer_list<Bytes> parts) {
        if (!put(chunkHead(type, parts)))
            return false;
        for (const Bytes& p : parts)
            if (!put(p))
                return false;
        std::string crc;
        putBigEndian(&crc, chunkCrc(type, parts));
        return put(crc);
    }
};

PngWriter::PngWriter() = default;

int PngWriter::osError() const {
    return file_ ? file_->error() : openError_;
}
PngWriter::~PngWriter() = default;

bool PngWriter::open(const std::string& path, int width, int height, const SourceMetadata& metadata,
                     std::string* error) {
    return open(jpeg::findDestination(path), width, height, metadata, error);
}

bool PngWriter::open(const jpeg::Destination& destination, int width, int height,
                     const SourceMetadata& metadata, std::string* error) {
    file_.reset();
    if (width < 1 || height < 1)
        return fail(error, "a PNG picture has at least one pixel a side");
    auto file = std::make_unique<File>();
    if (!file->create(destination)) {
        openError_ = file->error();
        return fail(error, fileError(*file));
    }
    const std::string head =
        std::string(reinterpret_cast<const char*>(kSignature), sizeof kSignature) +
        headerChunk(width, height) + pngMetadataChunks(metadata, width, height);
    if (!file->put(head))
        return fail(error, fileError(*file));
    file_ = std::move(file);
    rowsLeft_ = height;
    adler_ = static_cast<std::uint32_t>(adler32(0, nullptr, 0));
    started_ = false;
    return true;
}

bool PngWriter::writeStrip(const PngStrip& strip, std::string* error) {
    if (!file_ || strip.rows < 1 || strip.rows > rowsLeft_ ||
        strip.last != (strip.rows == rowsLeft_))
        return fail(error, "the strip does not follow the rows written");
    adler_ = static_cast<std::uint32_t>(
        adler32_combine(adler_, strip.adler, static_cast<z_off_t>(strip.filteredBytes)));
    // The zlib header before the first strip's data, the whole data's
    // Adler-32 after the last strip's.
    const Bytes header = started_ ? Bytes() : Bytes(kZlibHeader, sizeof kZlibHeader);
    std::string trailer;
    if (strip.last)
        putBigEndian(&trailer, adler_);
    const Bytes data(reinterpret_cast<const char*>(strip.deflated.data()), strip.deflated.size());
    std::size_t at = 0;
    for (bool first = true; first || at < data.size(); first = false) {
        const Bytes piece = data.substr(at, kMaxIdatBytes);
        at += piece.size();
        if (!file_->putChunk("IDAT", {first ? header : Bytes(), piece,
                                      at == data.size() ? bytesOf(trailer) : Bytes()}))
            return fail(error, fileError(*file_));
    }
    started_ = true;
    rowsLeft_ -= strip.rows;
    return true;
}

bool PngWriter::commit(std::string* error) {
    if (!file_ || rowsLeft_ != 0)
        return fail(error, "the picture is not complete");
    const bool ok = file_->put(chunk("IEND", {})) && file_->commit();
    const std::string why = fileError(*file_);
    file_.reset();
    return ok || fail(error, why);
}

} // namespace velmora::imageio
