#include "tool/statusline.h"

#include "platform/filenames.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>

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

// The seconds a variable gives, blanks around them allowed; false when it
// gives no number.
bool secondsOf(const char* text, double* seconds) {
    std::string_view s = text != nullptr ? text : "";
    const std::size_t first = s.find_first_not_of(" \t\n\v\f\r");
    if (first == std::string_view::npos)
        return false;
    s = s.substr(first, s.find_last_not_of(" \t\n\v\f\r") - first + 1);
    if (s.size() > 1 && s[0] == '+' && s[1] != '-' && s[1] != '+')
        s.remove_prefix(1);
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *seconds);
    return error == std::errc() && end == s.data() + s.size();
}

std::chrono::steady_clock::duration delay() {
    double seconds = 0;
    const bool ok = secondsOf(std::getenv("VELMORA_PROGRESS_DELAY"), &seconds);
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

// The characters of valid UTF-8 text.
std::u32string charactersOf(const std::string& text) {
    std::u32string chars;
    for (std::size_t i = 0; i < text.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data() + i);
        const int length = std::max(1, platform::utf8SequenceLength(p, text.size() - i));
        char32_t c = length == 1 ? p[0] : p[0] & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (p[k] & 0x3F);
        chars.push_back(c);
        i += std::size_t(length);
    }
    return chars;
}

std::string utf8Of(const std::u32string& chars) {
    std::string text;
    for (const char32_t c : chars) {
        if (c < 0x80) {
            text += char(c);
        } else if (c < 0x800) {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += char(0xE0 | (c >> 12));
            text += char(0x80 | ((c >> 6) & 0x3F));
            text += char(0x80 | (c & 0x3F));
        } else {
            text += char(0xF0 | (c >> 18));
            text += char(0x80 | ((c >> 12) & 0x3F));
            text += char(0x80 | ((c >> 6) & 0x3F));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// The end of text (valid UTF-8) that fits in room columns, "..." before it
// when cut; adds the columns it takes to *width.
std::string fitted(const std::string& text, int room, int* width) {
    const std::u32string chars = charactersOf(text);
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
    return kCut + utf8Of(chars.substr(from));
}

} // namespace

void printError(const std::string& message) {
    std::fprintf(stderr, "velmora-enlarge: %s\n", message.c_str());
}

StatusLine::StatusLine(int files, bool quiet)
    : files_(std::max(files, 1)), quiet_(quiet), shown_(!quiet && ::isatty(STDERR_FILENO) != 0),
      from_(Clock::now() + delay()), columns_(terminalColumns()) {}

void StatusLine::startFile(int index, const std::string& name) {
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
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d", static_cast<int>(done * 100));
    std::string line = "[" + std::string(std::size_t(filled), '#') +
                       std::string(std::size_t(kBarWidth - filled), ' ') + "] " + percent + "%  ";
    if (files_ > 1)
        line += std::to_string(index_ + 1) + "/" + std::to_string(files_) + " ";
    int width = static_cast<int>(line.size());
    line += fitted(platform::nameForDisplay(name_), columns_ - 1 - width, &width);
    // Spaces over what is left of a longer line drawn before.
    std::fprintf(stderr, "\r%s%*s", line.c_str(), std::max(0, drawnWidth_ - width), "");
    std::fflush(stderr);
    drawnWidth_ = width;
}

void StatusLine::error(const std::string& message) {
    const std::lock_guard lock(mutex_);
    clearLine();
    printError(message);
}

void StatusLine::note(const std::string& message) {
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
