// The steps every entry of the library ends with: the picture encoded into a
// temporary file beside the destination and put in place, with no exception
// crossing the C boundary.
#pragma once

#include "stripencoder.h"

#include <cstdint>
#include <new>

namespace velmora::jpeg {

// Encodes source into a temporary file beside destinationPath and renames it
// over the destination; on failure the destination is as it was and the
// temporary file is gone. osError, when given, gets the errno of a failed file
// step (0 otherwise). The encoder only reads the rows it is given.
int Encode_File(const char* destinationPath, const EncodeSettings& settings, StripSource& source,
                int* osError = nullptr);

// The checks ConvertPixelsToJPG and ConvertRowsToJPG share, and the settings
// they give: VELMORA_E_ARGUMENT for a null or empty path, a side below 1,
// bytesPerPixel other than 3 or 4 or quality outside 1..100;
// VELMORA_E_TOO_LARGE for a side above VELMORA_MAX_DIMENSION; VELMORA_OK with
// the size, layout and quality set otherwise.
int Picture_Settings(const char* destinationPath, std::int32_t width, std::int32_t height,
                     std::int32_t bytesPerPixel, std::int32_t quality, EncodeSettings* settings);

// Runs one conversion with the library's exceptions turned into statuses.
template <typename Work> std::int16_t Guarded(Work work) {
    try {
        return static_cast<std::int16_t>(work());
    } catch (const std::bad_alloc&) {
        return VELMORA_E_OUT_OF_MEMORY;
    } catch (...) {
        return VELMORA_E_COMPRESSION;
    }
}

} // namespace velmora::jpeg
