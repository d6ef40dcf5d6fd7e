// The JPEG conversion library as a save uses it, whatever its age. The
// library is loaded by its SONAME (libvelmora.so.1): from the executable's
// folder first, then from the installed library folder beside its bin folder,
// then from the system's library path. What it offers decides, once, at the
// load, how a picture reaches it:
//   - ConvertRowsToJPG: the rows as they are made, strip by strip;
//   - ConvertPixelsToJPG (an older library): the 1:1 picture from memory, any
//     other picture as below;
//   - ConvertBMPtoJPG alone (the first library): a hidden temporary bitmap
//     beside the file, written strip by strip, converted and deleted.
// The file is the same whichever way it went, except that only the first way
// writes the caller's marker segments (the source's metadata).
#pragma once

#include "libvelmora/velmora.h"
#include "outputfile/destination.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/save.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Status when the library or its function could not be found.
inline constexpr int kLibraryMissing = -1000;
// The program saves at the best quality.
inline constexpr int kJpegQuality = 100;

// The library's strip-fed entry, ConvertRowsToJPG.
using ConvertRowsFunction = decltype(&ConvertRowsToJPG);
// The encoder's own entry for a destination already found
// (jpeg::convertRowsTo of libvelmora/stripencoder.h), for a program that links
// the encoder in: the file goes where the save found it, not looked up again.
using ConvertRowsToFunction = std::int16_t (*)(VelmoraFillRows, void*, std::int32_t, std::int32_t,
                                               std::int32_t, const VelmoraMarker*, std::int32_t,
                                               const jpeg::Destination&, std::int32_t);

// What a status of the conversion library means, in the words the program
// shows in its message box; an unknown status is shown with its number.
std::string jpegStatusText(int status);

class JpegLibrary {
  public:
    // The library looked for in folder (bytes; "": the executable's folder), the
    // installed library folder beside it and, when systemPath, the system's
    // library path. Nothing is loaded before the first use.
    explicit JpegLibrary(std::string folder = {}, bool systemPath = true);
    // The encoder linked into this program (the batch tool links it in),
    // handed the destination the save found: nothing is loaded.
    static JpegLibrary linked(ConvertRowsToFunction convertRowsTo);
    ~JpegLibrary();
    JpegLibrary(JpegLibrary&&) noexcept;
    JpegLibrary& operator=(JpegLibrary&&) noexcept;

    // Loads the library unless it is loaded; until it has been found, every
    // call looks again, so that installing it after a failed save needs no
    // restart. False, with the reason in error, when it is not found. Not
    // safe to call from two threads at once; the rest is.
    bool load(std::string* error = nullptr);

    // The disk space writing a picture of rows needs: the JPEG, and the
    // temporary bitmap where the library takes one. Loads the library first.
    long long roomNeeded(const ResultRows& rows) const;

    // Writes the picture of rows as a JPEG file at the destination, as found,
    // at quality, with the markers after the JFIF header where the library
    // takes them. The linked encoder is handed the destination itself; a
    // loaded library, whose entries take a name, is given the file it names
    // (the end of any links). The library must be loaded. No partial file is
    // left, and an existing file keeps its content unless the write succeeds.
    SaveResult write(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                     const jpeg::Destination& destination, int quality,
                     RowProgress& progress) const;

    // ConvertBMPtoJPG(bitmap, jpeg, -1, quality, -1) of the loaded library:
    // its status, or kLibraryMissing; error gets the reason of a failure.
    int convertBitmap(const std::string& bitmapPath, const std::string& jpegPath,
                      std::string* error, int quality = kJpegQuality) const;

  private:
    using Writer = SaveResult (JpegLibrary::*)(const ResultRows&, const std::vector<JpegMarker>&,
                                               const jpeg::Destination&, int, RowProgress&) const;
    SaveResult writeRows(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                         const jpeg::Destination& destination, int quality,
                         RowProgress& progress) const;
    SaveResult writePixels(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                           const jpeg::Destination& destination, int quality,
                           RowProgress& progress) const;
    SaveResult writeBitmap(const ResultRows& rows, const std::vector<JpegMarker>& markers,
                           const jpeg::Destination& destination, int quality,
                           RowProgress& progress) const;

    std::string folder_;
    bool systemPath_ = true;
    // The loaded library (dlopen); it stays loaded for the process.
    void* library_ = nullptr;
    decltype(&ConvertBMPtoJPG) convertBmp_ = nullptr;
    decltype(&ConvertPixelsToJPG) convertPixels_ = nullptr;
    ConvertRowsFunction convertRows_ = nullptr;
    ConvertRowsToFunction convertRowsTo_ = nullptr; // the linked encoder's
    // How a picture reaches the library, chosen when it is loaded.
    Writer writer_ = nullptr;
};

} // namespace velmora
