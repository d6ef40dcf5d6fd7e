// ConvertBMPtoJPG: bitmap file in, JPEG file out. ConvertPixelsToJPG: pixels
// in memory in, the same JPEG file out.
//
// Steps: check the arguments; open the source and check its headers, which
// bound everything read later; create the temporary destination so that an
// unwritable folder fails before any pixel work; stream the strips through the
// encoder into the temporary file; fsync and rename. Every resource lives in
// an RAII holder, so each early return cleans up, and no exception crosses the
// C boundary.

#include "velmora.h"

#include "bmpreader.h"
#include "outputfile.h"
#include "stripencoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace {

// Status as a 16-bit value for the C signature.
constexpr int16_t status(int code) {
    return static_cast<int16_t>(code);
}

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

// Rows of a picture in the caller's memory, handed to the encoder where they
// lie: nothing is copied.
class MemoryStrips : public velmora::jpeg::StripSource {
  public:
    MemoryStrips(const unsigned char* top, std::int64_t bytesPerLine)
        : top_(top), bytesPerLine_(bytesPerLine) {}
    int read(int first, int count, std::vector<unsigned char>&, unsigned char** rows) override {
        for (int i = 0; i < count; ++i)
            rows[i] = const_cast<unsigned char*>(top_ + bytesPerLine_ * (first + i));
        return VELMORA_OK;
    }

  private:
    const unsigned char* top_;
    std::int64_t bytesPerLine_;
};

// Encodes source into a temporary file beside destinationPath and puts it in
// place. The encoder only reads the rows it is given.
int encodeTo(const char* destinationPath, const velmora::jpeg::EncodeSettings& settings,
             velmora::jpeg::StripSource& source) {
    velmora::jpeg::OutputFile output;
    if (!output.create(destinationPath))
        return VELMORA_E_DESTINATION;
    if (int rc = velmora::jpeg::Encode(settings, source, output))
        return rc;
    return output.commit() ? VELMORA_OK : VELMORA_E_DESTINATION;
}

int convert(const char* sourcePath, const char* destinationPath, int quality) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    const Descriptor source(::open(sourcePath, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat sourceStat;
    if (source.get() < 0 || ::fstat(source.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return VELMORA_E_SOURCE_UNREADABLE;
    velmora::BmpLayout layout;
    if (int rc = velmora::Read_Bmp_Layout(source.get(), uint64_t(sourceStat.st_size), &layout))
        return rc;

    velmora::BmpStrips strips(source.get(), layout);
    velmora::jpeg::EncodeSettings settings;
    settings.width = layout.width;
    settings.height = layout.height;
    settings.layout = strips.pixelLayout();
    settings.quality = quality;
    return encodeTo(destinationPath, settings, strips);
}

// Runs one conversion with the library's exceptions turned into statuses.
template <typename Work> int16_t guarded(Work work) {
    try {
        return status(work());
    } catch (const std::bad_alloc&) {
        return status(VELMORA_E_OUT_OF_MEMORY);
    } catch (...) {
        return status(VELMORA_E_COMPRESSION);
    }
}

} // namespace

extern "C" VELMORA_API int16_t ConvertBMPtoJPG(const char* sourcePath, char* destinationPath,
                                               int32_t arg3, int32_t quality, int32_t arg5) {
    if (!sourcePath || !destinationPath || !*sourcePath || !*destinationPath || arg3 != -1 ||
        arg5 != -1 || quality < 1 || quality > 100)
        return status(VELMORA_E_ARGUMENT);
    return guarded([&] { return convert(sourcePath, destinationPath, quality); });
}

extern "C" VELMORA_API int16_t ConvertPixelsToJPG(const void* pixels, int32_t width, int32_t height,
                                                  int64_t bytesPerLine, int32_t bytesPerPixel,
                                                  const char* destinationPath, int32_t quality) {
    if (!pixels || !destinationPath || !*destinationPath || width < 1 || height < 1 ||
        (bytesPerPixel != 3 && bytesPerPixel != 4) ||
        bytesPerLine < int64_t(width) * bytesPerPixel || quality < 1 || quality > 100)
        return status(VELMORA_E_ARGUMENT);
    if (width > VELMORA_MAX_DIMENSION || height > VELMORA_MAX_DIMENSION)
        return status(VELMORA_E_TOO_LARGE);
    return guarded([&] {
        MemoryStrips strips(static_cast<const unsigned char*>(pixels), bytesPerLine);
        velmora::jpeg::EncodeSettings settings;
        settings.width = width;
        settings.height = height;
        settings.layout =
            bytesPerPixel == 4 ? velmora::jpeg::PixelLayout::Bgrx : velmora::jpeg::PixelLayout::Bgr;
        settings.quality = quality;
        return encodeTo(destinationPath, settings, strips);
    });
}

extern "C" VELMORA_API const char* VelmoraVersion(void) {
    return VELMORA_VERSION;
}
