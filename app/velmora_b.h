// The program's shared state: one instance of each, alive for the whole process,
// read and written by every window on the one user-interface thread.
#pragma once

#include <QString>

#include <cstdint>

namespace velmora {

// The zoom ratio in tenths (12 means 1.2x). Never zero or below once the main
// window has loaded.
extern std::int16_t Ritu_Scale;
// Full path of the image chosen in the image selection dialog; empty: nothing chosen.
extern QString Sel_File;
// The folder the image selection dialog starts in.
extern QString Get_Dir;
// The folder the save dialog starts in.
extern QString Put_Dir;
// Screen position of the pointer when the most recent dialog loaded.
extern std::int32_t Cur_X;
extern std::int32_t Cur_Y;
// The result of the last system call whose result the program keeps.
extern std::int32_t Api_Result;

} // namespace velmora
