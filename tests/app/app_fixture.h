// What the tests of the main window and of its picture view compare Display
// with: the enlargement as the per-pixel routines give it, the whole picture
// Display shows, and what it shows on the screen.
#pragma once

#include "app/pictureview.h"
#include "engine/sampling.h"
#include "tests/support/jpegfiles.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace velmora {

// The part `part` of the enlargement of source at ratio r, in its own layout.
inline QImage Reference(const QImage& source, double r, const QRect& part) {
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    QImage out(part.size(), QImage::Format_RGB32);
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            out.setPixel(
                x, y, 0xFF000000u | Sample_Bilinear((part.x() + x) / r, (part.y() + y) / r, view));
    return out;
}

// What the view shows on the screen, without the map that sits over it for a
// while after it moves.
inline QImage Shown(QWidget* view) {
    QImage out(view->size(), QImage::Format_RGB32);
    view->render(&out, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return out;
}

// Waits (processing events) until every tile in the view's sight is ready.
inline bool TilesReady(PictureView* view) {
    return QTest::qWaitFor([view] { return view->exact(); }, 5000);
}

// The whole picture Display shows, computed where needed.
inline QImage Whole(PictureView* view) {
    return view->content(QRect(QPoint(), view->contentSize()));
}

// A 57 x 41 picture at 7.3 (a 415 x 298 result) in a view of at most 100 x 80.
struct ZoomFixture {
    QImage source = testkit::Colourful(57, 41, 11);
    QImage result = Reference(source, 7.3, QRect(0, 0, 415, 298));
    PictureView view;

    ZoomFixture() {
        view.fitInto(QSize(100, 80));
        EXPECT_TRUE(view.showEnlarged(source, 7.3));
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        EXPECT_TRUE(view.reveal());
    }
    // A key, and the exact picture that follows a zoom's first one.
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QApplication::sendEvent(&view, &press);
        EXPECT_TRUE(QTest::qWaitFor([this] { return view.exact(); }, 5000));
    }
    // The content point (in result pixels) under widget point `at`.
    QPointF contentAt(const QPoint& at) const {
        return (QPointF(view.offset()) + QPointF(at)) / view.scale();
    }
};

} // namespace velmora
