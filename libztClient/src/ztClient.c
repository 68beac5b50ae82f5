/* The requester: one private reply mailbox, one request and one answer per call. */
#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "ztClient.h"
#include "ztClientPriv.h"
#include "ztLog.h"
#include "ztMsg.h"

enum { PREFIX_MAX = 32, NAME_MAX_LEN = 64, MAILBOX_MODE = 0664 };

struct ztClient {
    char daemon[NAME_MAX_LEN];
    char prefix[PREFIX_MAX + 1];
    char reply[NAME_MAX_LEN];
    mqd_t rx; /* the reply mailbox, or -1 when it must be made again */
    uint8_t request[ZTCLIENT_MESSAGE_MAX];
    uint8_t answer[ZTCLIENT_MESSAGE_MAX];
};

static unsigned s_serial; /* reply mailbox names of this process, across requesters */

static int validName(const char* name, size_t max)
{
    const size_t len = strnlen(name, max + 1);
    return name[0] == '/' && len > 1 && len <= max;
}

/* A fresh reply mailbox: a leftover with the same name (a dead process had our pid) is removed
 * first, then the mailbox is created exclusively. */
static int openReply(ztClient* c)
{
    const unsigned n = __atomic_fetch_add(&s_serial, 1u, __ATOMIC_RELAXED);
    snprintf(c->reply, sizeof c->reply, "%s_%d_%u", c->prefix, (int)getpid(), n);
    struct mq_attr attr;
    memset(&attr, 0, sizeof attr);
    attr.mq_maxmsg = ZTMSG_MAX_COUNT_SM;
    attr.mq_msgsize = ZTCLIENT_MESSAGE_MAX;
    mq_unlink(c->reply);
    c->rx = mq_open(c->reply, O_RDONLY | O_CREAT | O_EXCL, MAILBOX_MODE, &attr);
    if (c->rx == (mqd_t)-1) {
        ZTLOG(UTIL_LOG_ERROR, "cannot create reply mailbox %s: %s", c->reply, strerror(errno));
        return ZT_ERR_MQ_FAIL;
    }
    return 0;
}

static void closeReply(ztClient* c)
{
    if (c->rx == (mqd_t)-1) return;
    mq_close(c->rx);
    mq_unlink(c->reply);
    c->rx = (mqd_t)-1;
}

int ztClient_open(ztClient** client, const char* daemonMailbox, const char* prefix)
{
    if (client == NULL) return ZT_ERR_INVALID_PARAM;
    *client = NULL;
    if (daemonMailbox == NULL) daemonMailbox = ZTCLIENT_DAEMON_MAILBOX;
    if (prefix == NULL) prefix = ZTCLIENT_DEFAULT_PREFIX;
    if (!validName(daemonMailbox, NAME_MAX_LEN - 1) || !validName(prefix, PREFIX_MAX)) {
        ZTLOG(UTIL_LOG_ERROR, "invalid mailbox name or prefix");
        return ZT_ERR_INVALID_PARAM;
    }
    ztClient* c = calloc(1, sizeof *c);
    if (c == NULL) {
        ZTLOG(UTIL_LOG_ERROR, "no memory for a requester");
        return ZT_ERR_OUTOFMEM;
    }
    strcpy(c->daemon, daemonMailbox);
    strcpy(c->prefix, prefix);
    const int r = openReply(c);
    if (r != 0) {
        free(c);
        return r;
    }
    *client = c;
    return 0;
}

void ztClient_close(ztClient* client)
{
    if (client == NULL) return;
    closeReply(client);
    free(client);
}

const char* ztClient_replyMailbox(const ztClient* client) { return client ? client->reply : ""; }

struct timespec ztClient_deadlineAfter(int ms)
{
    enum { kNsPerMs = 1000000, kNsPerSecond = 1000000000 };
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += (ms % 1000) * kNsPerMs;
    if (t.tv_nsec >= kNsPerSecond) {
        t.tv_sec++;
        t.tv_nsec -= kNsPerSecond;
    }
    return t;
}

/* Sends the encoded request within the deadline; the daemon's mailbox is opened for this call
 * only, so that a restarted daemon's new mailbox is found. */
static int sendRequest(ztClient* c, size_t length, const struct timespec* deadline)
{
    const mqd_t tx = mq_open(c->daemon, O_WRONLY);
    if (tx == (mqd_t)-1) {
        const int missing = errno == ENOENT;
        ZTLOG(UTIL_LOG_ERROR, "cannot open %s: %s", c->daemon, strerror(errno));
        return missing ? ZTCLIENT_ERR_NO_DAEMON : ZT_ERR_MQ_FAIL;
    }
    int r;
    do {
        r = mq_timedsend(tx, (const char*)c->request, length, 0, deadline);
    } while (r != 0 && errno == EINTR);
    const int err = errno; /* before mq_close can change it */
    mq_close(tx);
    if (r == 0) return 0;
    ZTLOG(UTIL_LOG_ERROR, "cannot send to %s: %s", c->daemon, strerror(err));
    return err == ETIMEDOUT ? ZTCLIENT_ERR_DAEMON_BUSY : ZT_ERR_MQ_FAIL;
}

static int receiveAnswer(ztClient* c, const struct timespec* deadline, size_t* length)
{
    ssize_t n;
    do {
        n = mq_timedreceive(c->rx, (char*)c->answer, sizeof c->answer, NULL, deadline);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        *length = (size_t)n;
        return 0;
    }
    const int err = errno;
    ZTLOG(UTIL_LOG_ERROR, "no answer on %s: %s", c->reply, strerror(err));
    return err == ETIMEDOUT ? ZTCLIENT_ERR_TIMEOUT : ZT_ERR_MQ_FAIL;
}

int ztClient_call(ztClient* client, uint32_t command, const void* arg, size_t argLen, int timeoutMs,
                  int32_t* result, void* answer, size_t answerCapacity, size_t* answerLen)
{
    if (client == NULL || result == NULL || timeoutMs < 0 || (answer == NULL && answerCapacity != 0)) {
        ZTLOG(UTIL_LOG_ERROR, "invalid call parameters");
        return ZT_ERR_INVALID_PARAM;
    }
    if (answerLen) *answerLen = 0;
    if (client->rx == (mqd_t)-1 && openReply(client) != 0) return ZT_ERR_MQ_FAIL;
    const int length = ztClient_encodeRequest(command, arg, argLen, client->reply, client->request,
                                              sizeof client->request);
    if (length < 0) {
        ZTLOG(UTIL_LOG_ERROR, "request %u: %u argument bytes do not fit a message", command, (unsigned)argLen);
        return length;
    }
    const struct timespec deadline = ztClient_deadlineAfter(timeoutMs);
    int r = sendRequest(client, (size_t)length, &deadline);
    if (r != 0) return r;
    size_t got = 0;
    r = receiveAnswer(client, &deadline, &got);
    const uint8_t* payload = NULL;
    size_t payloadLen = 0;
    if (r == 0) {
        r = ztClient_decodeAnswer(client->answer, got, result, &payload, &payloadLen);
        if (r != 0) ZTLOG(UTIL_LOG_ERROR, "%u bytes on %s are not an answer", (unsigned)got, client->reply);
    }
    if (r != 0) {
        /* Our answer may still come: it must land in a mailbox nobody reads any more. */
        closeReply(client);
        openReply(client);
        return r;
    }
    if (answerLen) *answerLen = payloadLen;
    if (payloadLen > answerCapacity) {
        ZTLOG(UTIL_LOG_ERROR, "answer of %u bytes, buffer of %u", (unsigned)payloadLen, (unsigned)answerCapacity);
        return ZTCLIENT_ERR_ANSWER_TOO_LARGE;
    }
    if (payloadLen) memcpy(answer, payload, payloadLen);
    return 0;
}

const char* ztClient_errorName(int code)
{
    switch (code) {
        case ZTCLIENT_ERR_TIMEOUT: return "ZTCLIENT_ERR_TIMEOUT";
        case ZTCLIENT_ERR_NO_DAEMON: return "ZTCLIENT_ERR_NO_DAEMON";
        case ZTCLIENT_ERR_DAEMON_BUSY: return "ZTCLIENT_ERR_DAEMON_BUSY";
        case ZTCLIENT_ERR_ARG_TOO_LARGE: return "ZTCLIENT_ERR_ARG_TOO_LARGE";
        case ZTCLIENT_ERR_ANSWER_TOO_LARGE: return "ZTCLIENT_ERR_ANSWER_TOO_LARGE";
        case ZTCLIENT_ERR_MALFORMED: return "ZTCLIENT_ERR_MALFORMED";
        default: return ztErrno2Str(code);
    }
}
