// Notification clients: receivers of the daemon's pushed JSON notifications.
#ifndef PUSH_CLIENT_H
#define PUSH_CLIENT_H

#include <mqueue.h>
#include <stdint.h>

#include <sstream>
#include <string>
#include <vector>

#include "zt_msg_classes.h"

// Values of NotificationClient::clientType.
enum NotificationClientType : int32_t { NOTIFICATION_CLIENT_SOCKET = 1, NOTIFICATION_CLIENT_MQ = 2 };

// Kinds passed to send().
enum NotificationKind : int { NOTIFICATION_KIND_CHANGE = 2, NOTIFICATION_KIND_SHUTDOWN = 3 };

// Send buffer of a notification socket: what a peer may fall behind before sends start to block.
constexpr int NOTIFICATION_SEND_BUFFER = 64 * 1024;

// Size of a queue notification once serialized: one mailbox message.
constexpr size_t NOTIFICATION_MQ_BUFFER_SIZE = 1500;

class NotificationClient {
public:
    virtual ~NotificationClient();
    NotificationClient(const NotificationClient&) = delete;
    NotificationClient& operator=(const NotificationClient&) = delete;

    // Pausing also asks for the full state before the next change notification.
    virtual void setPaused(bool paused);
    virtual bool isPaused() const;
    // Delivers the whole content of text (which ends with a NUL) once; true on success.
    virtual bool send(int kind, std::stringstream& text) = 0;

    int32_t clientType;
    bool needsFullState = true;
    bool paused = true;
    // Monotonic time (monotonicMs) by which send() must have returned, set by the fan-out so that
    // one poll's sends share one budget; 0 gives each send a budget of its own.
    int64_t sendDeadlineMs = 0;

protected:
    explicit NotificationClient(int32_t type) : clientType(type) {}
    // Milliseconds left until the send deadline, 0 when it has passed.
    int remainingSendMs() const;
};

// A TCP connection accepted on the notification port; owns the socket.
class SocketNotificationClient : public NotificationClient {
public:
    // Also bounds the socket's send buffer (NOTIFICATION_SEND_BUFFER).
    explicit SocketNotificationClient(int fd);
    ~SocketNotificationClient() override;

    // One frame "LENGTH:<n>\n\n<text without its NUL>", n counting the NUL; consecutive shutdown
    // notices are sent once. Fails when the whole frame cannot go before the send deadline.
    bool send(int kind, std::stringstream& text) override;

    int socketFd;
    bool shutdownNoticeSent = false;

private:
    std::string frame_;  // reused: keeps its capacity from one notification to the next
};

// A message queue named by a local process; each notification is one serialized EventMsg.
class MQNotificationClient : public NotificationClient {
public:
    explicit MQNotificationClient(const std::string& name);
    ~MQNotificationClient() override;

    // Opens the queue on first use (it must exist); waits for room at most until the send
    // deadline. A text too long for one message goes as several (splitNotification).
    bool send(int kind, std::stringstream& text) override;

    mqd_t queueDescriptor = (mqd_t)-1;
    std::string queue_name;
    uint8_t* sendBuffer = nullptr;  // NOTIFICATION_MQ_BUFFER_SIZE bytes once the queue has opened

private:
    bool sendOne(const std::string& text, size_t* overhead);
    std::vector<std::string> parts_;  // reused between notifications
};

// A notification as a message of the message classes: category 20, message type 22.
class EventMsg : public Msg {
public:
    EventMsg();
    ~EventMsg() override;
};

#endif
