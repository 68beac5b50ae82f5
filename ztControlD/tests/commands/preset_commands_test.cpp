// Preset commands and the preset-edit bracket against the simulated camera: title numbers after
// removals, edits of the active preset keeping what they do not change, and when an edit is opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "support/command_test_support.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

using namespace ztcontrol::presets;

Bytes serialized(const google::protobuf::MessageLite& m) { return chars(m.SerializeAsString()); }

class PresetCommandsTest : public CommandTest {
protected:
    // A custom video preset of the title; its id. Returns once the daemon has followed the
    // camera's switch to it.
    uint32_t create(uint32_t title) {
        const char* kSwitchLine = "Processing CAT_RTOS_CMD for preset update";
        const size_t switches = d.log().count(kSwitchLine);
        ZTC_Preset_Custom_Create_Req req;
        req.set_group_id(1000);
        req.set_flat_mode(12);
        req.set_preset_icon(20);
        req.set_preset_name(title);
        req.set_preset_name_iterator(0);
        Reply r = d.requester().call(ZTCONTROL_PRESET_CUSTOM_CREATE, serialized(req));
        EXPECT_EQ(r.result, ZT_OK);
        wsdk_commands::WSDK_ResponseCreateCustomPreset rsp;
        EXPECT_TRUE(rsp.ParseFromArray(r.payload.data(), (int)r.payload.size()));
        EXPECT_TRUE(d.log().waitFor(kSwitchLine, 5000, switches + 1));
        EXPECT_TRUE(d.sync());
        EXPECT_EQ(d.server()->activePreset, rsp.preset_id());
        return (uint32_t)rsp.preset_id();
    }

    // The preset as the camera keeps it: title, title number and icon.
    camsim::PresetInfo preset(uint32_t id) {
        const camsim::SimState s = state();
        const camsim::PresetInfo* p = s.preset(id);
        EXPECT_NE(p, nullptr) << id;
        return p ? *p : camsim::PresetInfo{};
    }
    uint32_t titleNumber(uint32_t id) { return preset(id).titleNumber; }
};

TEST_F(PresetCommandsTest, NewPresetsTakeTheFirstFreeTitleNumber) {
    const uint32_t ids[] = {create(20), create(20), create(20)};  // made in this order
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(titleNumber(ids[i]), i);
    EXPECT_EQ(titleNumber(create(21)), 0u);  // numbered per title

    ZTC_Preset_Custom_Remove_Req remove;
    remove.set_preset_id(ids[1]);
    EXPECT_EQ(d.requester().call(ZTCONTROL_PRESET_CUSTOM_REMOVE, serialized(remove)).result, ZT_OK);
    EXPECT_EQ(titleNumber(create(20)), 1u);
    EXPECT_EQ(titleNumber(create(20)), 3u);
    EXPECT_TRUE(d.log().contains("returning 3\n", UTIL_LOG_DEBUG));
}

// The time-lapse photo icon is the firmware's time-lapse icon (8) on model 55.
TEST_F(PresetCommandsTest, TitleOrIconAloneKeepsTheOtherStoredFields) {
    create(22);
    const uint32_t id = create(22);  // title number 1
    ZTC_Preset_Set_Title_Icon_Req icon, title;
    icon.set_preset_icon(1000);
    title.set_preset_name(30);
    for (const auto& step : {std::make_pair(icon, 22u), std::make_pair(title, 30u)}) {
        SCOPED_TRACE(step.second);
        EXPECT_EQ(call(ZTCONTROL_PRESET_SET_TITLE_ICON, serialized(step.first)).result, ZT_OK);
        const camsim::PresetInfo p = preset(id);
        EXPECT_EQ(p.icon, 8u);
        EXPECT_EQ(p.title, step.second);
        EXPECT_EQ(p.titleNumber, 1u);
        // Made inside an edit of that preset.
        EXPECT_EQ(payloadOf("remote 17/8"), u32Arg(id));
    }
}

TEST_F(PresetCommandsTest, AnEditIsOpenedOnlyWhereOneIsNeeded) {
    ASSERT_TRUE(d.sync());
    d.sim().clearOps();
    EXPECT_EQ(beginPresetEdit(91), 1);  // a setting outside presets
    EXPECT_TRUE(opsNamed(d.sim(), "remote 17/10").empty());
    EXPECT_TRUE(opsNamed(d.sim(), "remote 17/8").empty());
    EXPECT_EQ(beginPresetEdit(-1), 1);
    EXPECT_EQ(opsNamed(d.sim(), "remote 17/10").size(), 1u);
    EXPECT_EQ(opsNamed(d.sim(), "remote 17/8").size(), 1u);

    // A failing store before the start is logged and the edit still starts; a failing start is not an edit.
    d.sim().injectFault(camsim::OpMatch::remote(17, 10), ZT_ERR_NAK);
    EXPECT_EQ(beginPresetEdit(2), 1);
    EXPECT_TRUE(d.log().contains("Failed to preset edit store before preset edit start", UTIL_LOG_ERROR));
    d.sim().injectFault(camsim::OpMatch::remote(17, 8), -5);
    EXPECT_EQ(beginPresetEdit(2), 0);
    EXPECT_TRUE(d.log().contains("ztc_send_remote_api_payload error, -5\n", UTIL_LOG_ERROR));
}

}  // namespace
