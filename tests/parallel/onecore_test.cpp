// Every part that works on several threads takes its count from the one core
// count: pinned to one CPU each runs as one worker, the calling thread, and
// starts no thread; on several CPUs each starts some (so that the count here
// counts). A thread count asked for as INT_MAX is clamped: the library gives
// the same bytes as with one thread and never runs more threads at once than
// the clamp allows.
#include "engine/enlarge.h"
#include "libvelmora/velmora.h"
#include "parallel/parallel.h"
#include "tests/parallel/threadwatch.h"
#include "tests/support/support.h"
#include "tool/enlargefile.h"
#include "tool/jobs.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using testkit::PinnedToCpus;
using testkit::threadsStarted;

namespace {

// A picture of bytes: `channels` bytes a pixel, rows packed.
std::vector<unsigned char> PictureBytes(int width, int height, int channels) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(width) * height * channels);
    std::uint32_t state = 12345;
    for (unsigned char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 23);
    }
    return bytes;
}

// The result of VelmoraEnlarge on an RGB picture, empty when it failed.
std::vector<unsigned char> EnlargedRgb(const std::vector<unsigned char>& rgb, int width, int height,
                                       double ratio, int threads) {
    std::int32_t w = 0, h = 0;
    if (VelmoraEnlargedSize(width, height, ratio, &w, &h) != VELMORA_OK)
        return {};
    std::vector<unsigned char> out(static_cast<std::size_t>(w) * h * 3);
    if (VelmoraEnlarge(rgb.data(), width, height, std::int64_t{width} * 3, VELMORA_LAYOUT_RGB,
                       ratio, out.data(), std::int64_t{w} * 3, threads) != VELMORA_OK)
        return {};
    return out;
}

// A source large enough that every part would share it out: the library
// widens its rows on several threads from a million pixels on, the JPEG
// encoder and the strip writers have several strips, and the engine's
// result is worth a thread for every 65536 pixels.
constexpr int kWidth = 1100, kHeight = 1000;

// One file through the batch tool's enlargement into the given kind.
bool ToolWrites(const char* name, SaveKind kind) {
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("in.bmp"));
    if (!PhotoLikeImage(200, 200).save(input, "BMP"))
        return false;
    tool::Request request;
    request.ratio = 10;
    request.ratioText = "10";
    tool::FileJob job;
    job.input = input.toStdString();
    job.output = dir.filePath(QString::fromLatin1(name)).toStdString();
    job.kind = kind;
    return tool::enlargeFile(request, job).empty();
}

struct PartCase {
    const char* name;
    std::function<bool()> run; // true when the part did its work
};

void PrintTo(const PartCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<PartCase> Parts() {
    return {
        {"engineEnlarge",
         [] {
             const std::vector<std::uint32_t> source(200 * 200, 0x00336699u);
             std::vector<std::uint32_t> out(1999 * 1999);
             return enlarge({source.data(), 200, 200, 200}, 10.0, {out.data(), 1999, 1999, 1999},
                            {}) == EnlargeStatus::Done;
         }},
        {"libraryEnlargeWidened",
         [] {
             return !EnlargedRgb(PictureBytes(kWidth, kHeight, 3), kWidth, kHeight, 2.3, 0).empty();
         }},
        {"libraryEnlargeWeightsIn64ths",
         [] {
             return !EnlargedRgb(PictureBytes(kWidth, kHeight, 3), kWidth, kHeight, 2.0, 0).empty();
         }},
        {"jpegEncoder",
         [] {
             QTemporaryDir dir;
             const std::vector<unsigned char> rgb = PictureBytes(kWidth, kHeight, 3);
             const std::string path = dir.filePath(QStringLiteral("out.jpg")).toStdString();
             return ConvertPixelsToJPG(rgb.data(), kWidth, kHeight, kWidth * 3, 3, path.c_str(),
                                       90) == VELMORA_OK;
         }},
        {"toolBitmapStrips", [] { return ToolWrites("out.bmp", SaveKind::Bitmap); }},
        {"toolPngStrips", [] { return ToolWrites("out.png", SaveKind::Png); }},
        {"toolJpegStrips", [] { return ToolWrites("out.jpg", SaveKind::Jpeg); }},
    };
}

class ThreadsStarted : public ::testing::TestWithParam<PartCase> {
  protected:
    // The encoder's forced count would stand in for the core count.
    void SetUp() override { unsetenv("VELMORA_THREADS"); }
};

TEST_P(ThreadsStarted, noneOnOneCpu) {
    const PinnedToCpus pinned(1);
    ASSERT_EQ(parallel::workerCount(), 1);
    const int before = threadsStarted();
    ASSERT_TRUE(GetParam().run());
    EXPECT_EQ(threadsStarted() - before, 0);
}

TEST_P(ThreadsStarted, someOnSeveralCpus) {
    if (parallel::coreCount() < 2)
        GTEST_SKIP() << "one CPU only";
    const int before = threadsStarted();
    ASSERT_TRUE(GetParam().run());
    EXPECT_GT(threadsStarted() - before, 0);
}

INSTANTIATE_TEST_SUITE_P(parts, ThreadsStarted, ::testing::ValuesIn(Parts()),
                         [](const auto& info) { return std::string(info.param.name); });

// The tool's files side by side: kJobsPerCore for the one core.
TEST(ToolJobs, areOneCoresWorthOnOneCpuAndOneJobStartsNoThread) {
    unsetenv("VELMORA_THREADS");
    const PinnedToCpus pinned(1);
    EXPECT_EQ(tool::defaultJobs(), tool::kJobsPerCore);
    int calls = 0;
    const int before = threadsStarted();
    tool::runSideBySide(1, [&] { return ++calls < 3; });
    EXPECT_EQ(threadsStarted() - before, 0);
    EXPECT_EQ(calls, 3);
}

struct ClampCase {
    const char* name;
    int cpus; // 0: every CPU the process has
};

void PrintTo(const ClampCase& c, std::ostream* os) {
    *os << c.name;
}

class IntMaxThreads : public ::testing::TestWithParam<ClampCase> {};

TEST_P(IntMaxThreads, giveTheBytesOfOneThreadWithinTheClamp) {
    const std::vector<unsigned char> rgb = PictureBytes(kWidth, kHeight, 3);
    const std::vector<unsigned char> one = EnlargedRgb(rgb, kWidth, kHeight, 2.3, 1);
    ASSERT_FALSE(one.empty());
    const PinnedToCpus pinned(GetParam().cpus > 0 ? GetParam().cpus : CPU_SETSIZE);
    testkit::resetThreadsPeak();
    const std::vector<unsigned char> many = EnlargedRgb(rgb, kWidth, kHeight, 2.3, INT_MAX);
    EXPECT_TRUE(many == one) << "the bytes differ";
    // The calling thread is one of the workers.
    EXPECT_LE(testkit::threadsPeak(), parallel::workerLimit() - 1);
}

INSTANTIATE_TEST_SUITE_P(masks, IntMaxThreads,
                         ::testing::Values(ClampCase{"oneCpu", 1}, ClampCase{"everyCpu", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
