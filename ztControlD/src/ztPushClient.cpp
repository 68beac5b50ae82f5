#include "ztPushClient.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

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

SocketNotificationClient::SocketNotificationClient(int fd)
    : NotificationClient(NOTIFICATION_CLIENT_SOCKET), socketFd(fd) {
    // A peer that stops reading fills the socket buffer; the time-out turns the blocked send into
    // a failure, and the failed client is dropped instead of holding the worker thread. The fixed
    // buffer keeps a stalled peer from taking megabytes of kernel memory before that happens.
    const int sendBuffer = NOTIFICATION_SEND_BUFFER;
    if (setsockopt(socketFd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer)) != 0)
        ZTLOG(UTIL_LOG_ERROR, "setsockopt(SO_SNDBUF) failed on notification socket %d: %s", socketFd,
              strerror(errno));
    struct timeval timeout = {NOTIFICATION_SEND_TIMEOUT_S, 0};
    if (setsockopt(socketFd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout)) != 0)
        ZTLOG(UTIL_LOG_ERROR, "setsockopt(SO_SNDTIMEO) failed on notification socket %d: %s", socketFd,
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
    ssize_t sent = ::send(socketFd, frame_.data(), frame_.size(), MSG_NOSIGNAL);
    if (sent < 0 || (size_t)sent != frame_.size()) return false;
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
            ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", queue_name.c_str(), strerror(error));
            errno = error;  // the registry reports it when it drops this client
            return false;
        }
        if (!sendBuffer) sendBuffer = new uint8_t[NOTIFICATION_MQ_BUFFER_SIZE];
    }

    const std::string whole = text.str();
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

    MemStream out(sendBuffer, NOTIFICATION_MQ_BUFFER_SIZE);
    out << event;
    if (out.failed()) {
        ZTLOG(UTIL_LOG_ERROR, "Notification of %u bytes does not fit a %u-byte message for '%s'",
              (unsigned)whole.size(), (unsigned)NOTIFICATION_MQ_BUFFER_SIZE, queue_name.c_str());
        errno = EMSGSIZE;
        return false;
    }
    if (mq_send(queueDescriptor, reinterpret_cast<const char*>(out.getBuffer()), out.getLength(), 0) != 0) {
        const int error = errno;
        ZTLOG(UTIL_LOG_ERROR, "mq_send() failed for '%s': %s\n", queue_name.c_str(), strerror(error));
        errno = error;
        return false;
    }
    needsFullState = false;
    return true;
}

EventMsg::EventMsg() : Msg(ZT_MSG_CATEGORY) { setMsgType(ZT_MSG_TYPE_EVENT); }

EventMsg::~EventMsg() = default;
