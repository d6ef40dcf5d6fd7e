#include "tools/enlarge/enlargefile.h"

#include "engine/enlarge.h"
#include "imageio/imagereader.h"
#include "libvelmora/destination.h"
#include "libvelmora/statuswords.h"
#include "libvelmora/velmora.h"
#include "save/jpeglibrary.h"
#include "save/savelimits.h"

#include <QImage>
#include <QSize>

#include <cerrno>
#include <cstring>

namespace velmora::tool {

namespace {

// Rows of the result the save makes at a time, two strips at once on each
// core (save/): what reading the source leaves room for.
constexpr int kStripRows = 64;

// The picture read, its metadata and what its enlargement will be.
struct Source {
    QImage picture;
    SourceMetadata metadata;
    EnlargeGeometry geometry;
};

QString describe(const QSize& size, const QString& ratioText) {
    return QStringLiteral("the result of %1 x %2 at %3")
        .arg(size.width())
        .arg(size.height())
        .arg(ratioText);
}

// Why a result of this geometry cannot be written as the output kind; empty
// when it can.
QString formatRefusal(const EnlargeGeometry& g, SaveKind kind, const QString& what) {
    if (!g.valid)
        return what + QStringLiteral(" is too large");
    if (g.empty())
        return what + QStringLiteral(" has no pixels");
    if (formatHolds(QSize(g.width, g.height), kind))
        return {};
    const QString size = QStringLiteral(" (%1 x %2 pixels)").arg(g.width).arg(g.height);
    if (kind == SaveKind::Bitmap)
        return what + size + QStringLiteral(" is too large for a bitmap file (4 GiB at most)");
    return what + size +
           QStringLiteral(" is too large for JPEG: at most %1 pixels a side")
               .arg(VELMORA_MAX_DIMENSION);
}

// Reads the source, having checked from its header alone, before any pixel is
// decoded, that the result fits the output kind and that the source with the
// strips of the result fits in memory: a small file whose header claims a huge
// picture is refused at once. Returns why it failed, or an empty string.
QString readSource(const Request& request, const QString& input, SaveKind kind, Source* source) {
    imageio::ImageReader reader(input);
    const QSize header = reader.size();
    long long strips = 0;
    if (header.isValid()) {
        source->geometry = enlargeGeometry(header.width(), header.height(), request.ratio);
        if (const QString why =
                formatRefusal(source->geometry, kind, describe(header, request.ratioText));
            !why.isEmpty())
            return why;
        strips = 2LL * source->geometry.width * kStripRows * 4;
    }
    if (!reader.read(&source->picture, strips)) {
        if (reader.failure() == imageio::ImageReader::Failure::TooLarge)
            return QStringLiteral("cannot enlarge %1: %2").arg(input, reader.errorString());
        return QStringLiteral("cannot read %1: %2").arg(input, reader.errorString());
    }
    source->metadata = reader.metadata();
    // The decoded size decides (a header that could not be read gave none).
    const QSize size = source->picture.size();
    source->geometry = enlargeGeometry(size.width(), size.height(), request.ratio);
    return formatRefusal(source->geometry, kind, describe(size, request.ratioText));
}

// What went wrong, in words, for a conversion status; osError (an errno value)
// tells a full disk from other write failures.
QString jpegStatusWords(int status, int osError) {
    if (status == VELMORA_E_DESTINATION && (osError == ENOSPC || osError == EDQUOT))
        return QStringLiteral("not enough disk space");
    if (status == VELMORA_E_DESTINATION && osError != 0)
        return QStringLiteral("the file cannot be written: %1")
            .arg(QString::fromLocal8Bit(std::strerror(osError)));
    if (const jpeg::StatusWords* words = jpeg::findStatusWords(status))
        return QString::fromUtf8(words->english);
    return QStringLiteral("the JPEG encoder reported status %1").arg(status);
}

// Why the save failed, in the tool's words.
QString failure(const QString& input, const QString& output, SaveKind kind,
                const SaveResult& result) {
    if (result.status == SaveStatus::BadDestination)
        return QStringLiteral("cannot write %1: %2")
            .arg(output,
                 QString::fromUtf8(jpeg::findDestinationWords(result.destination)->english));
    const bool notComputed = result.status == SaveStatus::NotComputed;
    if (kind != SaveKind::Jpeg && notComputed)
        return QStringLiteral("cannot enlarge %1").arg(input);
    const QString why =
        kind != SaveKind::Jpeg
            ? result.error
            : jpegStatusWords(notComputed ? VELMORA_E_SOURCE_UNREADABLE : result.libraryStatus,
                              result.osError);
    return QStringLiteral("cannot write %1: %2").arg(output, why);
}

// How the tool saves: no estimate of the room (what fits is written, and a
// full disk fails the write, which leaves nothing behind), and through the
// JPEG encoder linked into the tool.
SaveOptions saveOptions(const Request& request, int rows,
                        const std::function<void(double)>& progress, JpegLibrary* library) {
    SaveOptions options;
    options.quality = request.quality;
    options.progress = [rows, progress](int done) { progress(static_cast<double>(done) / rows); };
    options.checkRoom = false;
    options.jpegLibrary = library;
    return options;
}

} // namespace

// The result is made and written a strip of rows at a time by the program's
// own save, on every core, straight into the JPEG encoder or the bitmap
// writer: only a few strips are ever in memory.
QString enlargeFile(const Request& request, const QString& input, const QString& output,
                    SaveKind kind, const std::function<void(double)>& progress) {
    Source source;
    if (const QString why = readSource(request, input, kind, &source); !why.isEmpty())
        return why;
    const Recipe recipe{source.picture, request.ratio,
                        request.strip ? SourceMetadata() : source.metadata};
    JpegLibrary encoder = JpegLibrary::linked(ConvertRowsToJPG);
    const SaveResult result = saveRecipe(
        recipe, output, kind, saveOptions(request, source.geometry.height, progress, &encoder));
    return result.status == SaveStatus::Saved ? QString() : failure(input, output, kind, result);
}

} // namespace velmora::tool
