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

// Writes image to path: index 0 as JPEG through the conversion library (by way
// of a temporary bitmap in the system's temporary folder, always deleted), index
// 1 as a bitmap. Both leave no truncated file and keep an existing file on
// failure. False with error set on failure.
bool Save_Image(const QImage& image, const QString& path, int index, QString* error);

// The menu command: asks for a name, remembers its folder in Put_Dir and
// "Put_Path" (before saving, so it is kept even when saving fails), then saves
// the whole picture. A failure is shown in a message box.
void m_save_Click(QWidget* owner, const QImage& picture, int index,
                  const platform::SaveFileDialog& dialog = platform::GetSaveFileName);

} // namespace velmora
