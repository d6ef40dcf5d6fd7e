// What the tests of picture files share: two pictures compared pixel by pixel.
#pragma once

#include <QImage>
#include <gtest/gtest.h>

namespace velmora::testkit {

// Every bit of every pixel, alpha included; a difference names its place.
inline ::testing::AssertionResult SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return ::testing::AssertionFailure() << "sizes or formats differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex
                                                     << a.pixel(x, y) << " != " << b.pixel(x, y);
    return ::testing::AssertionSuccess();
}

} // namespace velmora::testkit
