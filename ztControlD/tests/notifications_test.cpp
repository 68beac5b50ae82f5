// Notifications from the running worker with the simulator: socket clients switched by command
// 43, queue clients registered and removed by command 0, a change made by a command (locate, item
// 31), and the shutdown notice.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "daemon_harness.h"
#include "notification_frames.h"
#include "push_registry.h"
#include "sim_ops.h"
#include "support/json_check.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztPushClient.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_if_server.h"

namespace {

const char kShutdownText[] = "{\"state\":{\n        \"shutdown_pending\":true\n    }\n}";

Bytes queueArgument(uint32_t registerFlag, const std::string& name) {
    Bytes arg(4, 0);
    putLe32(arg, 0, registerFlag);
    arg.insert(arg.end(), name.begin(), name.end());
    arg.push_back(0);
    return arg;
}

// The member of a JSON object, or null.
const JsonValue* member(const JsonValue& object, const std::string& group, const std::string& key) {
    const JsonValue* g = object.find(group);
    return g ? g->find(key) : nullptr;
}

class NotificationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.startSimulator());
        ASSERT_EQ(d.startServer(), 0);
        ASSERT_TRUE(d.sync());
    }
    void TearDown() override {
        d.stopServer();
        if (peer != -1) close(peer);
    }

    // A socket client as the acceptor hands it over: paused, needing the full state.
    void connectSocketClient() {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peer = fds[1];
        reader.reset(new FrameReader(peer));
        ASSERT_TRUE(d.server()->addPushClient(new SocketNotificationClient(fds[0])));
    }

    // The next frame, parsed; fails the test when none comes or it is no JSON object.
    JsonValue nextFrame(std::string* text = nullptr) {
        std::string json;
        EXPECT_TRUE(reader->next(&json, 5000)) << "no notification";
        EXPECT_TRUE(isJsonObject(json));
        JsonValue value;
        parseJson(json, value);
        if (text) *text = json;
        return value;
    }

    // The first frame within five seconds that has the member (the camera may change other items
    // on its own meanwhile).
    JsonValue frameWith(const std::string& group, const std::string& key, std::string* text) {
        std::string json;
        JsonValue value;
        while (reader->next(&json, 5000)) {
            EXPECT_TRUE(isJsonObject(json));
            if (parseJson(json, value) && member(value, group, key)) break;
        }
        EXPECT_NE(member(value, group, key), nullptr) << "no frame with " << group << "." << key;
        *text = json;
        return value;
    }

    size_t queueClients() {
        ZtcontrolCommandServer::Lock lock(&d.server()->pushClientsLock);
        size_t n = 0;
        for (NotificationClient* c : d.server()->pushClients) n += c->clientType == NOTIFICATION_CLIENT_MQ;
        return n;
    }

    InProcessDaemon d;
    int peer = -1;
    std::unique_ptr<FrameReader> reader;
};

TEST_F(NotificationsTest, SocketClientGetsTheFullStateThenACommandsChange) {
    connectSocketClient();
    std::string json;
    EXPECT_FALSE(reader->next(&json, 1200)) << "a paused client alone gets nothing";

    Reply reply = d.requester().call(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1"));
    ASSERT_EQ(reply.result, ZT_OK);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_PUSH_NOTIFICATIONS: status=1", UTIL_LOG_DEBUG));
    JsonValue full = nextFrame();
    ASSERT_NE(full.find("status"), nullptr);
    ASSERT_NE(full.find("settings"), nullptr);
    ASSERT_NE(member(full, "status", "31"), nullptr);
    EXPECT_EQ(member(full, "status", "31")->number, 0);  // not beeping

    ASSERT_EQ(d.requester().call(ZTCONTROL_LOCATE, u8Arg(1)).result, ZT_OK);
    std::string text;
    JsonValue change = frameWith("status", "31", &text);
    ASSERT_NE(member(change, "status", "31"), nullptr) << text;
    EXPECT_EQ(member(change, "status", "31")->number, 1);
    EXPECT_EQ(change.find("settings"), nullptr) << text;
    EXPECT_EQ(text.rfind("{\"status\":{", 0), 0u) << text;
    EXPECT_TRUE(d.log().contains(text, UTIL_LOG_DEBUG));

    // Off: nothing more, even for changes. On again: the full state first.
    ASSERT_EQ(d.requester().call(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=0")).result, ZT_OK);
    reader->drain(100);
    ASSERT_EQ(d.requester().call(ZTCONTROL_LOCATE, u8Arg(0)).result, ZT_OK);
    EXPECT_FALSE(reader->next(&json, 1200)) << json;
    ASSERT_EQ(d.requester().call(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")).result, ZT_OK);
    full = nextFrame();
    EXPECT_EQ(member(full, "status", "31")->number, 0);
    EXPECT_NE(full.find("settings"), nullptr);
}

TEST_F(NotificationsTest, StatusTextsOtherThanZeroOrOneAreRefused) {
    connectSocketClient();
    for (const char* text : {"status=2", "notify=1"}) {
        Reply reply = d.requester().call(ZTCONTROL_PUSH_NOTIFICATIONS, textArg(text));
        EXPECT_EQ(reply.result, ZT_ERR_INVALID_PARAM) << text;
    }
    EXPECT_TRUE(d.log().waitFor("Command:43 returned ztErrno:(-3=ZT_ERR_INVALID_PARAM)", 5000, 2));
    std::string json;
    EXPECT_FALSE(reader->next(&json, 1200)) << "the client stays paused";
}

TEST_F(NotificationsTest, CameraOffSendsOneShutdownNoticePerRun) {
    connectSocketClient();
    ASSERT_EQ(d.requester().call(ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1")).result, ZT_OK);
    nextFrame();
    d.sim().setPower(false);
    std::string text;
    frameWith("state", "shutdown_pending", &text);
    EXPECT_EQ(text, kShutdownText);
    ASSERT_TRUE(d.log().waitFor("Camera status returning ZT_ERR_NACK_OFF\n", 5000, 3));
    EXPECT_FALSE(reader->next(&text, 300)) << "repeated notices are suppressed: " << text;

    // On again: the changes since the last good poll arrive as a change notification.
    d.sim().setPower(true);
    ASSERT_EQ(d.requester().call(ZTCONTROL_LOCATE, u8Arg(1)).result, ZT_OK);
    frameWith("status", "31", &text);
    EXPECT_EQ(text.find("state"), std::string::npos) << text;
}

TEST_F(NotificationsTest, QueueClientRegisteredAndRemovedByName) {
    PrivateQueue queue("ntf", 10);
    // While the camera is off, the client gets the shutdown notice on every poll.
    d.sim().setPower(false);
    EXPECT_EQ(d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(1, queue.name())).result, ZT_OK);
    EXPECT_EQ(d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(7, queue.name())).result, ZT_OK);
    EXPECT_EQ(queueClients(), 1u);
    // No ASSERT before the removal below: a client left registered would fill the queue and
    // block the worker in its send.
    QueueNotification event = parseQueueNotification(queue.receive());
    EXPECT_TRUE(event.parsed);
    EXPECT_EQ(event.category, 20);
    EXPECT_EQ(event.msgType, 22);
    EXPECT_EQ(event.tags, (std::vector<uint8_t>{236, 69, 238}));
    EXPECT_EQ(event.result, 0);
    EXPECT_EQ(event.text, std::string(kShutdownText, sizeof(kShutdownText)));
    EXPECT_FALSE(parseQueueNotification(queue.receive()).text.empty()) << "queue clients get every notice";

    EXPECT_EQ(d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(0, "/ztcd_not_registered")).result,
              ZT_OK);
    EXPECT_EQ(queueClients(), 1u);
    EXPECT_EQ(d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(0, queue.name())).result, ZT_OK);
    EXPECT_EQ(queueClients(), 0u);
    while (!queue.receive(100).empty()) {
    }
    EXPECT_TRUE(queue.receive(1200).empty());
}

TEST_F(NotificationsTest, QueueClientWhoseFullStateCannotFitIsDropped) {
    // The full state is longer than one 1500-byte message: the client's first send fails.
    PrivateQueue queue("ntf_full");
    EXPECT_EQ(d.requester().call(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queueArgument(1, queue.name())).result, ZT_OK);
    EXPECT_TRUE(d.log().waitFor("Failed to send notifications to client, removing client! [Message too long]"));
    EXPECT_EQ(queueClients(), 0u);
    EXPECT_EQ(queue.queued(), 0);
}

}  // namespace
