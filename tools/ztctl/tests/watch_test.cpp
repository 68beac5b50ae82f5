// ztctl watch against a fake notification server on an ephemeral loopback port.
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <tuple>

#include "support.h"

using namespace ztctl_test;
using ::testing::HasSubstr;

namespace {

// A listening socket on 127.0.0.1 at a free port.
int listenOnLoopback(std::string& port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    EXPECT_EQ(bind(fd, (sockaddr*)&addr, len), 0);
    EXPECT_EQ(listen(fd, 1), 0);
    getsockname(fd, (sockaddr*)&addr, &len);
    port = std::to_string(ntohs(addr.sin_port));
    return fd;
}

// Sends the chunks, a little apart, to the first connection, then closes it.
struct FakeNotifier {
    explicit FakeNotifier(std::vector<std::string> chunks)
        : fd(listenOnLoopback(port)), thread([this, chunks] {
              pollfd pfd = {fd, POLLIN, 0};
              int c = poll(&pfd, 1, 10000) == 1 ? accept(fd, nullptr, nullptr) : -1;
              for (size_t k = 0; c >= 0 && k < chunks.size(); k++, usleep(2000))
                  send(c, chunks[k].data(), chunks[k].size(), MSG_NOSIGNAL);
              if (c >= 0) close(c);
          }) {}
    ~FakeNotifier() {
        thread.join();
        close(fd);
    }
    std::string port;
    int fd;
    std::thread thread;
};

}  // namespace

TEST(Watch, FramesPrintedAndHowTheStreamEnds) {
    // What the server sends, --raw, --count (0: none), then the exit status, the output and a part
    // of the message.
    const std::tuple<std::vector<std::string>, bool, int, int, std::string, std::string> rows[] = {
        // Split anywhere; stops at the count.
        {{"LENGTH:8\n\n{\"a\":", "1}LENG", "TH:3\n\n{}LENGTH:3\n\n[]"}, true, 2, 0, "{\"a\":1}\n{}\n", ""},
        {{frame("{\"8\":1,\n\"9\":{}}")}, true, 1, 0, "{\"8\":1, \"9\":{}}\n", ""},  // one line a frame
        {{frame("{\"s\":[1,{}]}")}, false, 1, 0, "{\n  \"s\": [\n    1,\n    {}\n  ]\n}\n", ""},
        {{frame("{}") + frame("{}")}, true, 0, 1, "{}\n{}\n", "closed by the daemon after 2 frames\n"},
        {{"LENGTH:3\n\n{}", "LENGTH:9\n\n{"}, true, 3, 1, "{}\n", "1 frame, in the middle of a frame\n"},
        {{"LENGTH:3\n\n{}HELLO"}, true, 0, 2, "{}\n", "dropping the connection: malformed frame"},
    };
    for (const auto& [chunks, raw, count, status, out, err] : rows) {
        SCOPED_TRACE(chunks[0]);
        FakeNotifier server(chunks);
        std::vector<std::string> args = {"watch", "--port", server.port, "--no-subscribe"};
        if (raw) args.push_back("--raw");
        if (count) args.insert(args.end(), {"--count", std::to_string(count)});
        ToolRun r = runTool(args);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.out, out);
        EXPECT_THAT(r.err, HasSubstr(err));
    }
}

TEST(Watch, SubscribesAfterConnectingAndFailsWithoutServerOrDaemon) {
    ScriptedDaemon daemon({response(0)});
    FakeNotifier server({"LENGTH:3\n\n{}"});
    ToolRun r =
        runTool({"--mailbox", daemon.name(), "watch", "--port", server.port, "--raw", "--count", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(daemon.last().id, 43u);
    const char expected[] = "status=1";
    EXPECT_EQ(daemon.last().argument, std::vector<uint8_t>(expected, expected + sizeof expected));

    FakeNotifier unused({});
    r = runTool(
        {"--mailbox", "/ztctl_test_nobody_" + std::to_string(getpid()), "watch", "--port", unused.port});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("cannot turn notifications on"));

    std::string port;
    close(listenOnLoopback(port));  // the port is free again and nobody listens
    r = runTool({"watch", "--port", port, "--no-subscribe"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("cannot connect to 127.0.0.1:" + port + ": Connection refused"));
}
