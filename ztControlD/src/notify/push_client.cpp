#include "notify/push_client.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "notify/notification_split.h"
#include "server/bounded_send.h"
#include "util/log_text.h"
#include "ztLog.h"

namespace {

// Built once for the process; only queue sends (worker thread) set their data.
MsgElement s_resultElement(ZT_TAG_RESULT);
MsgElement s_payloadElement(ZT_TAG_PAYLOAD);
MsgElement s_endElement(ZT_TAG_END, 0, nullptr);

}  // namespace

NotificationClient::~NotificationClient() = default;

void NotificationClient::setPaused(bool value) {
    paused = value;
    if (value) needsFullState = true;
}

bool NotificationClient::isPaused() const { return paused; }

int NotificationClient::remainingSendMs() const {
    if (sendDeadlineMs == 0) return NOTIFICATION_FANOUT_BUDGET_MS;
    const int64_t left = sendDeadlineMs - monotonicMs();
    return left > 0 ? (int)left : 0;
}

SocketNotificationClient::SocketNotificationClient(int fd)
    : NotificationClient(NOTIFICATION_CLIENT_SOCKET), socketFd(fd) {
    // The fixed buffer keeps a stalled peer from taking megabytes of kernel memory before the
    // send deadline drops it.
    const int sendBuffer = NOTIFICATION_SEND_BUFFER;
    if (setsockopt(socketFd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer)) != 0)
        ZTLOG(UTIL_LOG_ERROR, "setsockopt(SO_SNDBUF) failed on notification socket %d: %s", socketFd,
              strerror(errno));
}

SocketNotificationClient::~SocketNotificationClient() {
    if (socketFd != -1) close(socketFd);
}

bool SocketNotificationClient::send(int kind, std::stringstream& text) {
    if (kind == NOTIFICATION_KIND_SHUTDOWN) {
        if (shutdownNoticeSent) return true;
        shutdownNoticeSent = true;
    } else {
        shutdownNoticeSent = false;
    }
    const std::string whole = text.str();
    const size_t visible = whole.find('\0');
    frame_.assign("LENGTH:");
    frame_.append(std::to_string(whole.size()));
    frame_.append("\n\n");
    frame_.append(whole, 0, visible);
    // Non-blocking sends, waiting for room only until the fan-out's deadline: a peer that stops
    // reading costs the worker at most what is left of one shared budget, however many stall at
    // once. What the kernel takes in part is completed within that time (a frame cut short would
    // corrupt the stream; a frame not complete by the deadline fails the client).
    size_t done = 0;
    while (done < frame_.size()) {
        ssize_t n = ::send(socketFd, frame_.data() + done, frame_.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            if (n == 0) errno = EPIPE;
            return false;
        }
        struct pollfd pfd = {socketFd, POLLOUT, 0};
        const int wait = remainingSendMs();
        if (wait == 0 || poll(&pfd, 1, wait) <= 0) {
            errno = ETIMEDOUT;  // a partial or missing frame must not be reported as "Success"
            return false;
        }
    }
    needsFullState = false;
    return true;
}

MQNotificationClient::MQNotificationClient(const std::string& name)
    : NotificationClient(NOTIFICATION_CLIENT_MQ), queue_name(name) {}

MQNotificationClient::~MQNotificationClient() {
    // The queue belongs to the registering process: closed, never unlinked.
    if (queueDescriptor != (mqd_t)-1) mq_close(queueDescriptor);
    delete[] sendBuffer;
}

bool MQNotificationClient::send(int, std::stringstream& text) {
    if (queueDescriptor == (mqd_t)-1) {
        queueDescriptor = mq_open(queue_name.c_str(), O_WRONLY);
        if (queueDescriptor == (mqd_t)-1) {
            const int error = errno;
            ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", LogText(queue_name.c_str()).c_str(), strerror(error));
            errno = error;  // the registry reports it when it drops this client
            return false;
        }
        if (!sendBuffer) sendBuffer = new uint8_t[NOTIFICATION_MQ_BUFFER_SIZE];
    }
    const std::string whole = text.str();
    size_t overhead = 0;
    if (sendOne(whole, &overhead)) {
        needsFullState = false;
        return true;
    }
    if (errno != EMSGSIZE) return false;
    // The full state (and a large change) does not fit one message: it goes as consecutive
    // notifications of the same shape, each a complete JSON object with a share of the members.
    const size_t visible = whole.find('\0');
    if (overhead + 2 >= NOTIFICATION_MQ_BUFFER_SIZE ||
        !splitNotification(whole.substr(0, visible), NOTIFICATION_MQ_BUFFER_SIZE - overhead - 1, &parts_)) {
        ZTLOG(UTIL_LOG_ERROR, "Notification of %u bytes does not fit a %u-byte message for '%s'",
              (unsigned)whole.size(), (unsigned)NOTIFICATION_MQ_BUFFER_SIZE, LogText(queue_name.c_str()).c_str());
        errno = EMSGSIZE;
        return false;
    }
    for (std::string& part : parts_) {
        part.push_back('\0');
        if (!sendOne(part, &overhead)) return false;
    }
    needsFullState = false;
    return true;
}

// One EventMsg with the text (NUL included) as its payload; *overhead is the message's size
// beyond the text. False with errno EMSGSIZE when it does not fit one message, or the send's errno.
bool MQNotificationClient::sendOne(const std::string& whole, size_t* overhead) {
    const uint16_t length = (uint16_t)whole.size();
    const int32_t result = 0;
    EventMsg event;
    s_resultElement.setData(&result, sizeof(result));
    event.addElement(&s_resultElement);
    if (length != 0) {
        s_payloadElement.setData(whole.data(), length);
        event.addElement(&s_payloadElement);
    }
    event.addElement(&s_endElement);
    *overhead = event.getSize() - length;
    if (whole.size() > UINT16_MAX || event.getSize() > NOTIFICATION_MQ_BUFFER_SIZE) {
        errno = EMSGSIZE;
        return false;
    }
    MemStream out(sendBuffer, NOTIFICATION_MQ_BUFFER_SIZE);
    out << event;
    if (out.failed()) {
        errno = EMSGSIZE;
        return false;
    }
    // A registering process that stops reading must not hold the worker: the send waits for room
    // only until the fan-out's deadline, then the client is dropped like a failing socket client.
    if (!boundedMqSend(queueDescriptor, out.getBuffer(), out.getLength(), remainingSendMs())) {
        const int error = errno;
        ZTLOG(UTIL_LOG_ERROR, "mq_send() failed for '%s': %s\n", LogText(queue_name.c_str()).c_str(), strerror(error));
        errno = error;
        return false;
    }
    return true;
}

EventMsg::EventMsg() : Msg(ZT_MSG_CATEGORY) { setMsgType(ZT_MSG_TYPE_EVENT); }

EventMsg::~EventMsg() = default;
