// The bitmap writer against every kind of destination, as every writer of ours.
#include "gui/pictureimage.h"
#include "imageio/bitmapwriter.h"
#include "tests/support/destinations.h"
#include "tests/support/support.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

const QImage kPicture = PhotoLikeImage(20, 10);

const testkit::DestinationWriter kWriters[] = {
    {"writeBitmap",
     [](const std::string& p) { return imageio::writeBitmap(gui::pictureOfImage(kPicture), p); }},
};

} // namespace

using testkit::Destinations;

INSTANTIATE_TEST_SUITE_P(everyPlace, Destinations,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(testkit::DestinationPlaces())),
                         testkit::DestinationCaseName);
