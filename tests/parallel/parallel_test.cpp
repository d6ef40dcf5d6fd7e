// The one count of workers and the runners: the count follows the affinity
// mask and clamps what is asked; every piece is done exactly once whatever the
// number of workers, and one worker is the calling thread alone.
#include "parallel/parallel.h"
#include "tests/parallel/threadwatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using testkit::PinnedToCpus;
using testkit::threadsStarted;

namespace {

struct CountCase {
    const char* name;
    int cpus;  // the process pinned to this many of its CPUs
    int asked; // workerCount(asked)
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkerCount : public ::testing::TestWithParam<CountCase> {};

// What workerCount should give: every CPU left in the mask for 0, else the
// count asked, at most four per CPU and 256.
TEST_P(WorkerCount, followsTheAffinityMaskAndClampsTheCountAsked) {
    const CountCase& c = GetParam();
    const int all = parallel::coreCount();
    if (c.cpus > all)
        GTEST_SKIP() << "needs " << c.cpus << " CPUs, the process has " << all;
    const PinnedToCpus pinned(c.cpus);
    ASSERT_EQ(parallel::coreCount(), c.cpus);
    const int limit = std::min(4 * c.cpus, 256);
    EXPECT_EQ(parallel::workerLimit(), limit);
    const int expected = c.asked <= 0 ? c.cpus : std::min(c.asked, limit);
    EXPECT_EQ(parallel::workerCount(c.asked), expected);
}

INSTANTIATE_TEST_SUITE_P(
    masks, WorkerCount,
    ::testing::Values(CountCase{"oneCpuAutomatic", 1, 0}, CountCase{"twoCpusAutomatic", 2, 0},
                      CountCase{"oneCpuNegative", 1, -3}, CountCase{"oneCpuAskedOne", 1, 1},
                      CountCase{"oneCpuAskedThree", 1, 3}, CountCase{"oneCpuAskedHundred", 1, 100},
                      CountCase{"oneCpuAskedIntMax", 1, INT_MAX},
                      CountCase{"twoCpusAskedIntMax", 2, INT_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkerCount, neverGoesBeyondTheMostForAnyMask) {
    EXPECT_GE(parallel::workerCount(), 1);
    EXPECT_LE(parallel::workerCount(), parallel::kMaxWorkers);
    EXPECT_LE(parallel::workerCount(INT_MAX), parallel::kMaxWorkers);
}

struct RunCase {
    int workers;
    std::size_t pieces;
};

// "2workers100pieces": the case's name, and how a failure shows it.
std::string runName(const RunCase& c) {
    return std::to_string(c.workers) + "workers" + std::to_string(c.pieces) + "pieces";
}

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << runName(c);
}

class RunPieces : public ::testing::TestWithParam<RunCase> {};

// Every piece once, and never more threads than workers beside the caller.
TEST_P(RunPieces, doesEveryPieceExactlyOnce) {
    const RunCase& c = GetParam();
    std::vector<std::atomic<int>> done(c.pieces);
    const int before = threadsStarted();
    parallel::runPieces(c.pieces, c.workers, [&](std::size_t k) { done[k].fetch_add(1); });
    for (std::size_t k = 0; k < c.pieces; ++k)
        EXPECT_EQ(done[k].load(), 1) << "piece " << k;
    EXPECT_LE(threadsStarted() - before,
              std::min<int>(std::max(c.workers - 1, 0), static_cast<int>(c.pieces)));
}

INSTANTIATE_TEST_SUITE_P(workers, RunPieces,
                         ::testing::Values(RunCase{0, 5}, RunCase{1, 0}, RunCase{1, 7},
                                           RunCase{2, 1}, RunCase{2, 100}, RunCase{3, 2},
                                           RunCase{5, 1000}, RunCase{8, 8}),
                         [](const auto& info) { return runName(info.param); });

TEST(RunPieces, withOneWorkerRunsInOrderOnTheCallingThreadAndStartsNone) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::size_t> order;
    bool elsewhere = false;
    const int before = threadsStarted();
    parallel::runPieces(50, 1, [&](std::size_t k) {
        order.push_back(k);
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
    });
    EXPECT_EQ(threadsStarted(), before);
    EXPECT_FALSE(elsewhere);
    ASSERT_EQ(order.size(), 50u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}

TEST(RunWorkers, runsEachWorkerOnceWorkerZeroOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::atomic<int>> ran(6);
    std::atomic<bool> zeroHere{false};
    const int before = threadsStarted();
    parallel::runWorkers(6, [&](int worker) {
        ran[static_cast<std::size_t>(worker)].fetch_add(1);
        if (worker == 0)
            zeroHere = std::this_thread::get_id() == caller;
    });
    for (const std::atomic<int>& r : ran)
        EXPECT_EQ(r.load(), 1);
    EXPECT_TRUE(zeroHere.load());
    EXPECT_EQ(threadsStarted() - before, 5);
}

// The others are joined before the exception goes on: their work is all done
// and no running thread is left behind to end the program.
TEST(RunWorkers, passesOnTheCallersExceptionOnceTheOthersAreDone) {
    std::atomic<int> others{0};
    EXPECT_THROW(parallel::runWorkers(4,
                                      [&](int worker) {
                                          if (worker == 0)
                                              throw std::runtime_error("worker 0");
                                          std::this_thread::sleep_for(
                                              std::chrono::milliseconds(20));
                                          others.fetch_add(1);
                                      }),
                 std::runtime_error);
    EXPECT_EQ(others.load(), 3);
}

} // namespace
