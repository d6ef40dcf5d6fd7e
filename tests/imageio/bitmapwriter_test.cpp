// The bitmap writer against every kind of destination, as every writer of ours.
#include "imageio/bitmapwriter.h"
#include "tests/support/destinations.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A 20 x 10 picture with a different colour in every pixel.
imageio::Picture ShadedPicture() {
    const imageio::Picture picture = imageio::Picture::allocate(20, 10);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.row(y)[x] = 0xFF000000u | std::uint32_t(x * 12) << 16 |
                                std::uint32_t(y * 25) << 8 | std::uint32_t(x + y);
    return picture;
}

const imageio::Picture kPicture = ShadedPicture();

const testkit::DestinationWriter kWriters[] = {
    {"writeBitmap", [](const std::string& p) { return imageio::writeBitmap(kPicture, p); }},
};

} // namespace

using testkit::Destinations;

INSTANTIATE_TEST_SUITE_P(everyPlace, Destinations,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(testkit::DestinationPlaces())),
                         testkit::DestinationCaseName);
