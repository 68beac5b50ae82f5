// A self-pipe: the handler's one write is async-signal-safe, and the worker writes to it too when
// it takes the stop command; everything else runs in the main thread. Both ends are non-blocking,
// so a burst of signals can neither block a writer nor the thread that drains them.
#include "server/stop_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include "ztLog.h"

namespace {

int s_pipe[2] = {-1, -1};
volatile sig_atomic_t s_stopAsked = 0;
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
const uint8_t kStopCommandWake = 0;  // no signal has number 0

// A full pipe already holds a wake-up: a byte lost there costs only its log line.
void writeWake(uint8_t byte) {
    ssize_t ignored = write(s_pipe[1], &byte, 1);
    (void)ignored;
}

void onSignal(int signo) {
    const int savedErrno = errno;
    if (signo != SIGHUP) s_stopAsked = 1;
    writeWake((uint8_t)signo);
    errno = savedErrno;
}

sigset_t handledSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signo : kSignals) sigaddset(&set, signo);
    return set;
}

}  // namespace

int installStopSignals() {
    if (pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "cannot create the signal pipe: %s", strerror(errno));
        return -1;
    }
    const sigset_t set = handledSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    for (int signo : kSignals)
        if (sigaction(signo, &action, nullptr) != 0) {
            ZTLOG(UTIL_LOG_ERROR, "cannot handle signal %d: %s", signo, strerror(errno));
            return -1;
        }
    return 0;
}

void acceptStopSignals() {
    const sigset_t set = handledSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int stopSignalDescriptor() { return s_pipe[0]; }

bool stopSignalled() {
    uint8_t signals[16];
    ssize_t n;
    while (s_pipe[0] >= 0 && (n = read(s_pipe[0], signals, sizeof(signals))) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            // At the error level, seen by default: whoever sends it expects a reload that is not there.
            if (signals[i] == SIGHUP)
                ZTLOG(UTIL_LOG_ERROR, "SIGHUP received: nothing to reload, going on");
            else if (signals[i] != kStopCommandWake)
                ZTLOG(UTIL_LOG_INFO, "%s received: stopping", signals[i] == SIGTERM ? "SIGTERM" : "SIGINT");
        }
    }
    return s_stopAsked != 0;
}

void wakeForStop() {
    if (s_pipe[1] >= 0) writeWake(kStopCommandWake);
}
