// The window as a view of the result, as the user meets it:
// - click to menu back: the enlargement command on a 4000 x 3000 photo, from
//   the menu click until the menu is enabled again with the part in view shown;
// - a drag step: a 1920 x 1080 view of the 10.0 result (a maximised window on a
//   full-HD screen) moved by one mouse step, the newly exposed part computed
//   and painted. The counters give the median and the slowest step.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_view
#include "app/pictureview.h"
#include "app/velmora_m.h"
#include "bench/app/photo.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

const QImage& source() {
    static const QImage picture = velmora::bench::PhotoLike(kWidth, kHeight);
    return picture;
}

void BM_ClickToMenuBack(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.jpg");
    source().save(path, "JPG", 95);
    velmora::MainWindowHooks hooks;
    hooks.settingsFile = dir.filePath("velmora.ini");
    hooks.askRatio = [&state](std::int16_t) {
        return std::optional<std::int16_t>(static_cast<std::int16_t>(state.range(0)));
    };
    velmora::velmora_m window(hooks);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    window.openImage(path);
    window.m_ritu_Click();
    for (auto _ : state) {
        window.m_kakudai()->trigger(); // returns with the menu enabled again
        if (!window.m_kakudai()->isEnabled())
            state.SkipWithError("the menu did not come back");
    }
    state.counters["view px"] =
        static_cast<double>(window.Display()->width()) * window.Display()->height();
}
BENCHMARK(BM_ClickToMenuBack)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Steps of `step` pixels across and step / 2 down, turning back at the
// result's edges, as a hand drags.
void BM_DragStep(benchmark::State& state) {
    const double r = static_cast<double>(state.range(0)) / 10;
    const int step = static_cast<int>(state.range(1));
    velmora::PictureView view;
    view.fitInto(QSize(1920, 1080));
    view.showEnlarged(source(), r);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        state.SkipWithError("the view was not shown");
        return;
    }
    view.reveal();
    QPoint direction(step, step / 2);
    std::vector<double> ms;
    for (auto _ : state) {
        const QPoint wanted = view.offset() + direction;
        QElapsedTimer t;
        t.start();
        view.scrollTo(wanted);
        view.repaint();
        ms.push_back(t.nsecsElapsed() / 1e6);
        if (view.offset() != wanted)
            direction = -direction;
    }
    state.counters["median ms"] = median(ms);
    state.counters["slowest ms"] = *std::max_element(ms.begin(), ms.end());
    state.counters["tiles kept"] = view.keptTiles();
}
BENCHMARK(BM_DragStep)
    ->Args({100, 8})
    ->Args({100, 32})
    ->Args({100, 128})
    ->Args({50, 32})
    ->Iterations(400)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
