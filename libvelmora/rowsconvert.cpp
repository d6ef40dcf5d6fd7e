#include "rowsconvert.h"

#include "encodefile.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <vector>

namespace velmora::jpeg {

namespace {

// Rows made by the caller's function into each worker's own buffer.
class FilledStrips : public StripSource {
  public:
    FilledStrips(VelmoraFillRows fill, void* context, int width, int bytesPerPixel)
        : fill_(fill), context_(context),
          rowBytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel)) {}

    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override {
        if (scratch.size() < rowBytes_ * static_cast<std::size_t>(count))
            scratch.resize(rowBytes_ * static_cast<std::size_t>(count));
        const std::int32_t rc =
            fill_(context_, first, count, scratch.data(), static_cast<std::int64_t>(rowBytes_));
        if (rc != 0)
            return rc < 0 && rc >= SHRT_MIN ? rc : VELMORA_E_SOURCE_UNREADABLE;
        for (int i = 0; i < count; ++i)
            rows[i] = scratch.data() + rowBytes_ * static_cast<std::size_t>(i);
        return VELMORA_OK;
    }

  private:
    VelmoraFillRows fill_;
    void* context_;
    std::size_t rowBytes_;
};

// The markers as the encoder takes them; false when one is malformed in a way
// the encoder cannot see (a negative length, a code beyond a byte).
bool readMarkers(const VelmoraMarker* markers, std::int32_t count, std::vector<Marker>* out) {
    if (count < 0 || (count > 0 && markers == nullptr))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const VelmoraMarker& m = markers[i];
        if (m.length < 0 || m.code < 0 || m.code > UCHAR_MAX)
            return false;
        out->push_back(
            {static_cast<unsigned char>(m.code), m.data, static_cast<std::size_t>(m.length)});
    }
    return true;
}

} // namespace

std::int16_t Convert_Rows_To_Jpeg(VelmoraFillRows fill, void* context, std::int32_t width,
                                  std::int32_t height, std::int32_t bytesPerPixel,
                                  const VelmoraMarker* markers, std::int32_t markerCount,
                                  const char* destinationPath, std::int32_t quality) {
    EncodeSettings settings;
    // A refused argument outranks a size too large: these are checked first.
    if (!fill || !readMarkers(markers, markerCount, &settings.markers))
        return VELMORA_E_ARGUMENT;
    if (const int rc =
            Picture_Settings(destinationPath, width, height, bytesPerPixel, quality, &settings))
        return static_cast<std::int16_t>(rc);
    int osError = 0;
    const std::int16_t status = Guarded([&] {
        FilledStrips strips(fill, context, width, bytesPerPixel);
        return Encode_File(destinationPath, settings, strips, &osError);
    });
    // Set last, once every file step (the temporary file's removal too) is over.
    if (status == VELMORA_E_DESTINATION && osError != 0)
        errno = osError;
    return status;
}

} // namespace velmora::jpeg
