// What the tests of the conversion library share: test images, a tiny writer
// for the bitmap files the converter reads, decoding with TurboJPEG, and a
// fresh folder for each test's files.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace velmora_test {

struct Rgb {
    uint8_t r, g, b;
};

struct TestImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels; // row-major, top row first

    const Rgb& at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// Smooth gradients in all three channels plus a little deterministic noise,
// so every channel and both axes carry information (a flipped or mirrored
// result cannot pass a pixel comparison).
TestImage colourfulImage(int width, int height, uint32_t seed = 1);

// Offsets of header fields, for tests that forge headers.
namespace bmp {
constexpr std::size_t kDataOffset = 10;
constexpr std::size_t kInfoSize = 14;
constexpr std::size_t kWidth = 18;
constexpr std::size_t kHeight = 22;
constexpr std::size_t kPlanes = 26;
constexpr std::size_t kBitsPerPixel = 28;
constexpr std::size_t kCompression = 30;
constexpr std::size_t kColoursUsed = 46;
constexpr std::size_t kHeadersEnd = 54;
} // namespace bmp

// A BITMAPINFOHEADER file with 24- or 32-bit pixels, bottom-up unless topDown
// (negative height).
std::vector<uint8_t> encodeBmp(const TestImage& image, int bitsPerPixel, bool topDown = false);

// An 8-bit palette file, bottom-up; indexes are row-major, top row first.
std::vector<uint8_t> encodeIndexedBmp(int width, int height, const std::vector<Rgb>& palette,
                                      const std::vector<uint8_t>& indexes);

void put16(std::vector<uint8_t>& bytes, std::size_t offset, uint32_t value);
void put32(std::vector<uint8_t>& bytes, std::size_t offset, uint32_t value);

struct Decoded {
    int width = 0, height = 0, subsampling = -1;
    std::vector<uint8_t> rgb; // empty when the data does not decode
};

// Decodes with TurboJPEG (accurate DCT) to RGB.
Decoded decodeJpeg(const std::vector<uint8_t>& jpeg);

// TurboJPEG's own one-call encode of the image at the library's settings
// (4:4:4, accurate DCT): the reference a joined file must decode like.
std::vector<uint8_t> turboJpeg(const TestImage& image, int quality);

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);

// A test with a fresh folder of its own for the files a conversion reads and
// writes, removed afterwards.
class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // The names in the folder now.
    std::set<std::string> folderContents() const;

    std::filesystem::path dir;
};

// How many descriptors the process has open.
std::size_t openDescriptors();

} // namespace velmora_test
