// ConvertBMPtoJPG: bitmap file in, JPEG file out.
//
// Steps: check the arguments; open the source and check the few header fields
// that bound memory (signature, dimensions, claimed data length); create the
// temporary destination so that an unwritable folder fails before any pixel
// work; let libjpeg-turbo's loader read the pixels; compress; write, fsync and
// rename. Every resource lives in an RAII holder, so each early return cleans
// up, and no exception crosses the C boundary.

#include "velmora.h"

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

// BMP layout: a 14-byte file header ("BM", file size, reserved, pixel data
// offset) followed by the info header, whose first field is its own size.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12; // OS/2 1.x: 16-bit width and height
constexpr std::size_t kInfoHeaderSize = 40; // Windows: 32-bit signed fields
constexpr std::size_t kLargestLoadedHeader = 64;

constexpr int kTempNameAttempts = 64;
constexpr int kPixelFormat = TJPF_BGR; // the loader's fast path for 24-bit data
constexpr int kPixelSize = 3;

// Status as a 16-bit value for the C signature.
constexpr int16_t status(int code) {
    return static_cast<int16_t>(code);
}

uint32_t le16(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t le32Signed(const unsigned char* p) {
    uint32_t v = le32(p);
    int32_t s;
    std::memcpy(&s, &v, sizeof s);
    return s;
}

bool containsNoCase(const char* text, const char* word) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower.find(word) != std::string::npos;
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    // Closes now and reports whether the close succeeded (a deferred write
    // error can surface here).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

struct TjFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjFree>;

struct TjDestroy {
    void operator()(void* h) const { tjDestroy(h); }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

// Reads exactly size bytes at offset; false on a short read or an error.
bool readAt(int fd, unsigned char* buffer, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Checks what must hold before the loader allocates anything: the signature
// (the loader would also take PPM), positive dimensions within the limits,
// and a file long enough for the rows the header claims. Everything else
// (depth, compression, palette) is the loader's to judge.
int checkHeader(int fd, uint64_t fileSize) {
    unsigned char h[kFileHeaderSize + kInfoHeaderSize] = {};
    if (fileSize < kFileHeaderSize + 4 || !readAt(fd, h, kFileHeaderSize + 4, 0))
        return VELMORA_E_NOT_A_BITMAP;
    if (h[0] != 'B' || h[1] != 'M')
        return VELMORA_E_NOT_A_BITMAP;
    const uint32_t dataOffset = le32(h + 10);
    const uint32_t infoSize = le32(h + 14);
    if (infoSize != kCoreHeaderSize &&
        (infoSize < kInfoHeaderSize || infoSize > kLargestLoadedHeader))
        return VELMORA_E_NOT_A_BITMAP; // V4/V5 and unknown headers: the loader refuses them
    const std::size_t fieldsEnd = kFileHeaderSize + (infoSize == kCoreHeaderSize ? 12 : 40);
    if (fileSize < fieldsEnd || !readAt(fd, h, fieldsEnd, 0))
        return VELMORA_E_NOT_A_BITMAP;

    int64_t width, height;
    uint32_t bitsPerPixel, compression;
    if (infoSize == kCoreHeaderSize) {
        width = le16(h + 18);
        height = le16(h + 20);
        bitsPerPixel = le16(h + 24);
        compression = 0;
    } else {
        width = le32Signed(h + 18);
        height = le32Signed(h + 22); // negative: rows stored top-down
        bitsPerPixel = le16(h + 28);
        compression = le32(h + 30);
    }
    // The loader reads bottom-up rows only; a top-down or empty image is not
    // something it can give back.
    if (width <= 0 || height <= 0)
        return VELMORA_E_NOT_A_BITMAP;
    if (width > VELMORA_MAX_DIMENSION || height > VELMORA_MAX_DIMENSION ||
        width * height > VELMORA_MAX_PIXELS)
        return VELMORA_E_TOO_LARGE;
    if (dataOffset < kFileHeaderSize + infoSize)
        return VELMORA_E_NOT_A_BITMAP;
    if (compression == 0) {
        // Rows are padded to 4 bytes. With width below 2^16 and at most 2^16
        // bits per pixel every product here stays far inside 64 bits.
        const uint64_t rowBytes = (uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
        if (uint64_t(dataOffset) + rowBytes * uint64_t(height) > fileSize)
            return VELMORA_E_NOT_A_BITMAP;
    }
    return VELMORA_OK;
}

// Maps the loader's and the compressor's error text onto a status. TurboJPEG
// 2.1 reports errors as text only; its allocation failures say "Memory
// allocation failure" or "Insufficient memory".
int classify(const char* message, int otherwise) {
    if (message && containsNoCase(message, "memory"))
        return VELMORA_E_OUT_OF_MEMORY;
    return otherwise;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A uniquely named file next to the destination. Created with O_EXCL and mode
// 0666 so the kernel applies the umask as for any new file; removed on
// destruction unless committed by the rename.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        fd_.close();
        if (!path_.empty())
            ::unlink(path_.c_str());
    }

    bool create(const std::string& folder) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
            uint64_t random = 0;
            if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
                random = (uint64_t(::getpid()) << 32) ^ counter.fetch_add(1);
            char name[40];
            std::snprintf(name, sizeof name, "/.velmora-%016llx.tmp",
                          static_cast<unsigned long long>(random));
            std::string path = folder + name;
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                path_ = std::move(path);
                fd_.reset(fd);
                return true;
            }
            if (errno != EEXIST && errno != EINTR)
                return false;
        }
        return false;
    }

    int fd() const { return fd_.get(); }

    bool writeAll(const unsigned char* data, std::size_t size) {
        while (size > 0) {
            ssize_t n = ::write(fd_.get(), data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // fsync before the rename: without it a crash shortly after could leave
    // the new name pointing at an empty file on file systems that delay
    // allocation. It costs milliseconds against the compression's seconds.
    bool commit(const std::string& destination) {
        if (::fsync(fd_.get()) != 0 || !fd_.close())
            return false;
        if (::rename(path_.c_str(), destination.c_str()) != 0)
            return false;
        path_.clear();
        return true;
    }

  private:
    Descriptor fd_;
    std::string path_;
};

int convert(const char* sourcePath, const char* destinationPath, int quality) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    Descriptor source(::open(sourcePath, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat sourceStat;
    if (source.get() < 0 || ::fstat(source.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return VELMORA_E_SOURCE_UNREADABLE;
    if (int rc = checkHeader(source.get(), uint64_t(sourceStat.st_size)); rc != VELMORA_OK)
        return rc;

    const std::string destination(destinationPath);
    TempFile temp;
    if (!temp.create(folderOf(destination)))
        return VELMORA_E_DESTINATION;
    struct stat destinationStat;
    if (::stat(destinationPath, &destinationStat) == 0 && S_ISREG(destinationStat.st_mode))
        (void)::fchmod(temp.fd(), destinationStat.st_mode & 07777);

    // The loader opens by name; through /proc it opens the very file checked
    // above, even if the path was replaced meanwhile.
    char procPath[32];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", source.get());
    const char* loadPath = ::access(procPath, R_OK) == 0 ? procPath : sourcePath;
    int width = 0, height = 0, pixelFormat = kPixelFormat;
    TjBuffer pixels(tjLoadImage(loadPath, &width, 1, &height, &pixelFormat, 0));
    if (!pixels)
        return classify(tjGetErrorStr2(nullptr), VELMORA_E_NOT_A_BITMAP);
    source.close();
    if (pixelFormat != kPixelFormat || width <= 0 || height <= 0)
        return VELMORA_E_NOT_A_BITMAP;

    TjHandle compressor(tjInitCompress());
    if (!compressor)
        return classify(tjGetErrorStr2(nullptr), VELMORA_E_COMPRESSION);
    unsigned char* jpegData = nullptr;
    unsigned long jpegSize = 0;
    // Accurate integer DCT at every quality: TurboJPEG switches to the fast
    // DCT below quality 96 otherwise, and the SIMD accurate DCT costs little.
    const int rc =
        tjCompress2(compressor.get(), pixels.get(), width, width * kPixelSize, height, pixelFormat,
                    &jpegData, &jpegSize, TJSAMP_444, quality, TJFLAG_ACCURATEDCT);
    TjBuffer jpeg(jpegData);
    if (rc != 0)
        return classify(tjGetErrorStr2(compressor.get()), VELMORA_E_COMPRESSION);
    pixels.reset(); // the pixels are no longer needed while writing

    if (!temp.writeAll(jpeg.get(), jpegSize) || !temp.commit(destination))
        return VELMORA_E_DESTINATION;
    return VELMORA_OK;
}

} // namespace

extern "C" VELMORA_API int16_t ConvertBMPtoJPG(const char* sourcePath, char* destinationPath,
                                               int32_t arg3, int32_t quality, int32_t arg5) {
    if (!sourcePath || !destinationPath || !*sourcePath || !*destinationPath || arg3 != -1 ||
        arg5 != -1 || quality < 1 || quality > 100)
        return status(VELMORA_E_ARGUMENT);
    try {
        return status(convert(sourcePath, destinationPath, quality));
    } catch (const std::bad_alloc&) {
        return status(VELMORA_E_OUT_OF_MEMORY);
    } catch (...) {
        return status(VELMORA_E_COMPRESSION);
    }
}
