// Fuzzes the EXIF editor a save runs on a source's EXIF block with arbitrary
// TIFF data. Beyond the sanitizers, every run checks its promises: the block
// is dropped whole, or what comes out reads back (the header, IFD0 whole,
// every orientation entry 1) and a second edit leaves it byte for byte.
//
// Build and run (clang only), beside the library's target:
//   CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja
//       -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF
//   cmake --build build-fuzz --target velmora_fuzz_exif
//   mkdir -p /tmp/grow-exif && build-fuzz/bin/velmora_fuzz_exif -max_total_time=300
//       -max_len=4096 /tmp/grow-exif libvelmora/fuzz/exif-corpus

#include "imageio/exifedit.h"
#include "imageio/tiffblock.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using velmora::imageio::TiffBlock;

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;

bool readsBack(const std::string& exif) {
    const TiffBlock t = TiffBlock::fromExif(exif);
    const auto entries = t.valid() ? t.entries(t.firstIfd()) : std::nullopt;
    if (!entries)
        return false;
    for (const velmora::imageio::IfdEntry& e : *entries)
        if (e.tag == kOrientationTag && t.whole(e).value_or(1) != 1)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first four bytes choose the saved size; the rest is the TIFF data.
    if (size < 4)
        return 0;
    const velmora::imageio::Size saved(1 + (data[0] | data[1] << 8), 1 + (data[2] | data[3] << 8));
    const std::string in =
        std::string("Exif\0\0", 6) + std::string(reinterpret_cast<const char*>(data + 4), size - 4);
    const std::string out = velmora::exifForSavedPicture(in, saved);
    if (out.empty())
        return 0;
    if (!readsBack(out) || velmora::exifForSavedPicture(out, saved) != out)
        std::abort();
    return 0;
}
