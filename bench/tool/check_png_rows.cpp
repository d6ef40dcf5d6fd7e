// check-png-rows SOURCE RATIO PNG [EVERY]: reads the PNG that velmora-enlarge
// wrote from SOURCE at RATIO row by row with libpng (so that a picture of
// billions of pixels decodes in a few megabytes), and compares every EVERY-th
// row (default 997), the first and last rows and the rows on either side of
// each of the save's strip boundaries it meets, with the same rows of the
// program's result made afresh. Prints the rows compared; exits 1 at the
// first row that differs or a file that does not decode.
#include "imageio/imagereader.h"
#include "save/recipe.h"
#include "save/resultrows.h"
#include "save/strips.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace velmora;

struct PngFile {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        png_destroy_read_struct(&png, &info, nullptr);
        if (file)
            std::fclose(file);
    }
};

// Whether row y is one to compare.
bool sampled(int y, int height, int every, int stripRows) {
    const int inStrip = y % stripRows;
    return y % every == 0 || y == height - 1 || inStrip == 0 || inStrip == stripRows - 1;
}

// Row y of the PNG (red, green, blue bytes) against the result's.
bool sameRow(const ResultRows& rows, int y, const std::vector<png_byte>& rgb,
             std::vector<std::uint32_t>& made) {
    if (!rows.fill(y, 1, made.data(), rows.width()))
        return false;
    for (int x = 0; x < rows.width(); ++x) {
        const std::uint32_t v = made[std::size_t(x)];
        const png_byte* p = &rgb[std::size_t(x) * 3];
        if (p[0] != ((v >> 16) & 0xFF) || p[1] != ((v >> 8) & 0xFF) || p[2] != (v & 0xFF)) {
            std::fprintf(stderr, "row %d differs at column %d\n", y, x);
            return false;
        }
    }
    return true;
}

int compareRows(PngFile& f, const ResultRows& rows, int every) {
    const int width = int(png_get_image_width(f.png, f.info));
    const int height = int(png_get_image_height(f.png, f.info));
    if (width != rows.width() || height != rows.height()) {
        std::fprintf(stderr, "the PNG is %d x %d, the result %d x %d\n", width, height,
                     rows.width(), rows.height());
        return 1;
    }
    std::vector<png_byte> rgb(std::size_t(width) * 3);
    std::vector<std::uint32_t> made(static_cast<std::size_t>(width));
    const int stripRows = pngStripRows(width);
    long long compared = 0;
    for (int y = 0; y < height; ++y) {
        png_read_row(f.png, rgb.data(), nullptr);
        if (!sampled(y, height, every, stripRows))
            continue;
        if (!sameRow(rows, y, rgb, made))
            return 1;
        ++compared;
    }
    png_read_end(f.png, nullptr);
    std::printf("%lld of %d rows compared, all equal to the result\n", compared, height);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: check-png-rows SOURCE RATIO PNG [EVERY]\n");
        return 2;
    }
    imageio::ImageReader reader(argv[1]);
    imageio::Picture source;
    if (!reader.read(&source)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const ResultRows rows(Recipe{source, std::atof(argv[2])});
    PngFile f;
    f.file = std::fopen(argv[3], "rb");
    f.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    f.info = png_create_info_struct(f.png);
    if (!f.file || !f.png || !f.info || setjmp(png_jmpbuf(f.png))) {
        std::fprintf(stderr, "%s does not decode\n", argv[3]);
        return 1;
    }
    png_init_io(f.png, f.file);
    png_set_user_limits(f.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(f.png, f.info);
    return compareRows(f, rows, argc > 4 ? std::atoi(argv[4]) : 997);
}
