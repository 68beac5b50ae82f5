#include <errno.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "server/zelto_timer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Probe {
    ZeltoTimer* timer = nullptr;
    std::atomic<int> calls{0};
    std::atomic<int64_t> lastCallNs{0};
    std::atomic<bool> mutexHeldDuringCall{false};
};

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int record(void* arg) {
    Probe* probe = static_cast<Probe*>(arg);
    // The callback must run with the timer's mutex held (it guards presetEditOpen).
    if (probe->timer) {
        int r = pthread_mutex_trylock(probe->timer->mutex());
        if (r == 0) pthread_mutex_unlock(probe->timer->mutex());
        probe->mutexHeldDuringCall = r == EBUSY;
    }
    probe->lastCallNs = nowNs();
    probe->calls++;
    return 0;
}

bool waitForCalls(const Probe& probe, int calls, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (probe.calls < calls && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return probe.calls >= calls;
}

TEST(ZeltoTimerDeadline, CarriesNanosecondsIntoSeconds) {
    struct Case {
        timespec from;
        int ms;
        timespec deadline;
    };
    const Case cases[] = {{{10, 999999999}, 200, {11, 199999999}}, {{10, 999999999}, 1500, {12, 499999999}},
                          {{7, 0}, 999, {7, 999000000}},           {{7, 1000000}, 999, {8, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.tv_sec << "." << c.from.tv_nsec << " + " << c.ms << " ms");
        const timespec d = ZeltoTimer::deadlineAfter(c.from, c.ms);
        EXPECT_EQ(d.tv_sec, c.deadline.tv_sec);
        EXPECT_EQ(d.tv_nsec, c.deadline.tv_nsec);
    }
}

// A burst of armings gives one call, after the last, with the mutex held; the timer is then idle
// until it is armed again.
TEST(ZeltoTimer, BurstOfArmingsIsDebouncedIntoOneCallAfterTheLast) {
    Probe probe;
    ZeltoTimer timer;
    probe.timer = &timer;
    // Generous interval against the 50 ms spacing so that a slow machine cannot let it expire
    // between two armings.
    int64_t lastArmNs = 0;
    for (int i = 0; i < 5; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lastArmNs = nowNs();
        timer.arm(500, record, &probe);
        EXPECT_EQ(probe.calls, 0) << "fired before the burst ended (arming " << i << ")";
    }
    ASSERT_TRUE(waitForCalls(probe, 1, 10000));
    EXPECT_GE(probe.lastCallNs - lastArmNs, 500 * 1000000LL);
    EXPECT_TRUE(probe.mutexHeldDuringCall);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(probe.calls, 1);
    timer.arm(20, record, &probe);
    ASSERT_TRUE(waitForCalls(probe, 2, 5000));
}

TEST(ZeltoTimer, DestroyingStopsPromptlyWithoutCalling) {
    Probe probe;
    const auto start = Clock::now();
    { ZeltoTimer idle; }
    {
        ZeltoTimer armed;
        armed.arm(60000, record, &probe);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(probe.calls, 0);
}

}  // namespace
