// End to end on the notification port with the real ztcamsim and ztControlD programs: a TCP
// client gets the full state and the change a command makes, and a client that never reads is
// dropped after the send time-out without holding up the others for longer. The test process is
// a child subreaper, so that the detached daemon's exit can be collected.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "daemon_harness.h"
#include "notification_frames.h"
#include "sim_ops.h"
#include "support/json_check.h"
#include "ztErrno.h"
#include "ztPushClient.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_if_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// A connection to the notification port, or -1; a receive buffer size is set before connecting.
int connectToNotificationPort(int receiveBuffer = 0) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(8081);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) return fd;
    close(fd);
    return -1;
}

pid_t spawn(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

bool isFullState(const std::string& json) {
    JsonValue value;
    return parseJson(json, value) && value.find("status") && value.find("settings");
}

class NotificationsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(name);
        camsim = spawn({ZTCAMSIM_BIN, "--quiet", "--control", ""});
        ASSERT_GT(camsim, 0);
        ASSERT_TRUE(waitUntil([] { return mailboxExists(ZT_ZTNET_MBOX); }, 10000));
        daemonLauncher = spawn({ZTCONTROLD_BIN});
        ASSERT_GT(daemonLauncher, 0);
        // Listening means fully started. This probe client stays registered, paused, until stop.
        int probe = -1;
        ASSERT_TRUE(waitUntil([&] { return (probe = connectToNotificationPort()) >= 0; }, 15000));
        close(probe);
    }

    void TearDown() override {
        for (int fd : sockets) close(fd);
        if (mailboxExists(ZT_DAEMON_MBOX)) requester.call(ZTCONTROL_STOP, std::nullopt, 2000);
        waitUntil([] { return !mailboxExists(ZT_DAEMON_MBOX); }, 10000);
        if (camsim > 0) kill(camsim, SIGTERM);
        // Collect the simulator, the launcher and the detached daemon.
        waitUntil([] { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }, 10000);
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(name);
    }

    int client(int receiveBuffer = 0) {
        int fd = connectToNotificationPort(receiveBuffer);
        EXPECT_GE(fd, 0);
        sockets.push_back(fd);
        return fd;
    }

    int32_t command(uint32_t id, const std::optional<Bytes>& arg = std::nullopt) {
        Reply reply = requester.call(id, arg, 15000);
        EXPECT_TRUE(reply.received) << "no response to " << id;
        return reply.result;
    }

    pid_t camsim = -1;
    pid_t daemonLauncher = -1;
    std::vector<int> sockets;
    Requester requester;
};

TEST_F(NotificationsEndToEnd, TcpClientGetsTheFullStateThenTheChangeOfACommand) {
    FrameReader reader(client());
    ASSERT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")), ZT_OK);
    std::string json;
    ASSERT_TRUE(reader.next(&json, 10000)) << "no full state";
    EXPECT_TRUE(isJsonObject(json));
    EXPECT_TRUE(isFullState(json)) << json;

    ASSERT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    JsonValue change;
    bool seen = false;
    while (!seen && reader.next(&json, 10000)) {
        ASSERT_TRUE(isJsonObject(json));
        parseJson(json, change);
        const JsonValue* status = change.find("status");
        seen = status && status->find("31") && status->find("31")->number == 1;
    }
    EXPECT_TRUE(seen) << "no change notification with the locate item; last frame: " << json;
    EXPECT_FALSE(reader.malformed());
}

TEST_F(NotificationsEndToEnd, StalledClientIsDroppedWithoutHoldingUpTheOthers) {
    const int stalled = client(2048);  // never reads
    FrameReader reader(client());

    // Every resume sends both clients the full state (about 1.7 kB): enough rounds fill the
    // stalled client's receive window and the daemon's send buffer for it.
    constexpr int kRounds = 300;
    Clock::duration slowest{};
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=0")), ZT_OK);
        const auto resumed = Clock::now();
        ASSERT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")), ZT_OK);
        std::string json;
        bool full = false;
        while (!full && reader.next(&json, 15000)) full = isFullState(json);
        ASSERT_TRUE(full) << "round " << round << ": the reading client got no full state";
        slowest = std::max(slowest, Clock::now() - resumed);
    }
    // At most one send time-out, with generous slack for a loaded machine.
    EXPECT_LT(slowest, std::chrono::seconds(NOTIFICATION_SEND_TIMEOUT_S + 6));

    // The daemon closed the stalled connection: reading it to the end meets the close.
    struct timeval wait = {10, 0};
    setsockopt(stalled, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    char buf[65536];
    ssize_t n;
    size_t total = 0;
    while ((n = recv(stalled, buf, sizeof(buf), 0)) > 0) total += (size_t)n;
    EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << "still open after " << total << " bytes: "
                                                          << strerror(errno);
    EXPECT_GT(total, 0u);
}

}  // namespace
