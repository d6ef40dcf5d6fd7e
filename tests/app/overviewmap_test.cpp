// The map of the whole result: where the view is, while it moves.
#include "app/overviewmap.h"
#include "app/pictureview.h"
#include "tests/app/app_fixture.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

TEST(OverviewMapTest, showsWhereTheViewIsWhileItMovesAndHidesWhenAllIsInView) {
    ZoomFixture f;
    f.key(Qt::Key_End, Qt::ControlModifier);
    OverviewMap* map = f.view.overviewMap();
    ASSERT_TRUE(map->isVisible());
    EXPECT_EQ(map->zoomText(), "100%");
    EXPECT_TRUE(map->testAttribute(Qt::WA_TransparentForMouseEvents));
    // The marker is the view's part of the result, on the map's scale.
    const QRect inView = f.view.contentInView();
    EXPECT_EQ(inView, QRect(315, 218, 100, 80));
    const double sx = double(map->picture().width()) / 415,
                 sy = double(map->picture().height()) / 298;
    const QRect marker = map->viewMarker();
    EXPECT_NEAR(marker.left(), inView.left() * sx, 1);
    EXPECT_NEAR(marker.top(), inView.top() * sy, 1);
    EXPECT_NEAR(marker.right(), map->picture().width() - 1, 1);
    EXPECT_NEAR(marker.bottom(), map->picture().height() - 1, 1);
    // About a second after the last move it goes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !map->isVisible(); }, 3000));
    // With the whole result in view there is nothing to show.
    f.key(Qt::Key_0);
    EXPECT_FALSE(map->isVisible());
}
