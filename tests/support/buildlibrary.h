// Saving through the conversion library of this build, for tests that save a
// recipe directly rather than through the main window.
#pragma once

#include "save/jpeglibrary.h"
#include "save/save.h"

#include <string>

namespace velmora {

// The library in the build's bin folder, and nowhere else.
inline JpegLibrary BuildLibrary() {
    return JpegLibrary(VELMORA_TEST_BIN, false);
}

// saveRecipe through library (the build's when null).
inline SaveResult SaveThrough(const Recipe& recipe, const std::string& path, SaveKind kind,
                              SaveOptions options = {}, JpegLibrary* library = nullptr) {
    JpegLibrary built = BuildLibrary();
    options.jpegLibrary = library ? library : &built;
    return saveRecipe(recipe, path, kind, options);
}

} // namespace velmora
