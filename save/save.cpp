#include "save/save.h"

#include "imageio/bitmapwriter.h"
#include "imageio/metadatamarkers.h"
#include "imageio/pngcompress.h"
#include "platform/diskspace.h"
#include "platform/filenames.h"
#include "save/jpeglibrary.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/strips.h"

#include <algorithm>
#include <optional>

namespace velmora {

namespace {

constexpr long long kPngShareOfFiltered = 2;

constexpr long long kMiB = 1LL << 20;

std::string sizeText(const imageio::Size& size) {
    return "画像 (" + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
           " ﾋﾟｸｾﾙ)";
}

// PNG holds any picture with pixels that the others cannot: it is the one
// to suggest.
std::string pngSuggestion(const imageio::Size& size) {
    return formatHolds(size, SaveKind::Png) ? "PNG ﾌｧｲﾙなら保存できます。" : "";
}

std::string jpegRefusal(const imageio::Size& size) {
    return sizeText(size) + "は JPEG ﾌｧｲﾙには大きすぎます。JPEG は一辺 " +
           std::to_string(VELMORA_MAX_DIMENSION) + " ﾋﾟｸｾﾙまでです。" + pngSuggestion(size);
}

std::string bitmapRefusal(const imageio::Size& size) {
    const long long bytes = imageio::bitmapFileBytes(size.width(), size.height());
    return sizeText(size) + "の BMP ﾌｧｲﾙは " + std::to_string((bytes + kMiB - 1) / kMiB) +
           " MB になり、BMP ﾌｧｲﾙは 4 GB (4096 MB) 未満までです。" + pngSuggestion(size);
}

std::string pngRefusal(const imageio::Size& size) {
    return sizeText(size) + "は PNG ﾌｧｲﾙには大きすぎます。PNG は一辺 " +
           std::to_string(imageio::kMaxPngSide) + " ﾋﾟｸｾﾙまでです。";
}

// Why a picture of this size (recipeSize's) cannot be saved as kind, in
// Japanese, naming the limit and, when PNG can hold the picture, suggesting
// it; empty when it can be saved. A bitmap may have no pixels (a header
// alone); a JPEG or PNG may not.
std::string formatRefusal(const imageio::Size& size, SaveKind kind) {
    if (!size.isValid())
        return "拡大後の画像が大きすぎて、JPEG ﾌｧｲﾙにも BMP ﾌｧｲﾙにも PNG ﾌｧｲﾙにもできません。";
    if (kind != SaveKind::Bitmap && size.isEmpty())
        return std::string("画像に画素がないため、") + (kind == SaveKind::Jpeg ? "JPEG" : "PNG") +
               " ﾌｧｲﾙにできません。";
    if (formatHolds(size, kind))
        return {};
    switch (kind) {
    case SaveKind::Jpeg:
        return jpegRefusal(size);
    case SaveKind::Png:
        return pngRefusal(size);
    case SaveKind::Bitmap:
        break;
    }
    return bitmapRefusal(size);
}

// The refusal of a destination that is neither a new name nor a regular file
// (links followed), with its reason in Japanese; none for one that may be
// written, and none for one that cannot be looked at, whose writer then fails
// with the system's reason.
std::optional<SaveResult> destinationRefusal(const jpeg::Destination& destination) {
    const jpeg::DestinationWords* words = jpeg::findDestinationWords(destination.kind);
    if (words == nullptr)
        return std::nullopt;
    SaveResult refused{SaveStatus::BadDestination, words->japanese};
    refused.destination = destination.kind;
    return refused;
}

// Whether the disk that holds path's folder has room for `needed` bytes; when
// it has not, error says so in Japanese. A disk whose room cannot be told is
// taken to have enough.
bool hasRoom(const std::string& path, long long needed, std::string* error) {
    const long long free =
        platform::freeBytes(platform::folderOf(platform::cleanPath(platform::absoluteName(path))));
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = "保存先の空き容量が足りません (必要 " +
                 std::to_string((needed + kMiB - 1) / kMiB) + " MB、空き " +
                 std::to_string(free / kMiB) + " MB)。";
    return false;
}

// The JPEG side of a save: the source's metadata first, as cameras and
// editors write it (metadatamarkers.h: EXIF, XMP, the profile, IPTC), then
// the caller's own segments.
SaveResult writeJpeg(const ResultRows& rows, const Recipe& recipe,
                     const jpeg::Destination& destination, const SaveOptions& options,
                     RowProgress& progress) {
    JpegLibrary ownLibrary;
    JpegLibrary& library = options.jpegLibrary ? *options.jpegLibrary : ownLibrary;
    std::string error;
    // Nothing is written for a conversion that cannot happen.
    if (!library.load(&error))
        return {SaveStatus::Failed, error, kLibraryMissing, 0};
    if (options.checkRoom && !hasRoom(destination.file, library.roomNeeded(rows), &error))
        return {SaveStatus::NoRoom, error};
    std::vector<JpegMarker> markers =
        metadataMarkers(recipe.metadata, {rows.width(), rows.height()});
    markers.insert(markers.end(), options.markers.begin(), options.markers.end());
    return library.write(rows, markers, destination, options.quality, progress);
}

// The room a file of this kind and size is taken to need: a bitmap's own
// size; for a PNG half its filtered bytes, more than an enlarged photo
// deflates to (its smooth rows shrink to a fraction) and less than noise
// would, which the write itself then refuses, leaving nothing behind.
long long fileBytes(SaveKind kind, const imageio::Size& size) {
    if (kind == SaveKind::Png)
        return imageio::pngFilteredBytes(size.width(), size.height()) / kPngShareOfFiltered;
    return imageio::bitmapFileBytes(size.width(), size.height());
}

} // namespace

bool formatHolds(const imageio::Size& size, SaveKind kind) {
    switch (kind) {
    case SaveKind::Jpeg:
        return std::max(size.width(), size.height()) <= VELMORA_MAX_DIMENSION;
    case SaveKind::Png:
        return !size.isEmpty() &&
               std::max<long long>(size.width(), size.height()) <= imageio::kMaxPngSide;
    case SaveKind::Bitmap:
        break;
    }
    return imageio::bitmapFileBytes(size.width(), size.height()) < imageio::kMaxBitmapFileBytes;
}

SaveResult saveRecipe(const Recipe& recipe, const std::string& path, SaveKind kind,
                      const SaveOptions& options) {
    // The size alone decides, before any pixel is made or any file touched.
    const imageio::Size size = recipeSize(recipe);
    if (const std::string why = formatRefusal(size, kind); !why.empty())
        return {SaveStatus::NotInFormat, why};
    const jpeg::Destination destination = jpeg::findDestination(path, options.sourceFile);
    if (const std::optional<SaveResult> refused = destinationRefusal(destination))
        return *refused;
    // The destination found here is the one written: the writers take it as
    // it is and do not look the name up again. A link is written through: the
    // room, the hidden bitmap and the file are the target's, in the target's
    // folder.
    const ResultRows rows(recipe);
    RowProgress progress(options.progress, options.cancel);
    if (kind == SaveKind::Jpeg)
        return writeJpeg(rows, recipe, destination, options, progress);
    std::string error;
    if (options.checkRoom && !hasRoom(destination.file, fileBytes(kind, size), &error))
        return {SaveStatus::NoRoom, error};
    if (kind == SaveKind::Png)
        return writePngStrips(rows, recipe.metadata, destination, progress);
    return writeBitmapStrips(rows, destination, progress);
}

} // namespace velmora
