#include "save/jpeglibrary.h"

#include "gui/filenames.h"
#include "imageio/bitmapwriter.h"
#include "libvelmora/statuswords.h"
#include "save/bitmapstrips.h"
#include "settings/settings.h"

#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdint>

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
QStringList candidates(const QString& given, bool systemPath) {
    const QString folder = given.isEmpty() ? gui::nameFromBytes(appFolder()) : given;
    const QString name = QLatin1String(kLibraryName);
    QStringList out;
    for (const QString& path : {folder + QLatin1Char('/') + name,
                                folder + QLatin1Char('/') + QLatin1String(kInstalledLibraryFolder) +
                                    QLatin1Char('/') + name}) {
        if (QFileInfo::exists(path))
            out << path;
    }
    if (systemPath)
        out << QLatin1String(kLibraryName);
    return out;
}

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
SaveResult fromLibrary(int status, const QString& error = {}, int osError = 0) {
    if (status == 0)
        return {SaveStatus::Saved, QString()};
    if (status == kRowsNotMade)
        return {SaveStatus::NotComputed, QString()};
    if (status == kStopped)
        return {SaveStatus::Cancelled, QString()};
    return {SaveStatus::Failed, error.isEmpty() ? jpegStatusText(status) : error, status, osError};
}

long long jpegBytes(const ResultRows& rows) {
    return imageio::bitmapFileBytes(rows.width(), rows.height()) / kJpegShareOfBitmap;
}

} // namespace

QString jpegStatusText(int status) {
    if (const jpeg::StatusWords* words = jpeg::findStatusWords(status))
        return QString::fromUtf8(words->japanese);
    return QStringLiteral("変換ﾗｲﾌﾞﾗﾘがｴﾗｰ %1 を返しました。").arg(status);
}

JpegLibrary::JpegLibrary(QString folder, bool systemPath)
    : folder_(std::move(folder)), systemPath_(systemPath) {}

JpegLibrary JpegLibrary::linked(ConvertRowsFunction convertRows) {
    JpegLibrary library;
    library.convertRows_ = convertRows;
    library.writer_ = &JpegLibrary::writeRows;
    return library;
}

JpegLibrary::~JpegLibrary() = default;
JpegLibrary::JpegLibrary(JpegLibrary&&) noexcept = default;
JpegLibrary& JpegLibrary::operator=(JpegLibrary&&) noexcept = default;

bool JpegLibrary::load(QString* error) {
    if (writer_ != nullptr)
        return true;
    QString why;
    for (const QString& candidate : candidates(folder_, systemPath_)) {
        auto library = std::make_unique<QLibrary>(candidate);
        const auto bmp =
            reinterpret_cast<decltype(&ConvertBMPtoJPG)>(library->resolve("ConvertBMPtoJPG"));
        if (bmp == nullptr) {
            why = library->errorString();
            continue;
        }
        // Every version has ConvertBMPtoJPG; what else it has tells its age.
        convertBmp_ = bmp;
        convertPixels_ =
            reinterpret_cast<decltype(&ConvertPixelsToJPG)>(library->resolve("ConvertPixelsToJPG"));
        convertRows_ = reinterpret_cast<ConvertRowsFunction>(library->resolve("ConvertRowsToJPG"));
        writer_ = convertRows_     ? &JpegLibrary::writeRows
                  : convertPixels_ ? &JpegLibrary::writePixels
                                   : &JpegLibrary::writeBitmap;
        library_ = std::move(library);
        return true;
    }
    if (error)
        *error = why.isEmpty() ? QStringLiteral("%1 was not found").arg(QLatin1String(kLibraryName))
                               : why;
    return false;
}

long long JpegLibrary::roomNeeded(const ResultRows& rows) const {
    const bool inMemory = writer_ == &JpegLibrary::writePixels && rows.wholePicture() != nullptr;
    if (writer_ == &JpegLibrary::writeRows || inMemory)
        return jpegBytes(rows);
    return imageio::bitmapFileBytes(rows.width(), rows.height()) + jpegBytes(rows);
}

SaveResult JpegLibrary::write(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                              const QString& path, int quality, RowProgress& progress) const {
    if (writer_ == nullptr)
        return {SaveStatus::Failed, QStringLiteral("%1 is not loaded").arg(kLibraryName),
                kLibraryMissing};
    return (this->*writer_)(rows, markers, path, quality, progress);
}

SaveResult JpegLibrary::writeRows(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                                  const QString& path, int quality, RowProgress& progress) const {
    std::vector<VelmoraMarker> segments;
    for (const JpegMarker& m : markers)
        segments.push_back({m.code, reinterpret_cast<const unsigned char*>(m.bytes.constData()),
                            static_cast<std::int32_t>(m.bytes.size())});
    FillJob job{rows, progress};
    const QByteArray destination = gui::nameToBytes(path);
    errno = 0;
    const int status =
        convertRows_(fillRows, &job, rows.width(), rows.height(), 4, segments.data(),
                     static_cast<std::int32_t>(segments.size()), destination.constData(), quality);
    return fromLibrary(status, {}, status == VELMORA_E_DESTINATION ? errno : 0);
}

// The library before ConvertRowsToJPG takes a picture already in memory as it
// lies; anything else goes by way of a bitmap file.
SaveResult JpegLibrary::writePixels(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                                    const QString& path, int quality, RowProgress& progress) const {
    const QImage* picture = rows.wholePicture();
    if (picture == nullptr)
        return writeBitmap(rows, markers, path, quality, progress);
    const QByteArray destination = gui::nameToBytes(path);
    return fromLibrary(convertPixels_(picture->constBits(), picture->width(), picture->height(),
                                      picture->bytesPerLine(), 4, destination.constData(),
                                      quality));
}

// The first library converts a bitmap file: a hidden one with a unique name
// beside the destination, on the disk whose room was checked, and not in the
// system's temporary folder, which is often held in memory. It is written
// strip by strip and deleted whatever happens.
SaveResult JpegLibrary::writeBitmap(const ResultRows& rows, const std::vector<JpegMarker>&,
                                    const QString& path, int quality, RowProgress& progress) const {
    QTemporaryFile bitmap(QFileInfo(path).absolutePath() + QStringLiteral("/.velmora-XXXXXX.bmp"));
    if (!bitmap.open())
        return {SaveStatus::Failed, bitmap.errorString()};
    bitmap.close();
    const SaveResult written = writeBitmapStrips(rows, bitmap.fileName(), progress);
    if (written.status != SaveStatus::Saved)
        return written;
    QString error;
    const int status = convertBitmap(bitmap.fileName(), path, &error, quality);
    return fromLibrary(status, error);
}

int JpegLibrary::convertBitmap(const QString& bitmapPath, const QString& jpegPath, QString* error,
                               int quality) const {
    if (convertBmp_ == nullptr) {
        if (error)
            *error = QStringLiteral("%1 is not loaded").arg(kLibraryName);
        return kLibraryMissing;
    }
    const QByteArray source = gui::nameToBytes(bitmapPath);
    QByteArray destination = gui::nameToBytes(jpegPath);
    const int status = convertBmp_(source.constData(), destination.data(), -1, quality, -1);
    if (status != 0 && error)
        *error = jpegStatusText(status);
    return status;
}

} // namespace velmora
