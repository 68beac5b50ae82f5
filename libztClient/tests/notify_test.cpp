// Notification readers: frames from a socket in any split, the merge of split and changed texts,
// and the queue side registered through a scripted daemon.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "scripted_daemon.h"
#include "ztClient.h"

namespace {

class SocketReader : public ::testing::Test {
protected:
    void SetUp() override { attach(); }
    void TearDown() override { detach(); }
    void attach() {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        ASSERT_EQ(ztNotify_attach(&reader, fds[0]), 0);
    }
    void detach() {
        ztNotify_close(reader);
        if (fds[1] >= 0) close(fds[1]);
    }
    void put(const std::string& bytes) { ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::string next(int expect = 0) {
        const char* text = nullptr;
        size_t length = 0;
        EXPECT_EQ(ztNotify_next(reader, 2000, &text, &length), expect);
        return expect == 0 && text ? std::string(text, length) : std::string();
    }

    int fds[2] = {-1, -1};
    ztNotify* reader = nullptr;
};

TEST_F(SocketReader, FramesInAnySplitMergeIntoTheState) {
    const std::string full = "{\"status\":{\"1\":12,\"31\":0},\n\"settings\":{\"2\":3}}";
    const std::string change = "{\"status\":{\"31\":1,\"30\":\"a,}\\\"b\"}}";
    const std::string stream = frame(full) + frame(change) + frame("{}");
    // One byte at a time: every cut of header, length and body.
    std::thread writer([&] {
        for (char c : stream) put(std::string(1, c));
    });
    EXPECT_EQ(next(), full);
    EXPECT_EQ(next(), change);
    EXPECT_EQ(next(), "{}");
    writer.join();
    EXPECT_STREQ(ztNotify_value(reader, "status", "1"), "12");
    EXPECT_STREQ(ztNotify_value(reader, "status", "31"), "1");
    EXPECT_STREQ(ztNotify_value(reader, "status", "30"), "\"a,}\\\"b\"");
    EXPECT_STREQ(ztNotify_value(reader, "settings", "2"), "3");
    EXPECT_EQ(ztNotify_value(reader, "settings", "1"), nullptr);

    // Nothing more: a time-out, then a cut inside a frame and the end of the stream.
    next(ZTCLIENT_ERR_TIMEOUT);
    put("LENGTH:9\n\n{\"st");
    close(fds[1]);
    fds[1] = -1;
    next(ZTCLIENT_ERR_CLOSED);
    EXPECT_EQ(ztNotify_midFrame(reader), 1);
}

TEST_F(SocketReader, MalformedHeadersEndTheReader) {
    const char* bad[] = {"LENGTH:0\n\n", "LENGTH:\n\n", "LENGTH:12345678901\n\n", "LENGTH:65537\n\n",
                         "LENGTH:3\n{}", "length:3\n\n{}"};
    for (const char* header : bad) {
        SCOPED_TRACE(header);
        detach();
        attach();
        put(header);
        next(ZTCLIENT_ERR_MALFORMED);
        put(frame("{}"));
        next(ZTCLIENT_ERR_MALFORMED);  // stays broken
    }
}

// A turn-on can reach the daemon before it has accepted the connection: while nothing comes it is
// sent again, however short each wait for a notification is.
using SocketTurnOn = ScriptedClient;
TEST_F(SocketTurnOn, RepeatedWhileNothingComesAcrossShortWaits) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    daemon.serve({response(0), response(0)}, 5);
    ztNotify* reader = nullptr;
    ASSERT_EQ(ztNotify_attach(&reader, fds[0]), 0);
    EXPECT_EQ(ztNotify_subscribe(reader, client, 2000), 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ztNotify_next(reader, 500, nullptr, nullptr), ZTCLIENT_ERR_TIMEOUT);
    const std::vector<Seen>& turnOns = daemon.served();
    ASSERT_EQ(turnOns.size(), 2u);
    EXPECT_EQ(turnOns[1].id, turnOns[0].id);
    EXPECT_EQ(turnOns[1].argument, turnOns[0].argument);
    ztNotify_close(reader);
    close(fds[1]);
}

using QueueReader = ScriptedClient;
TEST_F(QueueReader, RegistersMergesSplitStateAndUnregisters) {
    const std::string queue = zt_cleanup::removeAtCrash(std::string(ztClient_replyMailbox(client)) + "_n");
    daemon.serve({response(0)});
    ztNotify* reader = nullptr;
    ASSERT_EQ(ztNotify_openQueue(&reader, client, 2000), 0);
    const Seen registration = daemon.last();
    EXPECT_EQ(registration.id, 0u);
    const std::string expected = std::string("\1\0\0\0", 4) + queue + '\0';  // register, the name
    EXPECT_EQ(registration.argument, Bytes(expected.begin(), expected.end()));

    // The full state in two shares, as the daemon splits it for a queue.
    ASSERT_TRUE(ScriptedDaemon::notify(queue, "{\"status\":{\"1\":12,\"2\":0}}"));
    ASSERT_TRUE(ScriptedDaemon::notify(queue, "{\"status\":{\"3\":1},\n\"settings\":{\"2\":4}\n}"));
    for (int i = 0; i < 2; i++) EXPECT_EQ(ztNotify_next(reader, 2000, nullptr, nullptr), 0);
    EXPECT_STREQ(ztNotify_value(reader, "status", "1"), "12");
    EXPECT_STREQ(ztNotify_value(reader, "status", "3"), "1");
    EXPECT_STREQ(ztNotify_value(reader, "settings", "2"), "4");
    EXPECT_EQ(ztNotify_next(reader, 50, nullptr, nullptr), ZTCLIENT_ERR_TIMEOUT);

    daemon.serve({response(0)});
    ztNotify_close(reader);
    const Seen removal = daemon.last();
    ASSERT_EQ(daemon.served().size(), 2u);
    EXPECT_EQ(removal.id, 0u);
    EXPECT_EQ(removal.argument[0], 0);
    EXPECT_FALSE(mailboxExists(queue));
}

}  // namespace
