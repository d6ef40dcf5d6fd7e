// Saving as PNG: the file decodes to the whole result whatever the picture's
// height against its strips, on every core, with the recipe's metadata; a
// write that fails halfway leaves the old file and nothing else.
#include "imageio/exifedit.h"
#include "save/save.h"
#include "save/strips.h"
#include "tests/imageio/imageio_fixture.h"
#include "tests/save/save_fixture.h"
#include "tests/support/cameraexif.h"
#include "tests/support/filesizelimit.h"
#include "tests/support/pngfiles.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct PngCase {
    const char* name;
    int width;
    // The picture's height: strips whole strips of its width's rows, and
    // past more rows (negative: short of them).
    int strips, past;
    double ratio; // the source is made so that the result has that size
};

void PrintTo(const PngCase& c, std::ostream* os) {
    *os << c.name;
}

class PngSave : public Saving, public ::testing::WithParamInterface<PngCase> {
  protected:
    // The source whose result at c.ratio is the case's size: the picture
    // itself at 1:1, or a source ten times smaller at 10.0 (whose results are
    // 10 w - 1 by 10 h - 1).
    QImage sourceFor(const PngCase& c) const {
        const int height = c.strips * pngStripRows(c.width) + c.past;
        if (c.ratio == 0)
            return PhotoLikeImage(c.width, height);
        return PhotoLikeImage((c.width + 1) / 10, (height + 1) / 10);
    }
};

// Each worker makes the last row of the strip above its own again for the
// filters to see: heights of a row past a strip, a row short of one and one
// row find a strip that gets it wrong.
TEST_P(PngSave, decodesToTheWholeResultWhateverItsStrips) {
    const PngCase& c = GetParam();
    const Recipe recipe{Pic(sourceFor(c)), c.ratio};
    ASSERT_EQ(recipeSize(recipe).width(), c.width);
    int lastReport = 0;
    SaveOptions options;
    options.progress = [&](int rows) { lastReport = rows; };
    const QString path = dir.filePath(QStringLiteral("out"));
    useLibrary(Library::None); // a PNG needs no conversion library

    const SaveResult result = save(recipe, path, SaveKind::Png, options);

    ASSERT_EQ(result.status, SaveStatus::Saved) << result.error;
    EXPECT_TRUE(testkit::SamePixels(QImage(path, "PNG").convertToFormat(QImage::Format_RGB32),
                                    WholeResult(Img(recipe.source), c.ratio)));
    QString said;
    EXPECT_TRUE(testkit::PngcheckClean(path, &said)) << said.toStdString();
    EXPECT_EQ(lastReport, recipeSize(recipe).height());
    EXPECT_EQ(files(), QStringList{"out"});
}

// A strip of a 20001-pixel row holds 69 rows, of a 4097-pixel one 341.
INSTANTIATE_TEST_SUITE_P(heights, PngSave,
                         ::testing::Values(PngCase{"oneRow", 4097, 0, 1, 0},
                                           PngCase{"oneStripExactly", 20001, 1, 0, 0},
                                           PngCase{"oneRowShortOfTwoStrips", 20001, 2, -1, 0},
                                           PngCase{"oneRowPastTwoStrips", 20001, 2, 1, 0},
                                           PngCase{"oneRowPastAStripOddWidth", 4097, 1, 1, 0},
                                           PngCase{"enlargedOneRowPastTwoStrips", 20009, 2, 1, 10},
                                           PngCase{"enlargedShortStrip", 4099, 2, 17, 10}),
                         [](const auto& info) { return std::string(info.param.name); });

// The recipe's metadata goes into the file made true of the enlarged picture.
TEST_F(Saving, aPngCarriesTheRecipesMetadata) {
    SourceMetadata metadata;
    metadata.exif = testkit::CameraExif(false);
    metadata.iccProfile = testkit::IccProfile("RGB ", 5000).toStdString();
    metadata.xmp = std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33);
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), 2.5, metadata};
    const QString path = dir.filePath("meta.png");
    ASSERT_EQ(save(recipe, path, SaveKind::Png).status, SaveStatus::Saved);
    const QByteArray file = ReadTestFile(path);
    EXPECT_EQ(testkit::PngChunkTypes(file), "IHDR iCCP eXIf iTXt IDAT IEND");
    const QByteArray exif = QByteArray("Exif\0\0", 6) + testkit::PngChunkData(file, "eXIf");
    EXPECT_TRUE(exif.toStdString() == exifForSavedPicture(metadata.exif, imageio::Size(151, 116)));
}

// The disk fills up halfway through the picture's data: the save fails with
// the system's reason, and the file it was to replace is as it was.
TEST_F(Saving, aPngWhoseWriteFailsHalfwayKeepsTheOldFileAndLeavesNothing) {
    const QString path = dir.filePath("keep.png");
    ASSERT_TRUE(WriteTestFile(path, "precious"));
    SaveResult result;
    {
        const testkit::FileSizeLimit limit(50000);
        result = save({Pic(PhotoLikeImage(400, 300)), 3.0}, path, SaveKind::Png);
    }
    EXPECT_EQ(result.status, SaveStatus::Failed);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(ReadTestFile(path), "precious");
    EXPECT_EQ(files(), QStringList{"keep.png"});
}

} // namespace
