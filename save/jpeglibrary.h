// The JPEG conversion library, loaded by name at its first use: from the
// executable's folder first, then from the system's library path. A library
// that was not found is looked for again at the next use.
#pragma once

#include <QString>

namespace velmora {

// Status when the library or its function could not be found.
inline constexpr int kLibraryMissing = -1000;

// ConvertBMPtoJPG(bitmap, jpeg, -1, 100, -1) of the library. Returns the
// library's status (0: the JPEG was written) or kLibraryMissing; error gets a
// short explanation when something went wrong.
int ConvertBitmapToJpeg(const QString& bitmapPath, const QString& jpegPath, QString* error);

// Where to look for the library first ("" is the executable's folder), and
// whether to go on to the system's library path; tests point it elsewhere.
// The library is loaded again at the next use.
void Set_Library_Folder(const QString& folder, bool thenSystemPath = true);

} // namespace velmora
