// ConvertBMPtoJPG: bitmap file in, JPEG file out.
//
// Steps: check the arguments; open the source and check its headers, which
// bound everything read later; create the temporary destination so that an
// unwritable folder fails before any pixel work; stream the strips through the
// encoder into the temporary file; fsync and rename. Every resource lives in
// an RAII holder, so each early return cleans up, and no exception crosses the
// C boundary.

#include "velmora.h"

#include "bmpreader.h"
#include "stripencoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace {

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
    velmora::BmpLayout layout;
    if (int rc = velmora::Read_Bmp_Layout(source.get(), uint64_t(sourceStat.st_size), &layout))
        return rc;

    velmora::BmpStrips strips(source.get(), layout);
    velmora::jpeg::EncodeSettings settings;
    settings.width = layout.width;
    settings.height = layout.height;
    settings.layout = strips.pixelLayout();
    settings.quality = quality;
    return velmora::jpeg::Encode_File(destinationPath, settings, strips);
}

} // namespace

extern "C" VELMORA_API int16_t ConvertBMPtoJPG(const char* sourcePath, char* destinationPath,
                                               int32_t arg3, int32_t quality, int32_t arg5) {
    if (!sourcePath || !destinationPath || !*sourcePath || !*destinationPath || arg3 != -1 ||
        arg5 != -1 || quality < 1 || quality > 100)
        return VELMORA_E_ARGUMENT;
    return velmora::jpeg::Guarded([&] { return convert(sourcePath, destinationPath, quality); });
}

extern "C" VELMORA_API const char* VelmoraVersion(void) {
    return VELMORA_VERSION;
}
