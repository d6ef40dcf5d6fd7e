// Threads counted as the process starts them, and the process pinned to some
// of its CPUs, for the tests of how many workers each part starts.
#pragma once

#include <sched.h>

namespace velmora::testkit {

// Every thread any code of the process starts goes through pthread_create,
// which this test program defines over the system's own: threadsStarted()
// counts them, threadsPeak() is the most of them that ran at once since
// resetThreadsPeak().
int threadsStarted();
int threadsPeak();
void resetThreadsPeak();

// The process's affinity mask narrowed to its first `cpus` CPUs for the
// scope (all of them when it has fewer), then set back.
class PinnedToCpus {
  public:
    explicit PinnedToCpus(int cpus);
    ~PinnedToCpus();
    PinnedToCpus(const PinnedToCpus&) = delete;
    PinnedToCpus& operator=(const PinnedToCpus&) = delete;

  private:
    cpu_set_t before_;
};

} // namespace velmora::testkit
