// Pictures between the plain layers and Qt: the same memory both ways where
// the formats agree, kept alive by whichever side is left.
#include "gui/pictureimage.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace velmora;

TEST(PictureImage, anImageOfAPictureSharesItsPixelsAndKeepsThem) {
    QImage image;
    const std::uint32_t* pixels = nullptr;
    {
        const imageio::Picture picture = imageio::Picture::allocate(5, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                picture.row(y)[x] = 0xFF000000u | std::uint32_t(y * 16 + x);
        pixels = picture.pixels();
        image = gui::imageOfPicture(picture);
    }
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(image.constBits()), pixels);
    EXPECT_EQ(image.pixel(4, 2), 0xFF000024u);
    EXPECT_TRUE(gui::imageOfPicture(imageio::Picture()).isNull());
}

TEST(PictureImage, aPictureOfAnImageSharesWordsAndConvertsOtherFormats) {
    QImage words(4, 2, QImage::Format_RGB32);
    words.fill(0xFF102030u);
    const imageio::Picture shared = gui::pictureOfImage(words);
    EXPECT_EQ(shared.pixels(), reinterpret_cast<const std::uint32_t*>(words.constBits()));

    const QImage bytes = words.convertToFormat(QImage::Format_RGB888);
    const imageio::Picture converted = gui::pictureOfImage(bytes);
    ASSERT_FALSE(converted.isNull());
    EXPECT_EQ(converted.size(), imageio::Size(4, 2));
    EXPECT_EQ(converted.row(1)[3], 0xFF102030u);
    EXPECT_TRUE(gui::pictureOfImage(QImage()).isNull());
}
