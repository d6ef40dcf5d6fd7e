// Files enlarged side by side (--jobs), and the memory they share.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace velmora::tool {

// The most files enlarged at once.
inline constexpr int kMaxJobs = 64;

// Files in flight for each core when --jobs is not given. A file spends part
// of its time away from the processor (reading, waiting for the disk to keep
// its output, joining its strips in order); with three per core another file
// has work for the core meanwhile.
inline constexpr int kJobsPerCore = 3;

// Files enlarged at once when --jobs is not given: kJobsPerCore for each core
// the process may run on (or VELMORA_THREADS, when set), at most kMaxJobs.
// Each save still works on every core, so that a file left alone at the end
// of a run goes as fast as it would alone.
int defaultJobs();

// Runs work() on `jobs` threads at once, the calling thread among them, each
// calling it again until it answers false; returns when all are done.
void runSideBySide(int jobs, const std::function<bool()>& work);

// The memory the files under way share. A file holds its picture's bytes
// from before the picture is decoded until its result is written; one that
// would take more than is left waits, in the order files asked, until files
// before it are done, and one larger than the whole waits until it is alone.
// So the pictures in memory at once never take more than the whole, unless
// one alone does.
class MemoryGate {
  public:
    // capacity in bytes; 0 or less: no limit.
    explicit MemoryGate(long long capacity) : capacity_(capacity) {}

    void acquire(long long bytes);
    void release(long long bytes);

  private:
    bool fits(long long bytes) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    long long capacity_;
    long long held_ = 0;
    int holders_ = 0;
    // Tickets: files are let in in the order they asked.
    unsigned long long nextTicket_ = 0;
    unsigned long long serving_ = 0;
};

// Bytes of a gate held for a scope; nothing with a null gate or no bytes.
class MemoryHold {
  public:
    MemoryHold(MemoryGate* gate, long long bytes);
    ~MemoryHold();
    MemoryHold(const MemoryHold&) = delete;
    MemoryHold& operator=(const MemoryHold&) = delete;

  private:
    MemoryGate* gate_;
    long long bytes_;
};

} // namespace velmora::tool
