#include "encodefile.h"

#include "outputfile.h"

namespace velmora::jpeg {

namespace {

// The file's status, its errno passed on to the caller.
int withError(int status, const OutputFile& output, int* osError) {
    if (osError)
        *osError = status == VELMORA_OK ? 0 : output.error();
    return status;
}

} // namespace

int Encode_File(const char* destinationPath, const EncodeSettings& settings, StripSource& source,
                int* osError) {
    OutputFile output;
    if (!output.create(destinationPath))
        return withError(VELMORA_E_DESTINATION, output, osError);
    if (int rc = Encode(settings, source, output))
        return withError(rc, output, osError);
    return withError(output.commit() ? VELMORA_OK : VELMORA_E_DESTINATION, output, osError);
}

int Picture_Settings(const char* destinationPath, std::int32_t width, std::int32_t height,
                     std::int32_t bytesPerPixel, std::int32_t quality, EncodeSettings* settings) {
    if (!destinationPath || !*destinationPath || width < 1 || height < 1 ||
        (bytesPerPixel != 3 && bytesPerPixel != 4) || quality < 1 || quality > 100)
        return VELMORA_E_ARGUMENT;
    if (width > VELMORA_MAX_DIMENSION || height > VELMORA_MAX_DIMENSION)
        return VELMORA_E_TOO_LARGE;
    settings->width = width;
    settings->height = height;
    settings->layout = bytesPerPixel == 4 ? PixelLayout::Bgrx : PixelLayout::Bgr;
    settings->quality = quality;
    return VELMORA_OK;
}

} // namespace velmora::jpeg
