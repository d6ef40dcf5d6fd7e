// Folder-path helpers of the image selection dialog. Paths use "/" and the root
// folder is "/".
#pragma once

#include <QString>

namespace velmora {

// True when the folder can be listed and the listing yields an entry. The entry
// for the folder itself counts, so every folder that can be opened qualifies.
bool Folder_Exists(const QString& folder);

// The path with trailing blanks removed and "/" appended unless it ends in one;
// the root "/" stays "/".
QString Add_Separator(const QString& folder);

// folder and name joined by one "/" ("/" + "a.bmp" gives "/a.bmp").
QString joinPath(const QString& folder, const QString& name);

// Where the image selection dialog starts when it remembers no usable folder:
// the program's folder; for an installed program the user's pictures folder,
// or the home folder when there is none.
QString startFolder();
QString startFolderFor(const QString& programFolder, bool installed, const QString& picturesFolder,
                       const QString& homeFolder);

} // namespace velmora
