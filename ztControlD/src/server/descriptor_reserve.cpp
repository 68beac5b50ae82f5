#include "server/descriptor_reserve.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/resource.h>

#include "server/bounded_send.h"
#include "ztLog.h"

bool descriptorsToSpare() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    DIR* dir = opendir("/proc/self/fd");
    // Out of descriptors: refuse. Without /proc the count is unknown: accept, as before the reserve,
    // rather than refuse every client.
    if (!dir) return errno != EMFILE && errno != ENFILE;
    uint64_t open = 0;
    while (const struct dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++open;
    closedir(dir);
    // The directory's own descriptor was counted and is free again; the reserve includes one for it.
    return (uint64_t)limit.rlim_cur >= open - 1 + DESCRIPTOR_RESERVE;
}

bool AcceptPause::pauseOn(int error) {
    if (error != EMFILE && error != ENFILE) return false;
    until_ = monotonicMs() + ACCEPT_PAUSE_MS;
    if (!logged_)
        ZTLOG(UTIL_LOG_ERROR, "accept() failed: %s, not accepting notification clients for %d ms at a time",
              strerror(error), ACCEPT_PAUSE_MS);
    logged_ = true;
    return true;
}

bool AcceptPause::active() const { return monotonicMs() < until_; }

int AcceptPause::clampWait(int waitMs) const {
    const int64_t left = until_ - monotonicMs();
    return left > 0 && left < waitMs ? (int)left : waitMs;
}
