// Numbers in the tool's messages, as they have always been written.
#pragma once

#include <cstdio>
#include <string>

namespace velmora::tool {

// x with `digits` digits after the point ("%.1f": 1.1).
inline std::string fixedText(double x, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, x);
    return text;
}

// x with at most `digits` significant digits, no trailing zeros ("%g": 2.5).
inline std::string shortText(double x, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    return text;
}

} // namespace velmora::tool
