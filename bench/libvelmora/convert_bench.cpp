// Costs of a JPEG save at the program's largest everyday size, 6400 x 4800:
//   Compress    tjCompress2 alone from memory (quality 100, 4:4:4, accurate DCT)
//   LoadBitmap  libjpeg-turbo's whole-image loader reading the temporary bitmap,
//               for comparison (the library reads strips itself)
//   ReadFile    the floor for any reader: read() of the same file into a
//               freshly allocated buffer (page faults included)
//   writeBitmap writing that 24-bit bitmap to /tmp, the program's extra step
//   Convert     the whole ConvertBMPtoJPG, bitmap file to JPEG file (fsync
//               included), with every core (/0) or forced to 1 or 2 threads
// The files live in /tmp and stay in the page cache, as the temporary bitmap
// does when the program has just written it.

#include "libvelmora/velmora.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6400;
constexpr int kHeight = 4800;
constexpr int kStride = kWidth * 3; // a multiple of 4: no row padding

// Gradients plus a little noise, BGR, top row first.
const std::vector<uint8_t>& smoothImage() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bgr(std::size_t(kStride) * kHeight);
        uint32_t state = 12345;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                state = state * 1664525u + 1013904223u;
                const int noise = int(state >> 29) - 4;
                auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
                uint8_t* p = &bgr[std::size_t(y) * kStride + std::size_t(x) * 3];
                p[0] = clamp(x * 255 / kWidth + noise);
                p[1] = clamp(y * 255 / kHeight + noise);
                p[2] = clamp((x + y) * 255 / (kWidth + kHeight) + noise);
            }
        }
        return bgr;
    }();
    return image;
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// A plain 24-bit bottom-up BITMAPINFOHEADER file, written row by row.
bool writeBmp(const std::string& path, const std::vector<uint8_t>& bgr) {
    uint8_t header[54] = {'B', 'M'};
    const uint32_t dataBytes = uint32_t(kStride) * kHeight;
    put32(header + 2, 54 + dataBytes);
    put32(header + 10, 54);
    put32(header + 14, 40);
    put32(header + 18, kWidth);
    put32(header + 22, kHeight);
    header[26] = 1;
    header[28] = 24;
    put32(header + 34, dataBytes);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    for (int y = kHeight - 1; ok && y >= 0; --y)
        ok = std::fwrite(&bgr[std::size_t(y) * kStride], 1, kStride, f) == std::size_t(kStride);
    return std::fclose(f) == 0 && ok;
}

const std::string kBmpPath = "/tmp/velmora-bench.bmp";
const std::string kJpegPath = "/tmp/velmora-bench.jpg";

void Compress(benchmark::State& state) {
    const std::vector<uint8_t>& image = smoothImage();
    tjhandle handle = tjInitCompress();
    unsigned long size = 0;
    for (auto _ : state) {
        unsigned char* jpeg = nullptr;
        if (tjCompress2(handle, image.data(), kWidth, kStride, kHeight, TJPF_BGR, &jpeg, &size,
                        TJSAMP_444, 100, TJFLAG_ACCURATEDCT) != 0)
            state.SkipWithError(tjGetErrorStr2(handle));
        tjFree(jpeg);
    }
    tjDestroy(handle);
    state.counters["jpeg_MB"] = double(size) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

void writeBitmap(benchmark::State& state) {
    const std::vector<uint8_t>& image = smoothImage();
    for (auto _ : state) {
        if (!writeBmp(kBmpPath, image))
            state.SkipWithError("cannot write the bitmap");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

void LoadBitmap(benchmark::State& state) {
    if (!writeBmp(kBmpPath, smoothImage())) {
        state.SkipWithError("cannot write the bitmap");
        return;
    }
    for (auto _ : state) {
        int width = 0, height = 0, format = TJPF_BGR;
        unsigned char* pixels = tjLoadImage(kBmpPath.c_str(), &width, 1, &height, &format, 0);
        if (!pixels)
            state.SkipWithError(tjGetErrorStr2(nullptr));
        tjFree(pixels);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(smoothImage().size()));
}

void ReadFile(benchmark::State& state) {
    if (!writeBmp(kBmpPath, smoothImage())) {
        state.SkipWithError("cannot write the bitmap");
        return;
    }
    const std::size_t size = 54 + smoothImage().size();
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
        const int fd = ::open(kBmpPath.c_str(), O_RDONLY);
        std::size_t done = 0;
        for (ssize_t n; done < size && (n = ::read(fd, buffer.get() + done, size - done)) > 0;)
            done += std::size_t(n);
        ::close(fd);
        if (done != size)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

void Convert(benchmark::State& state) {
    if (!writeBmp(kBmpPath, smoothImage())) {
        state.SkipWithError("cannot write the bitmap");
        return;
    }
    std::string destination = kJpegPath;
    const std::string threads = std::to_string(state.range(0));
    if (state.range(0) > 0)
        setenv("VELMORA_THREADS", threads.c_str(), 1);
    for (auto _ : state) {
        if (ConvertBMPtoJPG(kBmpPath.c_str(), destination.data(), -1, 100, -1) != VELMORA_OK)
            state.SkipWithError("conversion failed");
    }
    unsetenv("VELMORA_THREADS");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(smoothImage().size()));
    std::remove(kBmpPath.c_str());
    std::remove(kJpegPath.c_str());
}

BENCHMARK(Compress)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(writeBitmap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(LoadBitmap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(ReadFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Convert)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
