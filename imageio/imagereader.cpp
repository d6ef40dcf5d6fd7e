#include "imageio/imagereader.h"

#include "imageio/bitmapreader.h"
#include "imageio/imagebuffer.h"
#include "imageio/jpegdecoder.h"
#include "imageio/orientation.h"
#include "imageio/sourcefile.h"
#include "platform/memory.h"

#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

namespace velmora::imageio {

namespace {

constexpr long long kMiB = 1LL << 20;
// A file's first bytes tell JPEG ("\xFF\xD8") and bitmaps ("BM") apart.
constexpr int kHeadBytes = 2;
// A bitmap's sides at most: a row of 32-bit pixels stays under 2 GiB, as
// allocateImage needs, and four bytes a pixel of the whole picture are far
// from overflowing a long long. Memory decides long before.
constexpr int kMaxBitmapSide = INT_MAX / 4;
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
    const long long budget = platform::memoryBudgetBytes();
    if (budget < 0)
        return 0;
    const long long mib = std::max(0LL, budget - alsoHeld) / kMiB;
    return static_cast<int>(std::clamp<long long>(mib, 1, INT_MAX));
}

// The bitmap reader's bytes, read through the opened file: a cancelled file
// fails every read, which stops the reader at its next piece of rows.
class FileBytes : public BitmapSource {
  public:
    explicit FileBytes(SourceFile* file) : file_(file) {}
    std::uint64_t size() const override {
        return std::uint64_t(std::max<qint64>(file_->size(), 0));
    }
    BitmapStatus readAt(std::uint64_t offset, unsigned char* buffer,
                        std::size_t count) const override {
        if (!file_->seek(qint64(offset)))
            return BitmapStatus::SourceUnreadable;
        const qint64 got = file_->read(reinterpret_cast<char*>(buffer), qint64(count));
        if (got < 0)
            return BitmapStatus::SourceUnreadable;
        return std::size_t(got) < count ? BitmapStatus::NotABitmap : BitmapStatus::Ok;
    }

  private:
    SourceFile* file_;
};

QString tooLarge(const QSize& size) {
    return QStringLiteral("a picture of %1 x %2 pixels does not fit in memory")
        .arg(size.width())
        .arg(size.height());
}

} // namespace

struct ImageReader::Bitmap {
    explicit Bitmap(SourceFile* file) : bytes(file) {}
    FileBytes bytes;
    BitmapLayout layout;
};

ImageReader::ImageReader(const QString& path) : file_(std::make_unique<SourceFile>()) {
    if (!file_->openPath(path)) {
        openError_ = file_->errorString();
        return;
    }
    const QByteArray head = file_->read(kHeadBytes);
    file_->rewind();
    if (head.startsWith("\xFF\xD8"))
        openJpeg();
    else if (head.startsWith("BM"))
        openBitmap();
    else
        openWithQt();
}

ImageReader::~ImageReader() = default;

void ImageReader::openJpeg() {
    kind_ = Kind::Jpeg;
    jpeg_ = std::make_unique<JpegDecoder>(file_.get());
    if (!jpeg_->readHeader()) {
        openError_ = jpeg_->errorString();
        return;
    }
    orientation_ = exifOrientation(jpeg_->exif());
    size_ = uprightSize(jpeg_->size(), orientation_);
    format_ = QImage::Format_RGB32;
}

void ImageReader::openBitmap() {
    kind_ = Kind::Bitmap;
    bitmap_ = std::make_unique<Bitmap>(file_.get());
    const char* why = "";
    const BitmapStatus status =
        readBitmapLayout(bitmap_->bytes, kMaxBitmapSide, &bitmap_->layout, &why);
    if (status != BitmapStatus::Ok) {
        openError_ = QString::fromUtf8(why);
        if (status == BitmapStatus::TooLarge || status == BitmapStatus::OutOfMemory)
            openFailure_ = Failure::TooLarge;
        return;
    }
    size_ = QSize(bitmap_->layout.width, bitmap_->layout.height);
    format_ = QImage::Format_RGB32;
}

void ImageReader::openWithQt() {
    kind_ = Kind::Other;
    qt_ = std::make_unique<QImageReader>(file_.get());
    qt_->setAutoTransform(false);
    size_ = qt_->size();
    format_ = qt_->imageFormat();
}

ImageReader::Cause ImageReader::cause() const {
    switch (failure_) {
    case Failure::None:
        return Cause::None;
    case Failure::TooLarge:
        return Cause::TooLarge;
    case Failure::Cancelled:
        return Cause::Cancelled;
    case Failure::Unreadable:
        break;
    }
    if (kind_ == Kind::None) { // the file did not open
        switch (file_->openError()) {
        case 0:
        case EISDIR:
            return Cause::NotRegularFile;
        case ENOENT:
        case ENOTDIR:
            return Cause::Missing;
        case EACCES:
        case EPERM:
            return Cause::NoPermission;
        default:
            return Cause::Unreadable;
        }
    }
    if (kind_ == Kind::Other && qt_ &&
        (qt_->error() == QImageReader::UnsupportedFormatError || qt_->format().isEmpty()))
        return Cause::NotAPicture;
    return Cause::Damaged;
}

QByteArray ImageReader::exif() const {
    return jpeg_ ? jpeg_->exif() : QByteArray();
}

QByteArray ImageReader::iccProfile() const {
    return jpeg_ ? jpeg_->iccProfile() : QByteArray();
}

SourceMetadata ImageReader::metadata() const {
    return jpeg_ ? jpeg_->metadata() : SourceMetadata();
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
        return 4LL * decoded.width() * decoded.height() + jpeg_->workingBytes() +
               jpeg_->metadata().bytes();
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
        return fail(openFailure_, openError_);
    if (size_.isValid() && !platform::fitsInMemory(bytesNeeded() + alsoHeld))
        return fail(Failure::TooLarge, tooLarge(size_));
    switch (kind_) {
    case Kind::Jpeg:
        return readJpeg(picture, alsoHeld);
    case Kind::Bitmap:
        return readBitmap(picture);
    default:
        return readWithQt(picture, alsoHeld);
    }
}

// The largest reduction whose result still covers smallest_.
int ImageReader::denominator() const {
    if (smallest_.isEmpty())
        return 1;
    const QSize need = uprightSize(smallest_, orientation_); // as stored
    for (const int d : kDenominators) {
        const QSize scaled = jpeg_->scaledSize(d);
        if (scaled.width() >= need.width() && scaled.height() >= need.height())
            return d;
    }
    return 1;
}

bool ImageReader::readJpeg(QImage* picture, long long alsoHeld) {
    const int d = denominator();
    const QSize upright = uprightSize(jpeg_->scaledSize(d), orientation_);
    const long long pictureBytes = 4LL * upright.width() * upright.height();
    QImage decoded = allocateImage(upright.width(), upright.height());
    if (decoded.isNull())
        return fail(Failure::TooLarge, tooLarge(size_));
    // libjpeg's own buffers may have what the budget leaves beside the picture.
    const long long budget = platform::memoryBudgetBytes();
    const long long limit = budget < 0 ? 0 : std::max(1LL, budget - alsoHeld - pictureBytes);
    if (!jpeg_->decode(d, orientation_, &decoded, limit, cancel_))
        return fail(jpeg_->cancelled() ? Failure::Cancelled : Failure::Unreadable,
                    jpeg_->errorString());
    *picture = std::move(decoded);
    return true;
}

// The whole picture in one pass of the reader, straight into the 32-bit
// picture: run-length rows are read through once, uncompressed ones a piece
// at a time.
bool ImageReader::readBitmap(QImage* picture) {
    QImage decoded = allocateImage(size_.width(), size_.height());
    if (decoded.isNull())
        return fail(Failure::TooLarge, tooLarge(size_));
    const BitmapRows rows(bitmap_->bytes, bitmap_->layout);
    const char* why = "";
    const BitmapStatus status =
        rows.fill(0, size_.height(), BitmapRows::Format::Bgrx, decoded.bits(),
                  std::size_t(decoded.bytesPerLine()), &why);
    if (file_->cancelled())
        return fail(Failure::Cancelled, QStringLiteral("cancelled"));
    if (status == BitmapStatus::OutOfMemory)
        return fail(Failure::TooLarge, tooLarge(size_));
    if (status != BitmapStatus::Ok)
        return fail(Failure::Unreadable, QString::fromUtf8(why));
    *picture = std::move(decoded);
    return true;
}

bool ImageReader::readWithQt(QImage* picture, long long alsoHeld) {
    QImage decoded;
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
    // ARGB32 becomes RGB32 in place; other formats are copied once.
    decoded.convertTo(QImage::Format_RGB32);
    if (decoded.isNull())
        return fail(Failure::Unreadable, QStringLiteral("not enough memory"));
    *picture = std::move(decoded);
    return true;
}

} // namespace velmora::imageio
