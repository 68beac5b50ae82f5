// Notification clients: receivers of the daemon's pushed JSON notifications.
#ifndef ZT_PUSH_CLIENT_H
#define ZT_PUSH_CLIENT_H

#include <stdint.h>

#include <sstream>

// Values of NotificationClient::clientType.
enum NotificationClientType : int32_t { NOTIFICATION_CLIENT_SOCKET = 1, NOTIFICATION_CLIENT_MQ = 2 };

// Kinds passed to send().
enum NotificationKind : int { NOTIFICATION_KIND_CHANGE = 2, NOTIFICATION_KIND_SHUTDOWN = 3 };

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

protected:
    explicit NotificationClient(int32_t type) : clientType(type) {}
};

// A TCP connection accepted on the notification port; owns the socket.
class SocketNotificationClient : public NotificationClient {
public:
    explicit SocketNotificationClient(int fd);
    ~SocketNotificationClient() override;

    // One frame "LENGTH:<n>\n\n<text without its NUL>", n counting the NUL; consecutive shutdown
    // notices are sent once.
    bool send(int kind, std::stringstream& text) override;

    int socketFd;
    bool shutdownNoticeSent = false;
};

#endif
