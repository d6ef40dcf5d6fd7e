// Standard error as the tool writes to it: messages, and on a terminal one
// line of progress that each message clears first.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace velmora::tool {

// Writes "velmora-enlarge: message" on a line; names in it are written as the
// bytes they were given.
void printError(const std::string& message);

// The progress of a job of one or more files, each counting the same: a bar,
// the whole job's percent and the file at hand, the one that started last
// ("3/20 photo.jpg"). It is drawn only when standard error is a terminal, the
// job is not quiet, and the run has taken a moment: VELMORA_PROGRESS_DELAY
// seconds from the start, one when the variable is not set, so that a quick
// run shows nothing. Files may be enlarged side by side: every call may come
// from any thread, and each message is written whole.
class StatusLine {
  public:
    StatusLine(int files, bool quiet);

    // The file `index` (from 0) named `name` starts.
    void startFile(int index, const std::string& name);
    // This much of the file `index` is done, 0 to 1.
    void update(int index, double fraction);
    // The file `index` is over, written or not.
    void finishFile(int index);
    // printError, the progress line cleared first; the next update draws it again.
    void error(const std::string& message);
    // The same for a message that is no error ("skipped ..."), which a quiet
    // job leaves out.
    void note(const std::string& message);
    // Clears the progress line.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;

    void draw();
    void clearLine();

    std::mutex mutex_;
    int files_;
    bool quiet_ = false;
    bool shown_ = false; // whether progress is drawn at all
    Clock::time_point from_, last_;
    int columns_;
    int index_ = 0;    // the file at hand
    std::string name_; // bytes, as given
    int finished_ = 0;
    std::map<int, double> inFlight_; // how far each file under way is
    int drawnWidth_ = 0;             // columns the line on the terminal takes now
};

} // namespace velmora::tool
