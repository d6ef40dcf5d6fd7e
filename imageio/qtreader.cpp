#include "imageio/qtreader.h"

#include "imageio/sourcefile.h"
#include "platform/memory.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <mutex>

namespace velmora::imageio {

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
    const long long budget = platform::memoryBudgetBytes();
    if (budget < 0)
        return 0;
    const long long mib = std::max(0LL, budget - alsoHeld) / kMiB;
    return static_cast<int>(std::clamp<long long>(mib, 1, INT_MAX));
}

// The source file as Qt's decoders read it: every read goes to the file, so a
// cancelled file stops the decoder at its next read.
class SourceDevice : public QIODevice {
  public:
    explicit SourceDevice(SourceFile* file) : file_(file) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return file_->size(); }
    bool seek(qint64 pos) override { return QIODevice::seek(pos) && file_->seek(pos); }

  protected:
    qint64 readData(char* data, qint64 maxSize) override { return file_->read(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    SourceFile* file_;
};

} // namespace

struct QtFormatReader::State {
    explicit State(SourceFile* source) : source(source), file(source) {}
    SourceFile* source;
    SourceDevice file;
    QImageReader reader;
    QImage::Format format = QImage::Format_Invalid;
};

QtFormatReader::QtFormatReader(SourceFile* file) : state_(std::make_unique<State>(file)) {
    state_->reader.setDevice(&state_->file);
    state_->reader.setAutoTransform(false);
    state_->format = state_->reader.imageFormat();
}

QtFormatReader::~QtFormatReader() = default;

Size QtFormatReader::size() const {
    const QSize size = state_->reader.size();
    return size.isValid() ? Size(size.width(), size.height()) : Size();
}

long long QtFormatReader::bytesNeeded(long long pixels) const {
    const QImage::Format format = state_->format;
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32)
        return pixels * 4;
    // Decoded in its own format, then copied to 32 bits (unknown: as if 32 bits).
    const int bits =
        format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return pixels * 4 + (pixels * bits + 7) / 8;
}

bool QtFormatReader::read(Picture* picture, long long alsoHeld, std::string* error) {
    QImage decoded;
    {
        std::lock_guard lock(limitMutex());
        const int before = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(allocationLimitMiB(alsoHeld));
        const bool ok = state_->reader.read(&decoded);
        QImageReader::setAllocationLimit(before);
        if (!ok || decoded.isNull()) {
            *error = state_->reader.errorString().toStdString();
            return false;
        }
    }
    // ARGB32 becomes RGB32 in place; other formats are copied once.
    decoded.convertTo(QImage::Format_RGB32);
    if (decoded.isNull()) {
        *error = "not enough memory";
        return false;
    }
    // The picture keeps the image, whose pixels it is.
    const auto owner = std::make_shared<QImage>(std::move(decoded));
    *picture = Picture::wrap(reinterpret_cast<std::uint32_t*>(owner->bits()), owner->width(),
                             owner->height(), owner->bytesPerLine() / 4, owner);
    return true;
}

bool QtFormatReader::canRead() const {
    return state_->reader.canRead();
}

bool QtFormatReader::notAPicture() const {
    return state_->reader.error() == QImageReader::UnsupportedFormatError ||
           state_->reader.format().isEmpty();
}

} // namespace velmora::imageio
