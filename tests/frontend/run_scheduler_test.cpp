#include "frontend/run_scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace dravik {
namespace {

using namespace std::chrono_literals;

const auto kNever = [] { return false; };
const auto kNothing = [] {};

// Several logs, each read by several conversions: every conversion runs
// once, and two of one log never at the same time.
TEST(RunSchedulerTest, EveryConversionRunsOnceAndNoLogTwiceAtATime) {
    const std::vector<std::size_t> keys = {0, 0, 0, 1, 1, 2, 3, 3, 3, 3, 4, 2};
    for (unsigned workers : {1u, 2u, 4u}) {
        std::vector<std::atomic<int>> runs(keys.size());
        std::vector<std::atomic<int>> readers(5);
        std::atomic<int> overlaps{0};
        CRunScheduler scheduler(keys);
        scheduler.Run(
            workers,
            [&](std::size_t index, std::size_t) {
                ++runs[index];
                if (++readers[keys[index]] > 1) ++overlaps;
                std::this_thread::sleep_for(1ms);
                --readers[keys[index]];
            },
            kNever, kNothing, 10ms);
        for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(runs[i], 1) << workers << " " << i;
        EXPECT_EQ(overlaps, 0) << workers;
    }
    EXPECT_EQ(CRunScheduler({0, 1, 2}).Workers(8), 3u);
    EXPECT_EQ(CRunScheduler({0, 1, 2}).Workers(0), 1u);
    EXPECT_GE(ProcessorCount(), 1u);
}

TEST(RunSchedulerTest, OneWorkerRunsTheConversionsInRunOrder) {
    std::vector<std::size_t> order;
    CRunScheduler({2, 0, 2, 1})
        .Run(
            1, [&](std::size_t index, std::size_t) { order.push_back(index); }, kNever, kNothing,
            10ms);
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}));
}

// A busy log holds back only its own conversions: the next free one starts.
TEST(RunSchedulerTest, AConversionOfAFreeLogPassesOneThatWaitsForItsLog) {
    std::promise<void> third_started;
    std::future<void> started = third_started.get_future();
    std::vector<std::size_t> order;
    std::mutex lock;
    CRunScheduler({0, 0, 1}).Run(
        2,
        [&](std::size_t index, std::size_t) {
            {
                std::lock_guard<std::mutex> guard(lock);
                order.push_back(index);
            }
            if (index == 2) third_started.set_value();
            // The first holds its log until the third has started.
            if (index == 0) {
                EXPECT_EQ(started.wait_for(10s), std::future_status::ready);
            }
        },
        kNever, kNothing, 10ms);
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 2, 1}));
}

// After a cancel no conversion starts; the ones under way end by themselves.
// The run goes on ticking while they do.
TEST(RunSchedulerTest, ACancelStartsNoOtherConversionAndTicksGoOnMeanwhile) {
    std::atomic<bool> cancelled{false};
    std::atomic<int> started{0};
    std::atomic<int> ticks{0};
    const std::thread::id caller = std::this_thread::get_id();
    CRunScheduler({0, 1, 2, 3})
        .Run(
            1,
            [&](std::size_t, std::size_t) {
                if (++started == 2) {
                    cancelled = true;
                    // Long enough for several ticks.
                    while (ticks < 3) std::this_thread::sleep_for(1ms);
                }
            },
            [&] { return cancelled.load(); },
            [&] {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                ++ticks;
            },
            1ms);
    EXPECT_EQ(started, 2);
    EXPECT_GE(ticks, 3);
}

}  // namespace
}  // namespace dravik
