// ConvertPixelsToJPG: pixels in memory in, the JPEG file ConvertBMPtoJPG
// writes for them out.

#include "velmora.h"

#include "encodefile.h"

#include <cstdint>
#include <vector>

namespace {

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

} // namespace

extern "C" VELMORA_API int16_t ConvertPixelsToJPG(const void* pixels, int32_t width, int32_t height,
                                                  int64_t bytesPerLine, int32_t bytesPerPixel,
                                                  const char* destinationPath, int32_t quality) {
    if (!pixels || !destinationPath || !*destinationPath || width < 1 || height < 1 ||
        (bytesPerPixel != 3 && bytesPerPixel != 4) ||
        bytesPerLine < int64_t(width) * bytesPerPixel || quality < 1 || quality > 100)
        return VELMORA_E_ARGUMENT;
    if (width > VELMORA_MAX_DIMENSION || height > VELMORA_MAX_DIMENSION)
        return VELMORA_E_TOO_LARGE;
    return velmora::jpeg::Guarded([&] {
        MemoryStrips strips(static_cast<const unsigned char*>(pixels), bytesPerLine);
        velmora::jpeg::EncodeSettings settings;
        settings.width = width;
        settings.height = height;
        settings.layout =
            bytesPerPixel == 4 ? velmora::jpeg::PixelLayout::Bgrx : velmora::jpeg::PixelLayout::Bgr;
        settings.quality = quality;
        return velmora::jpeg::Encode_File(destinationPath, settings, strips);
    });
}
