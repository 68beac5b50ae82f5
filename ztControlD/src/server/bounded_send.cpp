#include "server/bounded_send.h"

#include <errno.h>
#include <string.h>
#include <time.h>

#include "server/ztcontrol_if_server.h"

int64_t monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

bool boundedMqSend(mqd_t mqd, const void* data, size_t length, int timeoutMs) {
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    if (timeoutMs > 0) {
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += (long)(timeoutMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    int r;
    do {
        r = mq_timedsend(mqd, static_cast<const char*>(data), length, 0, &deadline);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

namespace {

// Queue names are looked up without their leading slashes.
const char* bareName(const char* name) {
    while (*name == '/') ++name;
    return name;
}

}  // namespace

bool isReservedMailbox(const char* name) {
    for (const char* reserved : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX})
        if (strcmp(bareName(name), bareName(reserved)) == 0) return true;
    return false;
}
