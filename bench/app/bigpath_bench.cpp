// The program's path for a large picture, as the user runs it: a 4000 x 3000
// JPEG opened in the main window, then its enlargement saved as JPEG by the
// menu's save command from the window's recipe (the opened picture and the
// ratio), with the time and the peak memory of each step. The save is set
// beside the batch tool writing the same output from the same source, run in
// turn with it; the ratio of the medians is printed (goal: at most 1.1), the
// save's peak resident memory against 4 bytes a source pixel + 300 MB, and
// whether the two files are the same bytes.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_bigpath [runs] [ratio ...]
//
// Defaults: 3 runs, ratios 5.0 and 10.0 (a 39999 x 29999 result at 10.0).
#include "app/savecommand.h"
#include "app/velmora_m.h"
#include "platform/surface.h"
#include "save/jpeglibrary.h"
#include "settings/settings.h"

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
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr double kMB = 1e6;
constexpr double kMemoryGoalOverSource = 300e6;
constexpr double kTimeGoal = 1.1;

// A photo-like picture: smooth shading with a little grain.
void writeSource(const QString& path) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::mt19937 rng(5);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x)
            line[x] = qRgb((x / 16 + rng() % 6) & 0xFF, (y / 12 + rng() % 6) & 0xFF,
                           ((x + y) / 28) & 0xFF);
    }
    image.save(path, "JPG", 95);
}

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

void runRatio(const QString& source, const QString& folder, int scale, int runs) {
    velmora::MainWindowServices services;
    velmora::velmora_m window(services);
    window.show();
    const double r = scale / 10.0;
    Step open, save;
    std::vector<double> tool;
    const QString ours = folder + QStringLiteral("/program.jpg");
    const QString theirs = folder + QStringLiteral("/tool.jpg");
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        open.start(t);
        window.openImage(source);
        open.add(t);
        // The save as the menu runs it, with the file dialog answered, from the
        // recipe the window holds once the enlargement has run.
        save.start(t);
        velmora::m_save_Click(&window, {window.Master()->image(), r}, velmora::SaveKind::Jpeg,
                              [&](const velmora::platform::SaveFileRequest&, QString* chosen) {
                                  *chosen = ours;
                                  return true;
                              });
        save.add(t);
        tool.push_back(runTool(source, r, theirs));
    }
    const QSize result = velmora::Recipe_Size({window.Master()->image(), r});
    const double sourceBytes = 4.0 * kWidth * kHeight;
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("ratio %.1f: result %d x %d (%.0f MB as 32-bit pixels), source %.0f MB\n", r,
                result.width(), result.height(), 4.0 * result.width() * result.height() / kMB,
                sourceBytes / kMB);
    report("open to picture", open);
    report("JPEG save (program)", save);
    std::printf("  %-22s %10.0f ms   (whole run: read, enlarge, write; peak of any run %.0f MB)\n",
                "batch tool, same output", median(tool), children.ru_maxrss * 1024.0 / kMB);
    std::printf("  save / tool = %.2f (goal <= %.1f)\n", median(save.ms) / median(tool), kTimeGoal);
    std::printf("  save's peak %.0f MB, %.0f MB over its start (goal: peak <= %.0f MB, the source "
                "+ 300 MB)\n",
                save.peak / kMB, save.added / kMB, (sourceBytes + kMemoryGoalOverSource) / kMB);
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
    std::vector<int> scales;
    for (int i = 1; i < args.size(); ++i)
        scales.push_back(qRound(args[i].toDouble() * 10));
    if (scales.empty())
        scales = {50, 100};
    // On the disk, beside where a user keeps pictures: not a memory-backed /tmp.
    QTemporaryDir folder(QCoreApplication::applicationDirPath() + "/bigpath-XXXXXX");
    velmora::Set_Settings_File(folder.filePath("velmora.ini"));
    velmora::Set_Library_Folder(QCoreApplication::applicationDirPath() + "/../bin");
    const QString source = folder.filePath("source.jpg");
    writeSource(source);
    for (int scale : scales)
        runRatio(source, folder.path(), scale, runs);
    return 0;
}
