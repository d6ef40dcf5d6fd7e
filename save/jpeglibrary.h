// The JPEG conversion library, loaded by its SONAME (libvelmora.so.1) at its
// first use: from the executable's folder first, then from the installed
// library folder beside its bin folder, then from the system's library path.
// A library that was not found is looked for again at the next use.
#pragma once

#include "libvelmora/velmora.h"

#include <QString>

class QImage;

namespace velmora {

// Status when the library or its function could not be found.
inline constexpr int kLibraryMissing = -1000;
// The program saves at the best quality.
inline constexpr int kJpegQuality = 100;

// What the library offers; an older library lacks the later entries.
struct JpegLibrary {
    bool found = false;                                // ConvertBMPtoJPG, which every version has
    decltype(&ConvertRowsToJPG) convertRows = nullptr; // ConvertRowsToJPG
};

// Loads the library and tells what it offers; error says why it was not
// found.
JpegLibrary Jpeg_Library(QString* error);

// ConvertBMPtoJPG(bitmap, jpeg, -1, quality, -1) of the library. Returns the
// library's status (0: the JPEG was written) or kLibraryMissing; error gets a
// short explanation when something went wrong.
int ConvertBitmapToJpeg(const QString& bitmapPath, const QString& jpegPath, QString* error,
                        int quality = kJpegQuality);

// Whether ConvertPictureToJpeg can write picture: the library has
// ConvertPixelsToJPG and the picture holds 32-bit words (RGB32 or ARGB32, the
// alpha byte ignored). Loads the library.
bool Converts_Picture_In_Memory(const QImage& picture);

// ConvertPixelsToJPG(picture's rows, ..., jpeg, quality) of the library: the
// file ConvertBitmapToJpeg writes for the same picture, without a bitmap on
// disk. Returns the library's status or kLibraryMissing (also when
// Converts_Picture_In_Memory is false); error as above.
int ConvertPictureToJpeg(const QImage& picture, const QString& jpegPath, QString* error,
                         int quality = kJpegQuality);

// Where to look for the library first ("" is the executable's folder), and
// whether to go on to the system's library path; tests point it elsewhere.
// The library is loaded again at the next use.
void Set_Library_Folder(const QString& folder, bool thenSystemPath = true);

} // namespace velmora
