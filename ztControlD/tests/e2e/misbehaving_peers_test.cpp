// Misbehaving peers, end to end with the real programs: requesters that name the daemon's own
// mailboxes or stop reading, queue and TCP notification clients that stall, close or flood, a
// camera that lets the start-up reads time out, a second daemon, a broken standard output. The
// daemon must keep serving within its stated bounds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <thread>
#include <vector>

#include "server/bounded_send.h"
#include "support/e2e_fixture.h"
#include "ztErrno.h"
#include "ztTlv.h"

namespace {

using namespace e2e;
using std::chrono::milliseconds;
using std::chrono::seconds;

using MisbehavingPeers = EndToEnd;

// Requests naming one of the daemon's own mailboxes for the answer are refused, and a requester
// that stops reading costs each answer a short bound: the daemon keeps serving.
TEST_F(MisbehavingPeers, RequestersThatNameOwnMailboxesOrStopReadingCostOnlyAShortBound) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    for (const char* own : {"/to_ztCtlD2", "/to_ztCtlD", "//to_ztCtlD2", "/to_ztnet"})
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(requester.sendRaw(buildRequest(ZTCONTROL_REMOTE_API, std::nullopt, own)));
    EXPECT_LT(quickCommand(), seconds(2));
    EXPECT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);  // the camera link still works

    PrivateQueue full("full", 1);
    ASSERT_TRUE(full.fill());
    constexpr int kRequests = 5;
    const auto start = Clock::now();
    for (int i = 0; i < kRequests; ++i)
        ASSERT_TRUE(requester.sendRaw(buildRequest(ZTCONTROL_REMOTE_API, std::nullopt, full.name().c_str()), 5000));
    EXPECT_LT(quickCommand(), seconds(4));
    EXPECT_LT(Clock::now() - start, milliseconds(kRequests * RESPONSE_SEND_BOUND_MS) + seconds(3));
    EXPECT_EQ(full.queued(), 1);  // the answers were dropped
    stopInOrder(seconds(6));
}

// Registered by name (never one of the daemon's own mailboxes, any non-zero flag registers), a
// queue client gets the full state in parts, each one an object, then changes, until removed.
TEST_F(MisbehavingPeers, QueueClientGetsTheFullStateInPartsAndThenChangesUntilRemoved) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    PrivateQueue queue("client", 10);
    auto registration = [&](uint32_t flag, const std::string& name) {
        return command(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueRegistration(flag, name));
    };
    for (const char* reserved : {"/to_ztnet", "/to_ztCtlD", "//to_ztCtlD2"})
        EXPECT_EQ(registration(1, reserved), ZT_ERR_INVALID_PARAM) << reserved;
    ASSERT_EQ(registration(7, queue.name()), ZT_OK);
    std::vector<std::string> parts = queue.texts(3000);
    ASSERT_GE(parts.size(), 2u) << "the full state does not fit one message";
    for (const std::string& part : parts) EXPECT_TRUE(isJsonObject(part));
    EXPECT_EQ(parts.front().rfind("{\"status\":{", 0), 0u);
    EXPECT_NE(parts.back().find("\"settings\":{"), std::string::npos);

    ASSERT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    bool seen = false;
    for (const std::string& text : queue.texts(3000)) seen = seen || text.find("\"31\":1") != std::string::npos;
    EXPECT_TRUE(seen) << "no change notification with the locate item";
    EXPECT_EQ(registration(0, "/ztcd_not_registered"), ZT_OK);
    EXPECT_EQ(registration(0, queue.name()), ZT_OK);
    ASSERT_EQ(command(ZTCONTROL_LOCATE, u8Arg(0)), ZT_OK);
    EXPECT_TRUE(queue.texts(2000).empty()) << "a removed client was notified";
}

TEST_F(MisbehavingPeers, QueueClientThatStopsReadingIsDroppedWithoutStallingTheDaemon) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    PrivateQueue queue("stalled", 2);
    ASSERT_EQ(sim("power off").rfind("ok", 0), 0u);  // a shutdown notice on every poll
    ASSERT_EQ(command(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueRegistration(1, queue.name())), ZT_OK);
    ASSERT_TRUE(waitUntil([&] { return queue.queued() == 2; }, 5000));
    std::this_thread::sleep_for(seconds(1));  // more notices than fit
    for (int i = 0; i < 3; ++i) EXPECT_LT(quickCommand(), seconds(2));
    // Dropped: once read, the queue stays empty.
    queue.texts(0);
    std::this_thread::sleep_for(seconds(2));
    EXPECT_EQ(queue.queued(), 0);
}

// Ten clients at most: closed ones free their slots, a burst of ten is accepted without waiting for
// a retry, an eleventh is closed at once, and what a client sends is read and discarded.
TEST_F(MisbehavingPeers, ClosedTcpClientsFreeTheirSlotsABurstIsAcceptedAndSentDataIsDiscarded) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    for (int round = 0; round < 2; ++round) {  // ten phones come and go while paused, twice
        std::vector<int> phones;
        for (int i = 0; i < 10; ++i) phones.push_back(connectToNotificationPort());
        for (int fd : phones) {
            ASSERT_GE(fd, 0);
            close(fd);
        }
        std::this_thread::sleep_for(milliseconds(1200));
    }
    std::vector<int> phones;
    std::vector<struct pollfd> connecting;
    const auto start = Clock::now();
    for (int i = 0; i < 10; ++i) {
        phones.push_back(connectToNotificationPort(0, SOCK_NONBLOCK));
        ASSERT_GE(phones.back(), 0);
        sockets.push_back(phones.back());
        connecting.push_back({phones.back(), POLLOUT, 0});
    }
    size_t connected = 0;
    while (connected < connecting.size() && Clock::now() - start < seconds(3)) {
        ::poll(connecting.data(), connecting.size(), 50);
        for (struct pollfd& p : connecting)
            if (p.revents & POLLOUT) {
                p.fd = -p.fd - 1;  // done
                ++connected;
            }
    }
    EXPECT_EQ(connected, connecting.size());
    EXPECT_LT(Clock::now() - start, milliseconds(800));
    for (int fd : phones) fcntl(fd, F_SETFL, 0);  // blocking from here on
    std::this_thread::sleep_for(milliseconds(500));
    char c;
    for (int fd : phones) {
        EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), -1) << "a new client was closed";
        EXPECT_EQ(errno, EAGAIN);
    }
    // An eleventh is closed at once.
    struct timeval tv = {10, 0};
    const int eleventh = client();
    setsockopt(eleventh, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    EXPECT_EQ(recv(eleventh, &c, 1, 0), 0);

    // A client that sends is read: megabytes go through without the daemon's buffers filling.
    std::vector<char> junk(64 * 1024, 'j');
    setsockopt(phones[0], SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    size_t sent = 0;
    for (int i = 0; i < 128; ++i) {
        ssize_t n = send(phones[0], junk.data(), junk.size(), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += (size_t)n;
    }
    EXPECT_EQ(sent, 128 * junk.size());
    EXPECT_LT(quickCommand(), seconds(2));

    // Stopping closes every client.
    stopInOrder(seconds(6));
    for (int fd : phones) expectStreamEnds(fd);
}

TEST_F(MisbehavingPeers, StalledTcpPeersCostOneBudgetPerPollTogether) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    std::vector<int> stalled;
    for (int i = 0; i < 8; ++i) stalled.push_back(client(2048));  // never read
    FrameReader reader = subscribedReader();  // accepted, so that every resume reaches it
    // Each resume sends every client the full state (about 1.7 kB) until the stalled ones are full.
    Clock::duration slowest{};
    for (int round = 0; round < 300; ++round) {
        ASSERT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=0")), ZT_OK);
        const auto resumed = Clock::now();
        ASSERT_EQ(command(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")), ZT_OK);
        ASSERT_TRUE(frameWhere(reader, isFullState, 15000)) << "round " << round << ": the reading client got no full state";
        slowest = std::max(slowest, Clock::now() - resumed);
    }
    EXPECT_LT(slowest, milliseconds(NOTIFICATION_FANOUT_BUDGET_MS) + seconds(2));
    for (int fd : stalled) expectStreamEnds(fd);  // every stalled peer was dropped
}

TEST_F(MisbehavingPeers, SecondInstanceIsRefusedAndTheFirstKeepsServing) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    otherLauncher = spawn({ZTCONTROLD_BIN}, -1, err[1]);
    close(err[1]);
    ASSERT_TRUE(waitForExit(otherLauncher, 10000));
    EXPECT_TRUE(WIFEXITED(exits[otherLauncher]) && WEXITSTATUS(exits[otherLauncher]) != 0);
    const std::string said = readUntilQuiet(err[0], 1000);
    EXPECT_NE(said.find("another ztControlD is running"), std::string::npos) << said;
    std::this_thread::sleep_for(seconds(3));  // what a detached second instance would have done by now
    EXPECT_TRUE(mailboxExists(ZT_DAEMON_MBOX));
    EXPECT_LT(quickCommand(), seconds(2));
}

TEST_F(MisbehavingPeers, BrokenStandardOutputDoesNotEndTheDaemon) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_NO_FATAL_FAILURE(startDaemon(out[1]));
    close(out[1]);
    close(out[0]);  // nobody reads the daemon's standard output any more
    ASSERT_NO_FATAL_FAILURE(waitUntilListening());
    Bytes arg = {6, 0, 0, 1, 0};  // preset switched, group 1: progress lines on standard output
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(requester.sendRaw(buildTlvEvent(10, "PU", arg, TLV_CMDARG), 5000));
    EXPECT_LT(quickCommand(), seconds(3));
    EXPECT_EQ(waitForDaemon(0), -1) << "the daemon ended";
    stopInOrder(seconds(6));
}

}  // namespace
