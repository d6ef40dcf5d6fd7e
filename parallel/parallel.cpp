#include "parallel/parallel.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <system_error>

#if defined(__linux__)
#include <sched.h>
#endif

namespace velmora::parallel {

namespace {

// The CPUs in the process's affinity mask; 0 when it cannot be read. A mask
// for more CPUs than cpu_set_t holds is read with a larger set.
int affinityCount() {
#if defined(__linux__)
    cpu_set_t fixed;
    CPU_ZERO(&fixed);
    if (sched_getaffinity(0, sizeof fixed, &fixed) == 0)
        return CPU_COUNT(&fixed);
    for (int cpus = 2 * CPU_SETSIZE; errno == EINVAL && cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set)
            return 0;
        const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(bytes, set);
        const int count = sched_getaffinity(0, bytes, set) == 0 ? CPU_COUNT_S(bytes, set) : 0;
        const int error = errno; // too small a set again, or another failure
        CPU_FREE(set);
        if (count > 0)
            return count;
        errno = error;
    }
#endif
    return 0;
}

} // namespace

int coreCount() {
    if (const int cpus = affinityCount(); cpus > 0)
        return cpus;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int workerLimit() {
    return static_cast<int>(
        std::min<long long>(static_cast<long long>(kWorkersPerCore) * coreCount(), kMaxWorkers));
}

int workerCount(int asked) {
    if (asked <= 0)
        return std::min(coreCount(), kMaxWorkers);
    // Within the limit on any machine: no need to ask the system.
    if (asked <= kWorkersPerCore)
        return asked;
    return std::min(asked, workerLimit());
}

std::thread startThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

void runWorkers(int workers, const std::function<void(int)>& body) {
    std::vector<std::thread> others;
    others.reserve(static_cast<std::size_t>(std::max(workers - 1, 0)));
    for (int worker = 1; worker < workers; ++worker) {
        try {
            others.push_back(startThread([&body, worker] { body(worker); }));
        } catch (...) {
            // No thread (system_error) or no memory for its start-up.
            break;
        }
    }
    std::exception_ptr failure;
    try {
        body(0);
    } catch (...) {
        failure = std::current_exception();
    }
    for (std::thread& other : others)
        other.join();
    if (failure)
        std::rethrow_exception(failure);
}

SideBySide::SideBySide(std::size_t count, std::function<void(std::size_t)> job)
    : count_(count), job_(std::move(job)) {}

void SideBySide::start(std::size_t helpers) {
    for (std::size_t t = 0; t < std::min(helpers, count_); ++t) {
        try {
            threads_.push_back(startThread([this] { work(); }));
        } catch (const std::system_error&) {
            break;
        }
    }
}

void SideBySide::finish() {
    work();
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
}

void SideBySide::work() {
    for (std::size_t k; (k = next_.fetch_add(1, std::memory_order_relaxed)) < count_;)
        job_(k);
}

void runPieces(std::size_t count, int workers, const std::function<void(std::size_t)>& job) {
    SideBySide pieces(count, job);
    pieces.start(static_cast<std::size_t>(std::max(workers - 1, 0)));
    pieces.finish();
}

} // namespace velmora::parallel
