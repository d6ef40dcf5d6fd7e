// File names as bytes: shown with U+FFFD for what is not UTF-8, and cleaned
// of "." and ".." the way the folder lists and the memory figures need.
#include "platform/filenames.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora::platform;

TEST(FileNames, invalidBytesAreShownAsReplacementCharacters) {
    EXPECT_EQ(nameForDisplay("\xF0\x9F\x93\xB7\xE5\x86\x99.jpg"),
              "\xF0\x9F\x93\xB7\xE5\x86\x99.jpg");
    // Latin-1, a cut four-byte sequence, a stray 0xFF, an overlong "/" and a
    // surrogate: nine bytes that are no UTF-8.
    std::string shown = "caf";
    for (int i = 0; i < 9; ++i)
        shown += "\xEF\xBF\xBD";
    EXPECT_EQ(nameForDisplay("caf\xE9\xF0\x9F\xFF\xC0\xAF\xED\xA0\x80.jpg"), shown + ".jpg");
}

using velmora_test::PrintTo;

struct CleanCase {
    const char* name;
    const char* path;
    const char* clean;
};

class CleanPath : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanPath, dropsDotsDoubleAndTrailingSlashes) {
    EXPECT_EQ(cleanPath(GetParam().path), GetParam().clean);
}

INSTANTIATE_TEST_SUITE_P(
    paths, CleanPath,
    ::testing::Values(CleanCase{"root", "/", "/"}, CleanCase{"empty", "", ""},
                      CleanCase{"dotsAndDoubles", "/a//b/./c/../", "/a/b"},
                      CleanCase{"aboveTheRoot", "/../x", "/x"},
                      CleanCase{"relativeKeepsItsLeadingDots", "../a/./b/..", "../a"},
                      CleanCase{"relativeToNothing", "a/..", "."}),
    [](const ::testing::TestParamInfo<CleanCase>& info) { return info.param.name; });
