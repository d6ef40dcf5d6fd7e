#include "tool/enlargefile.h"

#include "engine/enlarge.h"
#include "imageio/exifedit.h"
#include "imageio/imagereader.h"
#include "libvelmora/statuswords.h"
#include "libvelmora/stripencoder.h"
#include "libvelmora/velmora.h"
#include "outputfile/destination.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "tool/jobs.h"
#include "tool/numbertext.h"
#include "tool/sizeratio.h"

#include <algorithm>

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
    std::string ratioText; // the ratio in messages
    EnlargeGeometry geometry;
};

std::string describe(const imageio::Size& size, const std::string& ratioText) {
    return "the result of " + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
           " at " + ratioText;
}

// Why a result of this geometry cannot be written as the output kind; empty
// when it can.
std::string formatRefusal(const EnlargeGeometry& g, SaveKind kind, const std::string& what) {
    if (!g.valid)
        return what + " is too large";
    if (g.empty())
        return what + " has no pixels";
    if (formatHolds(imageio::Size(g.width, g.height), kind))
        return {};
    const std::string size =
        " (" + std::to_string(g.width) + " x " + std::to_string(g.height) + " pixels)";
    if (kind == SaveKind::Bitmap)
        return what + size + " is too large for a bitmap file (4 GiB at most)";
    return what + size + " is too large for JPEG: at most " +
           std::to_string(VELMORA_MAX_DIMENSION) + " pixels a side";
}

// The ratio for a source of this size, the request's or the one that gives
// the size it asks for, and the result it makes. Returns why the source
// cannot be enlarged so, or an empty string.
std::string planFor(const Request& request, const FileJob& job, const imageio::Size& size,
                    Source* source) {
    if (request.size.rule == SizeRule::Ratio) {
        source->ratio = request.ratio;
        source->ratioText = request.ratioText;
    } else {
        const RatioChoice choice = chooseRatio(request.size, size);
        if (choice.ratio == 0)
            return "cannot enlarge " + job.input + " " + choice.refusal;
        source->ratio = choice.ratio;
        source->ratioText = shortText(choice.ratio, 6);
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
std::string planFromHeader(const Request& request, const FileJob& job,
                           const imageio::ImageReader& reader, Source* source, long long* strips) {
    *strips = 0;
    if (!reader.size().isValid())
        return {};
    if (const std::string why = planFor(request, job, reader.size(), source); !why.empty())
        return why;
    *strips = stripBytes(source->geometry);
    return {};
}

// Why the source could not be read: the system's words for a file that did
// not open, the cause first for one that did.
std::string readFailure(const imageio::ImageReader& reader) {
    using Cause = imageio::ImageReader::Cause;
    switch (reader.cause()) {
    case Cause::NotAPicture:
        return "not a picture the tool reads (BMP, JPEG, PNG, TIFF, WebP, ...)";
    case Cause::Damaged:
        return "cut short or damaged (" + reader.errorString() + ")";
    default:
        return reader.errorString();
    }
}

// Reads the source, refused when it would not fit in memory with the strips
// of the result; the decoded size then decides the ratio and the result (a
// header that could not be read gave none). Returns why it failed, or an
// empty string.
std::string readSource(const Request& request, const FileJob& job, imageio::ImageReader& reader,
                       long long strips, Source* source) {
    if (!reader.read(&source->picture, strips)) {
        if (reader.failure() == imageio::ImageReader::Failure::TooLarge)
            return "cannot enlarge " + job.input + ": " + reader.errorString();
        return "cannot read " + job.input + ": " + readFailure(reader);
    }
    source->metadata = reader.metadata();
    return planFor(request, job, source->picture.size(), source);
}

// What went wrong, in words, for a conversion status; osError (an errno value)
// tells a full disk from other write failures.
std::string jpegStatusWords(int status, int osError) {
    if (status == VELMORA_E_DESTINATION && (osError == ENOSPC || osError == EDQUOT))
        return "not enough disk space";
    if (status == VELMORA_E_DESTINATION && osError != 0)
        return std::string("the file cannot be written: ") + std::strerror(osError);
    if (const jpeg::StatusWords* words = jpeg::findStatusWords(status))
        return words->english;
    return "the JPEG encoder reported status " + std::to_string(status);
}

// Why the save failed, in the tool's words.
std::string failure(const std::string& input, const std::string& output, SaveKind kind,
                    const SaveResult& result) {
    if (result.status == SaveStatus::BadDestination)
        return "cannot write " + output + ": " +
               jpeg::findDestinationWords(result.destination)->english;
    const bool notComputed = result.status == SaveStatus::NotComputed;
    if (kind != SaveKind::Jpeg && notComputed)
        return "cannot enlarge " + input;
    const std::string why =
        kind != SaveKind::Jpeg
            ? result.error
            : jpegStatusWords(notComputed ? VELMORA_E_SOURCE_UNREADABLE : result.libraryStatus,
                              result.osError);
    return "cannot write " + output + ": " + why;
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
    options.sourceFile = job.input;
    options.jpegLibrary = library;
    return options;
}

// Writes the source's enlargement as the job's output.
std::string save(const Request& request, const FileJob& job, const Source& source) {
    const Recipe recipe{source.picture, source.ratio,
                        request.strip ? SourceMetadata() : source.metadata};
    JpegLibrary encoder = JpegLibrary::linked(jpeg::convertRowsTo);
    const SaveResult result = saveRecipe(
        recipe, job.output, job.kind, saveOptions(request, source.geometry.height, job, &encoder));
    return result.status == SaveStatus::Saved ? std::string()
                                              : failure(job.input, job.output, job.kind, result);
}

} // namespace

std::optional<SaveKind> kindOfName(const std::string& name) {
    // The ending after the last "." of the file's own name, in any case.
    const std::string own = name.substr(name.rfind('/') + 1);
    const std::size_t dot = own.rfind('.');
    std::string suffix = dot == std::string::npos ? std::string() : own.substr(dot + 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
    });
    if (suffix == "bmp")
        return SaveKind::Bitmap;
    if (suffix == "jpg" || suffix == "jpeg")
        return SaveKind::Jpeg;
    if (suffix == "png")
        return SaveKind::Png;
    return std::nullopt;
}

// The result is made and written a strip of rows at a time by the program's
// own save, on every core, straight into the JPEG encoder or the bitmap
// writer: only a few strips are ever in memory beside the source, which is
// held in the job's memory gate from before it is decoded.
std::string enlargeFile(const Request& request, const FileJob& job) {
    imageio::ImageReader reader(job.input);
    Source source;
    long long strips = 0;
    if (const std::string why = planFromHeader(request, job, reader, &source, &strips);
        !why.empty())
        return why;
    const MemoryHold hold(job.memory, reader.bytesNeeded() + strips);
    if (const std::string why = readSource(request, job, reader, strips, &source); !why.empty())
        return why;
    if (job.beforeWriting)
        if (const std::string why = job.beforeWriting(); !why.empty())
            return why;
    if (job.warn && !request.strip && job.kind != SaveKind::Bitmap &&
        !source.metadata.exif.empty() && exifForSavedPicture(source.metadata.exif, {1, 1}).empty())
        job.warn(job.input + ": its EXIF cannot be edited safely and is left out of " + job.output);
    if (job.warn && !request.strip && job.kind != SaveKind::Bitmap && source.metadata.iccIncomplete)
        job.warn(job.input +
                 ": its ICC profile is incomplete (a chunk is missing or repeated) and is left "
                 "out of " +
                 job.output);
    return save(request, job, source);
}

} // namespace velmora::tool
