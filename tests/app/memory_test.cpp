#include "platform/imagereader.h"
#include "platform/memory.h"
#include "tests/common/badimages.h"
#include "tests/common/fakememory.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmora::platform;
using velmora::testkit::LyingBitmap;
using velmora::testkit::LyingJpeg;

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// One row: the fake /proc files and control-group files, and the answer. In
// the texts, @ stands for the fake root folder.
struct MemoryCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> files; // path below @, content
    long long expected;
};

class MemorySourcesTest : public ::testing::TestWithParam<MemoryCase> {};

const char* kMeminfo = "MemTotal: 9000000 kB\nMemAvailable: 8000000 kB\n"; // 8192000000 bytes
#define V2_MOUNT "41 31 0:38 / @/cg2 rw,relatime - cgroup2 cgroup2 rw\n"
#define V1_MOUNT "35 31 0:32 / @/cg1 rw,relatime - cgroup cgroup rw,memory\n"
const char* kV2Mount = V2_MOUNT;
const char* kV1Mount = V1_MOUNT;

} // namespace

TEST_P(MemorySourcesTest, givesTheLeastOfEverySource) {
    QTemporaryDir root;
    for (const auto& [path, text] : GetParam().files)
        writeFile(root.filePath(path), QByteArray(text).replace("@", root.path().toUtf8()));
    EXPECT_EQ(AvailableMemoryBytes({root.filePath("proc")}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MemorySourcesTest,
    ::testing::Values(
        MemoryCase{"nothingReadable", {}, -1},
        MemoryCase{"meminfoAlone", {{"proc/meminfo", kMeminfo}}, 8192000000},
        MemoryCase{"v2LimitLessUsageLessInactiveCache",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", kV2Mount},
                    {"proc/self/cgroup", "0::/app.slice/run.scope\n"},
                    {"cg2/app.slice/run.scope/memory.max", "6000000000\n"},
                    {"cg2/app.slice/run.scope/memory.current", "2000000000\n"},
                    {"cg2/app.slice/run.scope/memory.stat", "anon 1\ninactive_file 500000000\n"}},
                   4500000000},
        MemoryCase{"v2MaxMeansNoLimit",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", kV2Mount},
                    {"proc/self/cgroup", "0::/a\n"},
                    {"cg2/a/memory.max", "max\n"},
                    {"cg2/a/memory.current", "7000000000\n"}},
                   8192000000},
        MemoryCase{"v2ParentGroupLimitsTheChild",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", kV2Mount},
                    {"proc/self/cgroup", "0::/user/app\n"},
                    {"cg2/user/app/memory.max", "max\n"},
                    {"cg2/user/app/memory.current", "100\n"},
                    {"cg2/user/memory.max", "3000000000\n"},
                    {"cg2/user/memory.current", "1000000000\n"}},
                   2000000000},
        MemoryCase{
            "v2ContainerSeesItsGroupAtTheMountsRoot",
            {{"proc/meminfo", kMeminfo},
             {"proc/self/mountinfo", "41 31 0:38 /docker/abc @/cg2 rw - cgroup2 cgroup2 rw\n"},
             {"proc/self/cgroup", "0::/docker/abc\n"},
             {"cg2/memory.max", "1000000000\n"},
             {"cg2/memory.current", "400000000\n"}},
            600000000},
        MemoryCase{"v2UsageAboveLimitLeavesNothing",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", kV2Mount},
                    {"proc/self/cgroup", "0::/\n"},
                    {"cg2/memory.max", "1000\n"},
                    {"cg2/memory.current", "5000\n"}},
                   0},
        MemoryCase{"v1LimitLessUsage",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", V1_MOUNT V2_MOUNT},
                    {"proc/self/cgroup", "4:memory:/job\n1:cpu:/other\n0::/\n"},
                    {"cg1/job/memory.limit_in_bytes", "3000000000\n"},
                    {"cg1/job/memory.usage_in_bytes", "1000000000\n"},
                    {"cg1/job/memory.stat", "inactive_file 7\ntotal_inactive_file 200000000\n"}},
                   2200000000},
        MemoryCase{"v1HugeLimitMeansNoLimit",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/mountinfo", kV1Mount},
                    {"proc/self/cgroup", "4:memory:/job\n"},
                    {"cg1/job/memory.limit_in_bytes", "9223372036854771712\n"},
                    {"cg1/job/memory.usage_in_bytes", "1000000000\n"}},
                   8192000000},
        MemoryCase{"addressSpaceLimitLessVmSize",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/limits",
                     "Limit                     Soft Limit           Hard Limit           Units\n"
                     "Max address space         3000000000           unlimited            bytes\n"},
                    {"proc/self/status", "Name: velmora\nVmSize:  1000000 kB\n"}},
                   1976000000},
        MemoryCase{"unlimitedAddressSpace",
                   {{"proc/meminfo", kMeminfo},
                    {"proc/self/limits", "Max address space  unlimited  unlimited  bytes\n"},
                    {"proc/self/status", "VmSize:  1000000 kB\n"}},
                   8192000000}),
    [](const ::testing::TestParamInfo<MemoryCase>& info) { return info.param.name; });

TEST(MemorySourcesLive, theRealSystemGivesAFigure) {
    EXPECT_GT(AvailableMemoryBytes(), 0);
}

namespace {

class ImageReaderTest : public ::testing::Test {
  protected:
    void TearDown() override { velmora::testkit::StopPretendingMemory(); }
    QString file(const char* name, const QByteArray& data) {
        const QString path = dir.filePath(name);
        writeFile(path, data);
        return path;
    }
    void pretendAvailable(long long bytes) {
        velmora::testkit::PretendMemoryLeft(dir.filePath("memory"), bytes);
    }
    QTemporaryDir dir;
};

} // namespace

// A 4 KB file claiming 65000 x 65000 pixels (17 GB decoded) is refused from
// its header when memory is short, as in an 8 GB control group.
TEST_F(ImageReaderTest, lyingHeadersAreRefusedBeforeDecoding) {
    pretendAvailable(8LL << 30);
    ImageReader jpeg(file("huge.jpg", LyingJpeg(65000, 65000)));
    EXPECT_EQ(jpeg.size(), QSize(65000, 65000));
    QImage picture;
    EXPECT_FALSE(jpeg.read(&picture));
    EXPECT_EQ(jpeg.failure(), ImageReader::Failure::TooLarge);
    EXPECT_TRUE(picture.isNull());
    // Qt's bitmap reader already refuses a header that claims more than the file holds.
    ImageReader bitmap(file("huge.bmp", LyingBitmap(65000, 65000)));
    EXPECT_FALSE(bitmap.read(&picture));
    EXPECT_NE(bitmap.failure(), ImageReader::Failure::None);
    EXPECT_TRUE(picture.isNull());
}

TEST_F(ImageReaderTest, aPictureIsRefusedWhenTheMemoryFigureIsSmallAndReadWhenItIsNot) {
    QImage image(1000, 1000, QImage::Format_RGB32); // 4 MB decoded
    image.fill(qRgb(1, 2, 3));
    const QString path = dir.filePath("a.bmp");
    ASSERT_TRUE(image.save(path, "BMP"));
    const int limitBefore = QImageReader::allocationLimit();
    QImage picture;
    pretendAvailable(3'000'000);
    EXPECT_FALSE(ImageReader(path).read(&picture));
    pretendAvailable(100'000'000);
    ImageReader reader(path);
    EXPECT_FALSE(reader.read(&picture, 80'000'000)) << "what the caller holds counts too";
    EXPECT_EQ(reader.failure(), ImageReader::Failure::TooLarge);
    ASSERT_TRUE(ImageReader(path).read(&picture));
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(picture.pixel(999, 999), qRgb(1, 2, 3));
    EXPECT_EQ(QImageReader::allocationLimit(), limitBefore);
}

TEST_F(ImageReaderTest, unreadableFilesFailAndATruncatedJpegReadsAsTheDecoderMakesIt) {
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPG"));
    QImage picture;
    EXPECT_FALSE(ImageReader(dir.filePath("missing.jpg")).read(&picture));
    EXPECT_FALSE(ImageReader(file("text.bmp", "BM not a bitmap")).read(&picture));
    ImageReader truncated(file("cut.jpg", jpeg.left(jpeg.size() / 2)));
    QImageReader qt(dir.filePath("cut.jpg"));
    EXPECT_EQ(truncated.read(&picture), !qt.read().isNull());
    EXPECT_EQ(truncated.failure() == ImageReader::Failure::None, !picture.isNull());
}
