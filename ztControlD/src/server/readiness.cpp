// The launcher and the detached daemon talk over one pipe: a byte, the launcher's exit status,
// when the daemon is ready or gives up; end of file without it when the daemon died.
#include "server/readiness.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ztLog.h"
#include "ztUtil.h"

namespace {

int s_verdictFd = -1;

[[noreturn]] void awaitVerdict(int fd, pid_t child) {
    // The child leaves daemon_init at once (or is the daemon itself when it could not fork):
    // reaped here, so that only the daemon outlives the launcher.
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    uint8_t status = 0;
    ssize_t n;
    while ((n = read(fd, &status, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1) {
        fprintf(stderr, "ztControlD: the daemon ended during start-up (see the system log)\n");
        _exit(255);
    }
    _exit(status);
}

void sendVerdict(uint8_t status) {
    if (s_verdictFd < 0) return;
    if (write(s_verdictFd, &status, 1) != 1)
        ZTLOG(UTIL_LOG_ERROR, "cannot tell the launcher the start-up status: %s", strerror(errno));
    close(s_verdictFd);
    s_verdictFd = -1;
}

}  // namespace

int detachReportingReadiness() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "cannot create the start-up pipe: %s", strerror(errno));
        return -1;
    }
    // Forked before daemon_init, which does not fork when the parent is process 1 (as under
    // systemd): the launcher must exit for Type=forking to see the start.
    const pid_t child = fork();
    if (child < 0) {
        ZTLOG(UTIL_LOG_ERROR, "cannot fork the launcher: %s", strerror(errno));
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (child > 0) {
        close(fds[1]);
        awaitVerdict(fds[0], child);
    }
    close(fds[0]);
    s_verdictFd = fds[1];
    return daemon_init();
}

void reportStarted() { sendVerdict(0); }

void failStart(int status, const char* why) {
    fprintf(stderr, "ztControlD: %s\n", why);
    sendVerdict((uint8_t)status);
    exit(status);
}
