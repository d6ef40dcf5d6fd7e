// The one count of worker threads, and the one way work is spread over them.
//
// Every part of the program that works on several threads asks workerCount()
// how many, and starts them here (or in the OrderedRing of orderedring.h,
// which starts its threads through startThread()). Plain C++, no Qt.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace velmora::parallel {

// The most workers a caller may have: kWorkersPerCore for each core the
// process may run on, and never more than kMaxWorkers. More threads than that
// only cost memory and switching, and a count asked for as INT_MAX must not
// start tens of thousands of threads or overflow a size computed from it.
inline constexpr int kWorkersPerCore = 4;
inline constexpr int kMaxWorkers = 256;

// The number of cores the process may run on: the CPUs in its affinity mask
// (sched_getaffinity, so taskset and cgroups' cpusets count), or where that is
// not known the machine's count; at least 1. Read afresh at each call, as the
// mask may change.
int coreCount();

// The one count of worker threads. 0 (or less): one per core the process may
// run on, at most kMaxWorkers. Asked for a count, that count clamped to 1 ..
// workerLimit().
int workerCount(int asked = 0);

// The most workerCount() gives for any count asked:
// min(kWorkersPerCore * coreCount(), kMaxWorkers).
int workerLimit();

// Starts a thread running body, as std::thread does (std::system_error when
// the system refuses one). Every thread of the module is started here.
std::thread startThread(std::function<void()> body);

// Runs body(worker) once for each worker 0 .. workers - 1: worker 0 on the
// calling thread, each other on a thread of its own, all at once; returns when
// every one has returned. With one worker (or fewer) body(0) runs alone and no
// thread is started. A thread the system refuses is left out, with the
// workers after it, so bodies should take their pieces from a shared counter
// (as runPieces does) rather than own a fixed part. An exception out of a
// body on another thread ends the program, as from any thread; one out of
// body(0) is passed on once the others are done.
void runWorkers(int workers, const std::function<void(int worker)>& body);

// Pieces 0 .. count - 1, each done once by job(piece), on helper threads
// started now and on the thread that calls finish(), which takes part in what
// is left and returns once every piece is done. Pieces are taken in order from
// an atomic counter by whichever thread is free.
class SideBySide {
  public:
    SideBySide(std::size_t count, std::function<void(std::size_t piece)> job);
    SideBySide(const SideBySide&) = delete;
    SideBySide& operator=(const SideBySide&) = delete;
    ~SideBySide() { finish(); }

    // Starts up to `helpers` threads on the pieces, no more than there are
    // pieces (fewer when the system refuses one; the pieces get done all the
    // same).
    void start(std::size_t helpers);
    // Does the pieces left on this thread, then waits for the helpers.
    void finish();

  private:
    void work();

    const std::size_t count_;
    const std::function<void(std::size_t)> job_;
    std::atomic<std::size_t> next_{0};
    std::vector<std::thread> threads_;
};

// Runs job(piece) for each piece 0 .. count - 1 on up to `workers` threads,
// the calling thread included, and returns when all are done. With one worker
// the pieces run in order on the calling thread and no thread is started.
void runPieces(std::size_t count, int workers, const std::function<void(std::size_t piece)>& job);

} // namespace velmora::parallel
