#include "imageio/pngwriter.h"

#include "gui/filenames.h"
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
constexpr qsizetype kProfileSpaceAt = 16;
constexpr char kRgbSpace[] = "RGB ";

using Bytes = std::string_view;

Bytes bytesOf(const QByteArray& a) {
    return {a.constData(), static_cast<std::size_t>(a.size())};
}

void putBigEndian(QByteArray* out, std::uint32_t v) {
    for (const int shift : {24, 16, 8, 0})
        out->append(static_cast<char>(v >> shift));
}

std::uint32_t crcOf(std::uint32_t crc, Bytes part) {
    for (std::size_t done = 0; done < part.size(); done += kMaxIdatBytes)
        crc = static_cast<std::uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(part.data() + done),
                  static_cast<uInt>(std::min(part.size() - done, kMaxIdatBytes))));
    return crc;
}

// The length and type that start a chunk of data in parts.
QByteArray chunkHead(const char* type, std::initializer_list<Bytes> parts) {
    std::size_t length = 0;
    for (const Bytes& p : parts)
        length += p.size();
    QByteArray head;
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
QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray whole = chunkHead(type, {bytesOf(data)}) + data;
    putBigEndian(&whole, chunkCrc(type, {bytesOf(data)}));
    return whole;
}

QByteArray headerChunk(int width, int height) {
    QByteArray data;
    putBigEndian(&data, static_cast<std::uint32_t>(width));
    putBigEndian(&data, static_cast<std::uint32_t>(height));
    // Bit depth, colour type, deflate, the adaptive filters, not interlaced.
    const char rest[] = {char(kBitDepth), char(kColourTypeRgb), 0, 0, 0};
    data.append(rest, sizeof rest);
    return chunk("IHDR", data);
}

QByteArray profileChunk(const QByteArray& profile) {
    if (profile.mid(kProfileSpaceAt, 4) != kRgbSpace)
        return {};
    uLongf size = compressBound(static_cast<uLong>(profile.size()));
    QByteArray deflated(static_cast<qsizetype>(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                  reinterpret_cast<const Bytef*>(profile.constData()),
                  static_cast<uLong>(profile.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    deflated.truncate(static_cast<qsizetype>(size));
    // The name, its NUL and the compression method (deflate).
    return chunk("iCCP", QByteArray(kProfileName, sizeof kProfileName) + '\0' + deflated);
}

QByteArray exifChunk(const QByteArray& exif, int width, int height) {
    const QByteArray saved = exifForSavedPicture(exif, QSize(width, height));
    if (!saved.startsWith(QByteArray(kExifId, sizeof kExifId)))
        return {};
    return chunk("eXIf", saved.mid(sizeof kExifId));
}

QByteArray xmpChunk(const QByteArray& xmp) {
    const QByteArray id(kXmpId, sizeof kXmpId);
    if (!xmp.startsWith(id))
        return {};
    // The keyword, uncompressed, no language tag, no translated keyword.
    const QByteArray head = QByteArray(kXmpKeyword, sizeof kXmpKeyword) + QByteArray(4, '\0');
    return chunk("iTXt", head + xmp.mid(id.size()));
}

} // namespace

QByteArray pngMetadataChunks(const SourceMetadata& metadata, int width, int height) {
    return profileChunk(metadata.iccProfile) + exifChunk(metadata.exif, width, height) +
           xmpChunk(metadata.xmp);
}

// The file under its temporary name (outputfile/outputfile.h: the rules of
// where it may go, the permissions, nothing left behind unless committed).
struct PngWriter::File : jpeg::OutputFile {
    bool put(Bytes part) {
        return write(reinterpret_cast<const unsigned char*>(part.data()), part.size());
    }
    bool put(const QByteArray& part) { return put(bytesOf(part)); }
    // One chunk of data in parts, written part by part.
    bool putChunk(const char* type, std::initializer_list<Bytes> parts) {
        if (!put(chunkHead(type, parts)))
            return false;
        for (const Bytes& p : parts)
            if (!put(p))
                return false;
        QByteArray crc;
        putBigEndian(&crc, chunkCrc(type, parts));
        return put(crc);
    }
};

PngWriter::PngWriter() = default;

int PngWriter::osError() const {
    return file_ ? file_->error() : openError_;
}
PngWriter::~PngWriter() = default;

bool PngWriter::open(const QString& path, int width, int height, const SourceMetadata& metadata,
                     QString* error) {
    file_.reset();
    if (width < 1 || height < 1)
        return fail(error, QStringLiteral("a PNG picture has at least one pixel a side"));
    auto file = std::make_unique<File>();
    if (!file->create(gui::nameToBytes(path).toStdString())) {
        openError_ = file->error();
        return fail(error, fileError(*file));
    }
    const QByteArray head =
        QByteArray(reinterpret_cast<const char*>(kSignature), sizeof kSignature) +
        headerChunk(width, height) + pngMetadataChunks(metadata, width, height);
    if (!file->put(head))
        return fail(error, fileError(*file));
    file_ = std::move(file);
    rowsLeft_ = height;
    adler_ = static_cast<std::uint32_t>(adler32(0, nullptr, 0));
    started_ = false;
    return true;
}

bool PngWriter::writeStrip(const PngStrip& strip, QString* error) {
    if (!file_ || strip.rows < 1 || strip.rows > rowsLeft_ ||
        strip.last != (strip.rows == rowsLeft_))
        return fail(error, QStringLiteral("the strip does not follow the rows written"));
    adler_ = static_cast<std::uint32_t>(
        adler32_combine(adler_, strip.adler, static_cast<z_off_t>(strip.filteredBytes)));
    // The zlib header before the first strip's data, the whole data's
    // Adler-32 after the last strip's.
    const Bytes header = started_ ? Bytes() : Bytes(kZlibHeader, sizeof kZlibHeader);
    QByteArray trailer;
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

bool PngWriter::commit(QString* error) {
    if (!file_ || rowsLeft_ != 0)
        return fail(error, QStringLiteral("the picture is not complete"));
    const bool ok = file_->put(chunk("IEND", {})) && file_->commit();
    const QString why = fileError(*file_);
    file_.reset();
    return ok || fail(error, why);
}

} // namespace velmora::imageio
