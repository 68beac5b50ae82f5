// Socket notification clients: framing, shutdown-notice suppression, failure and pausing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "notify/push_client.h"
#include "support/notification_frames.h"

namespace {

std::string readAvailable(int fd) {
    char buf[256];
    std::string out;
    ssize_t n;
    while ((n = recv(fd, buf, sizeof(buf), MSG_DONTWAIT)) > 0) out.append(buf, (size_t)n);
    return out;
}

class SocketClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    void TearDown() override {
        if (fds[1] != -1) close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

TEST_F(SocketClientTest, FrameCountsTheNulButDoesNotSendIt) {
    SocketNotificationClient client(fds[0]);
    EXPECT_TRUE(client.needsFullState);
    EXPECT_TRUE(client.isPaused());
    EXPECT_EQ(client.clientType, NOTIFICATION_CLIENT_SOCKET);
    auto text = notificationText("{}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, text));
    EXPECT_EQ(readAvailable(fds[1]), std::string("LENGTH:3\n\n{}"));
    EXPECT_FALSE(client.needsFullState);
}

TEST_F(SocketClientTest, ConsecutiveShutdownNoticesAreSentOnce) {
    SocketNotificationClient client(fds[0]);
    auto notice = notificationText("{\"state\":1}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_SHUTDOWN, notice));
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_SHUTDOWN, notice));
    EXPECT_EQ(readAvailable(fds[1]), std::string("LENGTH:12\n\n{\"state\":1}"));
    auto change = notificationText("{}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, change));
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_SHUTDOWN, notice));
    EXPECT_EQ(readAvailable(fds[1]), std::string("LENGTH:3\n\n{}LENGTH:12\n\n{\"state\":1}"));
}

TEST_F(SocketClientTest, ClosedPeerFailsTheSendWithoutSignal) {
    SocketNotificationClient client(fds[0]);
    close(fds[1]);
    fds[1] = -1;
    auto text = notificationText("{}");
    EXPECT_FALSE(client.send(NOTIFICATION_KIND_CHANGE, text));  // SIGPIPE would end the test
    EXPECT_TRUE(client.needsFullState);
}

TEST_F(SocketClientTest, PausingAsksForTheFullStateAgain) {
    SocketNotificationClient client(fds[0]);
    auto text = notificationText("{}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, text));
    client.setPaused(false);
    EXPECT_FALSE(client.isPaused());
    EXPECT_FALSE(client.needsFullState);
    client.setPaused(true);
    EXPECT_TRUE(client.needsFullState);
    client.setPaused(false);
    EXPECT_TRUE(client.needsFullState);
}

TEST_F(SocketClientTest, DestructorClosesTheSocket) {
    int fd = fds[0];
    { SocketNotificationClient client(fd); }
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(recv(fds[1], nullptr, 0, 0), 0);  // peer sees the close
}

}  // namespace
