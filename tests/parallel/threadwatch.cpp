#include "tests/parallel/threadwatch.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> started{0};
std::atomic<int> live{0};
std::atomic<int> peak{0};

struct Start {
    void* (*routine)(void*);
    void* argument;
};

void* counted(void* box) {
    const Start start = *static_cast<Start*>(box);
    delete static_cast<Start*>(box);
    const int now = live.fetch_add(1) + 1;
    int seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    void* result = start.routine(start.argument);
    live.fetch_sub(1);
    return result;
}

} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*routine)(void*), void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto system = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    auto* box = new Start{routine, argument};
    const int rc = system(thread, attributes, counted, box);
    if (rc == 0)
        started.fetch_add(1);
    else
        delete box;
    return rc;
}

namespace velmora::testkit {

int threadsStarted() {
    return started.load();
}

int threadsPeak() {
    return peak.load();
}

void resetThreadsPeak() {
    peak.store(live.load());
}

PinnedToCpus::PinnedToCpus(int cpus) {
    CPU_ZERO(&before_);
    sched_getaffinity(0, sizeof before_, &before_);
    cpu_set_t narrowed;
    CPU_ZERO(&narrowed);
    for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < cpus; ++cpu)
        if (CPU_ISSET(cpu, &before_)) {
            CPU_SET(cpu, &narrowed);
            ++kept;
        }
    sched_setaffinity(0, sizeof narrowed, &narrowed);
}

PinnedToCpus::~PinnedToCpus() {
    sched_setaffinity(0, sizeof before_, &before_);
}

} // namespace velmora::testkit
