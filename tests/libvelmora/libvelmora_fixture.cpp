#include "tests/libvelmora/libvelmora_fixture.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmora_test {

TestImage colourfulImage(int width, int height, uint32_t seed) {
    TestImage image{width, height, {}};
    image.pixels.reserve(std::size_t(width) * height);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 29) - 4; // -4..3
            auto channel = [&](int v) { return uint8_t(std::clamp(v + noise, 0, 255)); };
            const int fx = width > 1 ? x * 255 / (width - 1) : 0;
            const int fy = height > 1 ? y * 255 / (height - 1) : 0;
            image.pixels.push_back({channel(fx), channel(fy), channel(255 - (fx + fy) / 2)});
        }
    }
    return image;
}

void put16(std::vector<uint8_t>& bytes, std::size_t offset, uint32_t value) {
    bytes.at(offset) = uint8_t(value);
    bytes.at(offset + 1) = uint8_t(value >> 8);
}

void put32(std::vector<uint8_t>& bytes, std::size_t offset, uint32_t value) {
    put16(bytes, offset, value & 0xFFFF);
    put16(bytes, offset + 2, value >> 16);
}

namespace {

std::vector<uint8_t> headers(int width, int height, int bitsPerPixel, uint32_t paletteBytes,
                             uint32_t dataBytes) {
    std::vector<uint8_t> bytes(bmp::kHeadersEnd + paletteBytes, 0);
    const uint32_t dataOffset = uint32_t(bmp::kHeadersEnd) + paletteBytes;
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 2, dataOffset + dataBytes);
    put32(bytes, bmp::kDataOffset, dataOffset);
    put32(bytes, bmp::kInfoSize, 40);
    put32(bytes, bmp::kWidth, uint32_t(width));
    put32(bytes, bmp::kHeight, uint32_t(height));
    put16(bytes, bmp::kPlanes, 1);
    put16(bytes, bmp::kBitsPerPixel, uint32_t(bitsPerPixel));
    put32(bytes, 34, dataBytes);
    put32(bytes, 38, 2835); // 72 dpi
    put32(bytes, 42, 2835);
    return bytes;
}

uint32_t rowBytes(int width, int bitsPerPixel) {
    return (uint32_t(width) * bitsPerPixel + 31) / 32 * 4;
}

} // namespace

std::vector<uint8_t> encodeBmp(const TestImage& image, int bitsPerPixel, bool topDown) {
    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        throw std::invalid_argument("encodeBmp writes 24 or 32 bits per pixel");
    const uint32_t stride = rowBytes(image.width, bitsPerPixel);
    std::vector<uint8_t> bytes = headers(image.width, topDown ? -image.height : image.height,
                                         bitsPerPixel, 0, stride * image.height);
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::vector<uint8_t> line(stride, 0);
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.at(x, y);
            uint8_t* out = line.data() + std::size_t(x) * (bitsPerPixel / 8);
            out[0] = p.b;
            out[1] = p.g;
            out[2] = p.r;
            if (bitsPerPixel == 32)
                out[3] = 0xFF;
        }
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return bytes;
}

std::vector<uint8_t> encodeIndexedBmp(int width, int height, const std::vector<Rgb>& palette,
                                      const std::vector<uint8_t>& indexes) {
    const uint32_t stride = rowBytes(width, 8);
    std::vector<uint8_t> bytes =
        headers(width, height, 8, uint32_t(palette.size() * 4), stride * height);
    put32(bytes, bmp::kColoursUsed, uint32_t(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        bytes[bmp::kHeadersEnd + i * 4] = palette[i].b;
        bytes[bmp::kHeadersEnd + i * 4 + 1] = palette[i].g;
        bytes[bmp::kHeadersEnd + i * 4 + 2] = palette[i].r;
    }
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        std::vector<uint8_t> line(stride, 0);
        for (int x = 0; x < width; ++x)
            line[x] = indexes[std::size_t(y) * width + x];
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return bytes;
}

Decoded decodeJpeg(const std::vector<uint8_t>& jpeg) {
    Decoded d;
    tjhandle h = tjInitDecompress();
    int colourspace = 0;
    if (tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &d.width, &d.height, &d.subsampling,
                            &colourspace) == 0) {
        d.rgb.resize(std::size_t(d.width) * d.height * 3);
        if (tjDecompress2(h, jpeg.data(), jpeg.size(), d.rgb.data(), d.width, 0, d.height, TJPF_RGB,
                          TJFLAG_ACCURATEDCT) != 0)
            d.rgb.clear();
    }
    tjDestroy(h);
    return d;
}

std::vector<uint8_t> turboJpeg(const TestImage& image, int quality) {
    tjhandle h = tjInitCompress();
    unsigned char* data = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> jpeg;
    if (tjCompress2(h, reinterpret_cast<const unsigned char*>(image.pixels.data()), image.width,
                    image.width * 3, image.height, TJPF_RGB, &data, &size, TJSAMP_444, quality,
                    TJFLAG_ACCURATEDCT) == 0)
        jpeg.assign(data, data + size);
    tjFree(data);
    tjDestroy(h);
    return jpeg;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace fs = std::filesystem;

void FolderTest::SetUp() {
    char pattern[] = "/tmp/velmora-conv-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
}

void FolderTest::TearDown() {
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

std::set<std::string> FolderTest::folderContents() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

std::size_t openDescriptors() {
    return std::size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

} // namespace velmora_test
