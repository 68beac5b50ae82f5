#include "ztPushClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string>

NotificationClient::~NotificationClient() = default;

void NotificationClient::setPaused(bool value) {
    paused = value;
    if (value) needsFullState = true;
}

bool NotificationClient::isPaused() const { return paused; }

SocketNotificationClient::SocketNotificationClient(int fd)
    : NotificationClient(NOTIFICATION_CLIENT_SOCKET), socketFd(fd) {}

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
    std::stringstream frame;
    frame << "LENGTH:" << whole.size() << "\n\n" << whole.c_str();
    const std::string bytes = frame.str();
    ssize_t sent = ::send(socketFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 || (size_t)sent != bytes.size()) return false;
    needsFullState = false;
    return true;
}
