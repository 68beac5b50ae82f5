// Queue notification clients, the socket clients' send time-out, and the client registry:
// registration by name, the on/off switch of socket clients, the ten-client limit and fan-out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "notify/push_client.h"
#include "notify/push_registry.h"
#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "support/log_capture.h"
#include "support/notification_frames.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

// Serialized size of an event carrying n payload bytes: header, result element, payload
// element, end element.
size_t eventSize(size_t n) { return 4 + (3 + 4) + (3 + n) + 3; }

TEST(QueueClient, SendsOneEventMessageWithResultTextAndEnd) {
    PrivateQueue queue("mqc");
    auto owned = std::make_unique<MQNotificationClient>(queue.name());
    MQNotificationClient& client = *owned;
    EXPECT_TRUE(client.needsFullState);

    auto text = notificationText("{\"status\":{\"8\":1}}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, text));
    EXPECT_FALSE(client.needsFullState);
    ASSERT_NE(client.sendBuffer, nullptr);
    const uint8_t* buffer = client.sendBuffer;
    const mqd_t descriptor = client.queueDescriptor;

    std::vector<uint8_t> bytes = queue.receive();
    const std::string sent = text.str();
    ASSERT_EQ(bytes.size(), eventSize(sent.size()));
    EXPECT_EQ(bytes[0] << 8 | bytes[1], (int)bytes.size());  // big-endian total length
    QueueNotification event = parseQueueNotification(bytes);
    ASSERT_TRUE(event.parsed);
    EXPECT_EQ(event.category, 20);
    EXPECT_EQ(event.msgType, 22);
    EXPECT_EQ(event.tags, (std::vector<uint8_t>{236, 69, 238}));
    EXPECT_EQ(event.result, 0);
    EXPECT_EQ(event.text, sent);  // the NUL travels with the text

    // The queue stays open and the buffer is the one allocated at the first send.
    auto second = notificationText("{\"status\":{\"8\":1}}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, second));
    EXPECT_EQ(client.sendBuffer, buffer);
    EXPECT_EQ(client.queueDescriptor, descriptor);
    EXPECT_EQ(queue.receive().size(), bytes.size());

    // An empty text sends no payload element.
    std::stringstream empty;
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, empty));
    event = parseQueueNotification(queue.receive());
    ASSERT_TRUE(event.parsed);
    EXPECT_EQ(event.tags, (std::vector<uint8_t>{236, 238}));

    // Destruction closes the descriptor but keeps the queue: it belongs to the registering process.
    owned.reset();
    mqd_t again = mq_open(queue.name().c_str(), O_WRONLY);
    EXPECT_NE(again, (mqd_t)-1);
    if (again != (mqd_t)-1) mq_close(again);
}

TEST(QueueClient, MissingQueueFailsUntilItExists) {
    LogCapture log;
    const std::string name = "/ztcd_mq_missing_" + std::to_string(getpid());
    mq_unlink(name.c_str());
    MQNotificationClient client(name);
    auto text = notificationText("{}");
    EXPECT_FALSE(client.send(NOTIFICATION_KIND_CHANGE, text));
    EXPECT_EQ(errno, ENOENT);  // kept for the registry's drop line
    EXPECT_TRUE(log.contains("mq_open() failed for '" + name + "': No such file or directory\n", UTIL_LOG_ERROR));
    EXPECT_EQ(client.queueDescriptor, (mqd_t)-1);
    EXPECT_EQ(client.sendBuffer, nullptr);
    EXPECT_TRUE(client.needsFullState);

    // Created by its owner later: the next send opens it.
    struct mq_attr attr = {};
    attr.mq_maxmsg = 2;
    attr.mq_msgsize = 1500;
    mqd_t owner = mq_open(name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
    ASSERT_NE(owner, (mqd_t)-1);
    EXPECT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, text));
    EXPECT_NE(client.sendBuffer, nullptr);
    mq_close(owner);
    mq_unlink(name.c_str());
}

TEST(QueueClient, LongTextGoesAsSeveralObjectsOrFailsWithoutOverflow) {
    LogCapture log;
    PrivateQueue queue("mqbig", 8);
    MQNotificationClient client(queue.name());
    const size_t largest = 1500 - eventSize(0);  // text bytes, NUL included
    auto fits = notificationText(std::string(largest - 1, 'x'));
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, fits));
    EXPECT_EQ(queue.receive().size(), 1500u);

    // A JSON object too long for one message goes in parts, each an object that fits.
    std::string json = "{\"status\":{";
    for (int i = 0; i < 300; ++i) json += (i ? ",\"" : "\"") + std::to_string(i) + "\":" + std::to_string(i);
    auto large = notificationText(json + "}}");
    ASSERT_TRUE(client.send(NOTIFICATION_KIND_CHANGE, large));
    const std::vector<std::string> parts = queue.texts(100);
    EXPECT_EQ(parts.size(), 2u);
    for (const std::string& part : parts) EXPECT_TRUE(isJsonObject(part)) << part;

    client.needsFullState = true;
    auto tooLong = notificationText(std::string(largest, 'x'));  // no object: cannot be split
    EXPECT_FALSE(client.send(NOTIFICATION_KIND_CHANGE, tooLong));
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_TRUE(client.needsFullState);
    EXPECT_TRUE(log.contains("Notification of " + std::to_string(largest + 1) +
                                 " bytes does not fit a 1500-byte message for '" + queue.name() + "'",
                             UTIL_LOG_ERROR));
    EXPECT_EQ(queue.queued(), 0);
}

TEST(SocketClientSendTimeout, StalledPeerFailsTheSendAsTimedOut) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    int small = 4096;
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    SocketNotificationClient client(fds[0]);
    int buffer = 0;
    socklen_t size = sizeof(buffer);
    ASSERT_EQ(getsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, &size), 0);
    EXPECT_GE(buffer, NOTIFICATION_SEND_BUFFER);      // the kernel doubles what it is given
    EXPECT_LE(buffer, 2 * NOTIFICATION_SEND_BUFFER);

    // The peer never reads: sends succeed until the buffers are full, then one fails.
    auto text = notificationText(std::string(3000, 'x'));
    bool failed = false;
    for (int i = 0; i < 200 && !failed; ++i) failed = !client.send(NOTIFICATION_KIND_CHANGE, text);
    EXPECT_TRUE(failed);
    EXPECT_EQ(errno, ETIMEDOUT);  // not "Success" for a frame that went only in part
    close(fds[1]);
}

// The registry of a server object that is never started.
class RegistryTest : public ::testing::Test {
protected:
    ~RegistryTest() override { for (int fd : peers) close(fd); }

    // A socket client in the registry; its peer end is kept for reading.
    SocketNotificationClient* addSocketClient() {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peers.push_back(fds[1]);
        SocketNotificationClient* client = new SocketNotificationClient(fds[0]);
        EXPECT_TRUE(server->addPushClient(client));
        return client;
    }

    std::string received(size_t peer) {
        FrameReader reader(peers[peer]);
        std::string json;
        return reader.next(&json, 200) ? json : std::string("<nothing>");
    }

    // Fans the JSON out to every client, as the poll does: with the clients' lock held.
    bool fanOutToAll(const std::string& json) {
        auto text = notificationText(json);
        ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
        return fanOut(server, NOTIFICATION_KIND_CHANGE, text, FanOutSelection::Everyone, 0);
    }

    size_t queueClients(const std::string& name) {
        size_t n = 0;
        for (NotificationClient* c : server->pushClients)
            if (c->clientType == NOTIFICATION_CLIENT_MQ && static_cast<MQNotificationClient*>(c)->queue_name == name)
                ++n;
        return n;
    }

    FakeCameraServer f;
    ZtcontrolCommandServer* server = f.server();
    LogCapture& log = f.log();
    std::vector<int> peers;
};

TEST_F(RegistryTest, QueueClientRegisteredTwiceIsKeptOnceResumedAndRemovedByName) {
    EXPECT_EQ(registerQueueClient(server, "/ztcd_app_queue"), ZT_OK);
    EXPECT_EQ(registerQueueClient(server, "/ztcd_app_queue"), ZT_OK);
    ASSERT_EQ(server->pushClients.size(), 1u);
    EXPECT_EQ(queueClients("/ztcd_app_queue"), 1u);
    NotificationClient* client = server->pushClients[0];
    EXPECT_FALSE(client->isPaused());
    EXPECT_TRUE(client->needsFullState);
    // Names compare exactly.
    EXPECT_EQ(registerQueueClient(server, "/ztcd_APP_queue"), ZT_OK);
    EXPECT_EQ(server->pushClients.size(), 2u);
    EXPECT_EQ(log.count("Total PUSH_NOTIFICATION clients connected:2", UTIL_LOG_DEBUG), 1u);

    // Removal by name touches only that queue client and keeps the order of the others.
    SocketNotificationClient* socketClient = addSocketClient();
    EXPECT_EQ(removeQueueClient(server, "/ztcd_unknown"), ZT_OK);
    EXPECT_EQ(server->pushClients.size(), 3u);
    EXPECT_EQ(removeQueueClient(server, "/ztcd_app_queue"), ZT_OK);
    ASSERT_EQ(server->pushClients.size(), 2u);
    EXPECT_EQ(queueClients("/ztcd_APP_queue"), 1u);
    EXPECT_EQ(server->pushClients[1], socketClient);
    EXPECT_EQ(removeQueueClient(server, "/ztcd_app_queue"), ZT_OK);
    EXPECT_EQ(server->pushClients.size(), 2u);
}

TEST_F(RegistryTest, FullRegistryRefusesAQueueClientAndKeepsServingTheTen) {
    for (int i = 0; i < 10; ++i) addSocketClient();
    EXPECT_EQ(registerQueueClient(server, "/ztcd_late"), ZT_ERR);
    EXPECT_TRUE(log.contains("Too many push clients connected, rejecting!", UTIL_LOG_ERROR));
    EXPECT_TRUE(log.contains("Unable to add client", UTIL_LOG_ERROR));
    EXPECT_EQ(server->pushClients.size(), 10u);

    // The ten registered clients keep receiving.
    fanOutToAll("{\"status\":{\"26\":1}}");
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(received(i), "{\"status\":{\"26\":1}}") << "client " << i;
}

TEST_F(RegistryTest, StatusSwitchesEverySocketClientAndNoQueueClient) {
    SocketNotificationClient* first = addSocketClient();
    SocketNotificationClient* second = addSocketClient();
    ASSERT_EQ(registerQueueClient(server, "/ztcd_q"), ZT_OK);
    NotificationClient* queueClient = server->pushClients[2];
    queueClient->needsFullState = false;

    // Texts other than status=0 or status=1 are refused and change nothing.
    for (const char* text : {"status=2", "status=-1", "status=", "status=1x", "status=0x1", "status=99999999999999999999",
                             "mode=1", "", "Status=1"}) {
        EXPECT_EQ(setPushNotificationStatus(server, text), ZT_ERR_INVALID_PARAM) << "'" << text << "'";
        EXPECT_TRUE(first->isPaused()) << text;
    }
    EXPECT_EQ(setPushNotificationStatus(server, "status=1;"), ZT_OK);
    EXPECT_FALSE(first->isPaused());
    EXPECT_FALSE(second->isPaused());
    first->needsFullState = false;

    EXPECT_EQ(setPushNotificationStatus(server, "app=ztnet&status=0"), ZT_OK);
    EXPECT_TRUE(first->isPaused());
    EXPECT_TRUE(first->needsFullState);
    EXPECT_TRUE(second->isPaused());
    EXPECT_FALSE(queueClient->isPaused());
    EXPECT_FALSE(queueClient->needsFullState);

    // Pausing clients that are paused already marks them again.
    first->needsFullState = false;
    EXPECT_EQ(setPushNotificationStatus(server, "status=0"), ZT_OK);
    EXPECT_TRUE(first->needsFullState);
}

TEST_F(RegistryTest, FanOutDropsFailingClientsAndExaminesEachOneThatMovesUp) {
    // ok, failing, failing, ok: both failures go, the last client is still served.
    SocketNotificationClient* clients[4];
    for (auto& c : clients) c = addSocketClient();
    close(peers[1]);
    close(peers[2]);
    peers[1] = peers[2] = -1;
    EXPECT_FALSE(fanOutToAll("{\"status\":{\"8\":1}}"));  // nobody was passed over
    ASSERT_EQ(server->pushClients.size(), 2u);
    EXPECT_EQ(server->pushClients[0], clients[0]);
    EXPECT_EQ(server->pushClients[1], clients[3]);
    EXPECT_EQ(log.count("Failed to send notifications to client, removing client! [Broken pipe]", UTIL_LOG_WARN), 2u);
    EXPECT_EQ(received(0), "{\"status\":{\"8\":1}}");
    EXPECT_EQ(received(3), "{\"status\":{\"8\":1}}");
    peers.erase(peers.begin() + 1, peers.begin() + 3);
}

}  // namespace
