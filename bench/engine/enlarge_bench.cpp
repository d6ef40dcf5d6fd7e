// Throughput of the whole-image enlargement in output megapixels per second,
// beside what bounds it: writing the same number of fresh pages, the per-pixel
// routine it replaces, and OpenCV's bilinear resize of the same four-channel
// pixels to the same size. It ends with the two median ratios the engine is
// held to: against OpenCV's INTER_LINEAR into a destination in memory, and into
// a fresh destination against writing fresh huge pages.
//
// Arguments of the size benchmarks: source width, source height, ratio x 10.
#include "engine/enlarge.h"
#include "engine/sampling.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#ifdef VELMORA_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace velmora;

struct Source {
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
    SourceImage view() const { return {pixels.data(), width, height, width}; }
};

// An opaque photo-like image: random noise would not change the work per pixel,
// but a smooth gradient with noise keeps neighbouring values related.
Source Make_Source(int width, int height) {
    Source s{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    std::mt19937 rng(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t noise = rng() & 0x0F0F0F;
            const std::uint32_t r = (x * 200 / width) & 0xF0, g = (y * 200 / height) & 0xF0;
            s.pixels[y * width + x] = 0xFF000000u | ((r | g << 8 | ((x + y) & 0xF0) << 16) + noise);
        }
    return s;
}

struct Case {
    Source source;
    double r;
    EnlargeGeometry geometry;
    long long outputPixels() const {
        return static_cast<long long>(geometry.width) * geometry.height;
    }
};

Case Make_Case(const benchmark::State& state) {
    Case c{Make_Source(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
           static_cast<double>(state.range(2)) / 10.0,
           {}};
    c.geometry = enlargeGeometry(c.source.width, c.source.height, c.r);
    return c;
}

void Report(benchmark::State& state, long long pixelsPerIteration) {
    const double pixels = static_cast<double>(pixelsPerIteration) * state.iterations();
    state.SetItemsProcessed(static_cast<std::int64_t>(pixels));
    state.counters["Mpix"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

EnlargeOptions Options(const benchmark::State& state) {
    EnlargeOptions options;
    options.blendedHigh = 0xFF000000u;
    options.progress = [](int columns) {
        benchmark::DoNotOptimize(columns);
        return EnlargeStep::GoOn;
    };
    if (state.range(3) == 1)
        options.kernel = EnlargeKernel::Baseline;
    else if (state.range(3) == 2)
        options.kernel = EnlargeKernel::Avx2;
    if (state.range(4) > 0)
        options.threads = static_cast<int>(state.range(4));
    return options;
}

// One enlargement; false, with the benchmark marked as failed, when the engine
// did not fill the destination.
bool enlargeOnce(benchmark::State& state, const Case& c, const DestImage& dst,
                 const EnlargeOptions& options) {
    if (enlarge(c.source.view(), c.r, dst, options) == EnlargeStatus::Done)
        return true;
    state.SkipWithError("the engine did not fill the destination");
    return false;
}

// (a) Into a destination that is already in memory.
void BM_Enlarge_Prefaulted(benchmark::State& state) {
    const Case c = Make_Case(state);
    if (state.range(3) == 2 && !enlargeKernelAvailable(EnlargeKernel::Avx2)) {
        state.SkipWithError("no AVX2");
        return;
    }
    std::vector<std::uint32_t> out(c.outputPixels(), 0);
    const DestImage dst{out.data(), c.geometry.width, c.geometry.height, c.geometry.width};
    const EnlargeOptions options = Options(state);
    for (auto _ : state) {
        if (!enlargeOnce(state, c, dst, options))
            break;
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}

// (b) Into a fresh allocation each time, as the program does.
void BM_Enlarge_Fresh(benchmark::State& state) {
    const Case c = Make_Case(state);
    const EnlargeOptions options = Options(state);
    for (auto _ : state) {
        std::unique_ptr<std::uint32_t[]> out(new std::uint32_t[c.outputPixels()]);
        const DestImage dst{out.get(), c.geometry.width, c.geometry.height, c.geometry.width};
        if (!enlargeOnce(state, c, dst, options))
            break;
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}

// (c) Only allocating and writing the same number of fresh pages.
void BM_PageWrite(benchmark::State& state) {
    const Case c = Make_Case(state);
    for (auto _ : state) {
        std::unique_ptr<std::uint32_t[]> out(new std::uint32_t[c.outputPixels()]);
        std::memset(out.get(), 0x5A, c.outputPixels() * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}

// (c') The same with transparent huge pages asked for, as enlarge() does.
void BM_PageWrite_HugePages(benchmark::State& state) {
    const Case c = Make_Case(state);
    const std::size_t bytes = c.outputPixels() * sizeof(std::uint32_t);
    for (auto _ : state) {
        std::unique_ptr<std::uint32_t[]> out(new std::uint32_t[c.outputPixels()]);
        constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
        const auto begin = reinterpret_cast<std::uintptr_t>(out.get());
        const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
        const std::uintptr_t end = (begin + bytes) & ~(kHuge - 1);
        if (end > first)
            madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
        std::memset(out.get(), 0x5A, bytes);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}

// (d) The per-pixel routine, one call per destination pixel.
void BM_PerPixel(benchmark::State& state) {
    const Case c = Make_Case(state);
    std::vector<std::uint32_t> out(c.outputPixels(), 0);
    const SourceImage src = c.source.view();
    for (auto _ : state) {
        for (int x = 0; x < c.geometry.width; ++x)
            for (int y = 0; y < c.geometry.height; ++y)
                out[static_cast<std::size_t>(y) * c.geometry.width + x] =
                    Sample_Bilinear(x / c.r, y / c.r, src);
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}

#ifdef VELMORA_BENCH_OPENCV
// (e) OpenCV on the same 8-bit four-channel pixels to the same size, two
// threads, into a destination already in memory.
void BM_OpenCV(benchmark::State& state, int interpolation) {
    const Case c = Make_Case(state);
    cv::setNumThreads(2);
    const cv::Mat src(c.source.height, c.source.width, CV_8UC4,
                      const_cast<std::uint32_t*>(c.source.pixels.data()));
    cv::Mat dst(c.geometry.height, c.geometry.width, CV_8UC4, cv::Scalar::all(0));
    for (auto _ : state) {
        cv::resize(src, dst, dst.size(), 0, 0, interpolation);
        benchmark::ClobberMemory();
    }
    Report(state, c.outputPixels());
}
void BM_OpenCV_LinearExact(benchmark::State& state) {
    BM_OpenCV(state, cv::INTER_LINEAR_EXACT);
}
void BM_OpenCV_Linear(benchmark::State& state) {
    BM_OpenCV(state, cv::INTER_LINEAR);
}
#endif

// Source width, height, ratio x 10, kernel (0 automatic, 1 baseline, 2 AVX2), threads (0 all).
void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({640, 480, 100, 0, 0})->Args({1920, 1080, 25, 0, 0})->Args({4000, 3000, 20, 0, 0});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void Kernels(benchmark::internal::Benchmark* b) {
    for (int kernel : {1, 2})
        b->Args({640, 480, 100, kernel, 0});
    b->Args({640, 480, 100, 0, 1})->Args({4000, 3000, 20, 0, 1});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Enlarge_Prefaulted)->Apply(Sizes)->Apply(Kernels);
BENCHMARK(BM_Enlarge_Fresh)->Apply(Sizes);
BENCHMARK(BM_PageWrite)->Apply(Sizes);
BENCHMARK(BM_PageWrite_HugePages)->Apply(Sizes);
BENCHMARK(BM_PerPixel)->Args({640, 480, 20, 0, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
#ifdef VELMORA_BENCH_OPENCV
BENCHMARK(BM_OpenCV_LinearExact)->Apply(Sizes);
BENCHMARK(BM_OpenCV_Linear)->Apply(Sizes);
#endif

// Keeps the median output rate of every benchmark and prints, once all have run,
// the two figures the engine is measured by: against OpenCV's bilinear resize
// into a destination in memory, and into a fresh destination against writing
// fresh huge pages.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (run.aggregate_name == "median" && rate != run.counters.end())
                medians_[run.run_name.str()] = rate->second;
        }
    }

    void PrintRatios() const {
        std::printf("\n%-18s %14s %14s\n", "median ratio", "vs OpenCV", "fresh vs pages");
        for (const char* size : {"640/480/100", "1920/1080/25", "4000/3000/20"})
            std::printf("%-18s %14s %14s\n", size,
                        Ratio("BM_Enlarge_Prefaulted", "BM_OpenCV_Linear", size).c_str(),
                        Ratio("BM_Enlarge_Fresh", "BM_PageWrite_HugePages", size).c_str());
    }

  private:
    std::string Ratio(const char* ours, const char* yardstick, const char* size) const {
        const std::string suffix = std::string("/") + size + "/0/0/real_time";
        const auto a = medians_.find(ours + suffix);
        const auto b = medians_.find(yardstick + suffix);
        if (a == medians_.end() || b == medians_.end() || b->second <= 0)
            return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", a->second / b->second);
        return text;
    }

    std::map<std::string, double> medians_;
};

} // namespace

// Five repetitions interleaved at random by default, since the figures are
// medians on a shared machine; the command line can say otherwise.
int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleave});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
