/* A system-log client of our own instead of syslog(3), whose send blocks while the reader of
 * /dev/log does not read. Same datagram as glibc's: "<PRI>Mmm dd hh:mm:ss TAG: TEXT". */
#include "ztLogSend.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#define LOG_SOCKET_PATH "/dev/log"
#define DATAGRAM_MAX 600 /* a level-log line is at most 440 characters */
#define CONNECT_RETRY_MS 1000

static pthread_mutex_t s_lock = PTHREAD_MUTEX_INITIALIZER;
static int s_fd = -1;
static unsigned s_dropped;
static char s_datagram[DATAGRAM_MAX];

static int64_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* Without a system log every line would pay for a socket and a failing connect: after a failure
 * the next attempt comes no sooner than CONNECT_RETRY_MS later. */
static int connect_log(void)
{
    static int64_t s_retryAt;
    const int64_t now = now_ms();
    if (now < s_retryAt)
        return -1;
    s_retryAt = now + CONNECT_RETRY_MS;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, LOG_SOCKET_PATH, sizeof addr.sun_path - 1);
    if (connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    s_retryAt = 0;
    return fd;
}

static size_t format_datagram(const char* line)
{
    time_t now = time(NULL);
    struct tm tm;
    char stamp[32] = "";
    if (localtime_r(&now, &tm) != NULL)
        strftime(stamp, sizeof stamp, "%h %e %T", &tm);
    int n = snprintf(s_datagram, sizeof s_datagram, "<%d>%s %s: %s", LOG_USER | LOG_ERR, stamp,
                     program_invocation_short_name, line);
    if (n < 0)
        return 0;
    return (size_t)n < sizeof s_datagram ? (size_t)n : sizeof s_datagram - 1;
}

/* 0 when the line went; waits for room at most waitMs. A reader that went away or restarted (the
 * socket refuses) is connected to again once. Formatted only once connected: without a system log
 * a line costs no more than the failing connect. */
static int send_line(const char* line, int waitMs)
{
    size_t length = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (s_fd < 0 && (s_fd = connect_log()) < 0)
            return -1;
        if (length == 0 && (length = format_datagram(line)) == 0)
            return -1;
        if (send(s_fd, s_datagram, length, MSG_DONTWAIT | MSG_NOSIGNAL) == (ssize_t)length)
            return 0;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            struct pollfd p = {s_fd, POLLOUT, 0};
            if (waitMs <= 0 || poll(&p, 1, waitMs) <= 0)
                return -1;
            return send(s_fd, s_datagram, length, MSG_DONTWAIT | MSG_NOSIGNAL) == (ssize_t)length ? 0 : -1;
        }
        close(s_fd);
        s_fd = -1;
    }
    return -1;
}

void zt_log_send(const char* line)
{
    pthread_mutex_lock(&s_lock);
    if (s_dropped > 0) {
        char report[96];
        snprintf(report, sizeof report, "UTIL_LOG_WARN :%u log lines dropped: the system log did not read them",
                 s_dropped);
        if (send_line(report, 0) == 0)
            s_dropped = 0;
    }
    if (send_line(line, s_dropped > 0 ? 0 : ZT_LOG_SEND_BOUND_MS) != 0)
        ++s_dropped;
    pthread_mutex_unlock(&s_lock);
}
