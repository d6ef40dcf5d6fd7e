// The real dialogs and the save command, wired into the main window.
#pragma once

#include "app/velmora_m.h"

namespace velmora {

MainWindowServices ProgramServices();

} // namespace velmora
