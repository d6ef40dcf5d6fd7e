#include "platform/bitmap.h"

#include <QSaveFile>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace velmora::platform {

namespace {

constexpr int kHeaderBytes = 54;
// Rows are converted into a buffer of about this size and written in one call,
// so a large image costs a few big writes rather than one per row.
constexpr qint64 kBatchBytes = 4 << 20;

void put16(unsigned char* at, std::uint32_t v) {
    at[0] = v & 0xFF;
    at[1] = (v >> 8) & 0xFF;
}

void put32(unsigned char* at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
}

bool fail(QSaveFile& out, QString* error, const QString& why) {
    out.cancelWriting();
    if (error)
        *error = why;
    return false;
}

} // namespace

bool WriteBitmap(const QImage& source, const QString& path, QString* error) {
    const QImage image =
        (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32)
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    const qint64 rowBytes = (static_cast<qint64>(w) * 3 + 3) & ~qint64(3);
    const qint64 pixelBytes = rowBytes * h;
    QSaveFile out(path);
    if (pixelBytes + kHeaderBytes > 0xFFFFFFFFLL)
        return fail(out, error, QStringLiteral("the image is too large for a bitmap file"));
    if (!out.open(QIODevice::WriteOnly))
        return fail(out, error, out.errorString());

    unsigned char header[kHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<std::uint32_t>(kHeaderBytes + pixelBytes));
    put32(header + 10, kHeaderBytes);
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(w));
    put32(header + 22, static_cast<std::uint32_t>(h));
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, static_cast<std::uint32_t>(pixelBytes));
    put32(header + 38, 3780); // 96 dots per inch
    put32(header + 42, 3780);
    if (out.write(reinterpret_cast<const char*>(header), kHeaderBytes) != kHeaderBytes)
        return fail(out, error, out.errorString());

    // Bottom-up rows of blue, green, red, each padded to four bytes.
    const qint64 batchRows = std::max<qint64>(1, kBatchBytes / std::max<qint64>(rowBytes, 1));
    QByteArray buffer(static_cast<qsizetype>(rowBytes * std::min<qint64>(batchRows, h)), '\0');
    for (int y = h - 1; y >= 0;) {
        qint64 filled = 0;
        for (qint64 n = 0; n < batchRows && y >= 0; ++n, --y) {
            const auto* src = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            auto* dst = reinterpret_cast<unsigned char*>(buffer.data()) + filled;
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = src[x];
                dst[3 * x] = v & 0xFF;
                dst[3 * x + 1] = (v >> 8) & 0xFF;
                dst[3 * x + 2] = (v >> 16) & 0xFF;
            }
            std::memset(dst + 3 * static_cast<qint64>(w), 0, rowBytes - 3 * static_cast<qint64>(w));
            filled += rowBytes;
        }
        if (out.write(buffer.constData(), filled) != filled)
            return fail(out, error, out.errorString());
    }
    if (!out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace velmora::platform
