// The whole result in sight: a 6000 x 4000 JPEG enlarged 10 times (59999 x
// 39999) in a 1920 x 1080 view. From the key to the view painted complete:
// fit, every zoom step in and out, and pan steps (arrow keys) at every zoom;
// then the process's peak memory against 4 bytes a source pixel + 300 MB.
// Paint times apart: every paint between the key and the exact picture (the
// tiles in view missing), and the paint of the view once its tiles are ready.
//
//     QT_QPA_PLATFORM=offscreen build/bench/bench_zoom [runs]
#include "app/pictureview.h"
#include "photo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kSourceWidth = 6000, kSourceHeight = 4000;
constexpr double kRatio = 10.0;
constexpr double kMB = 1 << 20;

struct Times {
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double median() const {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double slowest() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// The view, its paint events timed: those with tiles missing apart from those
// with every tile in view ready.
class TimedView : public velmora::PictureView {
  public:
    Times missing, ready;
    bool tilesReady = false; // set by whoever knows that the view is exact

  protected:
    void paintEvent(QPaintEvent* event) override {
        QElapsedTimer t;
        t.start();
        PictureView::paintEvent(event);
        (tilesReady ? ready : missing).add(t.nsecsElapsed() / 1e6);
    }
};

// The key pressed and the view painted through, in milliseconds: the first
// picture, and then (after a zoom) the exact one.
struct Press {
    double first = 0;
    double exact = 0;
};
Press press(TimedView& view, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QElapsedTimer t;
    t.start();
    view.tilesReady = false;
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(&view, &event);
    view.repaint();
    Press times;
    times.first = t.nsecsElapsed() / 1e6;
    // Waiting for events, so that this thread leaves the cores to the workers.
    while (!view.exact())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    view.tilesReady = true;
    view.repaint();
    times.exact = t.nsecsElapsed() / 1e6;
    return times;
}

double peakMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024.0 / kMB;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    TimedView view;
    view.fitInto(QSize(1920, 1080));
    if (!view.showEnlarged(velmora::bench::PhotoLike(kSourceWidth, kSourceHeight), kRatio)) {
        std::fprintf(stderr, "the result has no size\n");
        return 1;
    }
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        std::fprintf(stderr, "the view was not shown\n");
        return 1;
    }
    view.reveal();
    std::printf("%d x %d at %.1f: %d x %d in a %d x %d view, %d runs\n", kSourceWidth,
                kSourceHeight, kRatio, view.contentSize().width(), view.contentSize().height(),
                view.width(), view.height(), runs);

    view.missing = view.ready = Times{};
    Times fit, in, inFirst, out, outFirst;
    std::vector<std::pair<QString, Times>> pans;
    for (int run = 0; run < runs; ++run) {
        // From 1:1 to fit, then in to 8x step by step, then back out.
        view.zoomToOneToOne(QPoint());
        view.repaint();
        fit.add(press(view, Qt::Key_0).exact);
        while (view.scale() < velmora::PictureView::kMostMagnified) {
            const Press step = press(view, Qt::Key_Plus);
            in.add(step.exact);
            inFirst.add(step.first);
            if (std::getenv("ZOOM_STEPS"))
                std::printf("    in to %s: %.2f ms\n", qPrintable(view.zoomText()), in.ms.back());
            // Pan steps at this zoom: right, down, left, up, a tenth of the view each.
            Times& pan = [&]() -> Times& {
                for (auto& [name, times] : pans)
                    if (name == view.zoomText())
                        return times;
                pans.emplace_back(view.zoomText(), Times{});
                return pans.back().second;
            }();
            for (int key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Left,
                            Qt::Key_Up, Qt::Key_Left, Qt::Key_Up})
                pan.add(press(view, key).exact);
        }
        while (!view.fitted() && view.scale() > 0) {
            const double before = view.scale();
            const Press step = press(view, Qt::Key_Minus);
            out.add(step.exact);
            outFirst.add(step.first);
            if (std::getenv("ZOOM_STEPS"))
                std::printf("    out to %s: %.2f ms\n", qPrintable(view.zoomText()), out.ms.back());
            if (view.scale() == before)
                break;
        }
    }
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (goal 50)\n", "fit, from 1:1",
                fit.median(), fit.slowest());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (goal 16)\n", "zoom step in, first",
                inFirst.median(), inFirst.slowest());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (goal 30)\n", "zoom step in",
                in.median(), in.slowest());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (goal 16)\n", "zoom step out, first",
                outFirst.median(), outFirst.slowest());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (goal 30)\n", "zoom step out",
                out.median(), out.slowest());
    for (const auto& [zoom, times] : pans)
        std::printf("  pan step at %-14s median %7.2f ms   slowest %7.2f ms   (goal 8)\n",
                    qPrintable(zoom), times.median(), times.slowest());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (%zu paints)\n",
                "paint, tiles missing", view.missing.median(), view.missing.slowest(),
                view.missing.ms.size());
    std::printf("  %-26s median %7.2f ms   slowest %7.2f ms   (%zu paints)\n", "paint, tiles ready",
                view.ready.median(), view.ready.slowest(), view.ready.ms.size());
    const double goal = 4.0 * kSourceWidth * kSourceHeight / kMB + 300;
    std::printf("  peak memory %.0f MB (goal: at most %.0f MB); tiles kept %d\n", peakMB(), goal,
                view.keptTiles());
    return 0;
}
