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
