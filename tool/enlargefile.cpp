#include "tool/enlargefile.h"

#include "engine/enlarge.h"
#include "gui/filenames.h"
#include "imageio/exifedit.h"
#include "imageio/imagereader.h"
#include "libvelmora/statuswords.h"
#include "libvelmora/velmora.h"
#include "outputfile/destination.h"
#include "save/jpeglibrary.h"
#include "save/savelimits.h"
#include "tool/jobs.h"
#include "tool/sizeratio.h"

#include <QFileInfo>
#include <QImage>
#include <QSize>

#include <cerrno>
#include <cstring>

namespace velmora::tool {

namespace {

// Rows of the result the save makes at a time, two strips at once on each
// core (save/): what reading the source leaves room for.
constexpr int kStripRows = 64;

// The picture read, its metadata, the ratio it is enlarged by and what its
// enlargement will be.
struct Source {
    imageio::Picture picture;
    SourceMetadata metadata;
    double ratio = 0;
    QString ratioText; // the ratio in messages
    EnlargeGeometry geometry;
};

QString describe(const imageio::Size& size, const QString& ratioText) {
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
    if (formatHolds(imageio::Size(g.width, g.height), kind))
        return {};
    const QString size = QStringLiteral(" (%1 x %2 pixels)").arg(g.width).arg(g.height);
    if (kind == SaveKind::Bitmap)
        return what + size + QStringLiteral(" is too large for a bitmap file (4 GiB at most)");
    return what + size +
           QStringLiteral(" is too large for JPEG: at most %1 pixels a side")
               .arg(VELMORA_MAX_DIMENSION);
}

// The ratio for a source of this size, the request's or the one that gives
// the size it asks for, and the result it makes. Returns why the source
// cannot be enlarged so, or an empty string.
QString planFor(const Request& request, const FileJob& job, const imageio::Size& size,
                Source* source) {
    if (request.size.rule == SizeRule::Ratio) {
        source->ratio = request.ratio;
        source->ratioText = request.ratioText;
    } else {
        const RatioChoice choice = chooseRatio(request.size, QSize(size.width(), size.height()));
        if (choice.ratio == 0)
            return QStringLiteral("cannot enlarge %1 %2").arg(job.input, choice.refusal);
        source->ratio = choice.ratio;
        source->ratioText = QString::number(choice.ratio, 'g', 6);
    }
    source->geometry = enlargeGeometry(size.width(), size.height(), source->ratio);
    return formatRefusal(source->geometry, job.kind, describe(size, source->ratioText));
}

// The strips of the result the save holds beside the source.
long long stripBytes(const EnlargeGeometry& geometry) {
    return 2LL * geometry.width * kStripRows * 4;
}

// Checks from the header alone, before any pixel is decoded, that the result
// fits the output kind: a small file whose header claims a huge picture is
// refused at once. *strips gets the bytes of the result's strips.
QString planFromHeader(const Request& request, const FileJob& job,
                       const imageio::ImageReader& reader, Source* source, long long* strips) {
    *strips = 0;
    if (!reader.size().isValid())
        return {};
    if (const QString why = planFor(request, job, reader.size(), source); !why.isEmpty())
        return why;
    *strips = stripBytes(source->geometry);
    return {};
}

// Why the source could not be read: the system's words for a file that did
// not open, the cause first for one that did.
QString readFailure(const imageio::ImageReader& reader) {
    using Cause = imageio::ImageReader::Cause;
    switch (reader.cause()) {
    case Cause::NotAPicture:
        return QStringLiteral("not a picture the tool reads (BMP, JPEG, PNG, TIFF, WebP, ...)");
    case Cause::Damaged:
        return QStringLiteral("cut short or damaged (%1)")
            .arg(QString::fromStdString(reader.errorString()));
    default:
        return QString::fromStdString(reader.errorString());
    }
}

// Reads the source, refused when it would not fit in memory with the strips
// of the result; the decoded size then decides the ratio and the result (a
// header that could not be read gave none). Returns why it failed, or an
// empty string.
QString readSource(const Request& request, const FileJob& job, imageio::ImageReader& reader,
                   long long strips, Source* source) {
    if (!reader.read(&source->picture, strips)) {
        if (reader.failure() == imageio::ImageReader::Failure::TooLarge)
            return QStringLiteral("cannot enlarge %1: %2")
                .arg(job.input, QString::fromStdString(reader.errorString()));
        return QStringLiteral("cannot read %1: %2").arg(job.input, readFailure(reader));
    }
    source->metadata = reader.metadata();
    return planFor(request, job, source->picture.size(), source);
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
            ? QString::fromStdString(result.error)
            : jpegStatusWords(notComputed ? VELMORA_E_SOURCE_UNREADABLE : result.libraryStatus,
                              result.osError);
    return QStringLiteral("cannot write %1: %2").arg(output, why);
}

// How the tool saves: no estimate of the room (what fits is written, and a
// full disk fails the write, which leaves nothing behind), and through the
// JPEG encoder linked into the tool.
SaveOptions saveOptions(const Request& request, int rows, const FileJob& job,
                        JpegLibrary* library) {
    SaveOptions options;
    options.quality = request.quality;
    options.progress = [rows, &job](int done) {
        if (job.progress)
            job.progress(static_cast<double>(done) / rows);
    };
    options.checkRoom = false;
    options.sourceFile = gui::pathBytes(job.input);
    options.jpegLibrary = library;
    return options;
}

// Writes the source's enlargement as the job's output.
QString save(const Request& request, const FileJob& job, const Source& source) {
    const Recipe recipe{source.picture, source.ratio,
                        request.strip ? SourceMetadata() : source.metadata};
    JpegLibrary encoder = JpegLibrary::linked(ConvertRowsToJPG);
    const SaveResult result =
        saveRecipe(recipe, gui::pathBytes(job.output), job.kind,
                   saveOptions(request, source.geometry.height, job, &encoder));
    return result.status == SaveStatus::Saved ? QString()
                                              : failure(job.input, job.output, job.kind, result);
}

} // namespace

std::optional<SaveKind> kindOfName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QStringLiteral("bmp"))
        return SaveKind::Bitmap;
    if (suffix == QStringLiteral("jpg") || suffix == QStringLiteral("jpeg"))
        return SaveKind::Jpeg;
    if (suffix == QStringLiteral("png"))
        return SaveKind::Png;
    return std::nullopt;
}

// The result is made and written a strip of rows at a time by the program's
// own save, on every core, straight into the JPEG encoder or the bitmap
// writer: only a few strips are ever in memory beside the source, which is
// held in the job's memory gate from before it is decoded.
QString enlargeFile(const Request& request, const FileJob& job) {
    imageio::ImageReader reader(gui::pathBytes(job.input));
    Source source;
    long long strips = 0;
    if (const QString why = planFromHeader(request, job, reader, &source, &strips); !why.isEmpty())
        return why;
    const MemoryHold hold(job.memory, reader.bytesNeeded() + strips);
    if (const QString why = readSource(request, job, reader, strips, &source); !why.isEmpty())
        return why;
    if (job.beforeWriting)
        if (const QString why = job.beforeWriting(); !why.isEmpty())
            return why;
    if (job.warn && !request.strip && job.kind != SaveKind::Bitmap &&
        !source.metadata.exif.empty() && exifForSavedPicture(source.metadata.exif, {1, 1}).empty())
        job.warn(QStringLiteral("%1: its EXIF cannot be edited safely and is left out of %2")
                     .arg(job.input, job.output));
    if (job.warn && !request.strip && job.kind != SaveKind::Bitmap && source.metadata.iccIncomplete)
        job.warn(QStringLiteral("%1: its ICC profile is incomplete (a chunk is missing or "
                                "repeated) and is left out of %2")
                     .arg(job.input, job.output));
    return save(request, job, source);
}

} // namespace velmora::tool
