// The program's shared state: one instance of each, alive for the whole process,
// on the one user-interface thread. It lies below every layer that reads it: the
// settings routines, saving and the dialogs use it; the main window writes the
// dialogs' answers into it.
#pragma once

#include <QString>

#include <cstdint>

namespace velmora {

// The zoom ratio in tenths (12 means 1.2x). Never zero or below once the main
// window has loaded. Written by the main window from the ratio dialog's answer.
extern std::int16_t Ritu_Scale;
// Full path of the image chosen in the image selection dialog; empty: nothing
// chosen. Written by the main window from the dialog's answer.
extern QString Sel_File;
// The folder the image selection dialog starts in.
extern QString Get_Dir;
// The folder the save dialog starts in.
extern QString Put_Dir;
// The result of the last system call whose result the program keeps.
extern std::int32_t Api_Result;

} // namespace velmora
