#include "imageio/imagereader.h"

#include "imageio/imagebuffer.h"
#include "imageio/jpegdecoder.h"
#include "imageio/orientation.h"
#include "imageio/sourcefile.h"
#include "platform/memory.h"

#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <mutex>

namespace velmora::imageio {

namespace {

constexpr long long kMiB = 1LL << 20;
// The bitmap header's fields read here: the info header's size at 14 and,
// from a 40-byte header on, the compression at 30 (1 and 2 are run-length
// coded rows).
constexpr int kHeadBytes = 34;
constexpr int kInfoSizeAt = 14;
constexpr int kCompressionAt = 30;
constexpr quint32 kCoreHeader = 12;
constexpr quint32 kRunLength8 = 1;
constexpr quint32 kRunLength4 = 2;
// JPEG's scaled decodes, largest reduction first.
constexpr int kDenominators[] = {8, 4, 2};

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
    const long long budget = platform::MemoryBudgetBytes();
    if (budget < 0)
        return 0;
    const long long mib = std::max(0LL, budget - alsoHeld) / kMiB;
    return static_cast<int>(std::clamp<long long>(mib, 1, INT_MAX));
}

bool runLengthBitmap(const QByteArray& head) {
    if (head.size() < kHeadBytes)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(head.constData());
    if (qFromLittleEndian<quint32>(p + kInfoSizeAt) == kCoreHeader)
        return false;
    const quint32 compression = qFromLittleEndian<quint32>(p + kCompressionAt);
    return compression == kRunLength8 || compression == kRunLength4;
}

QString tooLarge(const QSize& size) {
    return QStringLiteral("a picture of %1 x %2 pixels does not fit in memory")
        .arg(size.width())
        .arg(size.height());
}

} // namespace

ImageReader::ImageReader(const QString& path) : file_(std::make_unique<SourceFile>()) {
    if (!file_->openPath(path)) {
        openError_ = file_->errorString();
        return;
    }
    const QByteArray head = file_->read(kHeadBytes);
    file_->rewind();
    if (head.startsWith("\xFF\xD8"))
        openJpeg();
    else
        openWithQt(head);
}

ImageReader::~ImageReader() = default;

void ImageReader::openJpeg() {
    kind_ = Kind::Jpeg;
    jpeg_ = std::make_unique<JpegDecoder>(file_.get());
    if (!jpeg_->readHeader()) {
        openError_ = jpeg_->errorString();
        return;
    }
    orientation_ = ExifOrientation(jpeg_->exif());
    size_ = UprightSize(jpeg_->size(), orientation_);
    format_ = QImage::Format_RGB32;
}

void ImageReader::openWithQt(const QByteArray& head) {
    const bool bitmap = head.startsWith("BM");
    kind_ = bitmap ? Kind::Bitmap : Kind::Other;
    runLength_ = bitmap && runLengthBitmap(head);
    qt_ = std::make_unique<QImageReader>(file_.get(), bitmap ? QByteArray("bmp") : QByteArray());
    qt_->setAutoTransform(false);
    size_ = qt_->size();
    format_ = qt_->imageFormat();
}

QByteArray ImageReader::exif() const {
    return jpeg_ ? jpeg_->exif() : QByteArray();
}

QByteArray ImageReader::iccProfile() const {
    return jpeg_ ? jpeg_->iccProfile() : QByteArray();
}

void ImageReader::setCancelFlag(const std::atomic<bool>* flag) {
    cancel_ = flag;
    file_->setCancelFlag(flag);
}

long long ImageReader::bytesNeeded() const {
    if (!size_.isValid())
        return 0;
    if (kind_ == Kind::Jpeg) {
        const QSize decoded = jpeg_->scaledSize(denominator());
        return 4LL * decoded.width() * decoded.height() + jpeg_->workingBytes();
    }
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
    if (!openError_.isEmpty())
        return fail(Failure::Unreadable, openError_);
    if (size_.isValid() && !platform::FitsInMemory(bytesNeeded() + alsoHeld))
        return fail(Failure::TooLarge, tooLarge(size_));
    return kind_ == Kind::Jpeg ? readJpeg(picture, alsoHeld) : readWithQt(picture, alsoHeld);
}

// The largest reduction whose result still covers smallest_.
int ImageReader::denominator() const {
    if (smallest_.isEmpty())
        return 1;
    const QSize need = UprightSize(smallest_, orientation_); // as stored
    for (const int d : kDenominators) {
        const QSize scaled = jpeg_->scaledSize(d);
        if (scaled.width() >= need.width() && scaled.height() >= need.height())
            return d;
    }
    return 1;
}

bool ImageReader::readJpeg(QImage* picture, long long alsoHeld) {
    const int d = denominator();
    const QSize upright = UprightSize(jpeg_->scaledSize(d), orientation_);
    const long long pictureBytes = 4LL * upright.width() * upright.height();
    QImage decoded = AllocateImage(upright.width(), upright.height());
    if (decoded.isNull())
        return fail(Failure::TooLarge, tooLarge(size_));
    // libjpeg's own buffers may have what the budget leaves beside the picture.
    const long long budget = platform::MemoryBudgetBytes();
    const long long limit = budget < 0 ? 0 : std::max(1LL, budget - alsoHeld - pictureBytes);
    if (!jpeg_->decode(d, orientation_, &decoded, limit, cancel_))
        return fail(jpeg_->cancelled() ? Failure::Cancelled : Failure::Unreadable,
                    jpeg_->errorString());
    *picture = std::move(decoded);
    return true;
}

bool ImageReader::readWithQt(QImage* picture, long long alsoHeld) {
    QImage decoded;
    // Run-length rows may skip pixels (the format leaves them to the
    // background). Qt writes into a picture of the right size and format when
    // it is given one, so it gets one cleared to colour 0; one it did not keep
    // could hold anything where the rows skip.
    const uchar* cleared = nullptr;
    if (runLength_ && size_.isValid()) {
        decoded = QImage(size_, format_);
        if (decoded.isNull())
            return fail(Failure::TooLarge, tooLarge(size_));
        decoded.fill(0);
        cleared = decoded.constBits();
    }
    {
        std::lock_guard lock(limitMutex());
        const int before = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(allocationLimitMiB(alsoHeld));
        const bool ok = qt_->read(&decoded);
        QImageReader::setAllocationLimit(before);
        if (file_->cancelled())
            return fail(Failure::Cancelled, QStringLiteral("cancelled"));
        if (!ok || decoded.isNull())
            return fail(Failure::Unreadable, qt_->errorString());
    }
    // Qt's bitmap decoder stops quietly where the file ends, leaving the rest
    // of the picture as it found the memory.
    if (kind_ == Kind::Bitmap && file_->ranOut())
        return fail(Failure::Unreadable, QStringLiteral("the file ends before its last row"));
    if (cleared != nullptr && decoded.constBits() != cleared)
        return fail(Failure::Unreadable,
                    QStringLiteral("run-length rows that cannot be read safely"));
    // ARGB32 becomes RGB32 in place; other formats are copied once.
    decoded.convertTo(QImage::Format_RGB32);
    if (decoded.isNull())
        return fail(Failure::Unreadable, QStringLiteral("not enough memory"));
    *picture = std::move(decoded);
    return true;
}

} // namespace velmora::imageio
