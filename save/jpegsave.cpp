#include "save/jpegsave.h"

#include "imageio/bitmapwriter.h"
#include "platform/filenames.h"
#include "save/bitmapstrips.h"
#include "save/jpeglibrary.h"
#include "save/jpegstatus.h"
#include "save/metadatamarkers.h"
#include "save/savelimits.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace velmora {

namespace {

// The fill function's own status when the engine refused: below the library's
// codes, so that it comes back unchanged and is told apart from them.
constexpr std::int32_t kRowsNotMade = -100;

struct FillJob {
    const ResultRows& rows;
    RowProgress& progress;
};

// Called by the encoder's threads, each for its own strip: the strip is
// enlarged on that thread, straight into the encoder's buffer.
std::int32_t fillRows(void* context, std::int32_t first, std::int32_t count, unsigned char* rows,
                      std::int64_t bytesPerLine) {
    auto* job = static_cast<FillJob*>(context);
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
SaveResult fromLibrary(int status, const QString& error, int osError = 0) {
    if (status == 0)
        return {SaveStatus::Saved, QString()};
    if (status == kRowsNotMade)
        return {SaveStatus::NotComputed, QString()};
    return {SaveStatus::Failed, error.isEmpty() ? Jpeg_Status_Text(status) : error, status,
            osError};
}

SaveResult writeThroughRows(ConvertRowsFunction entry, const ResultRows& rows,
                            const SourceMetadata& metadata, const QString& path,
                            const SaveOptions& options, RowProgress& progress) {
    // The source's metadata first, as a camera writes it: EXIF, then the
    // profile; then the caller's own segments.
    std::vector<JpegMarker> segments = Metadata_Markers(metadata, {rows.width(), rows.height()});
    segments.insert(segments.end(), options.markers.begin(), options.markers.end());
    std::vector<VelmoraMarker> markers;
    for (const JpegMarker& m : segments)
        markers.push_back({m.code, reinterpret_cast<const unsigned char*>(m.bytes.constData()),
                           static_cast<std::int32_t>(m.bytes.size())});
    FillJob job{rows, progress};
    const QByteArray destination = platform::NameToBytes(path);
    errno = 0;
    const int status =
        entry(fillRows, &job, rows.width(), rows.height(), 4, markers.data(),
              static_cast<std::int32_t>(markers.size()), destination.constData(), options.quality);
    const int osError = status == VELMORA_E_DESTINATION ? errno : 0;
    return fromLibrary(status, QString(), osError);
}

// A library without the strip-fed entry converts a bitmap file: a hidden one
// with a unique name beside the destination, on the disk whose room was
// checked, and not in the system's temporary folder, which is often held in
// memory. It is written strip by strip and deleted whatever happens.
SaveResult writeThroughBitmap(const ResultRows& rows, const QString& path,
                              const SaveOptions& options, RowProgress& progress) {
    QTemporaryFile bitmap(QFileInfo(path).absolutePath() + QStringLiteral("/.velmora-XXXXXX.bmp"));
    if (!bitmap.open())
        return {SaveStatus::Failed, bitmap.errorString()};
    bitmap.close();
    const SaveResult written = Write_Bitmap_Strips(rows, bitmap.fileName(), progress);
    if (written.status != SaveStatus::Saved)
        return written;
    QString error;
    const int status = ConvertBitmapToJpeg(bitmap.fileName(), path, &error, options.quality);
    return fromLibrary(status, error);
}

} // namespace

SaveResult Write_Jpeg(const ResultRows& rows, const Recipe& recipe, const QString& path,
                      const SaveOptions& options, RowProgress& progress) {
    const QSize size(rows.width(), rows.height());
    const long long jpegBytes = Estimated_Jpeg_Bytes(size);
    QString error;
    ConvertRowsFunction entry = options.jpegEntry;
    if (entry == nullptr) {
        const JpegLibrary library = Jpeg_Library(&error);
        // Nothing is written for a conversion that cannot happen.
        if (!library.found)
            return {SaveStatus::Failed, error, kLibraryMissing, 0};
        entry = library.convertRows;
    }
    // The 1:1 picture is in memory already: an older library takes it from there.
    const bool inMemory =
        entry == nullptr && recipe.ratio == 0 && Converts_Picture_In_Memory(recipe.source);
    const bool throughBitmap = entry == nullptr && !inMemory;
    const long long needed = throughBitmap
                                 ? imageio::BitmapFileBytes(size.width(), size.height()) + jpegBytes
                                 : jpegBytes;
    if (options.checkRoom && !Has_Room(path, needed, &error))
        return {SaveStatus::NoRoom, error};
    if (entry != nullptr)
        return writeThroughRows(entry, rows, recipe.metadata, path, options, progress);
    if (inMemory) {
        const int status = ConvertPictureToJpeg(recipe.source, path, &error, options.quality);
        return fromLibrary(status, error);
    }
    return writeThroughBitmap(rows, path, options, progress);
}

} // namespace velmora
