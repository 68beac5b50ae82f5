// The end-to-end fixture: the real ztcamsim and ztControlD programs as processes, the notification
// port and the simulator's control channel. The test process is a child subreaper so that the
// detached daemon (a grandchild after daemon_init) is reparented to it and its exit status can be
// collected.
#ifndef ZTCONTROLD_TESTS_E2E_FIXTURE_H
#define ZTCONTROLD_TESTS_E2E_FIXTURE_H

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "camsim/control_client.h"
#include "program_launch.h"
#include "queue_cleanup.h"
#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/json_check.h"
#include "support/notification_frames.h"
#include "support/sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace e2e {

using Clock = std::chrono::steady_clock;

// A TCP connection to the notification port, or -1; a receive buffer size is set before connecting.
// With SOCK_NONBLOCK in flags, a connection still in progress is returned as well.
inline int connectToNotificationPort(int receiveBuffer = 0, int flags = 0) {
    int fd = socket(AF_INET, SOCK_STREAM | flags, 0);
    if (receiveBuffer) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    struct sockaddr_in addr = {AF_INET, htons(8081), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 || errno == EINPROGRESS) return fd;
    close(fd);
    return -1;
}

// Standard output and error go to outFd and errFd when given, else to /dev/null; inChild runs in
// the child before the program starts.
inline pid_t spawn(const std::vector<std::string>& args, int outFd = -1, int errFd = -1,
                   const std::function<void()>& inChild = nullptr) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int null = open("/dev/null", O_WRONLY);
    dup2(outFd >= 0 ? outFd : null, STDOUT_FILENO);
    dup2(errFd >= 0 ? errFd : null, STDERR_FILENO);
    if (inChild) inChild();
    zt_launch::exec(args);
    _exit(127);
}

// What arrives on the descriptor until its writer closes it or nothing comes for waitMs; the
// descriptor is closed then.
inline std::string readUntilQuiet(int fd, int waitMs) {
    std::string text;
    char buf[4096];
    struct pollfd p = {fd, POLLIN, 0};
    ssize_t n;
    while (::poll(&p, 1, waitMs) > 0 && (n = read(fd, buf, sizeof(buf))) > 0) text.append(buf, (size_t)n);
    close(fd);
    return text;
}

// The daemon ended the connection: the stream ends within ten seconds, whatever was still queued.
inline void expectStreamEnds(int fd) {
    struct timeval wait = {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    char buf[65536];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof(buf), 0)) > 0) {
    }
    EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << strerror(errno);
}

inline bool isFullState(const std::string& json) {
    const Json value = parseJson(json);
    return value.contains("status") && value.contains("settings");
}

// Reads frames, each within waitMs of the previous one, until one matches; false when none did.
inline bool frameWhere(FrameReader& reader, const std::function<bool(const std::string&)>& matches,
                       int waitMs = 10000) {
    std::string json;
    while (reader.next(&json, waitMs))
        if (matches(json)) return true;
    return false;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // qemu-user refuses the option: there the test runner starts this process as a subreaper
        // already (the attribute survives execve).
        if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
            ASSERT_TRUE(zt_launch::emulated()) << strerror(errno);
        }
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(zt_cleanup::removeAtCrash(name).c_str());
    }

    void TearDown() override {
        for (int fd : sockets) close(fd);
        if (daemonErrors >= 0) close(daemonErrors);
        // A daemon still running is stopped; the simulator is always ended.
        if (daemonRunning()) requester.call(ZTCONTROL_STOP, std::nullopt, 2000);
        if (camsim > 0) stopSimulator();
        waitForDaemon(10000);
        killChildren();
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(name);
    }

    // The processes whose parent is this one (detached daemons are reparented here).
    static std::vector<pid_t> children() {
        std::vector<pid_t> found;
        DIR* proc = opendir("/proc");
        if (!proc) return found;
        while (struct dirent* entry = readdir(proc)) {
            std::ifstream status(std::string("/proc/") + entry->d_name + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("PPid:", 0) == 0 && atoi(line.c_str() + 5) == (int)getpid())
                    found.push_back((pid_t)atoi(entry->d_name));
        }
        closedir(proc);
        return found;
    }

    // A daemon that did not stop (a failed test) must not disturb the next one: every process still
    // a child of this one is killed and reaped.
    void killChildren() {
        for (pid_t pid : children()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // With extra options and standard error on errFd when given; sim() talks to its control channel.
    void startSimulator(const std::vector<std::string>& extra = {}, int errFd = -1) {
        std::vector<std::string> args = {ZTCAMSIM_BIN, "--quiet", "--control", controlPath};
        args.insert(args.end(), extra.begin(), extra.end());
        camsim = spawn(args, -1, errFd);
        ASSERT_GT(camsim, 0);
        ASSERT_TRUE(waitUntil([&] { return sim("state").rfind("{", 0) == 0 || collect(camsim); }, 10000));
        ASSERT_FALSE(exits.count(camsim)) << "ztcamsim ended at once (another simulator serving /to_ztnet?)";
    }

    // Standard error goes to errFd when given, else to a file that a failed start reports.
    void startDaemon(int outFd = -1, int errFd = -1) {
        char path[] = "/tmp/ztcontrold-e2e-stderr-XXXXXX";
        if (errFd < 0 && (errFd = daemonErrors = mkostemp(path, O_CLOEXEC)) >= 0) unlink(path);
        launcher = spawn({ZTCONTROLD_BIN}, outFd, errFd);
        ASSERT_GT(launcher, 0);
    }

    // Why the daemon is not listening, as far as its launcher and standard error tell.
    std::string startReport() {
        std::string report = collect(launcher) ? "launcher ended, wait status " + std::to_string(exits[launcher])
                                               : "launcher still waiting";
        report += mailboxExists(ZT_DAEMON_MBOX) ? "; the mailbox exists" : "; no mailbox";
        char buf[2048];
        const ssize_t n = daemonErrors >= 0 ? pread(daemonErrors, buf, sizeof(buf), 0) : 0;
        if (n > 0) report += "; standard error: " + std::string(buf, (size_t)n);
        return report;
    }

    // A control command to the simulator; its reply line, "error ..." when none came.
    std::string sim(const std::string& line) {
        std::string reply;
        if (camsim::controlRequest(controlPath, line, &reply) != 0) return "error " + reply;
        return reply;
    }

    void stopSimulator() {
        kill(camsim, SIGTERM);
        ASSERT_TRUE(waitForExit(camsim, 10000));
        camsim = -1;
    }

    // Fully started: the worker runs and the listener accepts (a stop taken before the entry
    // point has seen the worker run would end the daemon only after its ten start-up checks).
    void waitUntilListening() {
        int fd = -1;
        const auto failed = [&] { return collect(launcher) && exits[launcher] != 0; };
        ASSERT_TRUE(waitUntil([&] { return (fd = connectToNotificationPort()) >= 0 || failed(); }, 30000) && fd >= 0)
            << startReport();
        close(fd);
    }

    void startAll(const std::vector<std::string>& simulatorOptions = {}, int simulatorErrFd = -1) {
        ASSERT_NO_FATAL_FAILURE(startSimulator(simulatorOptions, simulatorErrFd));
        ASSERT_NO_FATAL_FAILURE(startDaemon());
        ASSERT_NO_FATAL_FAILURE(waitUntilListening());
    }

    bool simulatorSubscribed() {
        const Json state = parseJson(sim("state"));
        return state.contains("subscribed") && state["subscribed"] == true;
    }

    // A command that needs no camera; its duration, or a minute when it got no answer.
    Clock::duration quickCommand() {
        const auto start = Clock::now();
        Reply reply = requester.call(ZTCONTROL_SET_LOG_LEVEL, u32Arg(UTIL_LOG_ERROR), 5000);
        return reply.received ? Clock::now() - start : Clock::duration(std::chrono::seconds(60));
    }

    // An orderly stop seen from outside: status 0 within the bound since the request, both
    // mailboxes gone.
    void expectStoppedInOrder(Clock::time_point since, Clock::duration within) {
        const int status = waitForDaemon(15000);
        ASSERT_NE(status, -1) << "daemon did not end";
        EXPECT_LT(Clock::now() - since, within);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX}) EXPECT_FALSE(mailboxExists(name)) << name;
    }

    // Stops the daemon with its stop command, answered with success.
    void stopInOrder(Clock::duration within) {
        const auto start = Clock::now();
        EXPECT_EQ(requester.call(ZTCONTROL_STOP, std::nullopt, 5000).result, ZT_OK);
        expectStoppedInOrder(start, within);
    }

    // A notification client closed at tear-down.
    int client(int receiveBuffer = 0) {
        int fd = connectToNotificationPort(receiveBuffer);
        EXPECT_GE(fd, 0);
        sockets.push_back(fd);
        return fd;
    }

    // A new, resumed notification client that has had its full state. A connection completes
    // before the daemon has accepted it, and a resume reaches only accepted clients: it is repeated
    // until the full state comes, and sent once more after it (while another client listens, a
    // paused one gets the full state as well).
    FrameReader subscribedReader() {
        FrameReader reader(client());
        std::string json;
        for (int attempt = 0; attempt < 10; ++attempt) {
            EXPECT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")), ZT_OK);
            if (reader.next(&json, 1000)) {
                EXPECT_TRUE(isFullState(json)) << json;
                EXPECT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")), ZT_OK);
                return reader;
            }
        }
        ADD_FAILURE() << "no full state";
        return reader;
    }

    int32_t command(uint32_t id, const std::optional<Bytes>& arg = std::nullopt) {
        Reply reply = requester.call(id, arg, 15000);
        EXPECT_TRUE(reply.received) << "no response to " << id;
        return reply.result;
    }

    bool daemonRunning() { return daemonPid == 0 && launcher > 0 && mailboxExists(ZT_DAEMON_MBOX); }

    // Collects exits; true when pid (or, for 0, the detached daemon) has exited.
    bool collect(pid_t pid) {
        int status;
        pid_t got;
        while ((got = waitpid(-1, &status, WNOHANG)) > 0) {
            exits[got] = status;
            if (got != launcher && got != camsim && got != otherLauncher) daemonPid = got;
        }
        return pid ? exits.count(pid) > 0 : daemonPid != 0;
    }

    bool waitForExit(pid_t pid, int timeoutMs) {
        return waitUntil([&] { return collect(pid); }, timeoutMs);
    }

    // The detached daemon's wait status, or -1 when it did not end in time.
    int waitForDaemon(int timeoutMs) {
        if (launcher <= 0 || !waitForExit(0, timeoutMs)) return -1;
        return exits[daemonPid];
    }

    const std::string controlPath = "/tmp/ztcontrold-e2e-" + std::to_string(getpid()) + ".sock";
    pid_t camsim = -1;
    pid_t launcher = -1;
    pid_t otherLauncher = -1;  // a second daemon started by a test
    pid_t daemonPid = 0;
    int daemonErrors = -1;
    std::map<pid_t, int> exits;
    std::vector<int> sockets;
    Requester requester;
};

}  // namespace e2e

#endif
