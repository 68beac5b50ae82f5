// The platform stand-ins (control and settings libraries) against the simulator: every operation
// the daemon makes, end to end over the camera link.
#include <string.h>

#include <functional>

#include "camera_layout.h"
#include "camlink_protocol.h"
#include "csi_settings.h"
#include "support/fake_camera.h"
#include "test_support.h"
#include "ztErrno.h"
#include "ztc_control.h"

using namespace camsim_test;
using namespace camlayout;

namespace {

using Bytes = std::vector<uint8_t>;

class LinkedSim : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        if (HasFatalFailure()) return;
        link.reset(new LinkContext(opt.cameraMbox, 1000));
        ctx = &link->ctx;
        ASSERT_NE(mqd_t(-1), ctx->rxMqd);
        ASSERT_NE(mqd_t(-1), ctx->txMqd);
    }
    void TearDown() override {
        link.reset();
        SimTest::TearDown();
    }
    // Remote operation with payload and answer; the answer copied out.
    int remote(uint8_t category, uint8_t op, const Bytes& payload, Bytes* answer) {
        uint8_t* rsp = nullptr;
        uint16_t len = 0;
        int r = ztc_send_remote_api_payload_response(ctx, category, op, payload.empty() ? nullptr : payload.data(),
                                                     uint16_t(payload.size()), &rsp, &len);
        answer->clear();
        if (r == 0 && rsp) answer->assign(rsp, rsp + len);
        return r;
    }
    camsim::OpRecord lastOp() {
        auto ops = sim->ops(1);
        return ops.empty() ? camsim::OpRecord() : ops[0];
    }

    std::unique_ptr<LinkContext> link;
    ztc_msg_q_context_t* ctx = nullptr;
};

}  // namespace

TEST_F(LinkedSim, EveryRemoteOperationReachesTheCameraWithItsPayload) {
    struct Case {
        uint8_t category, op;
        Bytes payload;
        int answerLen;  // -1: any non-empty answer
    };
    const std::string file = "GX010001.MP4";
    Bytes video(file.begin(), file.end());
    video.push_back(0);
    video.resize(video.size() + 29, 0);
    const Case cases[] = {
        {8, 11, {}, 384},         {7, 30, {}, 238},          {7, 10, {}, 1},
        {8, 34, {}, 400},         {8, 35, {}, -1},           {8, 21, {}, -1},
        {8, 20, {}, 0},           {8, 13, {1}, 0},           {9, 12, {}, 0},
        {9, 9, {}, 0},            {10, 14, {}, 1},           {6, 19, {1}, 0},
        {13, 0, {1, 30, 70, 255}, 0}, {13, 2, {}, 0},        {7, 27, {2, 3}, 0},
        {2, 26, {}, 0},           {3, 22, {}, 0},            {4, 26, {}, 0},
        {15, 0, {}, 0},           {15, 1, {}, 0},            {15, 6, {}, 0},
        {15, 2, {}, 0},           {15, 3, {}, 0},            {15, 4, {}, 0},
        {15, 5, {}, 0},           {15, 9, {1}, 0},           {15, 10, {}, 0},
        {17, 0, {}, 7},           {17, 1, {1}, 17},          {17, 2, le32(0x10001), 80},
        {17, 8, le32(0), 0},      {17, 10, {}, 0},           {17, 9, {}, 0},
        {17, 12, le32(0x20001), 0}, {17, 13, le32(0x20001), 0}, {17, 23, {13}, 0},
        {17, 3, Bytes{1, 17} + le32(20) + le32(30) + le32(0) + le32(0), 4},
        {12, 5, video, 12},       {9, 10, {}, 0},
    };
    for (const Case& c : cases) {
        Bytes answer;
        int r = remote(c.category, c.op, c.payload, &answer);
        SCOPED_TRACE(std::to_string(c.category) + "/" + std::to_string(c.op));
        EXPECT_EQ(0, r);
        if (c.answerLen >= 0) EXPECT_EQ(size_t(c.answerLen), answer.size());
        else EXPECT_FALSE(answer.empty());
        camsim::OpRecord op = lastOp();
        EXPECT_EQ(c.category, op.id.category);
        EXPECT_EQ(c.op, op.id.op);
        EXPECT_EQ(c.payload, op.payload);
    }
}

TEST_F(LinkedSim, SatchelCommandsWithTheirAnswers) {
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    const uint8_t start[] = {1, 1};
    ASSERT_EQ(0, ztc_send_satchel_command(ctx, "NI", start, sizeof start, &rsp, &len));
    ASSERT_EQ(2, len);
    EXPECT_EQ(1, rsp[1]);
    const uint8_t ap[] = {1, 0};
    EXPECT_EQ(0, ztc_send_satchel_command(ctx, "AP", ap, sizeof ap, nullptr, nullptr));
    EXPECT_EQ(1, sim->state().apState);
    ASSERT_EQ(0, ztc_send_satchel_command(ctx, "PX", nullptr, 0, &rsp, &len));
    ASSERT_EQ(1, len);
    EXPECT_EQ(1, rsp[0]) << "nothing to cancel";
    EXPECT_EQ("satchel PX", lastOp().name());
}

TEST_F(LinkedSim, EveryDirectOperationReachesTheCamera) {
    int8_t lensMode = -1, lens = -1;
    uint8_t orientation = 9;
    int mode = -1, flat = -1, iso = -1;
    bool invalid = true;
    const char name[] = "GX010001.MP4";
    sim->setStatus(ST_MEDIA_COUNT, 20, 4);
    const struct {
        uint16_t op;
        std::function<int()> call;
    } cases[] = {
        {CAMLINK_SET_MODE, [&] { return ztc_app_set_mode(ctx, 12); }},
        {CAMLINK_SHUTTER, [&] { return ztc_shutter(ctx, 1); }},
        {CAMLINK_SHUTTER, [&] { return ztc_shutter(ctx, 0); }},
        {CAMLINK_SET_MODE_SUB_MODE, [&] { return ztc_app_set_mode_sub_mode(ctx, 17, 1); }},
        {CAMLINK_SET_DIGITAL_ZOOM, [&] { return ztc_app_set_digital_zoom(ctx, 40); }},
        {CAMLINK_SET_CAPTURE_DELAY, [&] { return ztc_app_set_capture_delay(ctx, 3); }},
        {CAMLINK_RESET_RES_FPS_FOV, [&] { return ztc_video_reset_to_valid_res_fps_fov(ctx); }},
        {CAMLINK_SET_BUTTON, [&] { return ztc_system_set_button(ctx, 2, 2); }},
        {CAMLINK_GET_LENS_MODE, [&] { return ztc_system_get_lens_mode(ctx, &lensMode); }},
        {CAMLINK_GET_LENS, [&] { return ztc_system_get_lens(ctx, &lens); }},
        {CAMLINK_SET_ORIENTATION, [&] { return ztc_setup_set_orientation(ctx, 5); }},
        {CAMLINK_GET_ORIENTATION, [&] { return ztc_setup_get_orientation(ctx, &orientation); }},
        {CAMLINK_GET_MODE_FLAT_MODE, [&] { return ztc_app_get_mode_flat_mode(ctx, &mode, &flat); }},
        {CAMLINK_SET_ONSCREEN_CONTROL, [&] { return ztc_settings_set_onscreen_control(ctx, 1, 2); }},
        {CAMLINK_ONSCREEN_SHORTCUTS_RESET, [&] { return ztc_preset_onscreen_shortcuts_reset(ctx); }},
        {CAMLINK_SET_AUDIO_OPTION, [&] { return ztc_audio_set_audio_option(ctx, 2); }},
        {CAMLINK_SET_MIC_OPTION, [&] { return ztc_audio_set_mic_option(ctx, 1); }},
        {CAMLINK_RUSHLAPSE_SPEED_1X, [&] { return ztc_video_set_rushlapse_speed_1x(ctx, 1); }},
        {CAMLINK_RUSHLAPSE_SPEED_RAMP, [&] { return ztc_video_set_rushlapse_speed_ramp(ctx, 2); }},
        {CAMLINK_RUSHLAPSE_SPEED_RAMP_ACTIVE, [&] { return ztc_video_set_rushlapse_speed_ramp_active(ctx, 1); }},
        {CAMLINK_VALIDATE_SHUTTER, [&] { return ztc_video_validate_shutter(ctx, &invalid); }},
        {CAMLINK_VIDEO_ULTREX_RESET, [&] { return ztc_video_ultrex_reset(ctx); }},
        {CAMLINK_PHOTO_ULTREX_RESET, [&] { return ztc_photo_ultrex_reset(ctx); }},
        {CAMLINK_MULTISHOT_ULTREX_RESET, [&] { return ztc_multishot_ultrex_reset(ctx); }},
        {CAMLINK_VIDEO_ISO_SET, [&] { return ztc_video_ultrex_iso_set(ctx, 7); }},
        {CAMLINK_PHOTO_ISO_SET, [&] { return ztc_photo_ultrex_iso_set(ctx, 5); }},
        {CAMLINK_MULTISHOT_ISO_SET, [&] { return ztc_multishot_ultrex_iso_set(ctx, 4); }},
        {CAMLINK_VIDEO_ISO_MIN_SET, [&] { return ztc_video_ultrex_iso_min_set(ctx, 8); }},
        {CAMLINK_PHOTO_ISO_MIN_SET, [&] { return ztc_photo_ultrex_iso_min_set(ctx, 3); }},
        {CAMLINK_MULTISHOT_ISO_MIN_SET, [&] { return ztc_multishot_ultrex_iso_min_set(ctx, 2); }},
        {CAMLINK_VIDEO_ISO_GET, [&] { return ztc_video_ultrex_iso_get(ctx, &iso); }},
        {CAMLINK_PHOTO_ISO_GET, [&] { return ztc_photo_ultrex_iso_get(ctx, &iso); }},
        {CAMLINK_MULTISHOT_ISO_GET, [&] { return ztc_multishot_ultrex_iso_get(ctx, &iso); }},
        {CAMLINK_VIDEO_ISO_MIN_GET, [&] { return ztc_video_ultrex_iso_min_get(ctx, &iso); }},
        {CAMLINK_PHOTO_ISO_MIN_GET, [&] { return ztc_photo_ultrex_iso_min_get(ctx, &iso); }},
        {CAMLINK_MULTISHOT_ISO_MIN_GET, [&] { return ztc_multishot_ultrex_iso_min_get(ctx, &iso); }},
        {CAMLINK_STORAGE_TAG_FILE, [&] { return ztc_storage_tag_file(ctx, name, int(strlen(name)), 1500, 1); }},
        {CAMLINK_STORAGE_DELETE_FILE, [&] { return ztc_storage_delete_file(ctx, name, int(strlen(name))); }},
        {CAMLINK_STORAGE_DELETE_GROUP, [&] { return ztc_storage_delete_group(ctx, name, int(strlen(name))); }},
        {CAMLINK_FW_DOWNLOAD_START, [&] { return ztc_fwupdate_download_start(ctx); }},
        {CAMLINK_FW_DOWNLOAD_CANCEL, [&] { return ztc_fwupdate_download_cancel(ctx); }},
        {CAMLINK_FW_DOWNLOAD_DONE, [&] { return ztc_fwupdate_download_done(ctx, true); }},
    };
    Bytes tag;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        EXPECT_EQ(0, c.call());
        camsim::OpRecord op = lastOp();
        EXPECT_STREQ("DC", op.id.code);
        EXPECT_EQ(c.op, op.id.direct);
        EXPECT_EQ(0, op.result);
        if (c.op == CAMLINK_STORAGE_TAG_FILE) tag = op.payload;
    }
    camsim::SimState s = sim->state();
    EXPECT_EQ(0, lensMode);
    EXPECT_EQ(0, lens);
    EXPECT_EQ(5, orientation);
    EXPECT_EQ(1, mode);
    EXPECT_EQ(17, flat);
    EXPECT_FALSE(invalid);
    EXPECT_EQ(2, iso) << "the multishot minimum set above";
    EXPECT_EQ(40, s.zoom());
    EXPECT_EQ(3, s.status[ST_CAPTURE_DELAY]);
    EXPECT_EQ(2, s.status[ST_FW_UPDATE]);
    EXPECT_EQ(21u - 1 - 5, s.mediaCount()) << "one recording saved, one file and a group deleted";
    EXPECT_EQ((Bytes{0, 12} + Bytes(name, name + 12) + be32(1500) + be32(1)), tag);
}

TEST_F(LinkedSim, SettingsOperationsWriteTheBlocksAndCsiItems) {
    uint8_t model = 0;
    ASSERT_EQ(0, ztc_state_get_model_number(ctx, &model));
    EXPECT_EQ(55, model);
    EXPECT_EQ(0, ztc_select_protocol_adapter(model));
    EXPECT_EQ("PA", lastOp().name());
    EXPECT_EQ(Bytes{55}, lastOp().payload);

    uint32_t word = (6u << 24) | 0x10002;
    ASSERT_EQ(0, csi_set(CSI_ITEM_PRESET_STATE, &word, sizeof word));
    EXPECT_TRUE(sim->state().hasCsiItem7);
    EXPECT_EQ(word, sim->state().csiItem7);

    int count = 0;
    const csi_setting_row_t* table = camera_settings_id_table(55, &count);
    ASSERT_NE(nullptr, table);
    ASSERT_GT(count, 144);
    const csi_setting_row_t& flatRow = table[144];
    ASSERT_EQ(0, camera_if_settings_set_value_int(ctx, 144, flatRow[CSI_ROW_BLOCK], flatRow[CSI_ROW_OFFSET], 17,
                                                  flatRow[CSI_ROW_WIDTH], nullptr));
    camsim::SimState s = sim->state();
    EXPECT_EQ(17, s.flatMode());
    EXPECT_EQ(17, s.status[ST_FLAT_MODE]);
    const csi_setting_row_t& row = table[3];
    ASSERT_EQ(0, camera_if_settings_set_value_int(ctx, 3, row[CSI_ROW_BLOCK], row[CSI_ROW_OFFSET], 9,
                                                  row[CSI_ROW_WIDTH], nullptr));
    EXPECT_EQ(9, sim->state().settings[row[CSI_ROW_OFFSET]]);
    ASSERT_EQ(0, camera_if_settings_set_value_int(ctx, 1, 1, ST_MEDIA_COUNT, 77, 4, nullptr));
    EXPECT_EQ(77u, sim->state().mediaCount());
}

TEST_F(LinkedSim, CameraOffAndErrorResultsWithTheirNakReasons) {
    sim->setPower(false);
    int8_t lensMode = 0;
    EXPECT_EQ(ZT_ERR_NAK_OFF, ztc_system_get_lens_mode(ctx, &lensMode));
    sim->setPower(true);

    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    sim->injectFault(camsim::OpMatch::remote(12, 5), ZT_ERR_NAK);
    sim->setNakReason(-9, false);
    const Bytes job = Bytes{'A'} + Bytes(30, 0);
    EXPECT_EQ(ZT_ERR_NAK,
              ztc_send_remote_api_payload_response(ctx, 12, 5, job.data(), uint16_t(job.size()), &rsp, &len));
    EXPECT_EQ(-9, ctx->lastNakReason);
    EXPECT_EQ(0, ztc_send_remote_api_for_response(ctx, 8, 11, &rsp, &len));
    EXPECT_EQ(0, ctx->lastNakReason) << "every exchange starts without a reason";
    sim->injectFault(camsim::OpMatch::satchel("AP"), ZT_ERR_NOT_SUPPORTED);
    const uint8_t ap[] = {1, 0};
    EXPECT_EQ(ZT_ERR_NOT_SUPPORTED, ztc_send_satchel_command(ctx, "AP", ap, 2, nullptr, nullptr));
}
