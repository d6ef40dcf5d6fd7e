// The library's entries against every kind of destination, as every writer of
// ours: each puts its file in place through the library's one way of writing.
#include "libvelmora/velmora.h"
#include "outputfile/outputfile.h"
#include "tests/libvelmora/libvelmora_fixture.h"
#include "tests/support/destinations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace velmora_test;

namespace {

// The picture every entry writes: 20 x 10 pixels.
const TestImage kPicture = colourfulImage(20, 10);

std::int32_t grey(void*, std::int32_t, std::int32_t rows, unsigned char* at, std::int64_t line) {
    std::memset(at, 0x80, static_cast<std::size_t>(rows * line));
    return 0;
}

const velmora::testkit::DestinationWriter kWriters[] = {
    // From source.bmp beside the folder out.
    {"convertBmpToJpg",
     [](const std::string& p) {
         std::string destination = p;
         const std::string source =
             (std::filesystem::path(p).parent_path() / ".." / "source.bmp").string();
         return ConvertBMPtoJPG(source.c_str(), destination.data(), -1, 100, -1) == 0;
     },
     [](const std::filesystem::path& folder) {
         writeFile((folder / "source.bmp").string(), encodeBmp(kPicture, 24));
     }},
    {"convertPixelsToJpg",
     [](const std::string& p) {
         std::vector<unsigned char> pixels;
         for (const Rgb& c : kPicture.pixels)
             pixels.insert(pixels.end(), {c.b, c.g, c.r, 0xFF});
         return ConvertPixelsToJPG(pixels.data(), kPicture.width, kPicture.height,
                                   kPicture.width * 4, 4, p.c_str(), 100) == 0;
     }},
    {"convertRowsToJpg",
     [](const std::string& p) {
         return ConvertRowsToJPG(grey, nullptr, 20, 10, 3, nullptr, 0, p.c_str(), 90) == 0;
     }},
};

} // namespace

using velmora::testkit::Destinations;

INSTANTIATE_TEST_SUITE_P(
    everyPlace, Destinations,
    ::testing::Combine(::testing::ValuesIn(kWriters),
                       ::testing::ValuesIn(velmora::testkit::DestinationPlaces())),
    velmora::testkit::DestinationCaseName);

namespace {

// An empty folder of its own for a test, removed with it.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                (name + std::to_string(::testing::UnitTest::GetInstance()->random_seed()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directory(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    // The names in it, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

  private:
    std::filesystem::path path_;
};

} // namespace

// A file being written has no name in its folder until it is complete, so a
// process killed while writing (a worker of a batch on many machines) leaves
// nothing behind; once committed it is there whole, under its own name only.
TEST(OutputFile, isNamelessUntilCommittedAndThenOnlyTheDestination) {
    const ScratchFolder folder("velmora-nameless-");
    {
        velmora::jpeg::OutputFile output(false);
        ASSERT_TRUE(output.create((folder.path() / "out.jpg").string()));
        const unsigned char bytes[] = {1, 2, 3};
        ASSERT_TRUE(output.write(bytes, sizeof bytes));
        EXPECT_EQ(folder.names(), std::vector<std::string>{});
        ASSERT_TRUE(output.commit());
    }
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.jpg"});
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "out.jpg"), 3u);
}

// A destination found once is written as found: a link changed to lead
// elsewhere during the write changes nothing, while a directory put at the
// found file's name meanwhile is still refused at the rename.
TEST(OutputFile, writesWhereTheDestinationWasFoundAndRefusesWhatReplacedItAtTheRename) {
    const ScratchFolder folder("velmora-found-");
    const std::filesystem::path link = folder.path() / "link.jpg";
    const unsigned char bytes[] = {1, 2, 3};
    writeFile((folder.path() / "a.jpg").string(), {9});
    writeFile((folder.path() / "b.jpg").string(), {8});
    std::filesystem::create_symlink("a.jpg", link);
    {
        const velmora::jpeg::Destination found = velmora::jpeg::findDestination(link.string());
        std::filesystem::remove(link);
        std::filesystem::create_symlink("b.jpg", link);
        velmora::jpeg::OutputFile output(false);
        ASSERT_TRUE(output.create(found));
        ASSERT_TRUE(output.write(bytes, sizeof bytes));
        ASSERT_TRUE(output.commit());
    }
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "a.jpg"), 3u);
    EXPECT_EQ(readFile((folder.path() / "b.jpg").string()), std::vector<std::uint8_t>{8});
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    const std::filesystem::path fresh = folder.path() / "new.jpg";
    velmora::jpeg::OutputFile output(false);
    ASSERT_TRUE(output.create(velmora::jpeg::findDestination(fresh.string())));
    std::filesystem::create_directory(fresh);
    ASSERT_TRUE(output.write(bytes, sizeof bytes));
    EXPECT_FALSE(output.commit());
    EXPECT_EQ(output.refusal(), velmora::jpeg::DestinationKind::Directory);
    EXPECT_TRUE(std::filesystem::is_directory(fresh));
}

// ConvertBMPtoJPG never writes over its own source, under any of its names.
TEST(ConvertBmpToJpg, refusesItsOwnSourceUnderEveryNameAndKeepsIt) {
    const ScratchFolder folder("velmora-own-source-");
    const std::filesystem::path source = folder.path() / "source.bmp";
    const std::vector<std::uint8_t> bytes = encodeBmp(kPicture, 24);
    writeFile(source.string(), bytes);
    for (const velmora::testkit::SourceAlias& alias : velmora::testkit::sourceAliases(source)) {
        SCOPED_TRACE(alias.name);
        std::string destination = alias.path;
        errno = 0;
        EXPECT_EQ(ConvertBMPtoJPG(source.c_str(), destination.data(), -1, 90, -1),
                  VELMORA_E_DESTINATION);
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(readFile(source.string()), bytes);
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"hard.bmp", "source.bmp", "symbolic.bmp"}));
}
