/* Mailboxes over POSIX message queues. */
#include "ztMbox.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <string.h>

#include "ztTrace.h"

#define MBOX_MODE 0664
#define TX_MAXMSG 40
#define RX_ATTEMPTS 5
#define RX_RETRY_MS 10
#define SHARED_RETRIES 5
#define SHARED_STEP_MS 100

static const char* name_of(const ztMboxAttr* ztattr)
{
    return ztattr->name != NULL ? ztattr->name : "";
}

static void fill(ztMboxAttr* ztattr, const char* name, int maxmsg, int msgsize)
{
    ztattr->mqd = (mqd_t)-1;
    ztattr->name = name;
    ztattr->attr.mq_flags = 0;
    ztattr->attr.mq_maxmsg = maxmsg;
    ztattr->attr.mq_msgsize = msgsize;
    ztattr->attr.mq_curmsgs = 0;
}

int ztMbox_init(const char* name, int maxmsg, ztMboxAttr* ztattr)
{
    if (ztattr == NULL)
        return -1;
    fill(ztattr, name, maxmsg, ZTMSG_MAX);
    return 0;
}

int ztMbox_rxopen_ext(const char* name, int maxmsg, int msgsize, ztMboxAttr* ztattr)
{
    if (name == NULL || ztattr == NULL)
        return -1;
    fill(ztattr, name, maxmsg, msgsize);
    int err = 0;
    for (int attempt = 0; attempt < RX_ATTEMPTS; attempt++) {
        ztattr->mqd = mq_open(name, O_RDONLY | O_CREAT, MBOX_MODE, &ztattr->attr);
        if (ztattr->mqd != (mqd_t)-1)
            return 0;
        err = errno;
        ZT_TRACE("target Mbox=\"%s\" errno=\"%d\"  retry(%d)\n", name, err, attempt);
        zt_sleep_ms(RX_RETRY_MS);
    }
    ZT_TRACE("target Mbox=\"%s\" errno=\"%s\"\n", name, strerror(err));
    return -1;
}

int ztMbox_rxopen(const char* name, int maxmsg, ztMboxAttr* ztattr)
{
    return ztMbox_rxopen_ext(name, maxmsg, ZTMSG_MAX, ztattr);
}

int ztMbox_rxopen_shared_ext(const char* name, int maxmsg, int msgsize, ztMboxAttr* ztattr)
{
    if (name == NULL || ztattr == NULL)
        return -1;
    fill(ztattr, name, maxmsg, msgsize);
    for (int retry = 1;; retry++) {
        ztattr->mqd = mq_open(name, O_RDONLY | O_CREAT | O_EXCL, MBOX_MODE, &ztattr->attr);
        if (ztattr->mqd != (mqd_t)-1)
            return 0;
        int err = errno;
        if (retry > SHARED_RETRIES) {
            ZT_TRACE("Error: Shared Mbox will not open =\"%s\" errno=%d\"%s\"\n", name, err,
                     strerror(err));
            return -1;
        }
        ZT_TRACE("Warning: Shared Mbox in use (retry) =\"%s\" errno=\"%s\"  retry(%d)\n", name,
                 strerror(err), retry);
        zt_sleep_ms(SHARED_STEP_MS * (unsigned)retry);
    }
}

int ztMbox_rxopen_shared(const char* name, int maxmsg, ztMboxAttr* ztattr)
{
    return ztMbox_rxopen_shared_ext(name, maxmsg, ZTMSG_MAX, ztattr);
}

int ztMbox_txopen(const char* name, ztMboxAttr* ztattr)
{
    if (name == NULL || ztMbox_init(name, TX_MAXMSG, ztattr) != 0)
        return -1;
    ztattr->mqd = mq_open(name, O_WRONLY);
    if (ztattr->mqd == (mqd_t)-1) {
        ZT_TRACE("target Mbox=\"%s\" errno=\"%s\"\n", name, strerror(errno));
        return -1;
    }
    return 0;
}

int ztMbox_create_ext(const char* name, int maxmsg, int msgsize)
{
    ztMboxAttr mb;
    if (ztMbox_rxopen_ext(name, maxmsg, msgsize, &mb) == 0)
        ztMbox_close(&mb);
    return 0;
}

int ztMbox_create(const char* name, int maxmsg)
{
    return ztMbox_create_ext(name, maxmsg, ZTMSG_MAX);
}

int ztMbox_close(ztMboxAttr* ztattr)
{
    if (ztattr == NULL)
        return -1;
    int rc = mq_close(ztattr->mqd);
    ztattr->mqd = (mqd_t)-1;
    return rc;
}

int ztMbox_unlink(const char* name)
{
    if (name == NULL)
        return -1;
    if (mq_unlink(name) != 0) {
        ZT_TRACE("Mbox unlink fail=\"%s\" errno=\"%s\"\n", name, strerror(errno));
        return -1;
    }
    return 0;
}

int ztMbox_send(const void* buf, int len, ztMboxAttr* ztattr)
{
    ZT_LIB_ASSERT(len <= ZTMSG_MAX);
    if (ztattr == NULL || buf == NULL || len < 0)
        return -1;
    mq_getattr(ztattr->mqd, &ztattr->attr);
    if (ztattr->attr.mq_curmsgs < ztattr->attr.mq_maxmsg)
        return mq_send(ztattr->mqd, buf, (size_t)len, 0);
    ZT_TRACE("Mailbox Full: mbox=\"%s\" >= %ld messages\n", name_of(ztattr), ztattr->attr.mq_maxmsg);
    ZT_LIB_ASSERT((ztattr->attr.mq_curmsgs) < ztattr->attr.mq_maxmsg);
    return -1;
}

int ztMbox_timedsend(const void* buf, int len, ztMboxAttr* ztattr, int timeout_ms)
{
    if (ztattr == NULL || buf == NULL || len < 0 || len > ZTMSG_MAX) {
        ZT_TRACE("refused: length %d\n", len);
        return -1;
    }
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    long ms = timeout_ms > 0 ? timeout_ms : 0;
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += (ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    if (mq_timedsend(ztattr->mqd, buf, (size_t)len, 0, &deadline) != 0) {
        ZT_TRACE("mbox=\"%s\" not sent errno=\"%s\"\n", name_of(ztattr), strerror(errno));
        return -1;
    }
    return 0;
}

/* 1 when the descriptor becomes readable within the given seconds. poll rather than select:
 * a descriptor number above FD_SETSIZE must not corrupt memory. */
static int msg_available(mqd_t mqd, long seconds)
{
    long ms = seconds <= 0 ? 0 : seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
    struct pollfd pfd = {.fd = (int)mqd, .events = POLLIN, .revents = 0};
    if (poll(&pfd, 1, (int)ms) == 1 && (pfd.revents & POLLIN))
        return 1;
    ZT_TRACE("%d seconds timeout expired\n", (int)seconds);
    return 0;
}

int snztMbox_receive(void* buf, int size, ztMboxAttr* ztattr)
{
    int len;
    if (size < 0)
        size = 0;
    ZT_LIB_ASSERT((len = mq_receive(ztattr->mqd, buf, size, NULL)) >= 0);
    return len;
}

int snztMbox_timedreceive(void* buf, int size, ztMboxAttr* ztattr)
{
    if (ztattr == NULL || !msg_available(ztattr->mqd, g_timedreceive))
        return -1;
    return snztMbox_receive(buf, size, ztattr);
}

int zt_mq_timedreceive(mqd_t mqd, char* buf, size_t size, unsigned int* prio,
                       const struct timespec* timeout)
{
    (void)prio;
    if (!msg_available(mqd, timeout != NULL ? (long)timeout->tv_sec : 0))
        return -1;
    return (int)mq_receive(mqd, buf, size, NULL);
}
