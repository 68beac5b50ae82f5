// Works with blocking and non-blocking descriptors alike: the timed mailbox calls wait on a blocking
// descriptor, and poll() waits for a non-blocking one; neither waits past the deadline.
#include "camlink_mq.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <time.h>

#include "ztErrno.h"
#include "ztLog.h"

namespace {

int remainingMs(int64_t deadlineMs)
{
    const int64_t left = deadlineMs - camlinkNowMs();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Absolute CLOCK_REALTIME time of the deadline, as the mq_timed* calls want it.
timespec realtimeDeadline(int64_t deadlineMs)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t ns = ts.tv_nsec + static_cast<int64_t>(remainingMs(deadlineMs)) * 1000000;
    ts.tv_sec += static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

// 1 ready, 0 deadline passed, negative error.
int waitFor(mqd_t mqd, short events, int64_t deadlineMs)
{
    for (;;) {
        pollfd pfd = {mqd, events, 0};
        const int r = poll(&pfd, 1, remainingMs(deadlineMs));
        if (r >= 0)
            return r;
        if (errno != EINTR) {
            ZTLOG(UTIL_LOG_ERROR, "camlink: poll on mailbox %d failed: %s", static_cast<int>(mqd), strerror(errno));
            return ZT_ERR_MQ_FAIL;
        }
    }
}

}  // namespace

int64_t camlinkNowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int camlinkTimedSend(mqd_t mqd, const uint8_t* message, size_t length, int64_t deadlineMs)
{
    for (;;) {
        const timespec until = realtimeDeadline(deadlineMs);
        if (mq_timedsend(mqd, reinterpret_cast<const char*>(message), length, 0, &until) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN && remainingMs(deadlineMs) > 0) {
            const int ready = waitFor(mqd, POLLOUT, deadlineMs);
            if (ready < 0)
                return ready;
            if (ready > 0)
                continue;
        }
        ZTLOG(UTIL_LOG_ERROR, "camlink: sending %zu bytes to the camera mailbox failed: %s", length,
              errno == EAGAIN ? "mailbox full" : strerror(errno));
        return ZT_ERR_MQ_FAIL;
    }
}

int camlinkTimedReceive(mqd_t mqd, uint8_t* buffer, size_t capacity, int64_t deadlineMs, size_t* length)
{
    // A blocking descriptor waits inside the one timed call; only a non-blocking one (EAGAIN) needs
    // poll() first.
    for (;;) {
        const timespec until = realtimeDeadline(deadlineMs);
        const ssize_t n = mq_timedreceive(mqd, reinterpret_cast<char*>(buffer), capacity, nullptr, &until);
        if (n >= 0) {
            *length = static_cast<size_t>(n);
            return 1;
        }
        if (errno == ETIMEDOUT)
            return 0;
        if (errno == EAGAIN) {
            if (remainingMs(deadlineMs) == 0)
                return 0;
            const int ready = waitFor(mqd, POLLIN, deadlineMs);
            if (ready <= 0)
                return ready;
            continue;
        }
        if (errno != EINTR) {
            ZTLOG(UTIL_LOG_ERROR, "camlink: receiving on reply mailbox %d failed: %s", static_cast<int>(mqd),
                  strerror(errno));
            return ZT_ERR_MQ_FAIL;
        }
    }
}
