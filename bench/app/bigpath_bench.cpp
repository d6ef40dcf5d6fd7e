// The program's path for a large picture, as the user runs it: a JPEG photo
// opened in the main window, enlarged by the menu's command (click to menu
// back), then saved as JPEG by the menu's save command from the window's
// recipe (the opened picture and the ratio), with the time and the peak memory
// of each step. The save is set beside the batch tool writing the same output
// from the same source, run in turn with it; the ratio of the medians is
// printed (goal: at most 1.1), the process's peak resident memory against 4
// bytes a source pixel + 300 MB, and whether the two files are the same bytes.
// Run it inside a memory control group to check a small machine: the tool, its
// child, is in the same group. With "png" among the arguments both write PNG
// (the menu's third save) instead.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_bigpath [runs] [WxH] [png] [ratio ...]
//
// Defaults: 3 runs, 4000x3000, ratios 5.0 and 10.0 (a 39999 x 29999 result at
// 10.0).
#include "app/velmora_m.h"
#include "bench/app/photo.h"
#include "save/jpeglibrary.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr double kMB = 1e6;
constexpr double kMemoryGoalOverSource = 300e6;
constexpr double kTimeGoal = 1.1;

// A figure of /proc/self/status in bytes: VmHWM, the peak resident memory
// since the last reset, or VmRSS, what is resident now.
double statusBytes(const QByteArray& key) {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').front().toDouble() * 1024;
    return 0;
}

// Starts a new peak at what is resident now.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// A message box would wait for a click that never comes: print it and close it.
void closeMessageBoxes(QTimer* timer) {
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                std::printf("  message: %s\n", box->text().toLocal8Bit().constData());
                box->close();
            }
    });
    timer->start(100);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One step's times, its peak and its peak over what was resident at its start.
struct Step {
    std::vector<double> ms;
    double peak = 0, added = 0, before = 0;
    void start(QElapsedTimer& t) {
        resetPeak();
        before = statusBytes("VmRSS:");
        t.restart();
    }
    void add(const QElapsedTimer& t) {
        ms.push_back(t.nsecsElapsed() / 1e6);
        const double p = statusBytes("VmHWM:");
        peak = std::max(peak, p);
        added = std::max(added, p - before);
    }
};

void report(const char* name, const Step& s) {
    std::printf("  %-22s %10.0f ms   peak %8.0f MB, %8.0f MB over its start\n", name, median(s.ms),
                s.peak / kMB, s.added / kMB);
}

QByteArray digest(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// The batch tool's whole run for the same output: read, enlarge, write.
double runTool(const QString& source, double r, const QString& output) {
    QElapsedTimer t;
    t.start();
    QProcess::execute(QCoreApplication::applicationDirPath() + "/../bin/velmora-enlarge",
                      {"--ratio", QString::number(r, 'f', 1), source, output});
    return t.nsecsElapsed() / 1e6;
}

void runRatio(const QString& source, const QSize& size, const QString& folder, int scale, int runs,
              bool png) {
    const QString ending = png ? QStringLiteral(".png") : QStringLiteral(".jpg");
    const QString ours = folder + QStringLiteral("/program") + ending;
    const QString theirs = folder + QStringLiteral("/tool") + ending;
    // The window with the file dialog answered, the settings beside the
    // pictures and the conversion library of the build (this benchmark lives
    // in build/bench).
    velmora::MainWindowHooks hooks;
    hooks.settingsFile = folder + QStringLiteral("/velmora.ini");
    hooks.libraryFolder = QCoreApplication::applicationDirPath() + "/../bin";
    hooks.askRatio = [scale](std::int16_t) {
        return std::optional<std::int16_t>(static_cast<std::int16_t>(scale));
    };
    hooks.askSaveName = [&](const velmora::gui::SaveFileRequest&, QString* chosen) {
        *chosen = ours;
        return true;
    };
    velmora::velmora_m window(hooks);
    window.show();
    window.m_ritu_Click();
    const double r = scale / 10.0;
    Step open, enlarge, save;
    std::vector<double> tool;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        open.start(t);
        window.openImage(source);
        open.add(t);
        enlarge.start(t);
        window.m_kakudai()->trigger(); // returns with the menu enabled again
        enlarge.add(t);
        // The save as the menu runs it, with the file dialog answered.
        save.start(t);
        window.m_save_Click(png ? 2 : 0);
        save.add(t);
        tool.push_back(runTool(source, r, theirs));
    }
    const QSize result = window.Display()->contentSize();
    const double sourceBytes = 4.0 * size.width() * size.height();
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("ratio %.1f: result %d x %d (%.0f MB as 32-bit pixels), source %.0f MB\n", r,
                result.width(), result.height(), 4.0 * result.width() * result.height() / kMB,
                sourceBytes / kMB);
    report("open to picture", open);
    report("click to menu back", enlarge);
    report(png ? "PNG save (program)" : "JPEG save (program)", save);
    std::printf("  %-22s %10.0f ms   (whole run: read, enlarge, write; peak of any run %.0f MB)\n",
                "batch tool, same output", median(tool), children.ru_maxrss * 1024.0 / kMB);
    std::printf("  save / tool = %.2f (goal <= %.1f)\n", median(save.ms) / median(tool), kTimeGoal);
    std::printf("  the program's peak over the whole run %.0f MB (goal: at most %.0f MB, the "
                "source + 300 MB)\n",
                std::max({open.peak, enlarge.peak, save.peak}) / kMB,
                (sourceBytes + kMemoryGoalOverSource) / kMB);
    std::printf("  program's file %s the tool's\n",
                digest(ours) == digest(theirs) && !digest(ours).isEmpty() ? "is byte for byte"
                                                                          : "DIFFERS from");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTimer messages;
    closeMessageBoxes(&messages);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const int runs = args.isEmpty() ? 3 : std::max(1, args[0].toInt());
    QSize size(4000, 3000);
    std::vector<int> scales;
    bool png = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("png"))
            png = true;
        else if (const QStringList wh = args[i].split('x'); wh.size() == 2)
            size = QSize(wh[0].toInt(), wh[1].toInt());
        else
            scales.push_back(qRound(args[i].toDouble() * 10));
    }
    if (scales.empty())
        scales = {50, 100};
    // On the disk, beside where a user keeps pictures: not a memory-backed /tmp.
    QTemporaryDir folder(QCoreApplication::applicationDirPath() + "/bigpath-XXXXXX");
    const QString source = folder.filePath("source.jpg");
    velmora::bench::PhotoLike(size.width(), size.height()).save(source, "JPG", 95);
    for (int scale : scales)
        runRatio(source, size, folder.path(), scale, runs, png);
    return 0;
}
