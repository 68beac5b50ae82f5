// ztctl watch against a fake notification server on an ephemeral loopback port.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "fake_daemon.h"
#include "json_check.h"
#include "tool_run.h"

using namespace ztctl_test;

namespace {

// Listens on 127.0.0.1 (any free port); sends the chunks to the first connection, then closes.
class FakeNotifier {
public:
    explicit FakeNotifier(std::vector<std::string> chunks) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, (sockaddr*)&addr, sizeof addr);
        listen(fd_, 1);
        socklen_t len = sizeof addr;
        getsockname(fd_, (sockaddr*)&addr, &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, chunks] {
            pollfd pfd = {fd_, POLLIN, 0};
            if (poll(&pfd, 1, 10000) != 1) return;
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            for (const std::string& chunk : chunks) {
                send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                usleep(2000);
            }
            close(c);
        });
    }
    ~FakeNotifier() {
        thread_.join();
        close(fd_);
    }
    std::string port() const { return std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace

TEST(Watch, RawPrintsOneFramePerLineAndStopsAtTheCount) {
    FakeNotifier server({"LENGTH:19\n\n{\"status\":", "{\"8\":1}}LENG", "TH:9\n\n{\"10\":2}LENGTH:3\n\n{}"});
    ToolRun r = runTool({"watch", "--port", server.port(), "--no-subscribe", "--raw", "--count", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"status\":{\"8\":1}}\n{\"10\":2}\n");
}

TEST(Watch, RawKeepsEachFrameOnOneLine) {
    const std::string body = "{\"status\":{\"8\":1},\n\"settings\":{}}";
    FakeNotifier server({"LENGTH:" + std::to_string(body.size() + 1) + "\n\n" + body});
    ToolRun r = runTool({"watch", "--port", server.port(), "--no-subscribe", "--raw", "--count", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"status\":{\"8\":1}, \"settings\":{}}\n");
}

TEST(Watch, PrettyOutputIsValidJsonPerFrame) {
    const std::string body = "{\"status\":{\"8\":1,\"9\":[]}}";
    FakeNotifier server({"LENGTH:" + std::to_string(body.size() + 1) + "\n\n" + body});
    ToolRun r = runTool({"watch", "--port", server.port(), "--no-subscribe", "--count", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isValidJson(r.out)) << r.out;
    EXPECT_TRUE(contains(r.out, "\n  \"status\": {\n    \"8\": 1,")) << r.out;
}

TEST(Watch, ADroppedConnectionIsReported) {
    FakeNotifier server({"LENGTH:3\n\n{}", "LENGTH:9\n\n{\"a"});
    ToolRun r = runTool({"watch", "--port", server.port(), "--no-subscribe", "--raw", "--count", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "{}\n");
    EXPECT_TRUE(contains(r.err, "closed by the daemon after 1 frame, in the middle of a frame")) << r.err;
}

TEST(Watch, MalformedAndOversizeFramesDropTheConnection) {
    for (const char* bad : {"LENGTH:3\n\n{}HELLO", "LENGTH:1048577\n\n"}) {
        FakeNotifier server({bad});
        ToolRun r = runTool({"watch", "--port", server.port(), "--no-subscribe", "--raw"});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(contains(r.err, "dropping the connection")) << r.err;
    }
}

TEST(Watch, RefusedConnection) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, (sockaddr*)&addr, sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, (sockaddr*)&addr, &len);
    close(fd);  // the port is now free and nobody listens
    ToolRun r = runTool({"watch", "--port", std::to_string(ntohs(addr.sin_port)), "--no-subscribe"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "cannot connect to 127.0.0.1:")) << r.err;
}

TEST(Watch, SubscribesThroughTheMailboxAfterConnecting) {
    FakeDaemon daemon(FakeAnswer{});
    FakeNotifier server({"LENGTH:3\n\n{}"});
    ToolRun r = runTool({"--mailbox", daemon.mailbox(), "watch", "--port", server.port(), "--raw", "--count", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(daemon.seen().id, 43u);
    const char expected[] = "status=1";
    EXPECT_EQ(daemon.seen().argument, std::vector<uint8_t>(expected, expected + sizeof expected));
}

TEST(Watch, SubscriptionWithoutDaemonExitsTwo) {
    FakeNotifier server({});
    ToolRun r = runTool({"--mailbox", "/ztctl_test_nobody_" + std::to_string(getpid()), "watch", "--port", server.port()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "cannot turn notifications on")) << r.err;
}
