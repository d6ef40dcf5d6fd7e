#include "tool/jobs.h"

#include "libvelmora/stripencoder.h"
#include "parallel/parallel.h"

#include <algorithm>

namespace velmora::tool {

int defaultJobs() {
    return std::min(kJobsPerCore * jpeg::workerCount(), kMaxJobs);
}

// A thread the system refuses leaves the work to those there are.
void runSideBySide(int jobs, const std::function<bool()>& work) {
    parallel::runWorkers(jobs, [&work](int) {
        while (work()) {
        }
    });
}

bool MemoryGate::fits(long long bytes) const {
    return capacity_ <= 0 || holders_ == 0 || held_ + bytes <= capacity_;
}

void MemoryGate::acquire(long long bytes) {
    std::unique_lock lock(mutex_);
    const unsigned long long ticket = nextTicket_++;
    changed_.wait(lock, [&] { return serving_ == ticket && fits(bytes); });
    ++serving_;
    held_ += bytes;
    ++holders_;
    // The next in line may fit beside this one.
    changed_.notify_all();
}

void MemoryGate::release(long long bytes) {
    {
        const std::lock_guard lock(mutex_);
        held_ -= bytes;
        --holders_;
    }
    changed_.notify_all();
}

MemoryHold::MemoryHold(MemoryGate* gate, long long bytes)
    : gate_(bytes > 0 ? gate : nullptr), bytes_(bytes) {
    if (gate_)
        gate_->acquire(bytes_);
}

MemoryHold::~MemoryHold() {
    if (gate_)
        gate_->release(bytes_);
}

} // namespace velmora::tool
