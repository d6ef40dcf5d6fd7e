// The dialogs' animated rectangle takes the time it is given before it returns.
#include "gui/animation.h"

#include <QElapsedTimer>
#include <QRect>
#include <gtest/gtest.h>

using namespace velmora;

TEST(DrawAnimatedRects, animationReturnsOnlyWhenFinished) {
    gui::setAnimationDuration(80);
    QElapsedTimer clock;
    clock.start();
    gui::DrawAnimatedRects(QRect(10, 10, 0, 0), QRect(10, 10, 200, 100));
    const qint64 spent = clock.elapsed();
    gui::setAnimationDuration(0);
    EXPECT_GE(spent, 80);
    EXPECT_LT(spent, 2000);
}
