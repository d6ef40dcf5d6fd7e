// ConvertPixelsToJPG: pixels in memory in, the JPEG file ConvertBMPtoJPG
// writes for them out.

#include "velmora.h"

#include "stripencoder.h"

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
    // A refused argument outranks a size too large: these are checked first.
    if (!pixels || bytesPerLine < int64_t(width) * bytesPerPixel)
        return VELMORA_E_ARGUMENT;
    velmora::jpeg::EncodeSettings settings;
    if (const int rc = velmora::jpeg::pictureSettings(destinationPath, width, height, bytesPerPixel,
                                                      quality, &settings))
        return static_cast<int16_t>(rc);
    return velmora::jpeg::guarded([&] {
        MemoryStrips strips(static_cast<const unsigned char*>(pixels), bytesPerLine);
        return velmora::jpeg::encodeFile(destinationPath, settings, strips);
    });
}
