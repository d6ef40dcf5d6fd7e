// The pictures and layouts compiled into the program for the button control
// and the dialogs: ":/frames/*.bmp", ":/textures/metal.bmp",
// ":/layouts/*.layout".
#pragma once

#include "controls/buttonstatus.h"

#include <QImage>

namespace velmora {

// Registers the resources. They live in a static library, whose resource
// registration the linker drops unless something calls it; Command and
// loadButtonLayout call it themselves, anything else that reads the resources
// first calls it too. Safe to call any number of times.
void initControlResources();

// The 64 x 25 frame picture of `frame`, loaded once.
QImage frameImage(Frame frame);

} // namespace velmora
