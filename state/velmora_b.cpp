#include "state/velmora_b.h"

namespace velmora {

std::int16_t Ritu_Scale = 0;
QString Sel_File;
QString Get_Dir;
QString Put_Dir;
std::int32_t Api_Result = 0;

} // namespace velmora
