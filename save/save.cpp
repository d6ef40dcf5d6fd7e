#include "save/save.h"

#include "imageio/bitmapwriter.h"
#include "imageio/metadatamarkers.h"
#include "imageio/pngcompress.h"
#include "save/bitmapstrips.h"
#include "save/jpeglibrary.h"
#include "save/pngstrips.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/savelimits.h"

namespace velmora {

namespace {

constexpr long long kPngShareOfFiltered = 2;

// The JPEG side of a save: the source's metadata first, as cameras and
// editors write it (metadatamarkers.h: EXIF, XMP, the profile, IPTC), then
// the caller's own segments.
SaveResult writeJpeg(const ResultRows& rows, const Recipe& recipe, const std::string& path,
                     const SaveOptions& options, RowProgress& progress) {
    JpegLibrary ownLibrary;
    JpegLibrary& library = options.jpegLibrary ? *options.jpegLibrary : ownLibrary;
    std::string error;
    // Nothing is written for a conversion that cannot happen.
    if (!library.load(&error))
        return {SaveStatus::Failed, error, kLibraryMissing, 0};
    if (options.checkRoom && !hasRoom(path, library.roomNeeded(rows), &error))
        return {SaveStatus::NoRoom, error};
    std::vector<JpegMarker> markers =
        metadataMarkers(recipe.metadata, {rows.width(), rows.height()});
    markers.insert(markers.end(), options.markers.begin(), options.markers.end());
    return library.write(rows, markers, path, options.quality, progress);
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

SaveResult saveRecipe(const Recipe& recipe, const std::string& path, SaveKind kind,
                      const SaveOptions& options) {
    // The size alone decides, before any pixel is made or any file touched.
    const imageio::Size size = recipeSize(recipe);
    if (const std::string why = formatRefusal(size, kind); !why.empty())
        return {SaveStatus::NotInFormat, why};
    const jpeg::Destination destination = findDestination(path, options.sourceFile);
    if (const std::optional<SaveResult> refused = destinationRefusal(destination))
        return *refused;
    // A link is written through: the room, the hidden bitmap and the file are
    // the target's, in the target's folder.
    const std::string& file = destination.file;
    const ResultRows rows(recipe);
    RowProgress progress(options.progress, options.cancel);
    if (kind == SaveKind::Jpeg)
        return writeJpeg(rows, recipe, file, options, progress);
    std::string error;
    if (options.checkRoom && !hasRoom(file, fileBytes(kind, size), &error))
        return {SaveStatus::NoRoom, error};
    if (kind == SaveKind::Png)
        return writePngStrips(rows, recipe.metadata, file, progress);
    return writeBitmapStrips(rows, file, progress);
}

} // namespace velmora
