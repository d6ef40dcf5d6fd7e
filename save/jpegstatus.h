// What a status of the conversion library means, in the words the program
// shows in its message box.
#pragma once

#include <QString>

namespace velmora {

// The text for a ConvertBMPtoJPG status (VELMORA_E_*); an unknown status is
// shown with its number.
QString Jpeg_Status_Text(int status);

} // namespace velmora
