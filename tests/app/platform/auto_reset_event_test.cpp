#include "auto_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using mireldo::platform::AutoResetEvent;
using namespace std::chrono_literals;

namespace {

// Waits up to five seconds for `count` to reach `expected`.
bool reaches(const std::atomic<int>& count, int expected) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (count.load() < expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    return count.load() >= expected;
}

} // namespace

TEST(AutoResetEventTest, EachSetReleasesExactlyOneOfSeveralWaiters) {
    AutoResetEvent event;
    std::atomic<int> released{0};
    std::atomic<int> waiting{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            waiting.fetch_add(1);
            event.wait();
            released.fetch_add(1);
        });
    }
    ASSERT_TRUE(reaches(waiting, 3));
    std::this_thread::sleep_for(20ms); // let them block in wait()
    EXPECT_EQ(released.load(), 0);

    for (int set = 1; set <= 3; ++set) {
        event.set();
        ASSERT_TRUE(reaches(released, set));
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(released.load(), set) << "one set released more than one waiter";
    }
    for (std::thread& t : waiters) {
        t.join();
    }
    EXPECT_FALSE(event.waitFor(0)) << "the last waiter must have reset the event";
}

TEST(AutoResetEventTest, SignalWaitsForTheNextWaiterAndIsConsumedOnce) {
    AutoResetEvent event;
    event.set();
    event.set(); // sets do not count up
    EXPECT_TRUE(event.waitFor(0));
    EXPECT_FALSE(event.waitFor(0));

    AutoResetEvent initiallySet(true);
    EXPECT_TRUE(initiallySet.waitFor(0));
    EXPECT_FALSE(initiallySet.waitFor(0));
}

TEST(AutoResetEventTest, ResetClearsAnUnconsumedSignal) {
    AutoResetEvent event;
    event.set();
    event.reset();
    EXPECT_FALSE(event.waitFor(10));
    event.set();
    event.wait(); // must not block
    SUCCEED();
}

TEST(AutoResetEventTest, WaitForTimesOutNoEarlierThanAsked) {
    AutoResetEvent event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.waitFor(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
}

TEST(AutoResetEventTest, PingPongBetweenTwoThreadsLosesNoSignal) {
    // The request/answer pattern of a command sent to a worker and its answer event.
    AutoResetEvent request;
    AutoResetEvent answer;
    constexpr int kRounds = 2000;
    std::atomic<int> served{0};
    std::thread worker([&] {
        for (int i = 0; i < kRounds; ++i) {
            request.wait();
            served.fetch_add(1);
            answer.set();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        request.set();
        ASSERT_TRUE(answer.waitFor(5000)) << "round " << i;
    }
    worker.join();
    EXPECT_EQ(served.load(), kRounds);
}
