// Saving a picture as a bitmap, JPEG or PNG file, with no window: the caller
// gives what to save as a recipe, the destination and the kind, and gets a
// status back that it turns into a message of its own.
//
// The picture is made a strip of rows at a time on every core and goes
// straight into the bitmap writer, the JPEG encoder or the PNG writer; it is
// never held whole,
// so memory stays at the source and a few strips per core. The program's save
// command and the batch tool both write through here: the same recipe gives
// the same file from either.
#pragma once

#include "libvelmora/velmora.h"
#include "outputfile/destination.h"
#include "save/recipe.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

enum class SaveKind { Jpeg, Bitmap, Png };

enum class SaveStatus {
    Saved,
    // Refused before anything was written: the destination's disk has too
    // little room. error says so in Japanese.
    NoRoom,
    // Refused before anything was written: the format cannot hold a picture of
    // this size (too large, or for JPEG and PNG without pixels). error names
    // the limit in Japanese and, where PNG could hold it, suggests PNG.
    NotInFormat,
    // Refused before anything was written: the destination exists and is not
    // a regular file once links are followed (a directory, device, FIFO or
    // socket), is a symbolic link to nothing, or is the source file itself; it
    // is left as it is. error says which in Japanese, destination tells the
    // kind.
    BadDestination,
    // The picture's rows could not be made (the engine refused the recipe).
    NotComputed,
    // Stopped through SaveOptions::cancel: nothing was written, an existing
    // file keeps its content.
    Cancelled,
    // Writing failed; error says why, and libraryStatus and osError tell more.
    Failed,
};

struct SaveResult {
    SaveStatus status = SaveStatus::Failed;
    // In Japanese where the user is to read it, in English for a system's
    // failure (UTF-8).
    std::string error;
    // The conversion library's status of a JPEG that failed (VELMORA_E_*, or
    // kLibraryMissing of jpeglibrary.h); 0 otherwise.
    int libraryStatus = 0;
    // The system's error (errno) of a failed file step, when known; 0 otherwise.
    int osError = 0;
    // What the destination is, for BadDestination.
    jpeg::DestinationKind destination = jpeg::DestinationKind::New;
};

class JpegLibrary;

struct SaveOptions {
    int quality = 100; // JPEG quality, 1 to 100
    // Called with the number of the picture's rows made and written so far, as
    // they grow; from the saving threads, never twice at once.
    std::function<void(int rowsDone)> progress;
    // While *cancel is true the save stops soon, writes nothing and returns
    // Cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Written into a JPEG in this order, after the segments that carry the
    // recipe's metadata (metadatamarkers.h). Only a library with the
    // strip-fed entry writes either (jpeglibrary.h).
    std::vector<JpegMarker> markers;
    // Whether to refuse a save that the destination's disk has no room for, by
    // the estimated size of the file (and of the temporary bitmap when one is
    // needed) against the room the disk reports. A PNG is estimated at half
    // its filtered bytes (imageio::pngFilteredBytes).
    bool checkRoom = true;
    // The conversion library a JPEG goes through, loaded here when it is not
    // yet; one save at a time per library. Null: the library beside the
    // program, loaded for this save alone.
    JpegLibrary* jpegLibrary = nullptr;
    // The file the recipe's picture was read from; refused as the
    // destination under any name, before anything is written. Empty: none.
    std::string sourceFile;
};

// Writes the picture the recipe makes as path (the system's bytes), of the
// given kind. Refuses,
// before anything is written, a picture the format cannot hold (a JPEG side
// above VELMORA_MAX_DIMENSION, a JPEG or PNG without pixels, a bitmap file of
// 4 GiB or more), a destination that is not a regular file to replace or a
// new name (outputfile/destination.h: a symbolic link is written through,
// its target replaced) and, when options.checkRoom, a destination without
// room for it. A JPEG goes through the conversion library (jpeglibrary.h), a
// bitmap through the bitmap writer, a PNG through the PNG writer
// (strips.h) with the recipe's metadata. Whatever happens, no partial file
// is left and an existing file keeps its content unless the save succeeds.
// Safe to call on any thread.
SaveResult saveRecipe(const Recipe& recipe, const std::string& path, SaveKind kind,
                      const SaveOptions& options = {});

// Whether a file of this kind can hold a picture of this size: a JPEG at most
// VELMORA_MAX_DIMENSION pixels a side, a bitmap file under 4 GiB, a PNG of
// 1 to imageio::kMaxPngSide pixels a side.
bool formatHolds(const imageio::Size& size, SaveKind kind);

} // namespace velmora
