// Command server lifecycle: the singleton, its interface (mailboxes, transcode subscription,
// protocol adapter) and its worker thread.
#include "server/ztcontrol_if_server.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include "notify/push_client.h"
#include "server/bounded_send.h"
#include "server/camera_probe.h"
#include "ztLog.h"
#include "ztMsg.h"

namespace {

ZtcontrolCommandServer* s_instance = nullptr;

constexpr int kZtnetOpenAttempts = 5;
constexpr mode_t kMailboxMode = 0664;
constexpr uint8_t kCsiTranscodeEvents = 0x4F;

// Opens one of the daemon's own mailboxes read-only, creating it when missing.
mqd_t openOwnMailbox(const char* name) {
    struct mq_attr attr;
    memset(&attr, 0, sizeof(attr));
    attr.mq_flags = 0;
    attr.mq_maxmsg = ZT_DAEMON_MBOX_MAXMSG;
    attr.mq_msgsize = ZT_MSG_BUFFER_SIZE;
    attr.mq_curmsgs = 0;
    mqd_t mqd = mq_open(name, O_RDONLY | O_CREAT, kMailboxMode, &attr);
    if (mqd == (mqd_t)-1) ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", name, strerror(errno));
    return mqd;
}

// The inode of an open queue: tells a queue created afresh under the same name from the old one.
uint64_t queueIdentity(mqd_t mqd) {
    struct stat st;
    return fstat((int)mqd, &st) == 0 ? (uint64_t)st.st_ino : 0;
}

// The CSI subscription request for transcode events: enable 1 subscribes, 0 unsubscribes. The
// identity of the queue it reached, 0 when it was not delivered.
//
// Built as the messaging library builds it, but sent with a bounded send instead of the library's
// ztmsg_send, which ends the process when ztNet's mailbox is missing or full: a network daemon that
// is gone or stuck must neither kill the daemon at start or stop nor leave its mailboxes behind.
// An undelivered subscription is sent again by checkNetworkDaemon once the mailbox takes messages.
uint64_t sendTranscodeSubscription(uint8_t enable) {
    ztMsgIobuf iobuf;
    memset(&iobuf, 0, sizeof(iobuf));
    iobuf.size = ZTMSG_MAX;
    const uint8_t arg[2] = {enable, kCsiTranscodeEvents};
    ztmsg_build(&iobuf, "CR", arg, sizeof(arg), 16);
    iobuf.len += sntlv_add_bin(iobuf.buf, ZTMSG_MAX, TLV_SRC, (int)strlen(ZT_DAEMON_MBOX), ZT_DAEMON_MBOX);
    iobuf.len += sntlv_add_bin(iobuf.buf, ZTMSG_MAX, TLV_DST, (int)strlen(ZT_ZTNET_MBOX), ZT_ZTNET_MBOX);
    iobuf.len += sntlv_add_dat(iobuf.buf, ZTMSG_MAX, TLV_END, 0, 0);
    mqd_t ztnet = mq_open(ZT_ZTNET_MBOX, O_WRONLY);
    if (ztnet == (mqd_t)-1) {
        ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", ZT_ZTNET_MBOX, strerror(errno));
        return 0;
    }
    uint64_t reached = queueIdentity(ztnet);
    if (!boundedMqSend(ztnet, iobuf.buf, (size_t)iobuf.len, RESPONSE_SEND_BOUND_MS)) {
        ZTLOG(UTIL_LOG_ERROR, "mq_send() failed for '%s': %s\n", ZT_ZTNET_MBOX, strerror(errno));
        reached = 0;
    }
    mq_close(ztnet);
    return reached;
}

}  // namespace

ZtcontrolCommandServer::Lock::Lock(pthread_mutex_t* mutex) : mutex_(mutex) { pthread_mutex_lock(mutex_); }

ZtcontrolCommandServer::Lock::~Lock() { pthread_mutex_unlock(mutex_); }

ZtcontrolCommandServer* ZtcontrolCommandServer::getInstance() {
    if (!s_instance) s_instance = new ZtcontrolCommandServer();
    return s_instance;
}

void ZtcontrolCommandServer::destroyInstance() {
    delete s_instance;
    s_instance = nullptr;
}

ZtcontrolCommandServer::ZtcontrolCommandServer() {
    // The client list, the transcode history, the timer (its thread now runs), the descriptors,
    // buffers, flags and the state cache are set by their member initialisers, in that order.
    if (pthread_mutex_init(&pushClientsLock, nullptr) != 0) ZTLOG(UTIL_LOG_ERROR, "\n mutex init failed\n");
}

ZtcontrolCommandServer::~ZtcontrolCommandServer() {
    pthread_mutex_destroy(&pushClientsLock);
    // bossCache, the timer (stopped and joined), transcodeJobs and pushClients are released by
    // their own destructors, in that order.
}

int ZtcontrolCommandServer::start() {
    if (daemonMqd != (mqd_t)-1) {
        ZTLOG(UTIL_LOG_ERROR, "Interface must be closed before reuse!\n");
        ZTLOG(UTIL_LOG_ERROR, "interfaceOpen failed %d", -1);
        return -1;
    }
    int r = interfaceOpen();
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "interfaceOpen failed %d", r);
        return r;
    }
    ZTLOG(UTIL_LOG_INFO, "Creating main worker thread");
    stopRequested = false;
    int err = pthread_create(&workerThread, nullptr, workerEntry, this);
    if (err != 0) {
        ZTLOG(UTIL_LOG_ERROR, "pthread_create error, %d\n", err);
        return -1;
    }
    workerCreated = true;
    return 0;
}

void* ZtcontrolCommandServer::workerEntry(void* server) {
    workerLoop(static_cast<ZtcontrolCommandServer*>(server));
    return nullptr;
}

void ZtcontrolCommandServer::stop() {
    stopRequested = true;
    running = false;
    if (workerCreated) {
        pthread_join(workerThread, nullptr);
        workerCreated = false;
    }
    destroyPushClients();
    interfaceClose();
}

// Stores the descriptor in the context as its send descriptor; leaves it -1 after five failures.
void ZtcontrolCommandServer::openZtnetMailbox() {
    for (int left = kZtnetOpenAttempts; left > 0; --left) {
        g_ztcContext.txMqd = mq_open(ZT_ZTNET_MBOX, O_WRONLY);
        if (g_ztcContext.txMqd != (mqd_t)-1) return;
        ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s, Retrying %d\n", ZT_ZTNET_MBOX, strerror(errno), left);
    }
    ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", ZT_ZTNET_MBOX, strerror(errno));
}

int ZtcontrolCommandServer::interfaceOpen() {
    daemonMqd = openOwnMailbox(ZT_DAEMON_MBOX);
    if (daemonMqd == (mqd_t)-1) {
        interfaceClose();
        return -1;
    }
    subscribeTranscodeEvents();
    {
        // A preset-edit store from a previous run may still be using the context.
        Lock timerLock(presetEditTimer.mutex());
        g_ztcContext.rxMqd = openOwnMailbox(ZT_REPLY_MBOX);
        if (g_ztcContext.rxMqd != (mqd_t)-1) {
            strncpy(g_ztcContext.rxName, ZT_REPLY_MBOX, sizeof(g_ztcContext.rxName) - 1);
            openZtnetMailbox();
        }
    }
    if (g_ztcContext.rxMqd == (mqd_t)-1 || g_ztcContext.txMqd == (mqd_t)-1) {
        interfaceClose();
        return -1;
    }
    rxBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];
    txBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];

    modelRetryAtMs = monotonicMs() + MODEL_RETRY_INTERVAL_MS;
    if (!selectProtocolAdapter()) ZTLOG(UTIL_LOG_ERROR, "deferring select protocol adapter - using default");
    ZTLOG(UTIL_LOG_INFO, "Interface Opened");
    return 0;
}

int ZtcontrolCommandServer::interfaceClose() {
    if (daemonMqd != (mqd_t)-1) {
        mq_close(daemonMqd);
        mq_unlink(ZT_DAEMON_MBOX);
        daemonMqd = (mqd_t)-1;
    }
    if (transcodeSubscribed) unsubscribeTranscodeEvents();
    {
        Lock timerLock(presetEditTimer.mutex());
        if (g_ztcContext.rxMqd != (mqd_t)-1) {
            mq_close(g_ztcContext.rxMqd);
            mq_unlink(ZT_REPLY_MBOX);
        }
        if (g_ztcContext.txMqd != (mqd_t)-1) mq_close(g_ztcContext.txMqd);
        resetControlContext();
    }
    delete[] rxBuffer;
    delete[] txBuffer;
    rxBuffer = nullptr;
    txBuffer = nullptr;
    return 0;
}

void ZtcontrolCommandServer::subscribeTranscodeEvents() {
    ZTLOG(UTIL_LOG_INFO, "CSI subscribe for Transcode event messages");
    subscribedZtnetQueue = sendTranscodeSubscription(1);
    ztnetCheckedAtMs = monotonicMs();
    ZTLOG(UTIL_LOG_INFO, "Subscribed for messages");
    transcodeSubscribed = true;
}

void ZtcontrolCommandServer::unsubscribeTranscodeEvents() {
    ZTLOG(UTIL_LOG_INFO, "CSI unsubscribe for Transcode event messages");
    transcodeSubscribed = false;
    sendTranscodeSubscription(0);
    subscribedZtnetQueue = 0;
    ZTLOG(UTIL_LOG_INFO, "Unsubscribed for Transcode event messages");
}

void ZtcontrolCommandServer::checkNetworkDaemon() {
    constexpr int64_t kCheckIntervalMs = 3000;
    const int64_t now = monotonicMs();
    if (now - ztnetCheckedAtMs < kCheckIntervalMs) return;
    ztnetCheckedAtMs = now;
    mqd_t ztnet = mq_open(ZT_ZTNET_MBOX, O_WRONLY);
    if (ztnet == (mqd_t)-1) return;  // away for now; checked again later
    const uint64_t identity = queueIdentity(ztnet);
    if (identity == 0 || identity == subscribedZtnetQueue) {
        mq_close(ztnet);
        return;
    }
    ZTLOG(UTIL_LOG_WARN, "Network daemon mailbox '%s' is new, renewing the link and the subscription", ZT_ZTNET_MBOX);
    {
        // The camera link still writes to the queue of the network daemon that went away.
        Lock timerLock(presetEditTimer.mutex());
        if (g_ztcContext.txMqd != (mqd_t)-1) mq_close(g_ztcContext.txMqd);
        g_ztcContext.txMqd = ztnet;
    }
    subscribeTranscodeEvents();
}
