#include "platform/surface.h"

#include <QFile>
#include <QImageReader>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>

#include <cstring>
#include <fstream>
#include <string>

namespace velmora::platform {

namespace {

// Colour values keep red in the low byte; QImage::Format_RGB32 keeps blue there.
inline std::uint32_t swapRedBlue(std::uint32_t v) {
    return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
}

} // namespace

Surface::Surface(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Surface::setBackground(const QColor& colour) {
    if (background_ == colour)
        return;
    background_ = colour;
    Cls();
}

void Surface::setPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
    Cls();
}

bool Surface::loadPicture(const QString& path, QString* error) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QImage loaded;
    if (!reader.read(&loaded)) {
        if (error)
            *error = reader.errorString();
        return false;
    }
    setPicture(loaded);
    return true;
}

void Surface::paintCleared(QImage& target, const QRect& area) const {
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(area, background_);
    if (!picture_.isNull())
        p.drawImage(area.topLeft(), picture_, area);
}

void Surface::Cls() {
    revealed_ = -1;
    const QSize s = size().expandedTo(QSize(0, 0));
    if (image_.size() != s || image_.format() != QImage::Format_RGB32)
        image_ = QImage(s, QImage::Format_RGB32);
    if (!image_.isNull())
        paintCleared(image_, image_.rect());
    update();
}

std::uint32_t Surface::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return 0xFFFFFFFFu;
    const auto* line = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y));
    return swapRedBlue(line[x]) & 0x00FFFFFFu;
}

void Surface::SetPixel(int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return;
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    line[x] = 0xFF000000u | swapRedBlue(colour);
}

void Surface::beginReveal(QImage image) {
    image_ = std::move(image);
    revealed_ = 0;
    update();
}

void Surface::setRevealed(int columns) {
    if (revealed_ < 0)
        return;
    if (columns >= image_.width()) {
        const int from = revealed_;
        revealed_ = -1;
        update(QRect(from, 0, width() - from, height()));
        return;
    }
    if (columns <= revealed_)
        return;
    // Only the newly finished columns are repainted.
    update(QRect(revealed_, 0, columns - revealed_, height()));
    revealed_ = columns;
}

void Surface::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    const QRect imageArea = area.intersected(image_.rect());
    if (revealed_ < 0) {
        p.drawImage(imageArea.topLeft(), image_, imageArea);
    } else {
        const QRect done = imageArea.intersected(QRect(0, 0, revealed_, image_.height()));
        if (!done.isEmpty())
            p.drawImage(done.topLeft(), image_, done);
        const QRect rest = area.intersected(QRect(revealed_, 0, width() - revealed_, height()));
        if (!rest.isEmpty()) {
            p.fillRect(rest, background_);
            if (!picture_.isNull())
                p.drawImage(rest.topLeft(), picture_, rest);
        }
    }
    // Outside the retained image (only while a resize is pending) the background shows.
    const QRegion outside = QRegion(area) - QRegion(image_.rect());
    for (const QRect& r : outside)
        p.fillRect(r, background_);
}

void Surface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (image_.size() == size())
        return;
    // The retained image follows the control's size and keeps what it can of its
    // content; newly exposed parts show the cleared surface.
    QImage grown(size(), QImage::Format_RGB32);
    if (!grown.isNull()) {
        paintCleared(grown, grown.rect());
        if (!image_.isNull()) {
            QPainter p(&grown);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(0, 0, image_);
        }
    }
    image_ = std::move(grown);
    revealed_ = -1;
}

bool Surface::saveBitmap(const QString& path) const {
    // The whole retained image at its present size, 24 bits per pixel, written
    // under a temporary name and renamed at the end, so a failure never leaves a
    // truncated file or destroys the file it was to replace.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const int w = image_.width(), h = image_.height();
    const qint64 rowBytes = (static_cast<qint64>(w) * 3 + 3) & ~qint64(3);
    const qint64 pixelBytes = rowBytes * h;
    if (pixelBytes + 54 > 0xFFFFFFFFLL) {
        out.cancelWriting();
        return false;
    }
    unsigned char header[54] = {};
    auto put16 = [&](int at, std::uint32_t v) {
        header[at] = v & 0xFF;
        header[at + 1] = (v >> 8) & 0xFF;
    };
    auto put32 = [&](int at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, static_cast<std::uint32_t>(54 + pixelBytes));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    put16(26, 1);
    put16(28, 24);
    put32(34, static_cast<std::uint32_t>(pixelBytes));
    put32(38, 3780); // 96 dots per inch
    put32(42, 3780);
    if (out.write(reinterpret_cast<const char*>(header), 54) != 54) {
        out.cancelWriting();
        return false;
    }
    // Rows bottom-up, blue-green-red, each padded to four bytes; written in
    // batches of rows so a large image costs a few big writes, not one per row.
    const qint64 batchRows = std::max<qint64>(1, (4 << 20) / std::max<qint64>(rowBytes, 1));
    QByteArray buffer(static_cast<qsizetype>(rowBytes * std::min<qint64>(batchRows, h)), '\0');
    for (int y = h - 1; y >= 0;) {
        qint64 filled = 0;
        for (qint64 n = 0; n < batchRows && y >= 0; ++n, --y) {
            const auto* src = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y));
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
        if (out.write(buffer.constData(), filled) != filled) {
            out.cancelWriting();
            return false;
        }
    }
    return out.commit();
}

void LiftImageAllocationLimit() {
    // 0 disables the reader's own limit; a file too big for memory then fails to
    // allocate and the reader reports an error instead of crashing.
    QImageReader::setAllocationLimit(0);
}

long long AvailableMemoryBytes() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long value = 0;
    std::string unit;
    while (in >> key >> value) {
        std::getline(in, unit);
        if (key == "MemAvailable:")
            return value * 1024;
    }
    return -1;
}

} // namespace velmora::platform
