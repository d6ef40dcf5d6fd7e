#include "platform/imagereader.h"

#include "platform/memory.h"

#include <algorithm>
#include <climits>
#include <mutex>

namespace velmora::platform {

namespace {

constexpr long long kMiB = 1LL << 20;

// Qt's allocation limit is one setting for the whole process; each read sets
// it for itself and holds it until the decoder is done.
std::mutex& limitMutex() {
    static std::mutex m;
    return m;
}

// The limit in MiB that Qt's decoders apply to the picture they allocate: what
// the memory budget leaves beside `alsoHeld`. 0 switches it off, which only
// happens when the budget is unknown.
int allocationLimitMiB(long long alsoHeld) {
    const long long budget = MemoryBudgetBytes();
    if (budget < 0)
        return 0;
    const long long mib = std::max(0LL, budget - alsoHeld) / kMiB;
    return static_cast<int>(std::clamp<long long>(mib, 1, INT_MAX));
}

} // namespace

ImageReader::ImageReader(const QString& path) : reader_(path) {
    reader_.setAutoTransform(false);
    size_ = reader_.size();
    format_ = reader_.imageFormat();
}

long long ImageReader::bytesNeeded() const {
    if (!size_.isValid())
        return 0;
    const long long pixels = static_cast<long long>(size_.width()) * size_.height();
    if (format_ == QImage::Format_RGB32 || format_ == QImage::Format_ARGB32)
        return pixels * 4;
    // Decoded in its own format, then copied to 32 bits (unknown: as if 32 bits).
    const int bits =
        format_ == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format_).bitsPerPixel();
    return pixels * 4 + (pixels * bits + 7) / 8;
}

bool ImageReader::fail(Failure why, const QString& text) {
    failure_ = why;
    error_ = text;
    return false;
}

bool ImageReader::read(QImage* picture, long long alsoHeld) {
    failure_ = Failure::None;
    error_.clear();
    if (size_.isValid() && !FitsInMemory(bytesNeeded() + alsoHeld))
        return fail(Failure::TooLarge,
                    QStringLiteral("a picture of %1 x %2 pixels does not fit in memory")
                        .arg(size_.width())
                        .arg(size_.height()));
    QImage decoded;
    {
        std::lock_guard lock(limitMutex());
        const int before = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(allocationLimitMiB(alsoHeld));
        const bool ok = reader_.read(&decoded);
        QImageReader::setAllocationLimit(before);
        if (!ok || decoded.isNull())
            return fail(Failure::Unreadable, reader_.errorString());
    }
    // ARGB32 becomes RGB32 in place; other formats are copied once.
    decoded.convertTo(QImage::Format_RGB32);
    if (decoded.isNull())
        return fail(Failure::Unreadable, QStringLiteral("not enough memory"));
    *picture = std::move(decoded);
    return true;
}

} // namespace velmora::platform
