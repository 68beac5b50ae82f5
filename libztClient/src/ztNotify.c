/* Notification readers: frames from the daemon's TCP port or event messages on a private queue,
 * each merged into the reader's state. */
#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netdb.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "ztClient.h"
#include "ztClientPriv.h"
#include "ztLog.h"

enum {
    CMD_QUEUE_NOTIFICATIONS = 0,
    CMD_PUSH_NOTIFICATIONS = 43,
    /* The daemon turns notifications on for connections it has already accepted; when the request
     * overtakes our connection no frame comes, so it is sent again after this long. */
    RESUBSCRIBE_MS = 2000,
    MAX_SUBSCRIPTIONS = 3,
    QUEUE_MESSAGES = 8,
    NAME_LEN = 64,
    INPUT_CHUNK = 4096
};
static const char kTurnOn[] = "status=1";

struct ztNotify {
    int fd;   /* the socket, or -1 for a queue reader */
    mqd_t mq; /* the queue, or -1 */
    char queue[NAME_LEN];
    ztClient* requester;
    int subscriptions;
    int64_t subscribedAtMs; /* when notifications were last turned on */
    unsigned long texts; /* notifications delivered */
    int broken;
    ztFrameSplit split;
    size_t inPos, inLen;
    char in[INPUT_CHUNK > ZTCLIENT_MESSAGE_MAX ? INPUT_CHUNK : ZTCLIENT_MESSAGE_MAX];
    char text[ZTNOTIFY_TEXT_MAX + 1];
    size_t textLen;
    ztState state;
};

static int64_t nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static ztNotify* newReader(void)
{
    ztNotify* r = calloc(1, sizeof *r);
    if (r == NULL) {
        ZTLOG(UTIL_LOG_ERROR, "no memory for a notification reader");
        return NULL;
    }
    r->fd = -1;
    r->mq = (mqd_t)-1;
    return r;
}

/* The daemon's own result when it answered, else the call's error. */
static int request(ztClient* requester, uint32_t command, const void* arg, size_t argLen, int timeoutMs)
{
    int32_t result = 0;
    const int r = ztClient_call(requester, command, arg, argLen, timeoutMs, &result, NULL, 0, NULL);
    if (r == 0 && result != 0) ZTLOG(UTIL_LOG_ERROR, "command %u answered %d", command, (int)result);
    return r != 0 ? r : result;
}

static int turnOn(ztNotify* r, int timeoutMs)
{
    r->subscriptions++;
    r->subscribedAtMs = nowMs();
    return request(r->requester, CMD_PUSH_NOTIFICATIONS, kTurnOn, sizeof kTurnOn, timeoutMs);
}

static int connectWithin(const char* host, uint16_t port, int timeoutMs, int* fd)
{
    struct addrinfo hints, *list = NULL;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[8];
    snprintf(service, sizeof service, "%u", (unsigned)port);
    const int rc = getaddrinfo(host, service, &hints, &list);
    if (rc != 0) {
        ZTLOG(UTIL_LOG_ERROR, "cannot resolve %s: %s", host, gai_strerror(rc));
        return ZT_ERR_INVALID_PARAM;
    }
    int result = ZTCLIENT_ERR_NO_DAEMON;
    for (struct addrinfo* a = list; a && *fd < 0; a = a->ai_next) {
        const int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (s < 0) continue;
        int err = connect(s, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS) {
            struct pollfd p = {s, POLLOUT, 0};
            socklen_t len = sizeof err;
            const int ready = poll(&p, 1, timeoutMs);
            if (ready == 0) err = ETIMEDOUT;
            else if (ready < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
        if (err == 0) {
            *fd = s;
            break;
        }
        ZTLOG(UTIL_LOG_ERROR, "cannot connect to %s:%s: %s", host, service, strerror(err));
        result = err == ETIMEDOUT ? ZTCLIENT_ERR_TIMEOUT : err == ECONNREFUSED ? ZTCLIENT_ERR_NO_DAEMON : ZT_ERR;
        close(s);
    }
    freeaddrinfo(list);
    return *fd >= 0 ? 0 : result;
}

int ztNotify_attach(ztNotify** reader, int socketFd)
{
    if (reader == NULL || socketFd < 0) return ZT_ERR_INVALID_PARAM;
    *reader = newReader();
    if (*reader == NULL) return ZT_ERR_OUTOFMEM;
    (*reader)->fd = socketFd;
    return 0;
}

int ztNotify_connect(ztNotify** reader, ztClient* requester, const char* host, uint16_t port, int timeoutMs)
{
    if (reader == NULL || timeoutMs < 0) return ZT_ERR_INVALID_PARAM;
    *reader = NULL;
    int fd = -1;
    int r = connectWithin(host ? host : "127.0.0.1", port ? port : ZTNOTIFY_PORT, timeoutMs, &fd);
    if (r != 0) return r;
    r = ztNotify_attach(reader, fd);
    if (r != 0) {
        close(fd);
        return r;
    }
    r = requester ? ztNotify_subscribe(*reader, requester, timeoutMs) : 0;
    if (r != 0) {
        ztNotify_close(*reader);
        *reader = NULL;
    }
    return r;
}

int ztNotify_subscribe(ztNotify* reader, ztClient* requester, int timeoutMs)
{
    if (reader == NULL || requester == NULL || reader->fd < 0 || timeoutMs < 0) return ZT_ERR_INVALID_PARAM;
    reader->requester = requester;
    return turnOn(reader, timeoutMs);
}

int ztNotify_openQueue(ztNotify** reader, ztClient* requester, int timeoutMs)
{
    if (reader == NULL || requester == NULL || timeoutMs < 0) return ZT_ERR_INVALID_PARAM;
    *reader = NULL;
    ztNotify* n = newReader();
    if (n == NULL) return ZT_ERR_OUTOFMEM;
    n->requester = requester;
    snprintf(n->queue, sizeof n->queue, "%s_n", ztClient_replyMailbox(requester));
    struct mq_attr attr;
    memset(&attr, 0, sizeof attr);
    attr.mq_maxmsg = QUEUE_MESSAGES;
    attr.mq_msgsize = ZTCLIENT_MESSAGE_MAX;
    mq_unlink(n->queue);
    n->mq = mq_open(n->queue, O_RDONLY | O_CREAT | O_EXCL, 0664, &attr);
    if (n->mq == (mqd_t)-1) {
        ZTLOG(UTIL_LOG_ERROR, "cannot create notification queue %s: %s", n->queue, strerror(errno));
        free(n);
        return ZT_ERR_MQ_FAIL;
    }
    /* Register flag (32-bit little-endian 1), then the queue name with its NUL. */
    uint8_t arg[4 + NAME_LEN] = {1, 0, 0, 0};
    const size_t nameLen = strlen(n->queue) + 1;
    memcpy(arg + 4, n->queue, nameLen);
    const int r = request(requester, CMD_QUEUE_NOTIFICATIONS, arg, 4 + nameLen, timeoutMs);
    if (r != 0) {
        mq_close(n->mq);
        mq_unlink(n->queue);
        free(n);
        return r;
    }
    *reader = n;
    return 0;
}

static int deliver(ztNotify* n, const char** text, size_t* length)
{
    n->text[n->textLen] = 0;
    if (ztState_merge(&n->state, n->text, n->textLen) != 0)
        ZTLOG(UTIL_LOG_WARN, "notification of %u bytes is not a JSON object", (unsigned)n->textLen);
    n->texts++;
    if (text) *text = n->text;
    if (length) *length = n->textLen;
    return 0;
}

static int nextFromQueue(ztNotify* n, int timeoutMs, const char** text, size_t* length)
{
    const struct timespec deadline = ztClient_deadlineAfter(timeoutMs);
    ssize_t got;
    do {
        got = mq_timedreceive(n->mq, n->in, sizeof n->in, NULL, &deadline);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno == ETIMEDOUT ? ZTCLIENT_ERR_TIMEOUT : ZT_ERR_MQ_FAIL;
    int32_t result;
    const uint8_t* payload;
    size_t payloadLen;
    if (ztWire_decode((const uint8_t*)n->in, (size_t)got, ZTWIRE_TYPE_EVENT, &result, &payload, &payloadLen) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "%d bytes on %s are not a notification", (int)got, n->queue);
        return ZTCLIENT_ERR_MALFORMED;
    }
    /* The text travels with its NUL; anything after a NUL is not part of it. */
    n->textLen = payload ? strnlen((const char*)payload, payloadLen) : 0;
    memcpy(n->text, payload ? (const char*)payload : "", n->textLen);
    return deliver(n, text, length);
}

/* Waits for the socket within the deadline. While nothing has come, notifications are turned on
 * again every RESUBSCRIBE_MS across calls: the first turn-on can reach the daemon before it has
 * accepted the connection, and a caller's waits may each be shorter than that period. */
static int waitReadable(ztNotify* n, int64_t deadline)
{
    for (;;) {
        const int64_t now = nowMs();
        const int64_t left = deadline - now;
        if (left <= 0) return ZTCLIENT_ERR_TIMEOUT;
        const int retry = n->requester && n->texts == 0 && n->subscriptions < MAX_SUBSCRIPTIONS;
        const int64_t due = n->subscribedAtMs + RESUBSCRIBE_MS;
        if (retry && now >= due) {
            const int r = turnOn(n, (int)left);
            if (r != 0) return r;
            continue;
        }
        const int64_t wait = retry && due - now < left ? due - now : left;
        struct pollfd p = {n->fd, POLLIN, 0};
        const int ready = poll(&p, 1, (int)wait);
        if (ready > 0) return 0;
        if (ready < 0 && errno != EINTR) return ZT_ERR;
    }
}

static int nextFromSocket(ztNotify* n, int timeoutMs, const char** text, size_t* length)
{
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        if (n->inPos < n->inLen) {
            int complete = 0;
            const long used = ztNotify_splitFrames(&n->split, n->text, n->in + n->inPos, n->inLen - n->inPos, &complete,
                                           &n->textLen);
            if (used < 0) {
                ZTLOG(UTIL_LOG_ERROR, "malformed notification frame after %lu texts", n->texts);
                n->broken = 1;
                return ZTCLIENT_ERR_MALFORMED;
            }
            n->inPos += (size_t)used;
            if (complete) return deliver(n, text, length);
        }
        const int r = waitReadable(n, deadline);
        if (r != 0) return r;
        const ssize_t got = recv(n->fd, n->in, INPUT_CHUNK, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
            ZTLOG(UTIL_LOG_ERROR, "notification connection %s", got == 0 ? "closed" : strerror(errno));
            return ZTCLIENT_ERR_CLOSED;
        }
        n->inPos = 0;
        n->inLen = (size_t)got;
    }
}

int ztNotify_next(ztNotify* reader, int timeoutMs, const char** text, size_t* length)
{
    if (reader == NULL || timeoutMs < 0) return ZT_ERR_INVALID_PARAM;
    if (reader->broken) return ZTCLIENT_ERR_MALFORMED;
    return reader->fd >= 0 ? nextFromSocket(reader, timeoutMs, text, length)
                           : nextFromQueue(reader, timeoutMs, text, length);
}

const char* ztNotify_value(const ztNotify* reader, const char* group, const char* key)
{
    return reader && group && key ? ztState_value(&reader->state, group, key) : NULL;
}

int ztNotify_midFrame(const ztNotify* reader) { return reader ? ztFrame_midFrame(&reader->split) : 0; }

void ztNotify_close(ztNotify* reader)
{
    if (reader == NULL) return;
    if (reader->fd >= 0) close(reader->fd);
    if (reader->mq != (mqd_t)-1) {
        uint8_t arg[4 + NAME_LEN] = {0};
        const size_t nameLen = strlen(reader->queue) + 1;
        memcpy(arg + 4, reader->queue, nameLen);
        request(reader->requester, CMD_QUEUE_NOTIFICATIONS, arg, 4 + nameLen, 1000);
        mq_close(reader->mq);
        mq_unlink(reader->queue);
    }
    free(reader);
}
