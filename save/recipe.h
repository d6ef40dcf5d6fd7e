// What a save writes, given as the way to make it rather than as its pixels:
// the picture and the ratio it is enlarged by.
#pragma once

#include "imageio/metadata.h"

#include "imageio/picture.h"

namespace velmora {

struct Recipe {
    Recipe() = default;
    // {picture, ratio} is a whole recipe for a source without metadata.
    Recipe(imageio::Picture source, double ratio = 0, SourceMetadata metadata = {})
        : source(std::move(source)), ratio(ratio), metadata(std::move(metadata)) {}

    // The opened picture (or, before any, the window's empty design picture).
    imageio::Picture source;
    // The ratio of the enlargement; 0: the picture as it is, 1:1.
    double ratio = 0;
    // The source's metadata, which a saved JPEG carries whole and a PNG in
    // part (EXIF made true of the saved picture, the profile, XMP); a bitmap
    // carries none.
    SourceMetadata metadata;
};

// The size of the picture the recipe makes: the source's own at ratio 0, the
// enlargement's otherwise (enlargeGeometry), 0 x 0 for a result without
// pixels. An invalid size when the result is too large for any size to hold.
imageio::Size recipeSize(const Recipe& recipe);

} // namespace velmora
