#include "gui/surface.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using velmora::gui::Surface;

TEST(Surface, readsAndWritesPixelsInsideAndIgnoresOutside) {
    Surface s;
    s.resize(4, 3);
    s.setBackground(QColor(0, 0, 0));
    s.SetPixel(1, 2, 0x00C86432); // red 0x32, green 0x64, blue 0xC8
    EXPECT_EQ(s.GetPixel(1, 2), 0x00C86432u);
    EXPECT_EQ(s.image().pixel(1, 2), qRgb(0x32, 0x64, 0xC8));
    EXPECT_EQ(s.GetPixel(4, 0), 0xFFFFFFFFu);
    EXPECT_EQ(s.GetPixel(0, 3), 0xFFFFFFFFu);
    EXPECT_EQ(s.GetPixel(-1, 0), 0xFFFFFFFFu);
    const QImage before = s.image().copy();
    s.SetPixel(4, 0, 0x123456);
    s.SetPixel(0, -1, 0x123456);
    EXPECT_EQ(s.image(), before);
}

TEST(Surface, drawingSurvivesRepaintingAndClsBringsBackThePicture) {
    Surface s;
    s.setBackground(Qt::white);
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    s.resize(5, 5);
    s.setPicture(picture);
    s.SetPixel(0, 0, 0xFF);
    s.SetPixel(4, 4, 0xFF00);
    const QImage shown = s.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(4, 4), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(1, 1), qRgb(1, 2, 3));
    EXPECT_EQ(shown.pixel(3, 3), qRgb(255, 255, 255));
    s.clear();
    EXPECT_EQ(s.GetPixel(0, 0), 0x030201u);
    EXPECT_EQ(s.GetPixel(4, 4), 0xFFFFFFu);
}

TEST(Surface, sizesItselfToItsPictureOnlyWhenAskedTo) {
    QImage picture(7, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    Surface fixed, autoSized;
    fixed.resize(10, 10);
    autoSized.resize(10, 10);
    autoSized.setAutoSize(true);
    fixed.setPicture(picture);
    autoSized.setPicture(picture);
    EXPECT_EQ(fixed.size(), QSize(10, 10));
    EXPECT_EQ(autoSized.size(), QSize(7, 3));
    EXPECT_EQ(autoSized.image().size(), QSize(7, 3));
}

TEST(Surface, savesTheWholeRetainedImageAsA24BitBitmap) {
    QTemporaryDir dir;
    Surface s;
    s.resize(5, 3); // rows of 15 bytes padded to 16
    s.setBackground(Qt::black);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            s.SetPixel(x, y, static_cast<std::uint32_t>(x * 40 + (y * 80 << 8) + (77 << 16)));
    const QString path = dir.filePath("out.bmp");
    ASSERT_TRUE(s.saveBitmap(path));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.pixel(x, y), s.image().pixel(x, y)) << x << "," << y;
    EXPECT_EQ(QFileInfo(path).size(), 54 + 16 * 3);
}

TEST(Surface, failedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    Surface s;
    s.resize(2, 2);
    EXPECT_FALSE(s.saveBitmap(dir.filePath("missing-folder/out.bmp")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing-folder")));
}
