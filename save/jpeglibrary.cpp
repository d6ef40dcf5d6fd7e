#include "save/jpeglibrary.h"

#include "platform/filenames.h"
#include "save/jpegstatus.h"
#include "settings/settings.h"

#include <QFileInfo>
#include <QImage>
#include <QLibrary>
#include <QStringList>

#include <cstdint>
#include <mutex>

namespace velmora {

namespace {

using ConvertFn = std::int16_t (*)(const char*, char*, std::int32_t, std::int32_t, std::int32_t);
using ConvertPixelsFn = std::int16_t (*)(const void*, std::int32_t, std::int32_t, std::int64_t,
                                         std::int32_t, const char*, std::int32_t);

// The library by its SONAME: the major version this program was written for.
constexpr const char* kLibraryName = "libvelmora.so." VELMORA_LIBRARY_MAJOR;
// Where an installed program's library lies relative to its bin folder
// (../lib/x86_64-linux-gnu on Debian), from the install layout in CMake.
constexpr const char* kInstalledLibraryFolder = VELMORA_LIBDIR_FROM_BINDIR;
constexpr const char* kFunctionName = "ConvertBMPtoJPG";
constexpr const char* kPixelsFunctionName = "ConvertPixelsToJPG";
constexpr const char* kRowsFunctionName = "ConvertRowsToJPG";

struct Functions {
    ConvertFn convert = nullptr;
    // Absent from a library older than the program: the save then goes by way
    // of a bitmap file, or of the picture in memory at 1:1.
    ConvertPixelsFn convertPixels = nullptr;
    decltype(&ConvertRowsToJPG) convertRows = nullptr;
};

struct Loaded {
    QString folder; // the folder searched first; empty: the executable's folder
    bool systemPath = true;
    Functions functions;
    QString error;
};

Loaded& loaded() {
    static Loaded state;
    return state;
}

std::mutex& loadMutex() {
    static std::mutex m;
    return m;
}

// The places to look, in order: the executable's folder (or the folder a test
// set), as in the build tree; the installed library folder relative to it, so
// that an installed program takes the library installed with it, wherever the
// prefix; then the system's library path.
QStringList candidates(const Loaded& s) {
    const QString folder = s.folder.isEmpty() ? App_Folder() : s.folder;
    const QString name = QLatin1String(kLibraryName);
    QStringList out;
    for (const QString& path : {folder + QLatin1Char('/') + name,
                                folder + QLatin1Char('/') + QLatin1String(kInstalledLibraryFolder) +
                                    QLatin1Char('/') + name}) {
        if (QFileInfo::exists(path))
            out << path;
    }
    if (s.systemPath)
        out << QLatin1String(kLibraryName);
    return out;
}

// The library's functions; convert is null when the library was not found.
Functions load(QString* error) {
    std::lock_guard lock(loadMutex());
    Loaded& s = loaded();
    // Until it has been found, the library is looked for at every use, so that
    // installing it after a failed save needs no restart.
    if (s.functions.convert == nullptr) {
        s.error.clear();
        for (const QString& candidate : candidates(s)) {
            QLibrary library(candidate);
            s.functions.convert = reinterpret_cast<ConvertFn>(library.resolve(kFunctionName));
            if (s.functions.convert != nullptr) {
                s.functions.convertPixels =
                    reinterpret_cast<ConvertPixelsFn>(library.resolve(kPixelsFunctionName));
                s.functions.convertRows = reinterpret_cast<decltype(&ConvertRowsToJPG)>(
                    library.resolve(kRowsFunctionName));
                break;
            }
            s.error = library.errorString();
            library.unload();
        }
        if (s.functions.convert == nullptr && s.error.isEmpty())
            s.error = QStringLiteral("%1 was not found").arg(QLatin1String(kLibraryName));
    }
    if (s.functions.convert == nullptr && error)
        *error = s.error;
    return s.functions;
}

// Pixels the library takes as they lie: 32-bit words, blue first in memory;
// the alpha byte is ignored, as the bitmap writer ignores it.
bool isWholeWords(const QImage& picture) {
    return picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
}

// The library's status, its words put in error when it is a failure.
int statusOf(int status, QString* error) {
    if (status != 0 && error)
        *error = Jpeg_Status_Text(status);
    return status;
}

} // namespace

void Set_Library_Folder(const QString& folder, bool thenSystemPath) {
    std::lock_guard lock(loadMutex());
    loaded() = Loaded();
    loaded().folder = folder;
    loaded().systemPath = thenSystemPath;
}

JpegLibrary Jpeg_Library(QString* error) {
    const Functions library = load(error);
    return {library.convert != nullptr, library.convertRows};
}

int ConvertBitmapToJpeg(const QString& bitmapPath, const QString& jpegPath, QString* error,
                        int quality) {
    const Functions library = load(error);
    if (library.convert == nullptr)
        return kLibraryMissing;
    const QByteArray source = platform::NameToBytes(bitmapPath);
    QByteArray destination = platform::NameToBytes(jpegPath);
    return statusOf(library.convert(source.constData(), destination.data(), -1, quality, -1),
                    error);
}

bool Converts_Picture_In_Memory(const QImage& picture) {
    return load(nullptr).convertPixels != nullptr && isWholeWords(picture);
}

int ConvertPictureToJpeg(const QImage& picture, const QString& jpegPath, QString* error,
                         int quality) {
    const Functions library = load(error);
    if (library.convert == nullptr)
        return kLibraryMissing;
    if (library.convertPixels == nullptr || !isWholeWords(picture)) {
        if (error)
            *error = QStringLiteral("%1 has no %2 for this picture")
                         .arg(QLatin1String(kLibraryName), QLatin1String(kPixelsFunctionName));
        return kLibraryMissing;
    }
    const QByteArray destination = platform::NameToBytes(jpegPath);
    return statusOf(library.convertPixels(picture.constBits(), picture.width(), picture.height(),
                                          picture.bytesPerLine(), 4, destination.constData(),
                                          quality),
                    error);
}

} // namespace velmora
