#include "gui/animation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace velmora::gui {

namespace {

constexpr int kDefaultDurationMs = 170;
constexpr int kFrameIntervalMs = 15;
constexpr std::size_t kKeptRecords = 32;
constexpr int kCaptionBand = 18; // pixels, the height of a caption bar
constexpr int kBorder = 2;

int& duration() {
    static int value = kDefaultDurationMs;
    return value;
}

std::vector<AnimatedRects>& records() {
    static std::vector<AnimatedRects> list;
    return list;
}

// The moving rectangle: a frameless window that takes no input and no focus,
// drawn as an outline with a filled caption band along its top. A window mask
// cuts out the inside, so what lies behind shows through without needing a
// compositing window manager.
class RubberBand : public QWidget {
  public:
    RubberBand()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void resizeEvent(QResizeEvent*) override {
        const QRect inside =
            rect().adjusted(kBorder, std::min(height(), kCaptionBand), -kBorder, -kBorder);
        QRegion shape(rect());
        if (inside.isValid())
            shape -= QRegion(inside);
        setMask(shape);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor caption = QApplication::palette().color(QPalette::Highlight);
        p.fillRect(rect(), caption.darker(130));
        p.fillRect(rect().adjusted(1, 1, -1, 0).intersected(QRect(0, 0, width(), kCaptionBand - 1)),
                   caption);
    }
};

QRect between(const QRect& a, const QRect& b, double t) {
    auto mix = [t](int x, int y) { return x + static_cast<int>(std::lround((y - x) * t)); };
    const int left = mix(a.left(), b.left());
    const int top = mix(a.top(), b.top());
    const int width = mix(a.width(), b.width());
    const int height = mix(a.height(), b.height());
    return QRect(left, top, std::max(width, 1), std::max(height, 1));
}

} // namespace

void DrawAnimatedRects(const QRect& from, const QRect& to) {
    auto& list = records();
    list.push_back({from, to});
    if (list.size() > kKeptRecords)
        list.erase(list.begin());
    const int total = duration();
    if (total <= 0)
        return;

    // Runs its own short loop so that the caller continues only when the
    // animation has finished; user input waits until then.
    RubberBand band;
    band.setGeometry(between(from, to, 0.0));
    band.show();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kFrameIntervalMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const double t = std::min(1.0, static_cast<double>(clock.elapsed()) / total);
        band.setGeometry(between(from, to, t));
        band.update();
        if (t >= 1.0)
            loop.quit();
    });
    tick.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    band.hide();
}

void setAnimationDuration(int milliseconds) {
    duration() = std::max(0, milliseconds);
}

int animationDuration() {
    return duration();
}

const std::vector<AnimatedRects>& recordedAnimations() {
    return records();
}

void clearRecordedAnimations() {
    records().clear();
}

} // namespace velmora::gui
