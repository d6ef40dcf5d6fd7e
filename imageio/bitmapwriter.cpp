#include "imageio/bitmapwriter.h"

#include "imageio/writefailure.h"
#include "outputfile/outputfile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora::imageio {

namespace {

constexpr int kHeaderBytes = 54;
// Rows are converted into a buffer of about this size and written in one call,
// so a large image costs a few big writes rather than one per row.
constexpr std::size_t kBatchBytes = std::size_t(4) << 20;

void put16(unsigned char* at, std::uint32_t v) {
    at[0] = v & 0xFF;
    at[1] = (v >> 8) & 0xFF;
}

void put32(unsigned char* at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
}

// Bitmaps are not flushed to disk before the rename: a large picture would
// wait for the disk on every save, and the rename already orders the data
// before the name on the file systems we run on (ext4's auto_da_alloc).
constexpr bool kFlushToDisk = false;

} // namespace

long long bitmapFileBytes(int width, int height) {
    const long long rowBytes = (static_cast<long long>(std::max(width, 0)) * 3 + 3) & ~3LL;
    return kHeaderBytes + rowBytes * std::max(height, 0);
}

// The file under its temporary name (outputfile/outputfile.h: the rules of
// where it may go, the permissions, nothing left behind unless committed).
struct BitmapWriter::File : jpeg::OutputFile {
    File() : OutputFile(kFlushToDisk) {}
    std::vector<unsigned char> buffer;
};

BitmapWriter::BitmapWriter() = default;

int BitmapWriter::osError() const {
    return file_ ? file_->error() : openError_;
}
BitmapWriter::~BitmapWriter() = default;

bool BitmapWriter::open(const std::string& path, int width, int height, std::string* error) {
    return open(jpeg::findDestination(path), width, height, error);
}

bool BitmapWriter::open(const jpeg::Destination& destination, int width, int height,
                        std::string* error) {
    file_.reset();
    if (width < 0 || height < 0)
        return fail(error, "a picture cannot have a negative size");
    const long long fileBytes = bitmapFileBytes(width, height);
    const long long pixelBytes = fileBytes - kHeaderBytes;
    if (fileBytes >= kMaxBitmapFileBytes)
        return fail(error, "the image is too large for a bitmap file");
    auto file = std::make_unique<File>();
    if (!file->create(destination)) {
        openError_ = file->error();
        return fail(error, fileError(*file));
    }

    unsigned char header[kHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<std::uint32_t>(kHeaderBytes + pixelBytes));
    put32(header + 10, kHeaderBytes);
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(width));
    put32(header + 22, static_cast<std::uint32_t>(height));
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, static_cast<std::uint32_t>(pixelBytes));
    put32(header + 38, 3780); // 96 dots per inch
    put32(header + 42, 3780);
    if (!file->write(header, kHeaderBytes))
        return fail(error, fileError(*file));
    file_ = std::move(file);
    width_ = width;
    rowsLeft_ = height;
    return true;
}

bool BitmapWriter::writeStrip(const std::uint32_t* pixels, std::ptrdiff_t stride, int rows,
                              std::string* error) {
    if (!file_ || rows < 0 || rows > rowsLeft_)
        return fail(error, "more rows than the picture has");
    // Bottom-up rows of blue, green, red, each padded to four bytes, converted
    // into a buffer of a few megabytes and written in one call per batch.
    const std::size_t rowBytes = (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t(3);
    const int batchRows = static_cast<int>(
        std::max<std::size_t>(1, kBatchBytes / std::max<std::size_t>(rowBytes, 1)));
    const std::size_t needed = rowBytes * static_cast<std::size_t>(std::min(batchRows, rows));
    if (file_->buffer.size() < needed)
        file_->buffer.resize(needed);
    for (int y = rows - 1; y >= 0;) {
        std::size_t filled = 0;
        for (int n = 0; n < batchRows && y >= 0; ++n, --y) {
            const std::uint32_t* src = pixels + static_cast<std::ptrdiff_t>(y) * stride;
            unsigned char* dst = file_->buffer.data() + filled;
            for (int x = 0; x < width_; ++x) {
                const std::uint32_t v = src[x];
                dst[3 * x] = v & 0xFF;
                dst[3 * x + 1] = (v >> 8) & 0xFF;
                dst[3 * x + 2] = (v >> 16) & 0xFF;
            }
            std::memset(dst + 3 * static_cast<std::size_t>(width_), 0,
                        rowBytes - 3 * static_cast<std::size_t>(width_));
            filled += rowBytes;
        }
        if (!file_->write(file_->buffer.data(), filled))
            return fail(error, fileError(*file_));
    }
    rowsLeft_ -= rows;
    return true;
}

bool BitmapWriter::commit(std::string* error) {
    if (!file_ || rowsLeft_ != 0)
        return fail(error, "the picture is not complete");
    const bool ok = file_->commit();
    const std::string why = fileError(*file_);
    file_.reset();
    return ok || fail(error, why);
}

bool writeBitmap(const Picture& image, const std::string& path, std::string* error) {
    BitmapWriter writer;
    if (!writer.open(path, image.width(), image.height(), error))
        return false;
    if (image.height() > 0 &&
        !writer.writeStrip(image.pixels(), image.stride(), image.height(), error))
        return false;
    return writer.commit(error);
}

} // namespace velmora::imageio
