// A brief animated rectangle between two screen rectangles, the way a dialog
// grows out of the pointer when it opens and shrinks back into it when it closes.
#pragma once

#include <QRect>

#include <vector>

namespace velmora::gui {

// Draws an outline with a caption band that moves from `from` to `to` (screen
// pixels) and returns when it has finished. With a duration of zero nothing is
// drawn, but the call is still recorded.
void DrawAnimatedRects(const QRect& from, const QRect& to);

// Length of one animation in milliseconds (170 by default). Tests set 0.
void setAnimationDuration(int milliseconds);
int animationDuration();

// The rectangles of the animations played so far, oldest first (the most recent
// 32 are kept), so that callers can check where an animation started and ended.
struct AnimatedRects {
    QRect from;
    QRect to;
};
const std::vector<AnimatedRects>& recordedAnimations();
void clearRecordedAnimations();

} // namespace velmora::gui
