// The status poll against a scripted camera: the gate, full state and change notifications, the
// group-2 throttle, the text layouts, camera-off and malformed answers, and who gets what.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "csi_settings.h"
#include "notify/push_client.h"
#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "support/notification_frames.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

// Status items of the model-55 tables: media count (group 1), recording seconds (group 2).
constexpr size_t kMediaCount = 52;
constexpr size_t kRecordingSeconds = 37;
const char kShutdownText[] = "{\"state\":{\n        \"shutdown_pending\":true\n    }\n}";

size_t settingOffset(int id) {
    int count = 0;
    const csi_setting_row_t* rows = camera_settings_id_table(55, &count);
    return rows && id < count ? rows[id][CSI_ROW_OFFSET] : 0;
}

timeval secondsFromNow(double seconds) {
    timeval now;
    gettimeofday(&now, nullptr);
    long long us = (long long)now.tv_sec * 1000000 + now.tv_usec + (long long)(seconds * 1e6);
    return timeval{(time_t)(us / 1000000), (suseconds_t)(us % 1000000)};
}

// 0.7 s ago, in the previous second of the clock: the seconds differ by one, but the microseconds
// borrow it back. Waits for the first half of a second, so that the poll runs in the same second.
timeval previousSecondButLessThanASecondAgo() {
    timeval now;
    for (gettimeofday(&now, nullptr); now.tv_usec >= 500000; gettimeofday(&now, nullptr)) usleep(10000);
    return timeval{now.tv_sec - 1, now.tv_usec + 300000};
}

class PollTest : public ::testing::Test {
protected:
    struct Peer {
        explicit Peer(int fd) : fd(fd), reader(fd) {}
        ~Peer() { close(fd); }
        int fd;
        FrameReader reader;
    };

    ZtcontrolCommandServer* server() { return f.server(); }
    void poll() { pollStatusSettingsAndNotify(f.server()); }

    SocketNotificationClient* addClient(bool resumed) {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peers.emplace_back(new Peer(fds[1]));
        SocketNotificationClient* client = new SocketNotificationClient(fds[0]);
        EXPECT_TRUE(server()->addPushClient(client));
        if (resumed) client->setPaused(false);
        return client;
    }

    // Everything the peer has received so far; every frame must be a JSON object.
    std::vector<std::string> frames(size_t peer) {
        std::vector<std::string> got = peers[peer]->reader.drain(50);
        EXPECT_FALSE(peers[peer]->reader.malformed());
        for (const std::string& json : got) EXPECT_TRUE(isJsonObject(json));
        return got;
    }

    // One resumed client that has had its full state, and a camera with media count 5.
    void upToDateClient() {
        SocketNotificationClient* client = addClient(true);
        f.setStatus(kMediaCount, 5, 4);
        poll();
        EXPECT_EQ(frames(peers.size() - 1).size(), 1u);
        EXPECT_FALSE(client->needsFullState);
    }

    size_t cameraQueries() { return f.requests("RA").size(); }

    FakeCameraServer f;
    std::vector<std::unique_ptr<Peer>> peers;
};

// No poll until a client listens and the protocol adapter is set; then the first poll sends only the
// full state, and later polls the changes.
TEST_F(PollTest, FirstListeningClientGetsOnlyTheFullStateThenChanges) {
    poll();
    SocketNotificationClient* client = addClient(false);  // not listening yet
    poll();
    EXPECT_EQ(cameraQueries(), 0u);
    EXPECT_FALSE(f.log().contains("pollStatusSettingsAndNotify:"));
    server()->protocolAdapterSet = false;
    client->setPaused(false);
    poll();
    poll();
    EXPECT_EQ(f.log().count("protocol adapter not set - throwing out command", UTIL_LOG_ERROR), 2u);
    EXPECT_EQ(cameraQueries(), 0u);

    server()->protocolAdapterSet = true;
    f.setStatus(kMediaCount, 5, 4);
    f.setSettings(settingOffset(2), 7);
    poll();
    EXPECT_TRUE(f.log().contains("pollStatusSettingsAndNotify:", UTIL_LOG_INFO));
    // Compared with the all-zero start, both changed; the change text is logged, not sent.
    const std::string change = "{\"status\":{\"26\":5},\n\"settings\":{\"2\":7}\n}";
    EXPECT_TRUE(f.log().contains(change, UTIL_LOG_DEBUG));
    std::vector<std::string> got = frames(0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rfind("{\"status\":{", 0), 0u);
    const size_t settings = got[0].find("},\n\"settings\":{");
    ASSERT_NE(settings, std::string::npos);
    EXPECT_LT(got[0].find("\"26\":5,"), settings);
    EXPECT_NE(got[0].find("\"2\":7,", settings), std::string::npos);
    EXPECT_FALSE(client->needsFullState);
    EXPECT_EQ(f.log().countContaining("\"status\":{\"1\":"), 0u) << "the full state is not logged";

    f.setStatus(kMediaCount, 6, 4);
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"26\":6}}"});

    // Nothing changed: nothing is built or sent.
    poll();
    EXPECT_TRUE(frames(0).empty());
    EXPECT_EQ(f.log().countContaining("{\"status\""), 2u);

    // Settings alone; in the same poll a late client (paused, but served while another listens)
    // gets the full state. Then both groups with more than one item, to both.
    SocketNotificationClient* late = addClient(false);
    f.setSettings(settingOffset(2), 3);
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"settings\":{\"2\":3}\n}"});
    got = frames(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rfind("{\"status\":{", 0), 0u);
    EXPECT_FALSE(late->needsFullState);
    EXPECT_TRUE(late->isPaused());

    f.setSettings(settingOffset(2), 4);
    f.setSettings(settingOffset(3), 1);
    f.setStatus(kMediaCount, 9, 4);
    poll();
    const std::vector<std::string> both{"{\"status\":{\"26\":9},\n\"settings\":{\"2\":4,\"3\":1}\n}"};
    EXPECT_EQ(frames(0), both);
    EXPECT_EQ(frames(1), both);
}

TEST_F(PollTest, Group2WaitsForAWholeSecondAndComesFirst) {
    upToDateClient();
    f.setStatus(kRecordingSeconds, 9, 4);
    f.setStatus(kMediaCount, 6, 4);
    // Group 2 was computed 0.7 s ago: no whole second, although the seconds differ.
    server()->lastThrottledPoll = previousSecondButLessThanASecondAgo();
    const timeval stored = server()->lastThrottledPoll;
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"26\":6}}"});  // no leading comma
    EXPECT_EQ(server()->lastThrottledPoll.tv_sec, stored.tv_sec);
    EXPECT_EQ(server()->lastThrottledPoll.tv_usec, stored.tv_usec);
    // Stored on the whole second that the clock is in now: not a whole second ago either.
    server()->lastThrottledPoll = timeval{previousSecondButLessThanASecondAgo().tv_sec + 1, 0};
    poll();
    EXPECT_TRUE(frames(0).empty());

    server()->lastThrottledPoll = secondsFromNow(-1.2);
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"13\":9}}"});  // no trailing comma

    f.setStatus(kRecordingSeconds, 10, 4);
    f.setStatus(kMediaCount, 7, 4);
    server()->lastThrottledPoll = secondsFromNow(-1.2);
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"13\":10,\"26\":7}}"});
    EXPECT_EQ(memcmp(&server()->throttledSnapshot, &server()->lastSnapshot, sizeof(all_status_settings_t)), 0);

    // The wall clock went back a minute: group 2 stays throttled until it passes the stored time.
    server()->lastThrottledPoll = secondsFromNow(60);
    f.setStatus(kRecordingSeconds, 3, 4);
    poll();
    poll();
    EXPECT_TRUE(frames(0).empty());
    server()->lastThrottledPoll = secondsFromNow(-1.5);
    poll();
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"13\":3}}"});
}

// Either query answered "off" is a shutdown poll: every socket client gets the notice once, a
// client needing the full state too, and nothing else. The snapshots stay, so the change since the
// last good poll follows once the camera is back.
TEST_F(PollTest, CameraOffIsAShutdownPoll) {
    upToDateClient();
    SocketNotificationClient* fresh = addClient(false);  // needs the full state
    struct Row {
        uint8_t category, op;
        size_t queries;  // per poll: the settings query is skipped when status is off
    };
    const Row rows[] = {{7, 30, 2}, {8, 11, 1}};
    uint32_t media = 8;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.queries);
        const all_status_settings_t before = server()->lastSnapshot;
        const timeval throttled = server()->lastThrottledPoll;
        f.setStatus(kMediaCount, ++media, 4);
        f.clearRequests();
        f.scriptRemote(row.category, row.op, cameraAnswer({2}));
        poll();
        poll();
        EXPECT_EQ(cameraQueries(), 2 * row.queries);
        EXPECT_EQ(frames(0), std::vector<std::string>{kShutdownText});
        EXPECT_EQ(frames(1), std::vector<std::string>{kShutdownText});
        EXPECT_FALSE(fresh->needsFullState);
        EXPECT_EQ(memcmp(&before, &server()->lastSnapshot, sizeof(before)), 0);
        EXPECT_EQ(server()->lastThrottledPoll.tv_sec, throttled.tv_sec);
        EXPECT_EQ(server()->lastThrottledPoll.tv_usec, throttled.tv_usec);

        f.scriptRemote(row.category, row.op, std::nullopt);
        poll();
        const std::string change = "{\"status\":{\"26\":" + std::to_string(media) + "}}";
        EXPECT_EQ(frames(0), std::vector<std::string>{change});
        EXPECT_EQ(frames(1), std::vector<std::string>{change});
    }
    EXPECT_TRUE(f.log().contains("Camera status returning ZT_ERR_NACK_OFF\n", UTIL_LOG_DEBUG));
    EXPECT_TRUE(f.log().contains(kShutdownText, UTIL_LOG_DEBUG));
}

TEST_F(PollTest, MalformedOrFailedAnswersEndThePollQuietly) {
    upToDateClient();
    const all_status_settings_t before = server()->lastSnapshot;
    f.setStatus(kMediaCount, 11, 4);
    struct Case {
        uint8_t category, op;
        CamReply reply;
        std::string line;
    };
    const Case cases[] = {
        {8, 11, cameraAnswer(std::vector<uint8_t>(100)), "ASSERT ERROR - status_all size does not match rsp size=100"},
        {8, 11, cameraAnswer({3}), "ASSERT ERROR - status_all size does not match rsp size=1"},
        {8, 11, cameraAnswer({}), "ASSERT ERROR - status_all size does not match rsp size=0"},
        {7, 30, cameraAnswer(std::vector<uint8_t>(239)), "ASSERT ERROR - settings_all size does not match rsp size=239"},
        {7, 30, cameraAnswer({0}), "ASSERT ERROR - settings_all size does not match rsp size=1"},
    };
    for (const Case& c : cases) {
        f.scriptRemote(c.category, c.op, c.reply);
        poll();
        f.scriptRemote(c.category, c.op, std::nullopt);
        EXPECT_TRUE(f.log().contains(c.line, UTIL_LOG_ERROR)) << c.line;
        server()->pollRetryAtMs = 0;  // the back-off has passed
    }
    f.scriptRemote(7, 30, cameraError(ZT_ERR_NAK));
    poll();
    f.scriptRemote(7, 30, std::nullopt);
    EXPECT_EQ(f.log().countContaining("ztc_send_remote_api_for_response error, -101 @ "), 1u);
    EXPECT_EQ(f.log().countContaining("status_notifier.cpp:"), 1u);
    EXPECT_TRUE(frames(0).empty());
    EXPECT_EQ(memcmp(&before, &server()->lastSnapshot, sizeof(before)), 0);

    // Six failures in a row: the back-off has grown to its cap, and no poll asks the camera before
    // it has passed.
    EXPECT_EQ(server()->pollBackoffMs, 4000);
    const size_t asked = f.requests("RA").size();
    poll();
    EXPECT_EQ(f.requests("RA").size(), asked);

    server()->pollRetryAtMs = 0;
    poll();  // a good answer again: the change is still there, and the back-off ends
    EXPECT_EQ(frames(0), std::vector<std::string>{"{\"status\":{\"26\":11}}"});
    EXPECT_EQ(server()->pollBackoffMs, 0);
}

}  // namespace
