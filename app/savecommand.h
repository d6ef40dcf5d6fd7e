// The save command of the main window's menu: asks for the file name, keeps
// its folder, has save/ write the picture and shows what went wrong.
#pragma once

#include "gui/savedialog.h"
#include "save/save.h"

#include <QString>

class QWidget;

namespace velmora {

// The folder part of a full path: everything before the last "/", without that
// separator. A file in the root folder gives "/" (the root stays the root); a
// bare name without any separator gives "".
QString Get_Folder(const QString& path);

// The save-dialog request for the kind, starting in Put_Dir.
gui::SaveFileRequest Save_Request(QWidget* owner, SaveKind kind);

// The menu command: asks for a name, remembers its folder in Put_Dir and
// "Put_Path" (before saving, so it is kept even when saving fails), then saves
// the recipe's picture off the user-interface thread. A failure or refusal is
// shown in a message box.
void m_save_Click(QWidget* owner, const Recipe& recipe, SaveKind kind,
                  const gui::SaveFileDialog& dialog = gui::GetSaveFileName);

} // namespace velmora
