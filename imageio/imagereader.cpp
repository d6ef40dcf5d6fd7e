#include "imageio/imagereader.h"

#include "imageio/bitmapreader.h"
#include "imageio/formatreader.h"
#include "imageio/imagebuffer.h"
#include "imageio/jpegdecoder.h"
#include "imageio/orientation.h"
#include "imageio/sourcefile.h"
#include "platform/memory.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace velmora::imageio {

namespace {

// A bitmap's sides at most: a row of 32-bit pixels stays under 2 GiB, as
// allocateImage needs, and four bytes a pixel of the whole picture are far
// from overflowing a long long. Memory decides long before.
constexpr int kMaxBitmapSide = INT_MAX / 4;
// JPEG's scaled decodes, largest reduction first.
constexpr int kDenominators[] = {8, 4, 2};

// The bitmap and format readers' bytes, read through the opened file: a
// cancelled file fails every read, which stops the reader at its next read.
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

QByteArray bytesOf(const std::vector<unsigned char>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

ImageReader::Failure failureOf(ReadStatus status) {
    switch (status) {
    case ReadStatus::TooLarge:
    case ReadStatus::OutOfMemory:
        return ImageReader::Failure::TooLarge;
    case ReadStatus::Cancelled:
        return ImageReader::Failure::Cancelled;
    default:
        return ImageReader::Failure::Unreadable;
    }
}

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
    const QByteArray head = file_->read(qint64(kSignatureBytes));
    file_->rewind();
    const PictureFormat format = formatOf(reinterpret_cast<const unsigned char*>(head.constData()),
                                          std::size_t(head.size()));
    switch (format) {
    case PictureFormat::Jpeg:
        openJpeg();
        break;
    case PictureFormat::Bitmap:
        openBitmap();
        break;
    case PictureFormat::Unknown:
        kind_ = Kind::Unknown;
        openError_ = QStringLiteral("not a picture of a format that is read here");
        break;
    default:
        openFormat(int(format));
        break;
    }
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
}

void ImageReader::openFormat(int format) {
    kind_ = Kind::Format;
    bitmap_ = std::make_unique<Bitmap>(file_.get());
    format_ = makeFormatReader(PictureFormat(format), bitmap_->bytes);
    PictureHeader header;
    const ReadStatus status = format_->readHeader(&header);
    if (status != ReadStatus::Ok) {
        openError_ = QString::fromStdString(format_->error());
        openFailure_ = failureOf(status);
        systemError_ = status == ReadStatus::Unreadable;
        return;
    }
    // TIFF stores its orientation itself, PNG and WebP in their EXIF block.
    orientation_ =
        header.orientation != 0 ? header.orientation : exifOrientation(bytesOf(header.exif));
    size_ = uprightSize(QSize(header.width, header.height), orientation_);
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
    if (kind_ == Kind::Unknown)
        return Cause::NotAPicture;
    return systemError_ ? Cause::Unreadable : Cause::Damaged;
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
    const long long pictureBytes = 4LL * size_.width() * size_.height();
    if (kind_ != Kind::Format)
        return pictureBytes;
    // The rows as stored are turned into a second picture.
    const long long stored = orientation_ == kUpright ? 0 : pictureBytes;
    return pictureBytes + stored + format_->workingBytes();
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
        return readFormat(picture, alsoHeld);
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

// The rows as stored straight into the picture, or into a picture of the
// stored size that is then turned upright into the result.
bool ImageReader::readFormat(QImage* picture, long long alsoHeld) {
    QImage decoded = allocateImage(size_.width(), size_.height());
    QImage stored;
    if (orientation_ != kUpright) {
        const QSize storedSize = uprightSize(size_, orientation_);
        stored = allocateImage(storedSize.width(), storedSize.height());
    }
    if (decoded.isNull() || (orientation_ != kUpright && stored.isNull()))
        return fail(Failure::TooLarge, tooLarge(size_));
    QImage& target = orientation_ == kUpright ? decoded : stored;
    const PixelRows rows{reinterpret_cast<std::uint32_t*>(target.bits()),
                         target.bytesPerLine() / 4};
    // The library's own buffers may have what the budget leaves beside the pictures.
    const long long budget = platform::memoryBudgetBytes();
    const long long held =
        alsoHeld + 4LL * size_.width() * size_.height() * (stored.isNull() ? 1 : 2);
    const long long limit = budget < 0 ? 0 : std::max(1LL, budget - held);
    const ReadStatus status = format_->decode(rows, limit, cancel_);
    if (status != ReadStatus::Ok) {
        systemError_ = status == ReadStatus::Unreadable;
        return fail(file_->cancelled() ? Failure::Cancelled : failureOf(status),
                    status == ReadStatus::TooLarge || status == ReadStatus::OutOfMemory
                        ? tooLarge(size_)
                        : QString::fromStdString(format_->error()));
    }
    if (!stored.isNull()) {
        placeUpright(rows.pixels, rows.stride, 0, stored.height(), stored.size(), orientation_,
                     reinterpret_cast<std::uint32_t*>(decoded.bits()), decoded.bytesPerLine() / 4);
    }
    *picture = std::move(decoded);
    return true;
}

} // namespace velmora::imageio
