// Daemon entry: detaches, starts the command server, then accepts notification clients on TCP port
// 8081 until the worker has taken the stop command.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ztLog.h"
#include "ztPushClient.h"
#include "ztUtil.h"
#include "ztcontrol_if_server.h"

namespace {

constexpr uint16_t kNotificationPort = 8081;
constexpr int kListenBacklog = 3;
constexpr int kAcceptWaitMs = 2000;
constexpr int kStartupChecks = 10;

void giveUp() {
    ZtcontrolCommandServer::getInstance()->stop();
    ZtcontrolCommandServer::destroyInstance();
    exit(-1);
}

bool waitForWorker() {
    for (int check = 0; check < kStartupChecks; ++check) {
        if (ZtcontrolCommandServer::getInstance()->isRunning()) return true;
        sleep(1);
    }
    return false;
}

int openListener() {
    int fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to create server socket, Exiting daemon");
        giveUp();
    }
    // Lets a restarted daemon bind while old connections linger in TIME_WAIT; a live listener on
    // the port still makes bind fail.
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(kNotificationPort);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof(addr)) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "bind() failed on socket, Exiting daemon");
        close(fd);
        giveUp();
    }
    if (listen(fd, kListenBacklog) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "listen() failed on socket, Exiting daemon");
        close(fd);
        giveUp();
    }
    return fd;
}

bool listenerReadable(int fd) {
    struct pollfd pfd;
    pfd.fd = fd;
    pfd.events = POLLIN;
    pfd.revents = 0;
    return poll(&pfd, 1, kAcceptWaitMs) > 0 && (pfd.revents & POLLIN);
}

void acceptLoop(int listener) {
    struct sockaddr_in peer;
    socklen_t peerLength = sizeof(peer);
    while (ZtcontrolCommandServer::getInstance()->isRunning()) {
        if (!listenerReadable(listener)) continue;
        ZTLOG(UTIL_LOG_INFO, "Accepting a notification client...\n");
        int fd = accept(listener, reinterpret_cast<struct sockaddr*>(&peer), &peerLength);
        if (fd < 0) {
            ZTLOG(UTIL_LOG_ERROR, "accept() failed");
            continue;
        }
        int on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) != 0) {
            close(fd);
            continue;
        }
        char address[INET_ADDRSTRLEN];
        ZTLOG(UTIL_LOG_DEBUG, "Accepted client %s\n", inet_ntop(AF_INET, &peer.sin_addr, address, sizeof(address)));
        SocketNotificationClient* client = new SocketNotificationClient(fd);
        if (!ZtcontrolCommandServer::getInstance()->addPushClient(client)) {
            ZTLOG(UTIL_LOG_ERROR, "Failed to add notification client");
            delete client;
        }
    }
}

}  // namespace

int main(int, char** argv) {
    int r = daemon_init();
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "daemon_init failed %d", r);
        exit(r);
    }
    ZTLOG(UTIL_LOG_INFO, "Starting ztControlD daemon");
    r = ZtcontrolCommandServer::getInstance()->start();
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to start daemon [%s], ret %d\n", argv[0], r);
        exit(r);
    }
    if (!waitForWorker()) {
        ZtcontrolCommandServer::getInstance()->stop();
        ZtcontrolCommandServer::destroyInstance();
        ZTLOG(UTIL_LOG_INFO, "Exiting ztControlD daemon due to error");
        exit(-1);
    }
    int listener = openListener();
    acceptLoop(listener);
    ZtcontrolCommandServer::getInstance()->stop();
    ZtcontrolCommandServer::destroyInstance();
    close(listener);
    ZTLOG(UTIL_LOG_INFO, "Exiting ztControlD daemon");
    return 0;
}
