// One PNG strip compressed on one core: rows of an enlarged photo-like
// picture filtered and deflated as the PNG save does, in megabytes of
// filtered rows a second, beside zlib at its default level on the same rows
// unfiltered (what a writer without filters does). The counters give each
// one's compressed share of the rows.
#include "engine/enlarge.h"
#include "imageio/pngcompress.h"

#include <benchmark/benchmark.h>

#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using namespace velmora;

// A 1000 x 750 photo-like source at 10.0 gives rows 9999 pixels wide; a
// strip of the save holds 139 of them.
constexpr int kSourceWidth = 1000, kSourceHeight = 750;
constexpr double kRatio = 10.0;
constexpr int kStripRows = 139;

struct Rows {
    int width = 0;
    std::vector<std::uint32_t> pixels; // kStripRows + 1 rows, the one above first
};

const Rows& enlargedRows() {
    static const Rows rows = [] {
        std::vector<std::uint32_t> source(std::size_t(kSourceWidth) * kSourceHeight);
        std::mt19937 rng(5);
        for (int y = 0; y < kSourceHeight; ++y)
            for (int x = 0; x < kSourceWidth; ++x)
                source[std::size_t(y) * kSourceWidth + x] =
                    0xFF000000u | ((x / 4 + rng() % 6) & 0xFF) << 16 |
                    ((y / 3 + rng() % 6) & 0xFF) << 8 | (((x + y) / 7) & 0xFF);
        const EnlargeGeometry g = enlargeGeometry(kSourceWidth, kSourceHeight, kRatio);
        Rows r{g.width, std::vector<std::uint32_t>(std::size_t(g.width) * (kStripRows + 1))};
        EnlargeOptions options;
        options.firstRow = 2000;
        (void)enlarge({source.data(), kSourceWidth, kSourceHeight, kSourceWidth}, kRatio,
                      {r.pixels.data(), g.width, kStripRows + 1, g.width}, options);
        return r;
    }();
    return rows;
}

void setCounters(benchmark::State& state, long long filtered, std::size_t compressed) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * filtered);
    state.counters["share"] = double(compressed) / double(filtered);
}

void compressStrip(benchmark::State& state) {
    const Rows& rows = enlargedRows();
    imageio::PngStripCompressor compressor(rows.width);
    imageio::PngStrip strip;
    for (auto _ : state)
        compressor.compress(rows.pixels.data(), rows.pixels.data() + rows.width, rows.width,
                            kStripRows, false, &strip);
    setCounters(state, strip.filteredBytes, strip.deflated.size());
}
BENCHMARK(compressStrip)->Unit(benchmark::kMillisecond);

// The yardstick: the same rows as RGB bytes, unfiltered, deflated by zlib at
// its default level.
void unfilteredDefaultLevel(benchmark::State& state) {
    const Rows& rows = enlargedRows();
    std::vector<unsigned char> rgb;
    for (int y = 1; y <= kStripRows; ++y) {
        rgb.push_back(0);
        for (int x = 0; x < rows.width; ++x) {
            const std::uint32_t v = rows.pixels[std::size_t(y) * rows.width + x];
            rgb.insert(rgb.end(), {std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
        }
    }
    std::vector<unsigned char> out(compressBound(uLong(rgb.size())));
    uLongf size = 0;
    for (auto _ : state) {
        size = uLongf(out.size());
        compress2(out.data(), &size, rgb.data(), uLong(rgb.size()), Z_DEFAULT_COMPRESSION);
    }
    setCounters(state, static_cast<long long>(rgb.size()), size);
}
BENCHMARK(unfilteredDefaultLevel)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
