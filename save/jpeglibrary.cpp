#include "save/jpeglibrary.h"

#include "imageio/bitmapwriter.h"
#include "libvelmora/statuswords.h"
#include "platform/filenames.h"
#include "save/strips.h"
#include "settings/settings.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <dlfcn.h>
#include <unistd.h>

namespace velmora {

namespace {

// The library by its SONAME: the major version this program was written for.
constexpr const char* kLibraryName = "libvelmora.so." VELMORA_LIBRARY_MAJOR;
// Where an installed program's library lies relative to its bin folder
// (../lib/x86_64-linux-gnu on Debian), from the install layout in CMake.
constexpr const char* kInstalledLibraryFolder = VELMORA_LIBDIR_FROM_BINDIR;

// The fill function's own status when the engine refused: below the library's
// codes, so that it comes back unchanged and is told apart from them.
constexpr std::int32_t kRowsNotMade = -100;
// The fill function's status when the save was asked to stop.
constexpr std::int32_t kStopped = -101;

// The room asked for a JPEG of this size: a quality-100 JPEG of an enlarged
// picture is well under half its bitmap's size.
constexpr long long kJpegShareOfBitmap = 2;

// The places to look, in order: the executable's folder (or the one given),
// as in the build tree; the installed library folder relative to it, so that
// an installed program takes the library installed with it, wherever the
// prefix; then the system's library path.
std::vector<std::string> candidates(const std::string& given, bool systemPath) {
    const std::string folder = given.empty() ? appFolder() : given;
    const std::string name = kLibraryName;
    std::vector<std::string> out;
    for (const std::string& path :
         {folder + '/' + name, folder + '/' + kInstalledLibraryFolder + '/' + name}) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            out.push_back(path);
    }
    if (systemPath)
        out.push_back(kLibraryName);
    return out;
}

// The system's reason for the last failure of the dynamic loader, in
// brackets, as the program has always shown it.
std::string loaderError() {
    const char* why = ::dlerror();
    return why != nullptr ? "(" + std::string(why) + ")" : std::string();
}

// A hidden bitmap file of a name of its own in folder, removed when done.
class TemporaryBitmap {
  public:
    explicit TemporaryBitmap(const std::string& folder) : name_(folder + "/.velmora-XXXXXX.bmp") {
        const int fd = ::mkstemps(name_.data(), 4);
        if (fd < 0) {
            error_ = std::strerror(errno);
            name_.clear();
            return;
        }
        ::close(fd);
    }
    ~TemporaryBitmap() {
        if (!name_.empty())
            ::unlink(name_.c_str());
    }
    TemporaryBitmap(const TemporaryBitmap&) = delete;
    TemporaryBitmap& operator=(const TemporaryBitmap&) = delete;

    // Empty when it could not be made (error() says why).
    const std::string& name() const { return name_; }
    const std::string& error() const { return error_; }

  private:
    std::string name_;
    std::string error_;
};

struct FillJob {
    const ResultRows& rows;
    RowProgress& progress;
};

// Called by the encoder's threads, each for its own strip: the strip is
// enlarged on that thread, straight into the encoder's buffer.
std::int32_t fillRows(void* context, std::int32_t first, std::int32_t count, unsigned char* rows,
                      std::int64_t bytesPerLine) {
    auto* job = static_cast<FillJob*>(context);
    if (job->progress.stopped())
        return kStopped;
    // Nothing may be thrown back into the library.
    try {
        if (!job->rows.fill(first, count, reinterpret_cast<std::uint32_t*>(rows),
                            static_cast<std::ptrdiff_t>(bytesPerLine / 4)))
            return kRowsNotMade;
        job->progress.add(count);
        return 0;
    } catch (...) {
        return kRowsNotMade;
    }
}

// The result of a library call: its words for a failure.
SaveResult fromLibrary(int status, const std::string& error = {}, int osError = 0) {
    if (status == 0)
        return {SaveStatus::Saved, std::string()};
    if (status == kRowsNotMade)
        return {SaveStatus::NotComputed, std::string()};
    if (status == kStopped)
        return {SaveStatus::Cancelled, std::string()};
    return {SaveStatus::Failed, error.empty() ? jpegStatusText(status) : error, status, osError};
}

long long jpegBytes(const ResultRows& rows) {
    return imageio::bitmapFileBytes(rows.width(), rows.height()) / kJpegShareOfBitmap;
}

} // namespace

std::string jpegStatusText(int status) {
    if (const jpeg::StatusWords* words = jpeg::findStatusWords(status))
        return words->japanese;
    return "変換ﾗｲﾌﾞﾗﾘがｴﾗｰ " + std::to_string(status) + " を返しました。";
}

JpegLibrary::JpegLibrary(std::string folder, bool systemPath)
    : folder_(std::move(folder)), systemPath_(systemPath) {}

JpegLibrary JpegLibrary::linked(ConvertRowsToFunction convertRowsTo) {
    JpegLibrary library;
    library.convertRowsTo_ = convertRowsTo;
    library.writer_ = &JpegLibrary::writeRows;
    return library;
}

JpegLibrary::~JpegLibrary() = default;
JpegLibrary::JpegLibrary(JpegLibrary&&) noexcept = default;
JpegLibrary& JpegLibrary::operator=(JpegLibrary&&) noexcept = default;

bool JpegLibrary::load(std::string* error) {
    if (writer_ != nullptr)
        return true;
    std::string why;
    for (const std::string& candidate : candidates(folder_, systemPath_)) {
        void* library = ::dlopen(candidate.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (library == nullptr) {
            why = "Cannot load library " + candidate + ": " + loaderError();
            continue;
        }
        const auto resolve = [library](const char* name) { return ::dlsym(library, name); };
        const auto bmp = reinterpret_cast<decltype(&ConvertBMPtoJPG)>(resolve("ConvertBMPtoJPG"));
        if (bmp == nullptr) {
            why =
                "Cannot resolve symbol \"ConvertBMPtoJPG\" in " + candidate + ": " + loaderError();
            ::dlclose(library);
            continue;
        }
        // Every version has ConvertBMPtoJPG; what else it has tells its age.
        convertBmp_ = bmp;
        convertPixels_ =
            reinterpret_cast<decltype(&ConvertPixelsToJPG)>(resolve("ConvertPixelsToJPG"));
        convertRows_ = reinterpret_cast<ConvertRowsFunction>(resolve("ConvertRowsToJPG"));
        writer_ = convertRows_     ? &JpegLibrary::writeRows
                  : convertPixels_ ? &JpegLibrary::writePixels
                                   : &JpegLibrary::writeBitmap;
        library_ = library;
        return true;
    }
    if (error)
        *error = why.empty() ? std::string(kLibraryName) + " was not found" : why;
    return false;
}

long long JpegLibrary::roomNeeded(const ResultRows& rows) const {
    const bool inMemory = writer_ == &JpegLibrary::writePixels && rows.wholePicture() != nullptr;
    if (writer_ == &JpegLibrary::writeRows || inMemory)
        return jpegBytes(rows);
    return imageio::bitmapFileBytes(rows.width(), rows.height()) + jpegBytes(rows);
}

SaveResult JpegLibrary::write(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                              const jpeg::Destination& destination, int quality,
                              RowProgress& progress) const {
    if (writer_ == nullptr)
        return {SaveStatus::Failed, std::string(kLibraryName) + " is not loaded", kLibraryMissing};
    return (this->*writer_)(rows, markers, destination, quality, progress);
}

SaveResult JpegLibrary::writeRows(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                                  const jpeg::Destination& destination, int quality,
                                  RowProgress& progress) const {
    std::vector<VelmoraMarker> segments;
    for (const JpegMarker& m : markers)
        segments.push_back({m.code, reinterpret_cast<const unsigned char*>(m.bytes.data()),
                            static_cast<std::int32_t>(m.bytes.size())});
    FillJob job{rows, progress};
    errno = 0;
    const auto count = static_cast<std::int32_t>(segments.size());
    const int status =
        convertRowsTo_ ? convertRowsTo_(fillRows, &job, rows.width(), rows.height(), 4,
                                        segments.data(), count, destination, quality)
                       : convertRows_(fillRows, &job, rows.width(), rows.height(), 4,
                                      segments.data(), count, destination.file.c_str(), quality);
    return fromLibrary(status, {}, status == VELMORA_E_DESTINATION ? errno : 0);
}

// The library before ConvertRowsToJPG takes a picture already in memory as it
// lies; anything else goes by way of a bitmap file.
SaveResult JpegLibrary::writePixels(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                                    const jpeg::Destination& destination, int quality,
                                    RowProgress& progress) const {
    const imageio::Picture* picture = rows.wholePicture();
    if (picture == nullptr)
        return writeBitmap(rows, markers, destination, quality, progress);
    return fromLibrary(convertPixels_(reinterpret_cast<const unsigned char*>(picture->pixels()),
                                      picture->width(), picture->height(),
                                      static_cast<int>(picture->stride() * 4), 4,
                                      destination.file.c_str(), quality));
}

// The first library converts a bitmap file: a hidden one with a unique name
// beside the destination, on the disk whose room was checked, and not in the
// system's temporary folder, which is often held in memory. It is written
// strip by strip and deleted whatever happens.
SaveResult JpegLibrary::writeBitmap(const ResultRows& rows, const std::vector<JpegMarker>&,
                                    const jpeg::Destination& destination, int quality,
                                    RowProgress& progress) const {
    const TemporaryBitmap bitmap(
        platform::folderOf(platform::cleanPath(platform::absoluteName(destination.file))));
    if (bitmap.name().empty())
        return {SaveStatus::Failed, bitmap.error()};
    // The hidden bitmap is a file of its own, found as such.
    const SaveResult written =
        writeBitmapStrips(rows, jpeg::findDestination(bitmap.name()), progress);
    if (written.status != SaveStatus::Saved)
        return written;
    std::string error;
    const int status = convertBitmap(bitmap.name(), destination.file, &error, quality);
    return fromLibrary(status, error);
}

int JpegLibrary::convertBitmap(const std::string& bitmapPath, const std::string& jpegPath,
                               std::string* error, int quality) const {
    if (convertBmp_ == nullptr) {
        if (error)
            *error = std::string(kLibraryName) + " is not loaded";
        return kLibraryMissing;
    }
    std::string destination = jpegPath;
    const int status = convertBmp_(bitmapPath.c_str(), destination.data(), -1, quality, -1);
    if (status != 0 && error)
        *error = jpegStatusText(status);
    return status;
}

} // namespace velmora
