#include "platform/bitmap.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file written under a unique temporary name in its folder and renamed over
// the destination at commit; removed again if never committed. No fsync: a large
// picture would wait for the disk on every save, and the rename already orders
// the data before the name on the file systems we run on (ext4's auto_da_alloc).
class AtomicFile {
  public:
    explicit AtomicFile(const QString& path) : path_(QFile::encodeName(path)) {
        tmp_ = path_ + ".XXXXXX";
        fd_ = ::mkstemp(tmp_.data());
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        // A new file gets the usual permissions of a new file (mkstemp gives 0600);
        // a replaced one keeps its own.
        struct stat st {};
        mode_t mode;
        if (::stat(path_.constData(), &st) == 0) {
            mode = st.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd_, mode);
    }
    ~AtomicFile() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(tmp_.constData());
        }
    }
    bool ok() const { return fd_ >= 0; }
    bool write(const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error_ = errno;
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool commit() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 || ::rename(tmp_.constData(), path_.constData()) != 0) {
            error_ = errno;
            ::unlink(tmp_.constData());
            return false;
        }
        return true;
    }
    QString errorString() const { return QString::fromLocal8Bit(std::strerror(error_)); }

  private:
    QByteArray path_, tmp_;
    int fd_ = -1;
    int error_ = 0;
};

bool fail(QString* error, const QString& why) {
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
    if (pixelBytes + kHeaderBytes > 0xFFFFFFFFLL)
        return fail(error, QStringLiteral("the image is too large for a bitmap file"));
    AtomicFile out(path);
    if (!out.ok())
        return fail(error, out.errorString());

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
    if (!out.write(header, kHeaderBytes))
        return fail(error, out.errorString());

    // Bottom-up rows of blue, green, red, each padded to four bytes.
    const qint64 batchRows = std::max<qint64>(1, kBatchBytes / std::max<qint64>(rowBytes, 1));
    std::vector<unsigned char> buffer(
        static_cast<std::size_t>(rowBytes * std::min<qint64>(batchRows, h)));
    for (int y = h - 1; y >= 0;) {
        qint64 filled = 0;
        for (qint64 n = 0; n < batchRows && y >= 0; ++n, --y) {
            const auto* src = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            unsigned char* dst = buffer.data() + filled;
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = src[x];
                dst[3 * x] = v & 0xFF;
                dst[3 * x + 1] = (v >> 8) & 0xFF;
                dst[3 * x + 2] = (v >> 16) & 0xFF;
            }
            std::memset(dst + 3 * static_cast<qint64>(w), 0, rowBytes - 3 * static_cast<qint64>(w));
            filled += rowBytes;
        }
        if (!out.write(buffer.data(), static_cast<std::size_t>(filled)))
            return fail(error, out.errorString());
    }
    if (!out.commit())
        return fail(error, out.errorString());
    return true;
}

} // namespace velmora::platform
