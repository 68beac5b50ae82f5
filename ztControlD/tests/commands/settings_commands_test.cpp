// Settings and status commands against the simulated camera: blocks and the status record, set
// setting by id with its rewrites and follow-ups, resets inside preset edits, live view.
#include <gtest/gtest.h>

#include <functional>

#include "csi_settings.h"
#include "support/command_test_support.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace {

const char* const kSetValue = "SV";

// Payload of the on-screen control operation: the value, then the shortcut slot.
Bytes shortcut(uint32_t slot, uint32_t value) { return cat(be32(value), be32(slot)); }

class SettingsTest : public CommandTest {
protected:
    explicit SettingsTest(int model = 55) : CommandTest(model) {}

    Reply setSetting(uint32_t id, uint32_t value) {
        return call(ZTCONTROL_SET_SETTING_ID, pairArg(id, value));
    }

    // The settings value operations sent: (setting id, value) pairs.
    std::vector<std::pair<int, int>> valuesSet() {
        std::vector<std::pair<int, int>> out;
        for (const camsim::OpRecord& op : opsNamed(d.sim(), kSetValue))
            out.push_back({(int)readBe(op.payload, 0), (int)readBe(op.payload, 12)});
        return out;
    }

    static uint32_t readBe(const Bytes& b, size_t at) {
        if (b.size() < at + 4) return 0;
        return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | b[at + 3];
    }
};

TEST_F(SettingsTest, BlocksAreAnsweredRaw) {
    const camsim::SimState s = state();
    Reply reply = call(ZTCONTROL_GET_ALL_SETTINGS);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(reply.payload, Bytes(s.settings, s.settings + sizeof(s.settings)));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_GET_ALL_SETTINGS:", UTIL_LOG_DEBUG));
    reply = call(ZTCONTROL_GET_ALL_STATUS);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(reply.payload, Bytes(s.status, s.status + sizeof(s.status)));
    EXPECT_EQ(opNames(), Names{"remote 8/11"});
    reply = call(ZTCONTROL_GET_STATUS_EXTENDED);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(opNames(), Names{"remote 8/34"});
    ASSERT_EQ(reply.payload.size(), 400u);  // the simulator's extended block
    EXPECT_TRUE(std::equal(s.status, s.status + 40, reply.payload.begin()));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_GET_ALL_STATUS:", UTIL_LOG_DEBUG));
}

TEST_F(SettingsTest, CameraOffAndFailuresAreAnsweredWithoutPayload) {
    d.sim().injectFault(camsim::OpMatch::remote(8, 11), ZT_ERR_NAK);
    for (uint32_t id : {ZTCONTROL_GET_ALL_STATUS, ZTCONTROL_GET_ALL_SETTINGS_STATUS}) {
        Reply reply = call(id);
        EXPECT_EQ(reply.result, ZT_ERR_NAK);
        EXPECT_FALSE(reply.hasPayload);
        EXPECT_TRUE(d.log().contains("ztc_send_remote_api_for_response error, -101\n", UTIL_LOG_ERROR));
    }
    d.sim().clearFaults();
    d.sim().setPower(false);
    const std::pair<uint32_t, const char*> idsAndLines[] = {
        {ZTCONTROL_GET_ALL_SETTINGS, "Camera status returning ZT_ERR_NAK_OFF\n"},
        {ZTCONTROL_GET_ALL_STATUS, "Camera status returning ZT_ERR_NACK_OFF\n"},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, "Camera status returning ZT_ERR_NACK_OFF\n"},
        {ZTCONTROL_GET_STATUS_EXTENDED, "Camera status returning ZT_ERR_NACK_OFF\n"},
    };
    for (const auto& [id, line] : idsAndLines) {
        SCOPED_TRACE(id);
        Reply reply = call(id);
        EXPECT_EQ(reply.result, ZT_ERR_NAK_OFF);
        EXPECT_FALSE(reply.hasPayload);
        EXPECT_TRUE(d.log().contains(line, UTIL_LOG_DEBUG));
        EXPECT_EQ(opNames().size(), 1u);
    }
}

// The 624-byte record: status block, settings block, then lens mode and lens, patched by the
// status fix-up (flat mode copied, zoom scaled, mode group folded).
TEST_F(SettingsTest, SettingsAndStatusRecordIsFixedUp) {
    ASSERT_EQ(d.sim().setStatus(5, 40), 0);
    d.sim().setLens(1, 3);
    ASSERT_TRUE(d.sendEvent(buildTlvEvent(16, "JS", std::nullopt, TLV_CMDARG)));  // lens data read again
    ASSERT_TRUE(d.sync());
    const camsim::SimState s = state();
    Reply reply = call(ZTCONTROL_GET_ALL_SETTINGS_STATUS);
    EXPECT_EQ(reply.result, ZT_OK);
    // After the suspend the fix-up reads the active preset again.
    EXPECT_EQ(opNames(), (Names{"remote 8/11", "remote 7/30", "remote 8/11"}));
    ASSERT_EQ(reply.payload.size(), 624u);
    EXPECT_TRUE(std::equal(s.settings, s.settings + sizeof(s.settings), reply.payload.begin() + 384));
    EXPECT_EQ(reply.payload[5], 100);  // 40 in flat mode 12 with lens setting 1
    EXPECT_EQ(reply.payload[6], s.status[6]);
    EXPECT_EQ(reply.payload[622], 1);
    EXPECT_EQ(reply.payload[623], 3);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_GET_ALL_SETTINGS_STATUS:", UTIL_LOG_DEBUG));
}

// Set setting by id: the rewrites of id and value, the preset-edit bracket, the follow-ups.
TEST_F(SettingsTest, SetSettingRewritesAndFollowUps) {
    int count = 0;
    ASSERT_NE(camera_settings_id_table(55, &count), nullptr);
    ASSERT_EQ(d.sim().setStatus(250, 3), 0);  // the audio accessory owns the audio options
    struct Row {
        uint32_t id, value;
        int32_t result;
        std::vector<std::pair<int, int>> values;
        Names followUp;  // operations between the value set and the store
        bool stored;
        Bytes followUpPayload;
    };
    const Row rows[] = {
        // Resolution 17 is 13; a valid shutter switches the automatic shutter off.
        {2, 17, ZT_OK, {{2, 13}, {145, 0}}, {"direct 20 validate_shutter"}, true, {}},
        {32, 3601, ZT_OK, {{32, 0}}, {}, true, {}},
        // 55 is set through 91, which belongs to no preset: the edit for 91 needs no store.
        {55, 1, ZT_OK, {{91, 1}}, {}, false, {}},
        {105, 5, ZT_OK, {{105, 5}}, {"direct 5 set_capture_delay"}, true, be32(5)},
        {129, 7, ZT_OK, {{129, 7}}, {"direct 13 set_onscreen_control"}, true, shortcut(0, 7)},
        {130, 8, ZT_OK, {{130, 8}}, {"direct 13 set_onscreen_control"}, true, shortcut(1, 8)},
        {131, 9, ZT_OK, {{131, 9}}, {"direct 13 set_onscreen_control"}, true, shortcut(2, 9)},
        {132, 6, ZT_OK, {{132, 6}}, {"direct 13 set_onscreen_control"}, true, shortcut(3, 6)},
        {149, 2, ZT_OK, {{149, 2}}, {}, true, {}},  // the audio accessory: no follow-up
        {(uint32_t)count, 1, ZT_ERR_INVALID_PARAM, {}, {}, true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.id) + "=" + std::to_string(row.value));
        Reply reply = setSetting(row.id, row.value);
        EXPECT_EQ(reply.result, row.result);
        EXPECT_EQ(valuesSet(), row.values);
        Names expected = kPresetEditStart;
        if (!row.values.empty()) {
            expected = joined(expected, {"remote 7/30", "remote 8/11", kSetValue});
            expected = joined(expected, row.followUp);
            if (row.values.size() > 1) expected.push_back(kSetValue);
        }
        if (row.stored) expected.push_back("remote 17/10");
        EXPECT_EQ(opNames(), expected);
        if (!row.followUp.empty()) {
            EXPECT_EQ(payloadOf(row.followUp[0]), row.followUpPayload);
        }
    }
    EXPECT_TRUE(d.log().contains("ZTCONTROL_SET_SETTING_ID: id:" + std::to_string(count) + " value:1", UTIL_LOG_DEBUG));
    // Without the accessory the audio and microphone options follow the setting.
    ASSERT_EQ(d.sim().setStatus(250, 0), 0);
    EXPECT_EQ(setSetting(149, 2).result, ZT_OK);
    EXPECT_EQ(setSetting(164, 0x103).result, ZT_OK);
    EXPECT_EQ(state().audioOption, 2);
    EXPECT_EQ(state().micOption, 3);
}

TEST_F(SettingsTest, SetSettingRefusals) {
    // Flat mode of a factory preset (the simulator starts on preset 0): no edit is opened.
    expectFailed(setSetting(144, 13), ZT_ERR, "Cant set flat mode for factory preset");
    EXPECT_TRUE(opNames().empty());  // the active preset is cached
    // Playback: no edit can be opened.
    d.sim().setSettings(25, 4);
    expectFailed(setSetting(2, 1), ZT_ERR, "Failed to start preset edit!");
    EXPECT_EQ(opNames(), Names{"direct 12 get_mode_flat_mode"});
    d.sim().setSettings(25, 12);
    // A failed settings read still sets the value, from a zero block.
    d.sim().injectFault(camsim::OpMatch::remote(7, 30), ZT_ERR_NAK);
    EXPECT_EQ(setSetting(91, 1).result, ZT_OK);
    EXPECT_EQ(valuesSet(), (std::vector<std::pair<int, int>>{{91, 1}}));
    // The model cannot be read.
    d.sim().clearFaults();
    pretendModel(0);
    d.sim().setModelUnreadable(true);
    expectFailed(setSetting(2, 1), -1, "Couldn't get model_number - not able to set setting ID");
    EXPECT_EQ(opNames(), Names{"MN"});
    // A model without a settings table.
    pretendModel(99);
    expectFailed(setSetting(2, 1), ZT_ERR, "Couldn't get settings_id_table_count");
    EXPECT_TRUE(opNames().empty());
}

// A new ISO limit below the minimum pulls the minimum down; a new minimum above the limit pushes
// the limit up; a minimum or limit that cannot be read is set. (Video ISO values by speed:
// 8 = 100, 2 = 400, 3 = 3200, 0 = 6400.)
TEST_F(SettingsTest, UltrexIsoMinimumAndLimitStayOrdered) {
    struct Row {
        uint32_t id, value;
        const char* read;
        const char* set;  // null: nothing set
        std::function<void()> fault;
    };
    const Row rows[] = {
        {102, 8, "direct 24 video_iso_get", nullptr, nullptr},             // 100 below the limit 3200
        {102, 0, "direct 24 video_iso_get", "direct 30 video_iso_set", nullptr},  // 6400 above 3200
        {13, 8, "direct 27 video_iso_min_get", "direct 33 video_iso_min_set", nullptr},  // min 6400 > 100
        {13, 2, "direct 27 video_iso_min_get", nullptr, nullptr},          // min 100 <= 400
        {13, 3, "direct 27 video_iso_min_get", "direct 33 video_iso_min_set",
         [&] { d.sim().injectFault(camsim::OpMatch::directOp(27), ZT_ERR_NAK); }},
        {24, 0, "direct 28 photo_iso_min_get", nullptr, nullptr},  // photo: 0 = 800, 6 = 6400
        {75, 6, "direct 25 photo_iso_get", "direct 31 photo_iso_set", nullptr},
        {37, 0, "direct 29 multishot_iso_min_get", nullptr, nullptr},
        {76, 6, "direct 26 multishot_iso_get", "direct 32 multishot_iso_set", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.id) + "=" + std::to_string(row.value));
        d.sim().clearFaults();
        if (row.fault) row.fault();
        EXPECT_EQ(setSetting(row.id, row.value).result, ZT_OK);
        EXPECT_EQ(opsNamed(d.sim(), row.read).size(), 1u);
        if (row.set) {
            EXPECT_EQ(payloadOf(row.set), be32(row.value));
        }
        Names names = opNames();
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[names.size() - 2], row.set ? row.set : row.read);
    }
}

TEST_F(SettingsTest, OrientationFollowsTheStreamWhenAutomatic) {
    struct Row {
        uint32_t value;
        uint8_t stream;  // status byte 246
        int sent;        // -1: refused by the camera (255 kept)
        uint8_t stored;  // the server's orientation mode afterwards
    };
    const Row rows[] = {
        {0, 0, 0, 0},   {255, 0, 1, 0}, {255, 1, 2, 0}, {255, 2, 4, 0}, {255, 3, 3, 0}, {255, 9, -1, 0},
        {5, 0, 5, 5},   {255, 2, 1, 5}, {255, 3, 2, 5}, {255, 4, 2, 5}, {0x102, 0, 2, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.value) + " stream " + std::to_string(row.stream));
        ASSERT_EQ(d.sim().setStatus(246, row.stream), 0);
        Reply reply = setSetting(112, row.value);
        EXPECT_EQ(payloadOf("direct 11 set_orientation"), be32(row.sent < 0 ? 255 : row.sent));
        EXPECT_EQ(reply.result, row.sent < 0 ? ZT_ERR_INVALID_PARAM : ZT_OK);
        EXPECT_EQ(d.log().contains("Orientation[9] is unrecognized", UTIL_LOG_ERROR), row.sent < 0);
        ASSERT_TRUE(d.sync());
        EXPECT_EQ(d.server()->orientation, row.stored);
    }
}

TEST_F(SettingsTest, ResetsRunInsideAPresetEdit) {
    struct Row {
        uint32_t id;
        uint8_t flatMode;
        const char* op;  // null: only logged
        const char* trace;
    };
    const Row rows[] = {
        {ZTCONTROL_VIDEO_ULTREX_RESET, 12, "remote 2/26", "ZTCONTROL_VIDEO_ULTREX_RESET:"},
        {ZTCONTROL_PHOTO_ULTREX_RESET, 12, "remote 3/22", "ZTCONTROL_PHOTO_ULTREX_RESET:"},
        {ZTCONTROL_MULTI_ULTREX_RESET, 12, "remote 4/26", "ZTCONTROL_MULTI_ULTREX_RESET:"},
        {ZTCONTROL_ULTREX_RESET, 27, "direct 21 video_ultrex_reset", "ZTCONTROL_ULTREX_RESET:"},
        {ZTCONTROL_ULTREX_RESET, 18, "direct 22 photo_ultrex_reset", "ZTCONTROL_ULTREX_RESET:"},
        {ZTCONTROL_ULTREX_RESET, 26, "direct 23 multishot_ultrex_reset", "ZTCONTROL_ULTREX_RESET:"},
        {ZTCONTROL_ULTREX_RESET, 22, nullptr, "ZTCONTROL_ULTREX_RESET:"},
        {ZTCONTROL_ONSCREEN_SHORTCUTS_RESET, 12, "direct 14 onscreen_shortcuts_reset",
         "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET: shortcuts_reset"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace + std::to_string(row.flatMode));
        d.sim().setSettings(25, row.flatMode);
        Reply reply = call(row.id);
        EXPECT_EQ(reply.result, ZT_OK);
        Names expected = kPresetEditStart;
        if (row.id == ZTCONTROL_ULTREX_RESET) expected.insert(expected.begin(), "remote 7/30");
        if (row.op) expected.push_back(row.op);
        expected.push_back("remote 17/10");
        EXPECT_EQ(opNames(), expected);
        EXPECT_TRUE(d.log().contains(row.trace));
        EXPECT_EQ(d.log().countContaining("Flat mode 22, doesn't support ultrex reset."), row.op ? 0u : 1u);
    }
    // A failed reset is still bracketed and answered.
    d.sim().injectFault(camsim::OpMatch::directOp(14), ZT_ERR_NAK);
    EXPECT_EQ(call(ZTCONTROL_ONSCREEN_SHORTCUTS_RESET).result, ZT_ERR_NAK);
    EXPECT_EQ(opNames(), joined(kPresetEditStart, {"direct 14 onscreen_shortcuts_reset", "remote 17/10"}));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_ONSCREEN_SHORTCUTS_RESET ztc_send_simple_remote_api error, -101\n"));
    // Without the settings block the flat mode is unknown: the query's result is answered.
    d.sim().injectFault(camsim::OpMatch::remote(7, 30), ZT_ERR_NAK);
    EXPECT_EQ(call(ZTCONTROL_ULTREX_RESET).result, ZT_ERR_NAK);
    EXPECT_EQ(opNames(), Names{"remote 7/30"});
}

TEST_F(SettingsTest, SimpleSettings) {
    const OneOperation rows[] = {
        {ZTCONTROL_SETTINGS_PAYLOAD, Bytes{2, 17}, "remote 7/27", Bytes{2, 17}, ""},
        {ZTCONTROL_GET_SETTING_ID, u32Arg(2), "", {}, "ZTCONTROL_GET_SETTING_ID: (NOT IMPLEMENTED)"},
        {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_1X_SET, u32Arg(1), "direct 17 rushlapse_speed_1x", be32(1),
         "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_1X_SET: 1x speed enabled:1"},
        {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_SET, u32Arg(4), "direct 18 rushlapse_speed_ramp", be32(4),
         "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_SET: speed_ramp:4"},
        {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_ACTIVE_SET, u32Arg(1), "direct 19 rushlapse_speed_ramp_active",
         be32(1), "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_ACTIVE_SET: speed_ramp_active:1"},
    };
    for (const OneOperation& row : rows) expectOneOperation(row);
    EXPECT_EQ(call(ZTCONTROL_GET_SETTING_ID).result, ZT_OK);
    EXPECT_EQ(call(ZTCONTROL_SETTINGS_PAYLOAD, Bytes{}).result, ZT_ERR_INVALID_PARAM);
}

// Live view on a single-lens model: automatic exposure, a select position translated on an
// inverted stream, refused coordinates and modes.
TEST_F(SettingsTest, LiveviewOnASingleLensModel) {
    auto liveview = [&](uint32_t mode, uint32_t x, uint32_t y, uint32_t extra = 0) {
        return call(ZTCONTROL_LIVEVIEW_MODE_SET, cat(pairArg(mode, x), pairArg(y, extra)));
    };
    EXPECT_EQ(liveview(0, 500, 500).result, ZT_OK);
    EXPECT_EQ(opNames(), Names{"remote 13/2"});
    EXPECT_TRUE(d.log().contains("ZTCONTROL_LIVEVIEW_MODE_SET: 0", UTIL_LOG_DEBUG));

    EXPECT_EQ(liveview(1, 30, 70).result, ZT_OK);
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{0, 30, 70, 255}));
    ASSERT_EQ(d.sim().setStatus(246, 1), 0);  // upside down: 10/14 answers 0
    EXPECT_EQ(liveview(1, 30, 70).result, ZT_OK);
    EXPECT_EQ(opNames(), (Names{"remote 10/14", "remote 13/0"}));
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{0, 70, 30, 255}));
    EXPECT_TRUE(d.log().contains("Translating select pos because stream is inverted (30 -> 70, 70 -> 30",
                                 UTIL_LOG_DEBUG));
    EXPECT_EQ(liveview(2, 100, 0).result, ZT_OK);
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{1, 0, 100, 255}));

    expectFailed(liveview(1, 101, 5), ZT_ERR, "Invalid coords x:101 y:5");
    expectFailed(liveview(3, 5, 5, 1), ZT_ERR_INVALID_PARAM, "Invalid exposure mode 3 in lens_mode[0]");
    EXPECT_TRUE(opsNamed(d.sim(), "remote 13/0").empty());
    d.sim().injectFault(camsim::OpMatch::remote(10, 14), ZT_ERR_NAK);
    expectFailed(liveview(1, 30, 70), ZT_OK, "Failed to get stream orientation vis REMOTE_API");
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{0, 30, 70, 255}));
}

class DualLensSettingsTest : public SettingsTest {
protected:
    DualLensSettingsTest() : SettingsTest(51) {}
    void SetUp() override {
        ASSERT_TRUE(d.startSimulator());
        d.sim().setLens(1, 2);
        ASSERT_EQ(d.startServer(), 0);
        ASSERT_TRUE(d.sync());
    }
};

// Model 51 in lens mode 1: the lens exposure mode takes the lens from the argument; the single
// lens modes are refused; the on-screen shortcuts take slots 0 and 1.
TEST_F(DualLensSettingsTest, LensExposureAndShortcutSlots) {
    EXPECT_EQ(call(ZTCONTROL_LIVEVIEW_MODE_SET, cat(pairArg(3, 40), pairArg(60, 0x107))).result, ZT_OK);
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{3, 40, 60, 7}));
    expectFailed(call(ZTCONTROL_LIVEVIEW_MODE_SET, cat(pairArg(1, 40), pairArg(60, 0))), ZT_ERR_INVALID_PARAM,
                 "Invalid exposure mode 1 in lens_mode[1]");

    d.sim().setLens(0, 2);
    ASSERT_TRUE(d.sendEvent(buildTlvEvent(16, "JS", std::nullopt, TLV_CMDARG)));  // lens data read again
    ASSERT_TRUE(d.sync());
    EXPECT_EQ(call(ZTCONTROL_LIVEVIEW_MODE_SET, cat(pairArg(2, 40), pairArg(60, 0))).result, ZT_OK);
    EXPECT_EQ(payloadOf("remote 13/0"), (Bytes{1, 40, 60, 2}));

    EXPECT_EQ(setSetting(131, 4).result, ZT_OK);
    EXPECT_EQ(payloadOf("direct 13 set_onscreen_control"), shortcut(0, 4));
    EXPECT_EQ(setSetting(132, 5).result, ZT_OK);
    EXPECT_EQ(payloadOf("direct 13 set_onscreen_control"), shortcut(1, 5));
}

}  // namespace
