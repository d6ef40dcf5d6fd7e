// The first touch of fresh memory: every strip finds the pages under its rows
// in memory once it has waited for them, whoever faulted them in (the thread
// running ahead of the strips, or a strip that got there first), and the
// memory's contents stay as they were.
#include "engine/firsttouch.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using velmora::detail::FirstTouch;
using velmora::detail::RowBytes;

// Whether the page holding the byte is in memory.
bool resident(const unsigned char* byte) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    unsigned char in = 0;
    return mincore(reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(byte) & ~(page - 1)), 1,
                   &in) == 0 &&
           (in & 1);
}

using velmora_test::PrintTo;

struct TouchCase {
    const char* name;
    std::size_t rowBytes;
    std::ptrdiff_t stride;
    int height;
    std::size_t offset; // of the first row from a huge page boundary
    int stripRows;
};

class FirstTouchTest : public testing::TestWithParam<TouchCase> {};

TEST_P(FirstTouchTest, everyStripWaitsForItsPagesAndNothingChanges) {
    const TouchCase& c = GetParam();
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const std::size_t bytes = c.offset + c.stride * (c.height - 1) + c.rowBytes;
    const std::size_t mapped = bytes + 2 * kHuge;
    void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    const std::unique_ptr<void, std::function<void(void*)>> unmap(
        map, [mapped](void* p) { munmap(p, mapped); });
    auto* base = reinterpret_cast<unsigned char*>(
        (reinterpret_cast<std::uintptr_t>(map) + kHuge - 1) & ~(kHuge - 1));
    unsigned char* first = base + c.offset;
    // Some rows written before the touch (a destination partly in memory),
    // the rest fresh: both must come out as they went in.
    for (int y = 0; y < c.height; y += 3)
        std::memset(first + c.stride * y, 0x40 + y % 7, c.rowBytes);
    const RowBytes memory{first, c.rowBytes, c.stride, c.height};
    FirstTouch touch(memory);
    const int strips = (c.height + c.stripRows - 1) / c.stripRows;
    std::atomic<int> next{0};
    std::vector<std::atomic<int>> ran(strips);
    // Bytes of rows whose small pages were not in when their strip began. (A
    // huge page is only asked for: where the kernel has none, touching one
    // byte brings in one small page, and the others come in as they are
    // written.)
    std::atomic<int> missing{0};
    const auto hugeStart = reinterpret_cast<std::uintptr_t>(base) + (c.offset ? kHuge : 0);
    const auto hugeEnd = reinterpret_cast<std::uintptr_t>(first + bytes - c.offset) & ~(kHuge - 1);
    const auto onSmallPages = [&](const unsigned char* byte) {
        const auto at = reinterpret_cast<std::uintptr_t>(byte);
        return hugeEnd <= hugeStart || at < hugeStart || at >= hugeEnd;
    };
    const auto runNext = [&] {
        const int strip = next.fetch_add(1);
        if (strip >= strips)
            return false;
        const int top = strip * c.stripRows, bottom = std::min(c.height, top + c.stripRows);
        touch.waitForRows(top, bottom);
        for (int y = top; y < bottom; ++y)
            for (const unsigned char* byte :
                 {first + c.stride * y, first + c.stride * y + c.rowBytes - 1})
                if (onSmallPages(byte) && !resident(byte))
                    ++missing;
        ++ran[strip];
        return true;
    };
    std::thread helper([&] {
        while (runNext()) {
        }
    });
    touch.touchAheadAndRun(runNext);
    while (runNext()) {
    }
    helper.join();
    EXPECT_FALSE(touch.touchNext());
    EXPECT_EQ(missing.load(), 0);
    for (int s = 0; s < strips; ++s)
        EXPECT_EQ(ran[s].load(), 1) << "strip " << s;
    for (int y = 0; y < c.height; ++y)
        for (std::size_t x = 0; x < c.rowBytes; ++x)
            ASSERT_EQ(first[c.stride * y + x], y % 3 == 0 ? 0x40 + y % 7 : 0) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    memories, FirstTouchTest,
    testing::Values(TouchCase{"smallerThanAHugePage", 3000, 3001, 40, 4096 + 17, 7},
                    TouchCase{"hugePagesWithSmallOnesAround", 19197, 19197, 400, 901 * 1024, 64},
                    TouchCase{"rowsFarApart", 64, 1 << 20, 24, 5, 1},
                    TouchCase{"startingOnAHugePage", 1 << 20, 1 << 20, 9, 0, 2}),
    [](const testing::TestParamInfo<TouchCase>& info) { return std::string(info.param.name); });

} // namespace
