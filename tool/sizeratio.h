// The ratio that gives a result of the size asked for: --width, --height or
// --fit instead of --ratio.
#pragma once

#include "imageio/picture.h"

#include <string>

namespace velmora::tool {

// What the result's size is asked to be.
enum class SizeRule {
    Ratio,  // a ratio given as it is
    Width,  // exactly this many pixels wide
    Height, // exactly this many pixels high
    Fit,    // the largest result inside a box
};

struct SizeTarget {
    SizeRule rule = SizeRule::Ratio;
    int width = 0;  // Width and Fit
    int height = 0; // Height and Fit
};

// A ratio chosen for one source, or why none in the tool's range gives the
// size asked for.
struct RatioChoice {
    double ratio = 0;    // 0 when refused
    std::string refusal; // "to a width of 1280 pixels: ...", for the file's message
};

// The lowest and highest ratio a size may need: the zoom-ratio dialog's range.
double lowestRatio();
double highestRatio();

// The ratio that makes the result of a source of this size (upright) what the
// target asks, under the engine's size rule (enlargeGeometry, which is asked at
// every step, so the size is exact as the engine computes it):
// - Width: the side is exactly target.width. The ratios giving it form an
//   interval; of them, the one whose height is nearest the source's aspect
//   (target.width x height / width, rounded) is taken, the smallest giving that
//   height. Height likewise, the roles swapped.
// - Fit: the largest ratio whose result fits in target.width x target.height.
// Refused when the size needs a ratio outside lowestRatio() to highestRatio(),
// or when no ratio gives the side exactly (sides beyond 16 million pixels,
// where single precision skips whole pixels). rule must not be Ratio.
RatioChoice chooseRatio(const SizeTarget& target, imageio::Size source);

} // namespace velmora::tool
