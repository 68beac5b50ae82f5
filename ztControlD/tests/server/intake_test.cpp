// Message intake against the simulator: event routing by category, preset-update arithmetic and
// CSI item 7, control requests and malformed input.
#include <gtest/gtest.h>

#include <optional>

#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/sim_ops.h"
#include "ztLog.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace {

Bytes presetUpdate(uint8_t event, uint32_t id) { return buildTlvEvent(10, "PU", cat({event}, u32Arg(id)), TLV_CMDARG); }

class IntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.startSimulator());
        ASSERT_EQ(d.startServer(), 0);
        ASSERT_TRUE(d.sync());
    }

    // Sends a message and waits until the worker has handled it.
    void deliver(const Bytes& message) {
        ASSERT_TRUE(d.sendEvent(message));
        ASSERT_TRUE(d.sync());
    }

    uint32_t csiItem7() { return d.sim().state().csiItem7; }

    InProcessDaemon d;
};

// The camera's own event first (edit event 4 for preset 5 stands for group preset 1002), then two
// more: each prints its progress; an edit and a switch read the lens data again, and print the
// cached values.
TEST_F(IntakeTest, PresetEventsPrintTheirProgressAndReadTheLensDataAgain) {
    d.sim().setLens(1, 3);
    d.sim().clearOps();
    testing::internal::CaptureStdout();
    ASSERT_EQ(d.sim().sendPresetUpdate(4, 5), 0);
    ASSERT_TRUE(waitUntil([&] { return d.sim().state().hasCsiItem7; }));
    EXPECT_EQ(csiItem7(), (4u << 24) | 1002u);
    deliver(presetUpdate(6, 0x40000));  // group 0 to group 4
    deliver(presetUpdate(2, 9));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Processing CAT_RTOS_CMD for preset update\n"
              "event: 4, id: 5\n"
              "presets are now in modified state 67109866\n"
              "edit: lens: 3 lens mode: 1, preset: 0, needlenses:0\n"
              "Processing CAT_RTOS_CMD for preset update\n"
              "event: 6, id: 262144\n"
              "Preset switched\n"
              "presets now need to be refreshed 100925440\n"
              "switch: lens mode: 1, preset: 262144, needlenses:0\n"
              "Processing CAT_RTOS_CMD for preset update\n"
              "event: 2, id: 9\n");
    EXPECT_TRUE(d.log().contains("Processing CAT_RTOS_CMD for preset update", UTIL_LOG_INFO));
    EXPECT_EQ(opsNamed(d.sim(), "direct 8 get_lens_mode").size(), 2u);  // event 2 does nothing
    EXPECT_EQ(opsNamed(d.sim(), "direct 9 get_lens").size(), 2u);
}

// Preset events in turn, each with CSI item 7, the active preset and the pending refresh after it.
// Edits (1, 3, 4, 5, 7, 8) write their state; event 3 also makes the active preset stale. A switch
// (6) writes the refresh state when it crosses between single-lens (0-2) and dual-lens (3-5) groups
// or a refresh is pending; groups 6 and 7 keep the active preset and the pending refresh. Other
// events change nothing.
TEST_F(IntakeTest, PresetEventsWriteTheirStateAndSwitchesAskForARefreshWhenNeeded) {
    const Bytes suspend = buildTlvEvent(16, "JS", std::nullopt, TLV_CMDARG);
    const uint32_t edited = (1u << 24) | 0x10002, moved = (4u << 24) | (1000 + 0x20001);
    const uint32_t stale = (5u << 24) | 1009, latest = (7u << 24) | 0x234567;
    struct Step {
        Bytes message;
        uint32_t state;
        int32_t active;
        bool pending;
    };
    const Step steps[] = {
        {presetUpdate(1, 0x10002), edited, 0, false},
        {presetUpdate(6, 0x10001), edited, 0x10001, false},  // group 0 to 1
        {presetUpdate(6, 0x40000), 0x06040000u, 0x40000, false},
        {presetUpdate(6, 0x10002), 0x06010002u, 0x10002, false},
        {presetUpdate(4, 0x20001), moved, 0x10002, false},
        {presetUpdate(6, 0x20000), moved, 0x20000, false},  // group 1 to 2
        {presetUpdate(3, 3), (3u << 24) | 1000, 0x20000, true},
        {presetUpdate(3, 4), (3u << 24) | 1001, 0x20000, true},
        {presetUpdate(5, 9), stale, 0x20000, true},
        {presetUpdate(0, 0x40001), stale, 0x20000, true},
        {presetUpdate(2, 0x40001), stale, 0x20000, true},
        {presetUpdate(9, 0x40001), stale, 0x20000, true},
        {presetUpdate(255, 0x40001), stale, 0x20000, true},
        {presetUpdate(6, 0x60001), 0x06060001u, 0x20000, true},
        {presetUpdate(6, 0x70000), 0x06070000u, 0x20000, true},
        {presetUpdate(6, 0x10002), 0x06010002u, 0x10002, false},
        {presetUpdate(7, 0x01234567), latest, 0x10002, false},
        {suspend, latest, 0x10002, true},
        {presetUpdate(6, 0x10003), 0x06010003u, 0x10003, false},  // the same group after a suspend
        {presetUpdate(8, 0x30000), (8u << 24) | 0x30000, 0x10003, false},
    };
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        SCOPED_TRACE(i);
        deliver(steps[i].message);
        EXPECT_EQ(csiItem7(), steps[i].state);
        EXPECT_EQ(d.server()->activePreset, steps[i].active);
        EXPECT_EQ(d.server()->presetRefreshPending, steps[i].pending);
    }
}

// The pending preset refresh after a suspend is pinned with the preset events above.
TEST_F(IntakeTest, SuspendMakesLensDataAndTheActivePresetStale) {
    ZtcontrolCommandServer* s = d.server();
    deliver(buildTlvEvent(16, "JS", std::nullopt, TLV_CMDARG));
    EXPECT_TRUE(s->needLenses);

    // The next use reads both again, and only once (the worker is idle: no other thread uses the
    // cache now).
    d.sim().clearOps();
    d.sim().setLens(1, 4);
    EXPECT_EQ(s->getLens(), 4);
    EXPECT_EQ(s->lensMode, 1);
    EXPECT_FALSE(s->needLenses);
    EXPECT_EQ(s->refreshActivePreset(), 0);
    EXPECT_FALSE(s->presetRefreshPending);
    EXPECT_EQ(opsNamed(d.sim(), "remote 8/11").size(), 1u);
    s->getLensMode();
    s->refreshActivePreset();
    EXPECT_EQ(d.sim().ops().size(), 3u);
}

TEST_F(IntakeTest, CsiNotificationsAreHandedToTheTranscodeTracker) {
    d.log().clear();
    deliver(buildTlvEvent(18, "CN", cat({1, 0, 0, 0, 0}, textArg("42:1:37")), TLV_CMDARG));  // 5 bytes, then the text
    EXPECT_TRUE(d.log().contains("Processing CAT_ZTNET_CMD state event from CSI", UTIL_LOG_INFO));
    EXPECT_TRUE(d.log().contains("Got CSI notification string 42:1:37", UTIL_LOG_DEBUG));
    EXPECT_TRUE(d.log().contains("Notification [42:1:37] does not match any active transcode!", UTIL_LOG_WARN));
}

// Subscription answers, malformed events and requests that cannot be handled, each with the one line
// that reports it; nothing malformed reaches the camera state or is answered.
TEST_F(IntakeTest, EventsThatAreNotUsedAreLogged) {
    // A CSI notification whose text runs to the very end of the message without a NUL.
    Bytes unterminated(64);
    sntlv_msg_init(unterminated.data(), 64, 18);
    sntlv_add_bin(unterminated.data(), 64, TLV_CMD, 2, "CN");
    const uint8_t text[] = {1, 0, 0, 0, 0, 'a', 'b', 'c'};
    sntlv_add_bin(unterminated.data(), 64, TLV_CMDARG, sizeof(text), text);
    unterminated.resize((size_t)sntlv_msg_len(unterminated.data()));
    Bytes truncated = presetUpdate(4, 5);  // the header promises more than was received
    truncated.resize(8);
    const Bytes csiText = {1, 0, 0, 0, 0, 'a', 0}, preset = {4, 5, 0, 0, 0};
    const std::optional<Bytes> none;
    const char* reply = d.requester().replyName().c_str();
    const std::string noArg = "Failed to find TLV_CMDARG in message from ztNet";
    const std::string subscribe = "Unexpected Response type on CSI subscribe response ";
    const std::string notification = "Unexpected Response type on CSI notification ";
    const std::string update = "Unexpected type on preset update ";
    struct Row {
        Bytes message;
        std::string line;
        int level = UTIL_LOG_ERROR;
    };
    const Row rows[] = {
        {buildTlvEvent(17, "CR", Bytes{0}, TLV_RSPARG), "Got success response to CSI subscribe/unsubscribe",
         UTIL_LOG_DEBUG},
        {buildTlvEvent(17, "CR", Bytes{3}, TLV_RSPARG), "CSI Subscribe/unsubscribe failed"},
        {buildTlvEvent(17, "XY", Bytes{0}, TLV_RSPARG), subscribe + "[XY]"},
        {buildTlvEvent(17, "CR", none, TLV_RSPARG), noArg},
        {buildTlvEvent(17, "CR", Bytes{}, TLV_RSPARG), noArg},
        {buildTlvEvent(18, "CX", csiText, TLV_CMDARG), notification + "[CX]"},
        {buildTlvEvent(18, "", csiText, TLV_CMDARG), notification + "[]"},
        {buildTlvEvent(18, "C", csiText, TLV_CMDARG), notification + "[C]"},
        {buildTlvEvent(18, "CN", Bytes{1, 0, 0, 0}, TLV_CMDARG), noArg},
        {buildTlvEvent(18, "CN", none, TLV_CMDARG), noArg},
        {unterminated, noArg},
        {buildTlvEvent(10, "P", preset, TLV_CMDARG), update + "[P]"},
        {buildTlvEvent(10, "", preset, TLV_CMDARG), update + "[]"},
        {buildTlvEvent(10, "PU", Bytes{4, 5, 0, 0}, TLV_CMDARG), noArg},
        {buildTlvEvent(10, "PU", none, TLV_CMDARG), noArg},
        {truncated, update + "[]"},
        {buildTlvEvent(16, "ZZ", none, TLV_CMDARG), subscribe + "[ZZ]"},
        {buildTlvEvent(16, "", none, TLV_CMDARG), subscribe + "[]"},
        // A peer's control characters cannot break or forge log lines.
        {buildTlvEvent(16, "J\nERROR:x\x1b", none, TLV_CMDARG), subscribe + "[J\\x0AERROR:x\\x1B]"},
        {buildRequest(ZTCONTROL_DELETE_ALL, none, reply, 21), "Invalid command category received: 21"},
        {buildRequest(0, none, reply, 20, Bytes{}), "No command specified in message. Skipping"},
        {buildRequest(0, none, reply, 20, Bytes{12, 0}), "No command specified in message. Skipping"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << rows[i].line);
        const size_t before = d.log().count(rows[i].line, rows[i].level);
        deliver(rows[i].message);
        EXPECT_EQ(d.log().count(rows[i].line, rows[i].level), before + 1);
    }
    // Only the sync round trips were answered.
    EXPECT_TRUE(opsNamed(d.sim(), "remote 9/10").empty());
    EXPECT_FALSE(d.requester().waitReply(200).received);
    EXPECT_EQ(d.log().countContaining("Got CSI notification string"), 0u);
    EXPECT_FALSE(d.sim().state().hasCsiItem7);
    EXPECT_FALSE(d.server()->needLenses);
    EXPECT_TRUE(d.server()->transcodeSubscribed);
}

}  // namespace
