// Reading a Windows bitmap file: its headers first, checked against the
// file's length before any pixel is read, then any of its rows, top row first,
// from several threads at once. Plain C++ without Qt, so that the conversion
// library reads bitmaps with it as the program and the batch tool do.
//
// Read: the signature "BM"; an info header of 12 bytes (OS/2 1.x: 16-bit
// sides, 3-byte palette entries), 40, 64 (OS/2 2.x), 108 or 124 bytes (the
// colour space, alpha mask and profile ignored); one plane; rows bottom-up
// (positive height) or top-down (negative height), padded to 4 bytes.
//   - 1, 4 and 8-bit palettes: as many entries as the header says, or 2, 16
//     and 256 when it says 0 (or less); uncompressed, or run-length coded at
//     8 and 4 bits, where the pixels that the codes skip (a jump, the end of a
//     row or of the picture) take the palette's first colour;
//   - 16 and 32-bit pixels through colour masks: the file's own (after a
//     40 or 64-byte header, or in a 108 or 124-byte one) when it says so,
//     each channel's bits contiguous and scaled to 8 bits by repeating its
//     high bits (a full channel is 255); otherwise 5-5-5 and 8-8-8;
//   - 24-bit pixels, blue, green, red.
// Refused: anything else; a header whose pixel data would not fit in the
// file; a palette index beyond the palette; a run-length stream that ends
// before its picture does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::imageio {

enum class BitmapStatus {
    Ok,
    NotABitmap,       // not a bitmap read here, or inconsistent or incomplete data
    TooLarge,         // a side above the caller's limit
    SourceUnreadable, // the system could not read the file
    OutOfMemory,      // the reader's own buffers could not be had
};

// The file's bytes, wherever they come from.
class BitmapSource {
  public:
    virtual ~BitmapSource() = default;
    // The file's length in bytes.
    virtual std::uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`: NotABitmap when the file ends
    // first, SourceUnreadable when the system fails.
    virtual BitmapStatus readAt(std::uint64_t offset, unsigned char* buffer,
                                std::size_t count) const = 0;
};

// An open file read with pread: safe from several threads at once.
class DescriptorSource final : public BitmapSource {
  public:
    DescriptorSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t size() const override { return size_; }
    BitmapStatus readAt(std::uint64_t offset, unsigned char* buffer,
                        std::size_t count) const override;

  private:
    int fd_;
    std::uint64_t size_;
};

enum class BitmapCoding { Plain, RunLength8, RunLength4 };

// What the headers say, checked.
struct BitmapLayout {
    int width = 0;
    int height = 0;
    bool topDown = false; // the top row is stored first
    int bitsPerPixel = 0; // 1, 4, 8, 16, 24 or 32
    BitmapCoding coding = BitmapCoding::Plain;
    std::uint64_t dataOffset = 0;       // the first stored row, or the run-length stream
    std::uint64_t rowBytes = 0;         // a stored row with its padding (uncompressed rows)
    std::vector<std::uint32_t> palette; // 0x00RRGGBB per entry (1, 4 and 8 bits)
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0; // 16 and 32 bits
};

// Reads and checks the headers and the palette. A side above maxSide gives
// TooLarge. why, when given, gets a few words on a refusal (a static string).
BitmapStatus readBitmapLayout(const BitmapSource& source, int maxSide, BitmapLayout* layout,
                              const char** why = nullptr);

// The rows of a checked bitmap.
class BitmapRows {
  public:
    enum class Format {
        Bgr,  // 3 bytes: blue, green, red
        Bgrx, // 4 bytes: blue, green, red, 255 (a little-endian 0xFFRRGGBB word)
    };

    // The source must outlive the rows.
    BitmapRows(const BitmapSource& source, BitmapLayout layout);

    // Run-length rows are found only by reading the codes before them: this
    // reads the whole stream once, checking it, and notes where each row
    // starts so that fill() can begin anywhere. Without it, fill() reads the
    // stream from its start each time (right for one fill of the whole
    // picture). Uncompressed rows need nothing.
    BitmapStatus indexRuns(const char** why = nullptr);

    // Writes rows first .. first + count - 1 (the top row is 0) in `format`,
    // row first + i at out + i * stride. Reads in pieces of at most a
    // megabyte or one stored row. May be called from several threads at once.
    // On failure the rows hold anything.
    BitmapStatus fill(int first, int count, Format format, unsigned char* out, std::size_t stride,
                      const char** why = nullptr) const;

  private:
    struct Channel {
        int shift = 0;                 // of the channel's top 8 bits (or fewer)
        std::uint32_t mask = 0;        // of those bits, after the shift
        unsigned char level[256] = {}; // what each value is in 8 bits
    };
    // Where the run-length codes stand: the next code's byte in the file and
    // the cursor, in stored rows (0 is the first stored row).
    struct RunState {
        std::uint64_t offset = 0;
        int x = 0;
        int row = 0;
    };
    class RunVisitor;

    template <int kBytes>
    BitmapStatus fillPlain(int first, int count, unsigned char* out, std::size_t stride,
                           const char** why) const;
    template <int kBytes>
    BitmapStatus fillRuns(int first, int count, unsigned char* out, std::size_t stride,
                          const char** why) const;
    template <int kBytes> bool decodeRow(const unsigned char* in, unsigned char* out) const;
    std::uint32_t masked(std::uint32_t pixel) const;
    BitmapStatus walkRuns(RunState& state, int stopRow, RunVisitor& visitor,
                          const char** why) const;

    const BitmapSource& source_;
    BitmapLayout layout_;
    Channel channels_[3];             // red, green, blue
    std::vector<RunState> rowStarts_; // per stored row, after indexRuns()
};

} // namespace velmora::imageio
