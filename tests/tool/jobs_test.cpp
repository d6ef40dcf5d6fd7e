// The memory that files enlarged side by side share: holds that fit go at
// once, one that does not waits for a release, one larger than the whole goes
// alone, and files are let in in the order they asked.
#include "tool/jobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using velmora::tool::MemoryGate;
using namespace std::chrono_literals;

// A hold taken on its own thread; `in` tells when it got the memory.
struct Waiter {
    Waiter(MemoryGate* gate, long long bytes)
        : done(std::async(std::launch::async, [this, gate, bytes] {
              gate->acquire(bytes);
              in = true;
          })) {}
    bool gotIn(std::chrono::milliseconds within) {
        return done.wait_for(within) == std::future_status::ready && in;
    }
    std::atomic<bool> in{false};
    std::future<void> done;
};

} // namespace

TEST(MemoryGate, holdsThatFitGoAtOnceAndOneBeyondWaitsForARelease) {
    MemoryGate gate(100);
    gate.acquire(60);
    Waiter fits(&gate, 40);
    EXPECT_TRUE(fits.gotIn(2s));
    Waiter beyond(&gate, 10);
    EXPECT_FALSE(beyond.gotIn(50ms));
    gate.release(40);
    EXPECT_TRUE(beyond.gotIn(2s));
    gate.release(60);
    gate.release(10);
}

TEST(MemoryGate, oneLargerThanTheWholeGoesAloneAndLaterOnesWaitBehindIt) {
    MemoryGate gate(100);
    gate.acquire(30);
    Waiter huge(&gate, 500);
    EXPECT_FALSE(huge.gotIn(50ms));
    Waiter small(&gate, 10); // would fit, but asked after the huge one
    EXPECT_FALSE(small.gotIn(50ms));
    gate.release(30);
    EXPECT_TRUE(huge.gotIn(2s));
    EXPECT_FALSE(small.gotIn(50ms)); // 510 > 100: the huge one is alone
    gate.release(500);
    EXPECT_TRUE(small.gotIn(2s));
    gate.release(10);
}

TEST(MemoryGate, noCapacityLimitsNothing) {
    MemoryGate gate(0);
    gate.acquire(1LL << 50);
    Waiter more(&gate, 1LL << 50);
    EXPECT_TRUE(more.gotIn(2s));
}

TEST(SideBySide, everyJobRunsAndAsManyAtOnceAsAsked) {
    std::atomic<int> taken{0}, running{0}, most{0};
    velmora::tool::runSideBySide(3, [&] {
        const int job = taken.fetch_add(1);
        if (job >= 12)
            return false;
        const int now = ++running;
        for (int seen = most; seen < now && !most.compare_exchange_weak(seen, now);) {
        }
        // The first three wait for one another: they can only meet side by side.
        for (auto until = std::chrono::steady_clock::now() + 2s;
             job < 3 && most < 3 && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(1ms);
        --running;
        return true;
    });
    EXPECT_EQ(taken.load(), 12 + 3); // each thread's last call answers false
    EXPECT_EQ(most.load(), 3);
}
