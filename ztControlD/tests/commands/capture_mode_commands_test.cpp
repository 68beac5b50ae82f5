// Capture and mode commands against the simulated camera: the operations each one sends, its
// trace lines and its effect.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/command_test_support.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

class CaptureModeTest : public CommandTest {};

// In order, from a camera that is not recording: each command's one operation and payload.
TEST_F(CaptureModeTest, OneOperationCommands) {
    const OneOperation rows[] = {
        {ZTCONTROL_COMMAND_SHUTTER, u8Arg(1), "direct 1 shutter", be32(1), "ZTCONTROL_COMMAND_SHUTTER: value:1"},
        {ZTCONTROL_GLINT_TAG_RECORDING, std::nullopt, "remote 9/12", {}, "ZTCONTROL_GLINT_TAG_RECORDING:"},
        {ZTCONTROL_VOICE_VIDEO_STOP, std::nullopt, "remote 15/2", {}, "Voice Video Stop:"},
        {ZTCONTROL_VOICE_PHOTO_TAKE, std::nullopt, "remote 15/0", {}, "Voice Photo Take:"},
        {ZTCONTROL_VOICE_BURST_TAKE, std::nullopt, "remote 15/5", {}, "Voice Burst Take:"},
        {ZTCONTROL_VOICE_TIMELAPSE_START, std::nullopt, "remote 15/3", {}, "Voice Timelapse Start:"},
        {ZTCONTROL_VOICE_TIMELAPSE_STOP, std::nullopt, "remote 15/4", {}, "Voice Timelapse_Stop:"},
        {ZTCONTROL_VOICE_VIDEO_START, std::nullopt, "remote 15/1", {}, "Voice Video Start:"},
        {ZTCONTROL_VOICE_TAG, std::nullopt, "remote 15/6", {}, "Voice Tag:"},
        {ZTCONTROL_VOICE_EDIT_MY_STORY, std::nullopt, "remote 15/10", {}, "Voice Edit My Story:"},
        {ZTCONTROL_VOICE_MODE, u8Arg(2), "remote 15/9", Bytes{2}, "Voice Mode:"},
        {ZTCONTROL_COMMAND_SHUTTER, u8Arg(0), "direct 1 shutter", be32(0), "ZTCONTROL_COMMAND_SHUTTER: value:0"},
    };
    for (const OneOperation& row : rows) expectOneOperation(row);
}

TEST_F(CaptureModeTest, RefusalsSendNothing) {
    EXPECT_EQ(call(ZTCONTROL_VOICE_DELETE_LAST).result, ZT_ERR_NOT_SUPPORTED);
    EXPECT_TRUE(d.log().contains("Voice Control Delete Last", UTIL_LOG_DEBUG));
    EXPECT_TRUE(d.log().contains("NOT SUPPORTED 63", UTIL_LOG_ERROR));
    EXPECT_TRUE(opNames().empty());
    // Arguments of the wrong shape.
    EXPECT_EQ(call(ZTCONTROL_GLINT_TAG_RECORDING, Bytes{1}).result, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_MODE_SUB_MODE, Bytes(7, 0)).result, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_SYSTEM_BUTTON_SET, Bytes(4, 0)).result, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_MODE).result, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(opNames().empty());
}

// The mode command on models with and without the flat-mode override. Status bytes 2 to 4 hold
// the flat mode last selected for video, photo and time-lapse.
TEST_F(CaptureModeTest, FlatModeOverrideMatrix) {
    struct Row {
        const char* what;
        uint8_t model;  // 0: the simulator's own (55)
        uint32_t mode;
        int8_t selected;  // written to status byte 2 + mode when mode is 0 to 2
        std::function<void()> fault;
        bool statusQueried;
        int expected;
        bool reset;
        Names lines;
        int32_t result = ZT_OK;
    };
    const Row rows[] = {
        {"video family on 55", 0, 0, 15, nullptr, true, 15, true,
         {"Got mode :0, for model number 55 - updating mode to video_selected_flatmode 15"}},
        {"photo family on 51", 51, 1, 18, nullptr, true, 18, false,
         {"Got mode :1, for model number 51 - updating mode to photo_selected_flatmode 18"}},
        {"time-lapse family on 50", 50, 2, 21, nullptr, true, 21, false,
         {"Got mode :2, for model number 50 - updating mode to timelapse_selected_flatmode 21"}},
        {"selected flat mode 0 is normalised", 0, 0, 0, nullptr, true, 12, true,
         {"Got mode :0, for model number 55 - updating mode to video_selected_flatmode 0",
          "Got mode :0, for model number 55 - defaulting mode to video video"}},
        {"selected flat mode 2 is normalised", 0, 1, 2, nullptr, true, 20, false,
         {"Got mode :1, for model number 55 - updating mode to photo_selected_flatmode 2",
          "Got mode :2, for model number 55 - defaulting mode to timelapse photo"}},
        {"a flat mode is kept", 0, 5, 0, nullptr, true, 5, false, {}},
        {"model outside the list", 52, 0, 17, nullptr, false, 0, true, {}},
        {"model outside the list, photo", 18, 1, 17, nullptr, false, 1, false, {}},
        {"status query fails", 0, 1, 18, [&] { d.sim().injectFault(camsim::OpMatch::remote(8, 11), -101); },
         true, 17, false,
         {"ztc_send_remote_api_for_response error, -101, leaving mode as 1",
          "Got mode :1, for model number 55 - defaulting mode photo continuous"}},
        {"model unreadable", 0, 0, 15, [&] { pretendModel(0); d.sim().setModelUnreadable(true); },
         false, 0, true, {"Couldn't get model_number - no flat mode override"}},
        // The set itself is refused by the camera that is off.
        {"camera off", 0, 1, 18, [&] { d.sim().setPower(false); }, true, 17, false,
         {"Camera status returning ZT_ERR_NACK_OFF, skipping flatmode update",
          "Got mode :1, for model number 55 - defaulting mode photo continuous"},
         ZT_ERR_NAK_OFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        d.sim().clearFaults();
        d.sim().setModelUnreadable(false);
        pretendModel(row.model ? row.model : 55);
        if (row.mode <= 2) {
            ASSERT_EQ(d.sim().setStatus(2 + row.mode, (uint8_t)row.selected), 0);
        }
        if (row.fault) row.fault();
        Reply reply = call(ZTCONTROL_MODE, u32Arg(row.mode));
        EXPECT_EQ(reply.result, row.result);
        EXPECT_EQ(payloadOf("direct 2 set_mode"), be32(row.expected));
        EXPECT_EQ(opsNamed(d.sim(), "remote 8/11").size(), row.statusQueried ? 1u : 0u);
        EXPECT_EQ(opsNamed(d.sim(), "direct 6 reset_res_fps_fov").size(), row.reset ? 1u : 0u);
        for (const std::string& line : row.lines) EXPECT_TRUE(d.log().contains(line)) << line;
        size_t modeLines = 0;
        for (const std::string& line : row.lines) modeLines += line.rfind("Got mode :", 0) == 0;
        EXPECT_EQ(d.log().countContaining("Got mode :"), modeLines);
        const std::string resetLine = "Setting Resolution to enforce parameter correctness Mode:" +
                                      std::to_string(row.expected) + " subMode:0";
        EXPECT_EQ(d.log().contains(resetLine, UTIL_LOG_DEBUG), row.reset);
    }
    EXPECT_TRUE(d.log().contains("ZTCONTROL_MODE: mode:1", UTIL_LOG_DEBUG));
}

TEST_F(CaptureModeTest, ModeAndSubMode) {
    struct Row {
        uint32_t mode, sub;
        const char* op;
        Bytes payload;
        bool reset;
    };
    const Row rows[] = {
        {0, 4, "direct 2 set_mode", be32(24), true},
        {0, 3, "direct 2 set_mode", be32(15), true},
        {0, 1, "direct 3 set_mode_sub_mode", cat(be32(0), be32(1)), true},
        {1, 4, "direct 3 set_mode_sub_mode", cat(be32(1), be32(4)), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.mode) + "/" + std::to_string(row.sub));
        EXPECT_EQ(call(ZTCONTROL_MODE_SUB_MODE, pairArg(row.mode, row.sub)).result, ZT_OK);
        EXPECT_EQ(payloadOf(row.op), row.payload);
        EXPECT_EQ(opNames().size(), row.reset ? 2u : 1u);
        const std::string resetLine = "Setting Resolution to enforce parameter correctness Mode:0 subMode:";
        EXPECT_EQ(d.log().contains(resetLine + std::to_string(row.sub), UTIL_LOG_INFO), row.reset);
    }
    EXPECT_TRUE(d.log().contains("ZTCONTROL_MODE_SUB_MODE: mode:1 sub_mode:4", UTIL_LOG_DEBUG));

    // A camera without the resolution reset has nothing to correct; other failures are answered.
    const camsim::OpMatch reset = camsim::OpMatch::directOp(6);
    d.sim().injectFault(reset, ZT_ERR_NOT_SUPPORTED);
    EXPECT_EQ(call(ZTCONTROL_MODE_SUB_MODE, pairArg(0, 4)).result, ZT_OK);
    d.sim().injectFault(reset, ZT_ERR_NAK);
    EXPECT_EQ(call(ZTCONTROL_MODE_SUB_MODE, pairArg(0, 4)).result, ZT_ERR_NAK);
    EXPECT_EQ(call(ZTCONTROL_MODE, u32Arg(13)).result, ZT_ERR_NAK);
}

TEST_F(CaptureModeTest, CaptureDelayIsSetInsideAPresetEdit) {
    EXPECT_EQ(call(ZTCONTROL_CAPTURE_DELAY, u32Arg(10)).result, ZT_OK);
    EXPECT_EQ(opNames(), joined(kPresetEditStart, {"direct 5 set_capture_delay", "remote 17/10"}));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_CAPTURE_DELAY: photo timer:10", UTIL_LOG_DEBUG));
    EXPECT_EQ(state().status[62], 10);

    // In playback no edit can be opened: nothing is changed.
    d.sim().setSettings(25, 4);
    expectFailed(call(ZTCONTROL_CAPTURE_DELAY, u32Arg(3)), ZT_ERR, "Failed to start preset edit!");
    EXPECT_EQ(opNames(), Names{"direct 12 get_mode_flat_mode"});
}

// A burst of zoom changes opens one preset edit and stores it once, 200 ms after the last change.
TEST_F(CaptureModeTest, ZoomBurstStoresThePresetEditOnceAfterTheLast) {
    d.sim().clearOps();
    for (uint32_t zoom : {10u, 20u, 30u}) {
        EXPECT_EQ(d.requester().call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(zoom)).result, ZT_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(waitUntil([&] { return opsNamed(d.sim(), "remote 17/10").size() == 2; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::vector<camsim::OpRecord> stores = opsNamed(d.sim(), "remote 17/10");
    std::vector<camsim::OpRecord> zooms = opsNamed(d.sim(), "direct 4 set_digital_zoom");
    ASSERT_EQ(stores.size(), 2u);  // the pending one before the edit start, and the timer's
    ASSERT_EQ(zooms.size(), 3u);
    EXPECT_EQ(opsNamed(d.sim(), "remote 17/8").size(), 1u);
    EXPECT_GT(stores[1].index, zooms[2].index);
    EXPECT_GE(stores[1].atSeconds - zooms[2].atSeconds, 0.15);
    EXPECT_EQ(state().zoom(), 30);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_DIGITAL_ZOOM: dzoom:30", UTIL_LOG_DEBUG));

    // The stored edit was closed: the next zoom opens a new one.
    d.sim().clearOps();
    EXPECT_EQ(d.requester().call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(40)).result, ZT_OK);
    EXPECT_TRUE(waitUntil([&] { return opsNamed(d.sim(), "remote 17/10").size() == 2; }, 3000));
    EXPECT_EQ(opsNamed(d.sim(), "remote 17/8").size(), 1u);
}

TEST_F(CaptureModeTest, ZoomInFlatMode23OpensNoEditAndPlaybackRefuses) {
    d.sim().setSettings(25, 23);
    EXPECT_EQ(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(50)).result, ZT_OK);
    EXPECT_TRUE(d.log().contains("------Current flatmode is 23", UTIL_LOG_DEBUG));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(opNames(), (Names{"direct 12 get_mode_flat_mode", "direct 4 set_digital_zoom"}));
    EXPECT_EQ(state().zoom(), 50);

    d.sim().setSettings(25, 4);
    expectFailed(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(60)), ZT_ERR, "Failed to start preset edit!");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(opNames(), (Names{"direct 12 get_mode_flat_mode", "direct 12 get_mode_flat_mode"}));
}

TEST_F(CaptureModeTest, ButtonTable) {
    struct Row {
        uint32_t type, value;
        int32_t result;
        Names ops;
        Bytes payload;  // of the last operation
        std::string line;
    };
    const Row rows[] = {
        {0, 0, ZT_OK, {"direct 7 set_button"}, cat(be32(1), be32(3)),
         "ZTCONTROL_SYSTEM_BUTTON_SET: button type:1  button state:3"},
        {1, 1, ZT_OK, {"direct 7 set_button"}, cat(be32(0), be32(2)),
         "ZTCONTROL_SYSTEM_BUTTON_SET: button type:0  button state:2"},
        {2, 0, ZT_OK, {"direct 7 set_button"}, cat(be32(2), be32(3)),
         "ZTCONTROL_SYSTEM_BUTTON_SET: button type:2  button state:3"},
        {3, 0, ZT_ERR_INVALID_PARAM, {}, {}, "Invalid button type:3"},
        {0, 2, ZT_ERR_INVALID_PARAM, {}, {}, "Invalid button state:2"},
        {18, 7, ZT_OK, {}, {}, ""},
        {16, 2, ZT_ERR_INVALID_PARAM, {}, {}, "Invalid multi-cam shutter press:2"},
        {16, 0, ZT_OK, {"direct 1 shutter"}, be32(1), "Multi-cam shutter press:0 on/off[1]"},
        {16, 1, ZT_OK, {"direct 1 shutter"}, be32(0), "Multi-cam shutter press:1 on/off[0]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + "/" + std::to_string(row.value));
        Reply reply = call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(row.type, row.value));
        EXPECT_EQ(reply.result, row.result);
        EXPECT_EQ(opNames(), row.ops);
        if (!row.ops.empty()) {
            EXPECT_EQ(d.sim().ops().back().payload, row.payload);
        }
        if (!row.line.empty()) {
            EXPECT_TRUE(d.log().contains(row.line)) << row.line;
        }
    }
}

// The multi-camera mode button loads the current preset of a family; the mix takes the family
// of the camera's current preset group.
TEST_F(CaptureModeTest, MultiCameraModeLoadsTheCurrentPresetOfAFamily) {
    ASSERT_EQ(d.sim().setStatus(11, 0x10002, 4), 0);  // current photo preset
    Reply reply = call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 1));
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(opNames(), (Names{"remote 8/11", "remote 17/12"}));
    EXPECT_EQ(payloadOf("remote 17/12"), u32Arg(0x10002));
    EXPECT_TRUE(d.log().contains("MULTI_CAM_MODE_TYPE[01] active: video preset[0]  photo preset[65538] "
                                 "time_lapse preset[131072] presets_group[0]",
                                 UTIL_LOG_DEBUG));

    EXPECT_EQ(call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 2)).result, ZT_OK);
    EXPECT_EQ(payloadOf("remote 17/12"), u32Arg(0x20000));
    EXPECT_EQ(call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 3)).result, ZT_OK);  // mix in group 2
    EXPECT_EQ(opNames(), (Names{"remote 8/11", "remote 7/10", "remote 17/12"}));
    EXPECT_EQ(payloadOf("remote 17/12"), u32Arg(0x20000));

    expectFailed(call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 4)), ZT_ERR_INVALID_PARAM,
                 "Invalid mode:4 button type:17");
    EXPECT_EQ(opNames(), Names{"remote 8/11"});

    // Mix with a group the camera does not know, status failure and the camera off.
    ASSERT_EQ(d.sim().setStatus(19, 7, 4), 0);
    expectFailed(call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 3)), ZT_ERR_INVALID_PARAM,
                 "Group_id[7] was not found for Multi-Cam Mix");
    d.sim().injectFault(camsim::OpMatch::remote(8, 11), ZT_ERR_NAK);
    expectFailed(call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 0)), ZT_ERR, "Could not get status, -101\n");
    d.sim().clearFaults();
    d.sim().setPower(false);
    reply = call(ZTCONTROL_SYSTEM_BUTTON_SET, pairArg(17, 0));
    EXPECT_EQ(reply.result, ZT_ERR_NAK_OFF);
    EXPECT_FALSE(reply.hasPayload);
    EXPECT_EQ(opNames(), Names{"remote 8/11"});
}

}  // namespace
