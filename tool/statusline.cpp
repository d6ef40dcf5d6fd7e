#include "tool/statusline.h"

#include "gui/filenames.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::tool {

namespace {

constexpr int kBarWidth = 24;
// The line is drawn again at most this often: a strip of rows takes far less.
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr double kDefaultDelaySeconds = 1.0;
constexpr int kDefaultColumns = 80;
constexpr char kCut[] = "...";

std::chrono::steady_clock::duration delay() {
    bool ok = false;
    const double seconds = qEnvironmentVariable("VELMORA_PROGRESS_DELAY").toDouble(&ok);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(ok && seconds >= 0 ? seconds : kDefaultDelaySeconds));
}

// A line as wide as the terminal or wider wraps, and "\r" no longer returns
// to its start: the line is kept one column narrower.
int terminalColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                                                                             : kDefaultColumns;
}

// Columns a character takes on the terminal: two for most CJK characters.
int columnsOf(char32_t c) {
    const int columns = ::wcwidth(static_cast<wchar_t>(c));
    return columns < 0 ? 1 : columns;
}

// The end of text that fits in room columns, "..." before it when cut; adds
// the columns it takes to *width.
QString fitted(const QString& text, int room, int* width) {
    const std::u32string chars = text.toStdU32String();
    int all = 0;
    for (const char32_t c : chars)
        all += columnsOf(c);
    if (all <= room) {
        *width += all;
        return text;
    }
    const int cut = static_cast<int>(sizeof kCut) - 1;
    if (room < cut)
        return {};
    int kept = 0;
    std::size_t from = chars.size();
    while (from > 0 && kept + columnsOf(chars[from - 1]) + cut <= room)
        kept += columnsOf(chars[--from]);
    *width += kept + cut;
    return QLatin1String(kCut) + QString::fromStdU32String(chars.substr(from));
}

} // namespace

void printError(const QString& message) {
    std::fprintf(stderr, "velmora-enlarge: %s\n", gui::nameToBytes(message).constData());
}

StatusLine::StatusLine(int files, bool quiet)
    : files_(std::max(files, 1)), quiet_(quiet), shown_(!quiet && ::isatty(STDERR_FILENO) != 0),
      from_(Clock::now() + delay()), columns_(terminalColumns()) {}

void StatusLine::startFile(int index, const QString& name) {
    const std::lock_guard lock(mutex_);
    index_ = index;
    name_ = name;
    inFlight_[index] = 0;
    if (shown_ && Clock::now() >= from_)
        draw();
}

void StatusLine::update(int index, double fraction) {
    const std::lock_guard lock(mutex_);
    inFlight_[index] = std::clamp(fraction, 0.0, 1.0);
    const auto now = Clock::now();
    if (!shown_ || now < from_ || now - last_ < kRedraw)
        return;
    draw();
}

void StatusLine::finishFile(int index) {
    const std::lock_guard lock(mutex_);
    if (inFlight_.erase(index) > 0)
        ++finished_;
}

void StatusLine::draw() {
    last_ = Clock::now();
    double files = finished_;
    for (const auto& [index, fraction] : inFlight_)
        files += fraction;
    const double done = std::min(files / files_, 1.0);
    const int filled = static_cast<int>(done * kBarWidth);
    QString line =
        QStringLiteral("[%1%2] %3%  ")
            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char(' ')))
            .arg(static_cast<int>(done * 100), 3);
    if (files_ > 1)
        line += QStringLiteral("%1/%2 ").arg(index_ + 1).arg(files_);
    int width = static_cast<int>(line.size());
    line += fitted(gui::nameForDisplay(name_), columns_ - 1 - width, &width);
    // Spaces over what is left of a longer line drawn before.
    std::fprintf(stderr, "\r%s%*s", line.toUtf8().constData(), std::max(0, drawnWidth_ - width),
                 "");
    std::fflush(stderr);
    drawnWidth_ = width;
}

void StatusLine::error(const QString& message) {
    const std::lock_guard lock(mutex_);
    clearLine();
    printError(message);
}

void StatusLine::note(const QString& message) {
    if (quiet_)
        return;
    error(message);
}

void StatusLine::clear() {
    const std::lock_guard lock(mutex_);
    clearLine();
}

void StatusLine::clearLine() {
    if (drawnWidth_ == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", drawnWidth_, "");
    std::fflush(stderr);
    drawnWidth_ = 0;
}

} // namespace velmora::tool
