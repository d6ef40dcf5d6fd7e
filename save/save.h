// Saving the picture of the main window as a bitmap or a JPEG file.
#pragma once

#include "platform/savedialog.h"

#include <QString>

class QImage;
class QWidget;

namespace velmora {

// The folder part of a full path: everything before the last "/", without that
// separator. A file in the root folder gives "/" (the root stays the root); a
// bare name without any separator gives "".
QString Get_Folder(const QString& path);

// The save-dialog request for index 0 (JPEG) or 1 (bitmap), starting in Put_Dir.
platform::SaveFileRequest Save_Request(QWidget* owner, int index);

enum class SaveStatus {
    Saved,
    Failed, // error says why
    NoRoom, // refused before writing: the destination's disk has too little room;
            // error says so in Japanese
};

// Writes image to path: index 0 as JPEG through the conversion library, index 1
// as a bitmap, both rows straight from image without a copy of it. The library
// compresses the rows in memory; only a library without that function (or a
// picture not in 32-bit words) goes by way of a hidden temporary bitmap beside
// path, always deleted. The room on the destination's disk is checked first.
// Both leave no truncated file and keep an existing file on failure.
SaveStatus Save_Image(const QImage& image, const QString& path, int index, QString* error);

// The menu command: asks for a name, remembers its folder in Put_Dir and
// "Put_Path" (before saving, so it is kept even when saving fails), then saves
// the whole picture off the user-interface thread. A failure is shown in a
// message box.
void m_save_Click(QWidget* owner, const QImage& picture, int index,
                  const platform::SaveFileDialog& dialog = platform::GetSaveFileName);

} // namespace velmora
