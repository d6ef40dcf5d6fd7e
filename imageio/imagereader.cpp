#include "imageio/imagereader.h"

#include "imageio/bitmapreader.h"
#include "imageio/formatreader.h"
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
// Picture::allocate needs, and four bytes a pixel of the whole picture are far
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
        return std::uint64_t(std::max<long long>(file_->size(), 0));
    }
    BitmapStatus readAt(std::uint64_t offset, unsigned char* buffer,
                        std::size_t count) const override {
        if (!file_->seek(static_cast<long long>(offset)))
            return BitmapStatus::SourceUnreadable;
        const long long got =
            file_->read(reinterpret_cast<char*>(buffer), static_cast<long long>(count));
        if (got < 0)
            return BitmapStatus::SourceUnreadable;
        return std::size_t(got) < count ? BitmapStatus::NotABitmap : BitmapStatus::Ok;
    }

  private:
    SourceFile* file_;
};

std::string bytesOf(const std::vector<unsigned char>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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

std::string tooLarge(const Size& size) {
    return "a picture of " + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
           " pixels does not fit in memory";
}

} // namespace

struct ImageReader::Bitmap {
    explicit Bitmap(SourceFile* file) : bytes(file) {}
    FileBytes bytes;
    BitmapLayout layout;
};

ImageReader::ImageReader(const std::string& path) : file_(std::make_unique<SourceFile>()) {
    if (!file_->openPath(path)) {
        openError_ = file_->errorString();
        return;
    }
    const std::string head = file_->read(static_cast<long long>(kSignatureBytes));
    file_->rewind();
    const PictureFormat format =
        formatOf(reinterpret_cast<const unsigned char*>(head.data()), head.size());
    switch (format) {
    case PictureFormat::Jpeg:
        openJpeg();
        break;
    case PictureFormat::Bitmap:
        openBitmap();
        break;
    case PictureFormat::Unknown:
        kind_ = Kind::Unknown;
        openError_ = "not a picture of a format that is read here";
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
        openError_ = why;
        if (status == BitmapStatus::TooLarge || status == BitmapStatus::OutOfMemory)
            openFailure_ = Failure::TooLarge;
        return;
    }
    size_ = Size(bitmap_->layout.width, bitmap_->layout.height);
}

void ImageReader::openFormat(int format) {
    kind_ = Kind::Format;
    bitmap_ = std::make_unique<Bitmap>(file_.get());
    format_ = makeFormatReader(PictureFormat(format), bitmap_->bytes);
    PictureHeader header;
    const ReadStatus status = format_->readHeader(&header);
    if (status != ReadStatus::Ok) {
        openError_ = format_->error();
        openFailure_ = failureOf(status);
        systemError_ = status == ReadStatus::Unreadable;
        return;
    }
    // TIFF stores its orientation itself, PNG and WebP in their EXIF block.
    orientation_ =
        header.orientation != 0 ? header.orientation : exifOrientation(bytesOf(header.exif));
    size_ = uprightSize(Size(header.width, header.height), orientation_);
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

std::string ImageReader::exif() const {
    return jpeg_ ? jpeg_->exif() : std::string();
}

std::string ImageReader::iccProfile() const {
    return jpeg_ ? jpeg_->iccProfile() : std::string();
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
        const Size decoded = jpeg_->scaledSize(denominator());
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

bool ImageReader::fail(Failure why, const std::string& text) {
    failure_ = why;
    error_ = text;
    return false;
}

bool ImageReader::read(Picture* picture, long long alsoHeld) {
    failure_ = Failure::None;
    error_.clear();
    if (!openError_.empty())
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
    const Size need = uprightSize(smallest_, orientation_); // as stored
    for (const int d : kDenominators) {
        const Size scaled = jpeg_->scaledSize(d);
        if (scaled.width() >= need.width() && scaled.height() >= need.height())
            return d;
    }
    return 1;
}

bool ImageReader::readJpeg(Picture* picture, long long alsoHeld) {
    const int d = denominator();
    const Size upright = uprightSize(jpeg_->scaledSize(d), orientation_);
    const long long pictureBytes = 4LL * upright.width() * upright.height();
    Picture decoded = Picture::allocate(upright.width(), upright.height());
    if (decoded.isNull())
        return fail(Failure::TooLarge, tooLarge(size_));
    // libjpeg's own buffers may have what the budget leaves beside the picture.
    const long long budget = platform::memoryBudgetBytes();
    const long long limit = budget < 0 ? 0 : std::max(1LL, budget - alsoHeld - pictureBytes);
    if (!jpeg_->decode(d, orientation_, decoded, limit, cancel_))
        return fail(jpeg_->cancelled() ? Failure::Cancelled : Failure::Unreadable,
                    jpeg_->errorString());
    *picture = std::move(decoded);
    return true;
}

// The whole picture in one pass of the reader, straight into the 32-bit
// picture: run-length rows are read through once, uncompressed ones a piece
// at a time.
bool ImageReader::readBitmap(Picture* picture) {
    Picture decoded = Picture::allocate(size_.width(), size_.height());
    if (decoded.isNull())
        return fail(Failure::TooLarge, tooLarge(size_));
    const BitmapRows rows(bitmap_->bytes, bitmap_->layout);
    const char* why = "";
    const BitmapStatus status = rows.fill(0, size_.height(), BitmapRows::Format::Bgrx,
                                          reinterpret_cast<unsigned char*>(decoded.pixels()),
                                          std::size_t(decoded.stride()) * 4, &why);
    if (file_->cancelled())
        return fail(Failure::Cancelled, "cancelled");
    if (status == BitmapStatus::OutOfMemory)
        return fail(Failure::TooLarge, tooLarge(size_));
    if (status != BitmapStatus::Ok)
        return fail(Failure::Unreadable, why);
    *picture = std::move(decoded);
    return true;
}

// The rows as stored straight into the picture, or into a picture of the
// stored size that is then turned upright into the result.
bool ImageReader::readFormat(Picture* picture, long long alsoHeld) {
    Picture decoded = Picture::allocate(size_.width(), size_.height());
    Picture stored;
    if (orientation_ != kUpright) {
        const Size storedSize = uprightSize(size_, orientation_);
        stored = Picture::allocate(storedSize.width(), storedSize.height());
    }
    if (decoded.isNull() || (orientation_ != kUpright && stored.isNull()))
        return fail(Failure::TooLarge, tooLarge(size_));
    Picture& target = orientation_ == kUpright ? decoded : stored;
    const PixelRows rows{target.pixels(), target.stride()};
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
                        : format_->error());
    }
    if (!stored.isNull()) {
        placeUpright(rows.pixels, rows.stride, 0, stored.height(), stored.size(), orientation_,
                     decoded.pixels(), decoded.stride());
    }
    *picture = std::move(decoded);
    return true;
}

} // namespace velmora::imageio
