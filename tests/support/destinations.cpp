#include "tests/support/destinations.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velmora::testkit {

namespace {

const std::string kLong240 = std::string(236, 'n') + ".jpg",
                  kLong255 = std::string(251, 'n') + ".jpg";

std::pair<mode_t, mode_t> typeAndMode(const std::string& path, bool followLinks) {
    struct stat st {};
    (followLinks ? ::stat : ::lstat)(path.c_str(), &st);
    return {st.st_mode & S_IFMT, st.st_mode & 07777};
}

std::vector<std::string> sortedNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

const std::vector<DestinationPlace>& DestinationPlaces() {
    static const std::vector<DestinationPlace> places = {
        {"new240", "", kLong240, true},
        {"new255", "", kLong255, true},
        {"replaces255", "echo old >$B && chmod 640 $B", kLong255, true},
        {"linkToFile",
         "echo old >../elsewhere/t && chmod 640 ../elsewhere/t && ln -s ../elsewhere/t l", "l",
         true},
        {"danglingLink", "ln -s nowhere l", "l", false},
        {"fifo", "mkfifo f", "f", false},
        {"directory", "mkdir d", "d", false},
        {"socket", "python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('s')\"", "s",
         false},
        {"device", "mknod n c 1 3", "n", false}, // as root only
    };
    return places;
}

void Destinations::SetUp() {
    char pattern[] = "/tmp/velmora-destination-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_TRUE(fs::create_directory(dir / "out") && fs::create_directory(dir / "elsewhere"));
}

void Destinations::TearDown() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

std::vector<std::string> Destinations::names() const {
    std::vector<std::string> names = sortedNames(dir / "out");
    const std::vector<std::string> elsewhere = sortedNames(dir / "elsewhere");
    names.insert(names.end(), elsewhere.begin(), elsewhere.end());
    return names;
}

void Destinations::writeAndCheck() {
    const auto& [writer, place] = GetParam();
    if (writer.prepare)
        writer.prepare(dir);
    const std::string path = (dir / "out" / place.file).string();
    const std::string shell =
        "cd '" + (dir / "out").string() + "' && B=" + kLong255 + " && " + place.setup;
    if (*place.setup && std::system(shell.c_str()) != 0)
        GTEST_SKIP() << place.name << " cannot be made here";
    const std::vector<std::string> before = names();
    const auto was = typeAndMode(path, false), target = typeAndMode(path, true);
    const mode_t umask = ::umask(0);
    ::umask(umask);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(writer.write(path), place.written);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // The name keeps its kind (a new name is a regular file); a link's target
    // keeps its mode, a new file has a new file's.
    EXPECT_EQ(typeAndMode(path, false).first, was.first ? was.first : S_IFREG);
    EXPECT_EQ(names(),
              before.empty() && place.written ? std::vector<std::string>{place.file} : before);
    if (place.written) {
        EXPECT_EQ(typeAndMode(path, true),
                  std::make_pair(mode_t(S_IFREG), target.first ? target.second : 0666 & ~umask));
        std::error_code error;
        EXPECT_GT(fs::file_size(path, error), 100u); // the picture, no longer "old"
    }
}

std::string DestinationCaseName(
    const ::testing::TestParamInfo<std::tuple<DestinationWriter, DestinationPlace>>& info) {
    std::string place = std::get<1>(info.param).name;
    place[0] = char(std::toupper(static_cast<unsigned char>(place[0])));
    return std::get<0>(info.param).name + place;
}

// Linked into test programs that use the helpers below without writers of
// their own to run here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Destinations);

TEST_P(Destinations, writesOrRefusesAtOnceAndLeavesNothingBehind) {
    writeAndCheck();
}

std::vector<SourceAlias> sourceAliases(const fs::path& source) {
    const fs::path folder = source.parent_path();
    const std::string ending = source.extension().string();
    const fs::path symbolic = folder / ("symbolic" + ending), hard = folder / ("hard" + ending);
    fs::remove(symbolic);
    fs::remove(hard);
    fs::create_symlink(source.filename(), symbolic);
    fs::create_hard_link(source, hard);
    return {{"samePath", source.string()},
            {"dotSlash", (folder / "." / source.filename()).string()},
            {"symbolicLink", symbolic.string()},
            {"hardLink", hard.string()}};
}

} // namespace velmora::testkit
