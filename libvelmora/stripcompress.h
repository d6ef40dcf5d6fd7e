// One horizontal strip of an image compressed on its own by libjpeg, as a
// complete baseline JFIF stream with a restart marker after every MCU row.
//
// Kept in plain C types: libjpeg reports errors by longjmp, so the function
// that calls it holds no C++ object whose destructor a jump could skip.
#pragma once

#include <cstddef>

namespace velmora::jpeg {

// A growing output buffer from malloc. It is kept from strip to strip so that
// its capacity is found once; the owner frees data with free().
struct CompressedBuffer {
    unsigned char* data = nullptr;
    std::size_t size = 0;     // bytes of the last strip
    std::size_t capacity = 0; // bytes allocated
};

struct StripJob {
    unsigned width = 0;
    unsigned rows = 0;
    int bytesPerPixel = 3; // 3: blue, green, red; 4: blue, green, red, unused
    int quality = 100;
    unsigned char** rowPointers = nullptr; // rows top to bottom
    CompressedBuffer* output = nullptr;
};

// Compresses the strip into job->output (replacing what it held): 4:4:4,
// accurate integer DCT, standard Huffman tables, restart interval one MCU row.
// Returns VELMORA_OK, VELMORA_E_OUT_OF_MEMORY or VELMORA_E_COMPRESSION.
int compressStrip(const StripJob* job);

} // namespace velmora::jpeg
