// The plain picture: 32-bit words in rows of its own width, on memory that
// lives as long as any copy of the picture, refused when it cannot be had.
#include "imageio/picture.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

using velmora::imageio::Picture;

namespace {
using velmora_test::PrintTo;

struct AllocationCase {
    const char* name;
    int width, height;
    bool made;
};

class PictureAllocation : public ::testing::TestWithParam<AllocationCase> {};

// A small picture comes from the ordinary allocator, a large one from the
// huge-page mapping: either way every word is there to be written and read.
TEST_P(PictureAllocation, holdsEveryRowOrIsNull) {
    const AllocationCase& c = GetParam();
    const Picture picture = Picture::allocate(c.width, c.height);
    ASSERT_EQ(!picture.isNull(), c.made);
    if (!c.made) {
        EXPECT_EQ(picture.width(), 0);
        return;
    }
    EXPECT_EQ(picture.size(), velmora::imageio::Size(c.width, c.height));
    EXPECT_EQ(picture.stride(), c.width);
    const velmora::SourceImage view = picture.view();
    picture.row(0)[0] = 0xFF010203u;
    EXPECT_EQ(view.pixel(0, 0), 0xFF010203u);
    picture.row(c.height - 1)[c.width - 1] = 0xFF040506u;
    EXPECT_EQ(view.pixel(c.width - 1, c.height - 1), 0xFF040506u);
}

INSTANTIATE_TEST_SUITE_P(sizes, PictureAllocation,
                         ::testing::Values(AllocationCase{"onePixel", 1, 1, true},
                                           AllocationCase{"small", 61, 47, true},
                                           AllocationCase{"onHugePages", 2000, 1500, true},
                                           AllocationCase{"noWidth", 0, 10, false},
                                           AllocationCase{"negative", 10, -1, false},
                                           AllocationCase{"rowTooLong", INT_MAX, 1, false}),
                         [](const ::testing::TestParamInfo<AllocationCase>& info) {
                             return info.param.name;
                         });

// The pixels stay while any copy of the picture does, and go with the last.
TEST(PictureOwner, isHeldByEveryCopyAndLetGoByTheLast) {
    auto words = std::make_shared<std::uint32_t[]>(12);
    const std::weak_ptr<std::uint32_t[]> watch = words;
    Picture copy;
    {
        const Picture picture = Picture::wrap(words.get(), 3, 4, 3, words);
        words.reset();
        copy = picture;
    }
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(copy.row(3), copy.pixels() + 9);
    copy = Picture();
    EXPECT_TRUE(watch.expired());
}

} // namespace
