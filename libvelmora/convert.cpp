// ConvertBMPtoJPG: bitmap file in, JPEG file out.
//
// Steps: check the arguments; open the source and check its headers, which
// bound everything read later (run-length rows are read through once and
// checked here too); create the temporary destination so that an
// unwritable folder fails before any pixel work; stream the strips through the
// encoder into the temporary file; fsync and rename. Every resource lives in
// an RAII holder, so each early return cleans up, and no exception crosses the
// C boundary.

#include "velmora.h"

#include "imageio/bitmapreader.h"
#include "stripencoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace {

using velmora::imageio::BitmapRows;
using velmora::imageio::BitmapStatus;

// The reader's statuses are the library's own.
int libraryStatus(BitmapStatus status) {
    switch (status) {
    case BitmapStatus::Ok:
        return VELMORA_OK;
    case BitmapStatus::NotABitmap:
        return VELMORA_E_NOT_A_BITMAP;
    case BitmapStatus::TooLarge:
        return VELMORA_E_TOO_LARGE;
    case BitmapStatus::SourceUnreadable:
        return VELMORA_E_SOURCE_UNREADABLE;
    case BitmapStatus::OutOfMemory:
        return VELMORA_E_OUT_OF_MEMORY;
    }
    return VELMORA_E_SOURCE_UNREADABLE;
}

// The bitmap's rows as the encoder asks for them, blue, green, red, in the
// calling thread's scratch buffer.
class BitmapStrips : public velmora::jpeg::StripSource {
  public:
    BitmapStrips(const BitmapRows& rows, int width)
        : rows_(rows), stride_(3 * std::size_t(width)) {}
    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override {
        if (scratch.size() < stride_ * count)
            scratch.resize(stride_ * count);
        if (const BitmapStatus status =
                rows_.fill(first, count, BitmapRows::Format::Bgr, scratch.data(), stride_);
            status != BitmapStatus::Ok)
            return libraryStatus(status);
        for (int i = 0; i < count; ++i)
            rows[i] = scratch.data() + stride_ * i;
        return VELMORA_OK;
    }

  private:
    const BitmapRows& rows_;
    std::size_t stride_;
};

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

int convert(const char* sourcePath, const char* destinationPath, int quality) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    const Descriptor source(::open(sourcePath, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat sourceStat;
    if (source.get() < 0 || ::fstat(source.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return VELMORA_E_SOURCE_UNREADABLE;
    const velmora::imageio::DescriptorSource file(source.get(), uint64_t(sourceStat.st_size));
    velmora::imageio::BitmapLayout layout;
    if (const BitmapStatus status =
            velmora::imageio::readBitmapLayout(file, VELMORA_MAX_DIMENSION, &layout);
        status != BitmapStatus::Ok)
        return libraryStatus(status);
    BitmapRows rows(file, layout);
    if (const BitmapStatus status = rows.indexRuns(); status != BitmapStatus::Ok)
        return libraryStatus(status);

    BitmapStrips strips(rows, layout.width);
    velmora::jpeg::EncodeSettings settings;
    settings.width = layout.width;
    settings.height = layout.height;
    settings.layout = velmora::jpeg::PixelLayout::Bgr;
    settings.quality = quality;
    return velmora::jpeg::encodeFile(destinationPath, settings, strips, nullptr, sourcePath);
}

} // namespace

extern "C" VELMORA_API int16_t ConvertBMPtoJPG(const char* sourcePath, char* destinationPath,
                                               int32_t arg3, int32_t quality, int32_t arg5) {
    if (!sourcePath || !destinationPath || !*sourcePath || !*destinationPath || arg3 != -1 ||
        arg5 != -1 || quality < 1 || quality > 100)
        return VELMORA_E_ARGUMENT;
    return velmora::jpeg::guarded([&] { return convert(sourcePath, destinationPath, quality); });
}

extern "C" VELMORA_API const char* VelmoraVersion(void) {
    return VELMORA_VERSION;
}
