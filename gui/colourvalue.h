// Colour values keep red in bits 0-7, green in 8-15 and blue in 16-23;
// QImage::Format_RGB32 keeps blue in the low byte. One swap turns either into
// the other.
#pragma once

#include <cstdint>

namespace velmora::gui {

inline std::uint32_t swapRedBlue(std::uint32_t v) {
    return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
}

} // namespace velmora::gui
