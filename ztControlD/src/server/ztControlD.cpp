// Daemon entry: detaches, starts the command server, then accepts notification clients on TCP port
// 8081 until the worker has taken the stop command or a stop signal came.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "notify/push_client.h"
#include "notify/push_registry.h"
#include "server/descriptor_reserve.h"
#include "server/readiness.h"
#include "server/stop_signals.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"
#include "ztUtil.h"

namespace {

constexpr uint16_t kNotificationPort = 8081;
// Larger than the 3 of the original design: a burst of phones connecting at once would otherwise
// have its SYNs dropped and wait a second for the retry.
constexpr int kListenBacklog = 16;
constexpr size_t kMaxWatchedClients = 10;
constexpr int kAcceptWaitMs = 2000;
constexpr int kStartupChecks = 10;
constexpr useconds_t kStartupSliceUs = 5000;
constexpr int kStartupSlicesPerCheck = 200;  // one second

void giveUp() {
    ZtcontrolCommandServer::getInstance()->stop();
    ZtcontrolCommandServer::destroyInstance();
    failStart(-1, "cannot listen on the notification port 8081 (see the system log)");
}

enum class WorkerStart { Running, Stopped, NotStarted };

// What start-up can see of the worker: stopped (a stop signal, or a stop command taken before it
// was seen running), running, or not started yet.
WorkerStart workerState(ZtcontrolCommandServer* server) {
    if (stopSignalled()) return WorkerStart::Stopped;
    if (server->isRunning()) return WorkerStart::Running;
    return server->workerStarted ? WorkerStart::Stopped : WorkerStart::NotStarted;
}

// Ten checks one second apart; each one-second wait ends early once the worker runs or was
// stopped, so a daemon whose worker is up in milliseconds listens in milliseconds, and one asked
// to stop during start-up stops at once instead of after the ten checks.
WorkerStart waitForWorker() {
    ZtcontrolCommandServer* server = ZtcontrolCommandServer::getInstance();
    for (int check = 0; check < kStartupChecks; ++check) {
        for (int slice = 0; slice < kStartupSlicesPerCheck; ++slice) {
            const WorkerStart state = workerState(server);
            if (state != WorkerStart::NotStarted) return state;
            usleep(kStartupSliceUs);
        }
    }
    return workerState(server);
}

// Start-up checks made before detaching, so that the command that launched the daemon sees the
// failure in its exit status (after detaching only the detached process would): another instance,
// the network daemon's mailbox missing, the notification port taken. Each prints why on standard
// error, logs it and ends the process with -1.
void refuseStart(const char* why, const char* detail) {
    fprintf(stderr, "ztControlD: %s%s\n", why, detail);
    ZTLOG(UTIL_LOG_ERROR, "Not starting: %s%s", why, detail);
    exit(-1);
}

// One daemon per system: a second one would take over the mailboxes and unlink them as it fails.
// The lock is an abstract socket, released by the kernel when the process ends; its descriptor
// is kept open (and inherited across the detach) for the whole run.
void takeInstanceLock() {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) refuseStart("cannot create the instance lock: ", strerror(errno));
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    const char kLockName[] = "ztControlD";
    memcpy(addr.sun_path + 1, kLockName, sizeof(kLockName) - 1);
    const socklen_t length = (socklen_t)(offsetof(struct sockaddr_un, sun_path) + 1 + sizeof(kLockName) - 1);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&addr), length) != 0)
        refuseStart("another ztControlD is running", "");
}

void checkStartConditions() {
    takeInstanceLock();
    mqd_t ztnet = mq_open(ZT_ZTNET_MBOX, O_WRONLY);
    if (ztnet == (mqd_t)-1) refuseStart("the network daemon's mailbox /to_ztnet cannot be opened: ", strerror(errno));
    mq_close(ztnet);
    int probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe < 0) refuseStart("cannot create a socket: ", strerror(errno));
    int on = 1;  // as the listener: connections in TIME_WAIT do not count as taken
    setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(kNotificationPort);
    if (bind(probe, reinterpret_cast<struct sockaddr*>(&addr), sizeof(addr)) != 0)
        refuseStart("the notification port 8081 cannot be used: ", strerror(errno));
    close(probe);
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

AcceptPause g_acceptPause;

// Waits up to the accept wait for a new connection, and meanwhile watches the socket clients: a
// client that sent something or closed its end is served at once (the original loop watched the
// listener alone, so a closed client kept its slot until a send to it failed). True when a
// connection is waiting.
bool waitForConnection(int listener) {
    struct pollfd fds[2 + kMaxWatchedClients];
    // A negative descriptor is skipped by poll: the clients are still served during a pause.
    fds[0].fd = g_acceptPause.active() ? -1 : listener;
    fds[0].events = POLLIN;
    fds[0].revents = 0;
    const size_t clients = watchedSocketClients(ZtcontrolCommandServer::getInstance(), fds + 1, kMaxWatchedClients);
    fds[1 + clients] = {stopSignalDescriptor(), POLLIN, 0};  // a stop ends the wait at once
    if (poll(fds, (nfds_t)(2 + clients), g_acceptPause.clampWait(kAcceptWaitMs)) <= 0) return false;
    for (size_t i = 1; i <= clients; ++i)
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
            serviceSocketClient(ZtcontrolCommandServer::getInstance(), fds[i].fd);
    return (fds[0].revents & POLLIN) != 0;
}

void acceptLoop(int listener) {
    struct sockaddr_in peer;
    socklen_t peerLength = sizeof(peer);
    while (ZtcontrolCommandServer::getInstance()->isRunning() && !stopSignalled()) {
        if (!waitForConnection(listener)) continue;
        ZTLOG(UTIL_LOG_INFO, "Accepting a notification client...\n");
        int fd = accept(listener, reinterpret_cast<struct sockaddr*>(&peer), &peerLength);
        if (fd < 0) {
            if (!g_acceptPause.pauseOn(errno)) ZTLOG(UTIL_LOG_ERROR, "accept() failed");
            continue;
        }
        g_acceptPause.accepted();
        // Each answer opens the requester's mailbox: a client may not take the last descriptors.
        if (!descriptorsToSpare()) {
            ZTLOG(UTIL_LOG_ERROR, "Too few descriptors left, rejecting!");
            ZTLOG(UTIL_LOG_ERROR, "Failed to add notification client");
            close(fd);
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

// The launcher exits once the daemon is ready or has failed (readiness.h). SIGTERM and SIGINT,
// like the stop command, end the accept loop into the orderly stop; either may come at any time
// during start-up too, and then ends the daemon at once with status 0.
int main(int, char** argv) {
    // Standard output may be a pipe whose reader is gone (the preset-update path prints progress
    // lines): a write there must fail, not end the daemon.
    signal(SIGPIPE, SIG_IGN);
    checkStartConditions();
    int r = detachReportingReadiness();
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "daemon_init failed %d", r);
        failStart(r, "cannot detach");
    }
    ZTLOG(UTIL_LOG_INFO, "Starting ztControlD daemon");
    // Before the server's threads exist, so that they inherit the signals blocked.
    if (installStopSignals() != 0) failStart(-1, "cannot handle the stop signals");
    r = ZtcontrolCommandServer::getInstance()->start();
    acceptStopSignals();
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to start daemon [%s], ret %d\n", argv[0], r);
        failStart(r, "the command server did not start (see the system log)");
    }
    const WorkerStart worker = waitForWorker();
    if (worker == WorkerStart::NotStarted) {
        ZtcontrolCommandServer::getInstance()->stop();
        ZtcontrolCommandServer::destroyInstance();
        ZTLOG(UTIL_LOG_INFO, "Exiting ztControlD daemon due to error");
        failStart(-1, "the command handling thread did not start");
    }
    int listener = -1;
    if (worker == WorkerStart::Running) {
        listener = openListener();
        reportStarted();
        acceptLoop(listener);
    }
    ZtcontrolCommandServer::getInstance()->stop();
    ZtcontrolCommandServer::destroyInstance();
    if (listener >= 0) close(listener);
    reportStarted();  // stopped before it was ready: not a failure, and no restart should follow
    ZTLOG(UTIL_LOG_INFO, "Exiting ztControlD daemon");
    return 0;
}
