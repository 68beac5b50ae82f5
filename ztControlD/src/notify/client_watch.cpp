// The accept loop's watch over the socket clients: what they send is read and discarded, and a
// client whose peer closed or reset is dropped at once, without waiting for a send to fail.
#include <errno.h>
#include <string.h>
#include <sys/socket.h>

#include "notify/push_client.h"
#include "notify/push_registry.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"

namespace {

// What one wake-up reads from a client at most, so that a client that floods cannot hold the
// accept loop.
constexpr int kDiscardReads = 16;
constexpr size_t kDiscardChunk = 4096;

}  // namespace

size_t watchedSocketClients(ZtcontrolCommandServer* server, struct pollfd* fds, size_t max) {
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    size_t n = 0;
    for (const NotificationClient* client : server->pushClients) {
        if (n == max) break;
        if (client->clientType != NOTIFICATION_CLIENT_SOCKET) continue;
        fds[n].fd = static_cast<const SocketNotificationClient*>(client)->socketFd;
        fds[n].events = POLLIN;
        fds[n].revents = 0;
        ++n;
    }
    return n;
}

void serviceSocketClient(ZtcontrolCommandServer* server, int fd) {
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    std::vector<NotificationClient*>& clients = server->pushClients;
    for (size_t i = 0; i < clients.size(); ++i) {
        NotificationClient* client = clients[i];
        if (client->clientType != NOTIFICATION_CLIENT_SOCKET ||
            static_cast<SocketNotificationClient*>(client)->socketFd != fd)
            continue;
        static char discard[kDiscardChunk];  // only the main thread reads client sockets
        for (int reads = 0; reads < kDiscardReads; ++reads) {
            ssize_t n = recv(fd, discard, sizeof(discard), MSG_DONTWAIT);
            if (n > 0) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            ZTLOG(UTIL_LOG_WARN, "Notification client closed the connection, removing client! [%s]",
                  n == 0 ? "end of stream" : strerror(errno));
            delete client;
            clients.erase(clients.begin() + (long)i);
            return;
        }
        return;
    }
}
