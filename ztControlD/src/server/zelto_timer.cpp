#include "server/zelto_timer.h"

#include <errno.h>

#include "ztLog.h"

namespace {
constexpr long kNanosPerSecond = 1000000000L;
}

ZeltoTimer::ZeltoTimer() {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_REALTIME);
    pthread_cond_init(&cond_, &attr);
    pthread_condattr_destroy(&attr);
    pthread_mutex_init(&mutex_, nullptr);
    int err = pthread_create(&thread_, nullptr, threadEntry, this);
    if (err == 0)
        threadStarted_ = true;
    else
        ZTLOG(UTIL_LOG_ERROR, "pthread_create error, %d\n", err);  // the timer then never fires
}

ZeltoTimer::~ZeltoTimer() {
    pthread_mutex_lock(&mutex_);
    stop_ = true;
    pthread_cond_broadcast(&cond_);
    pthread_mutex_unlock(&mutex_);
    if (threadStarted_) pthread_join(thread_, nullptr);
    pthread_cond_destroy(&cond_);
    pthread_mutex_destroy(&mutex_);
}

void ZeltoTimer::arm(int intervalMs, ZeltoTimerCallback callback, void* argument) {
    pthread_mutex_lock(&mutex_);
    armLocked(intervalMs, callback, argument);
    pthread_mutex_unlock(&mutex_);
}

void ZeltoTimer::armLocked(int intervalMs, ZeltoTimerCallback callback, void* argument) {
    argument_ = argument;
    disabled_ = false;
    callback_ = callback;
    interval_ = intervalMs;
    pthread_cond_broadcast(&cond_);
}

timespec ZeltoTimer::deadlineAfter(const timespec& now, int intervalMs) {
    timespec deadline;
    long nanos = now.tv_nsec + (long)(intervalMs % 1000) * 1000000L;
    deadline.tv_sec = now.tv_sec + intervalMs / 1000 + nanos / kNanosPerSecond;
    deadline.tv_nsec = nanos % kNanosPerSecond;
    return deadline;
}

void* ZeltoTimer::threadEntry(void* timer) {
    static_cast<ZeltoTimer*>(timer)->run();
    return nullptr;
}

void ZeltoTimer::run() {
    pthread_mutex_lock(&mutex_);
    while (!stop_) {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (interval_ > 0) {
            timespec deadline = deadlineAfter(now, interval_);
            // Any other end of the wait (a re-arming, a spurious wake-up) recomputes the deadline.
            // A stop that arrives together with the deadline wins: no call while shutting down.
            if (pthread_cond_timedwait(&cond_, &mutex_, &deadline) == ETIMEDOUT && !stop_) {
                if (!disabled_ && callback_) callback_(argument_);
                interval_ = -1;
            }
        } else {
            pthread_cond_wait(&cond_, &mutex_);
        }
    }
    pthread_mutex_unlock(&mutex_);
}
