// The memory the process may use: the least of what the system has left, its
// control group (version 1 or 2, its parents included) leaves it, and its
// address-space limit leaves it.
#include "platform/memory.h"

#include "tests/support/caseprint.h"
#include "tests/support/tempfolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

using namespace velmora::platform;

namespace {

using velmora_test::PrintTo;

// One row: fake files as "path=content|path=content" below a folder that @
// stands for (mem is /proc/meminfo with 8192000000 bytes available), and the answer.
struct MemoryCase {
    const char* name;
    const char* files;
    long long expected;
};

class MemorySourcesTest : public ::testing::TestWithParam<MemoryCase> {};

#define MEM "proc/meminfo=MemTotal: 9 kB\nMemAvailable: 8000000 kB\n"
#define V2 "|proc/self/mountinfo=41 31 0:38 / @/g rw - cgroup2 cgroup2 rw\n|proc/self/cgroup=0::"
#define V1 "|proc/self/mountinfo=35 31 0:32 / @/g rw - cgroup cgroup rw,memory\n|proc/self/cgroup="
#define AS "|proc/self/status=VmSize: 1000000 kB\n|proc/self/limits=Max address space "

} // namespace

TEST_P(MemorySourcesTest, givesTheLeastOfEverySource) {
    velmora::testkit::TempFolder root;
    std::istringstream files(GetParam().files);
    for (std::string file; std::getline(files, file, '|');) {
        if (file.empty())
            continue;
        const std::size_t eq = file.find('=');
        std::string content = file.substr(eq + 1);
        for (std::size_t at; (at = content.find('@')) != std::string::npos;)
            content.replace(at, 1, root.path());
        ASSERT_TRUE(velmora::testkit::WriteBytes(root.filePath(file.substr(0, eq)), content));
    }
    EXPECT_EQ(availableMemoryBytes({root.filePath("proc")}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    sources, MemorySourcesTest,
    ::testing::Values(
        MemoryCase{"nothingReadable", "", -1}, MemoryCase{"meminfoAlone", MEM, 8192000000},
        MemoryCase{"v2LimitLessUsageLessInactiveCache",
                   MEM V2 "/a/b|g/a/b/memory.max=6000000000|g/a/b/memory.current=2000000000"
                          "|g/a/b/memory.stat=anon 1\ninactive_file 500000000\n",
                   4500000000},
        MemoryCase{"v2MaxMeansNoLimit", MEM V2 "/a|g/a/memory.max=max|g/a/memory.current=9",
                   8192000000},
        MemoryCase{"v2ParentGroupLimitsTheChild",
                   MEM V2 "/u/a|g/u/a/memory.max=max|g/u/a/memory.current=1"
                          "|g/u/memory.max=3000000000|g/u/memory.current=1000000000",
                   2000000000},
        MemoryCase{"v2ContainerSeesItsGroupAtTheMountsRoot",
                   MEM "|proc/self/mountinfo=1 1 0:1 /docker/c @/g rw - cgroup2 cgroup2 rw\n"
                       "|proc/self/cgroup=0::/docker/c|g/memory.max=1000|g/memory.current=400",
                   600},
        MemoryCase{"v2UsageAboveLimitLeavesNothing",
                   MEM V2 "/|g/memory.max=1000|g/memory.current=5000", 0},
        MemoryCase{"v1LimitLessUsage",
                   MEM V1 "4:memory:/j\n1:cpu:/o\n|g/j/memory.limit_in_bytes=3000000000"
                          "|g/j/memory.usage_in_bytes=1000000000"
                          "|g/j/memory.stat=inactive_file 7\ntotal_inactive_file 200000000\n",
                   2200000000},
        MemoryCase{"v1HugeLimitMeansNoLimit",
                   MEM V1 "4:memory:/j|g/j/memory.limit_in_bytes=9223372036854771712"
                          "|g/j/memory.usage_in_bytes=1000000000",
                   8192000000},
        MemoryCase{"addressSpaceLimitLessVmSize", MEM AS "3000000000 unlimited bytes\n",
                   1976000000},
        MemoryCase{"unlimitedAddressSpace", MEM AS "unlimited unlimited bytes\n", 8192000000}),
    [](const ::testing::TestParamInfo<MemoryCase>& info) { return info.param.name; });

TEST(MemorySourcesLive, theRealSystemGivesAFigure) {
    EXPECT_GT(availableMemoryBytes(), 0);
}

// Whole huge pages from a boundary on, zero-filled and writable to the last
// byte asked for; nothing for no bytes or a size that cannot be rounded up.
TEST(HugeMapping, coversTheBytesOnWholeHugePages) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    for (const std::size_t bytes : {std::size_t{1}, kHuge, kHuge + 1, 5 * kHuge - 3}) {
        const HugeMapping m = mapHugePages(bytes);
        ASSERT_NE(m.address, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m.address) % kHuge, 0u) << bytes;
        EXPECT_EQ(m.length, (bytes + kHuge - 1) / kHuge * kHuge) << bytes;
        auto* p = static_cast<unsigned char*>(m.address);
        EXPECT_EQ(p[0] | p[bytes - 1] | p[m.length - 1], 0) << bytes;
        p[0] = p[m.length - 1] = 1;
        unmapHugePages(m);
    }
    EXPECT_EQ(mapHugePages(0).address, nullptr);
    EXPECT_EQ(mapHugePages(SIZE_MAX - kHuge).address, nullptr);
    unmapHugePages({});
}
