// Control-library stand-in against a fake camera: what each kind of operation puts on the link,
// what it makes of the reply, and how it survives a silent, late or restarted camera.
#include <string.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "camlink_client.h"
#include "support/fake_camera.h"
#include "ztErrno.h"
#include "ztc_control.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

CamReply answer(Bytes bytes, int32_t result = 0)
{
    CamReply r;
    r.answer = std::move(bytes);
    r.result = result;
    return r;
}

Bytes be32(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
            static_cast<uint8_t>(u)};
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes direct(uint16_t op, std::initializer_list<int32_t> args = {})
{
    Bytes b = {static_cast<uint8_t>(op >> 8), static_cast<uint8_t>(op)};
    for (int32_t a : args) {
        const Bytes v = be32(a);
        b.insert(b.end(), v.begin(), v.end());
    }
    return b;
}

Bytes echoArgs(const CamRequest& r) { return r.args; }

class ControlLink : public ::testing::Test {
protected:
    FakeCamera camera{[](const CamRequest&) { return CamReply(); }};
    LinkContext link{camera.name()};
    ztc_msg_q_context_t* ctx = &link.ctx;

    void reply(FakeCamera::Handler h) { camera.setHandler(std::move(h)); }
    CamRequest last() const
    {
        const auto all = camera.requests();
        return all.empty() ? CamRequest() : all.back();
    }
};

TEST_F(ControlLink, RemoteOperationsCarryCategoryOperationAndPayload)
{
    ASSERT_EQ(ztc_send_simple_remote_api(ctx, 9, 12), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_REMOTE);
    EXPECT_EQ(last().args, (Bytes{9, 12}));
    EXPECT_EQ(last().replyTo, link.ctx.rxName);

    const uint8_t payload[] = {1, 0, 0xFF};
    ASSERT_EQ(ztc_send_remote_api_payload(ctx, 8, 2, payload, sizeof payload), 0);
    EXPECT_EQ(last().args, (Bytes{8, 2, 1, 0, 0xFF}));
}

TEST_F(ControlLink, RemoteAnswerIsHandedOutUnchanged)
{
    Bytes status(384);
    for (size_t i = 0; i < status.size(); ++i)
        status[i] = static_cast<uint8_t>(i * 7);
    reply([&](const CamRequest&) { return answer(status); });
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 8, 11, &rsp, &len), 0);
    ASSERT_EQ(len, 384);
    ASSERT_NE(rsp, nullptr);
    EXPECT_EQ(Bytes(rsp, rsp + len), status);

    reply([](const CamRequest& r) { return answer(echoArgs(r)); });
    const uint8_t id[] = {1, 0, 1, 0};
    ASSERT_EQ(ztc_send_remote_api_payload_response(ctx, 17, 2, id, sizeof id, &rsp, &len), 0);
    EXPECT_EQ(Bytes(rsp, rsp + len), (Bytes{17, 2, 1, 0, 1, 0}));
}

TEST_F(ControlLink, EmptyAnswerAndCameraOffAnswer)
{
    reply([](const CamRequest&) { return answer({}); });
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 8, 21, &rsp, &len), 0);
    EXPECT_EQ(rsp, nullptr);
    EXPECT_EQ(len, 0);

    reply([](const CamRequest&) { return answer({2}); });
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 8, 11, &rsp, &len), 0);
    ASSERT_EQ(len, 1);
    EXPECT_EQ(rsp[0], 2);
}

TEST_F(ControlLink, CameraErrorsPassThroughWithTheirNakReason)
{
    reply([](const CamRequest&) {
        CamReply r = answer({1, 2, 3}, ZT_ERR_NAK);
        r.nakReason = -9;
        return r;
    });
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    EXPECT_EQ(ztc_send_remote_api_payload_response(ctx, 12, 5, "x", 1, &rsp, &len), ZT_ERR_NAK);
    EXPECT_EQ(link.ctx.lastNakReason, -9);
    EXPECT_EQ(rsp, nullptr);  // no answer on failure
    EXPECT_EQ(len, 0);

    reply([](const CamRequest&) { return answer({}, ZT_ERR_NOT_SUPPORTED); });
    EXPECT_EQ(ztc_shutter(ctx, 1), ZT_ERR_NOT_SUPPORTED);
    EXPECT_EQ(link.ctx.lastNakReason, 0);
}

TEST_F(ControlLink, SatchelCommandWithAndWithoutAnswer)
{
    reply([](const CamRequest& r) { return answer(echoArgs(r)); });
    const uint8_t data[] = {3, 1};
    ASSERT_EQ(ztc_send_satchel_command(ctx, "AP", data, sizeof data, nullptr, nullptr), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_SATCHEL);
    EXPECT_EQ(last().args, (Bytes{'A', 'P', 3, 1}));

    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    ASSERT_EQ(ztc_send_satchel_command(ctx, "WS", nullptr, 0, &rsp, &len), 0);
    EXPECT_EQ(Bytes(rsp, rsp + len), (Bytes{'W', 'S'}));
}

TEST_F(ControlLink, ModelNumberAndProtocolAdapter)
{
    reply([](const CamRequest&) { return answer({51}); });
    uint8_t model = 0;
    ASSERT_EQ(ztc_state_get_model_number(ctx, &model), 0);
    EXPECT_EQ(model, 51);
    EXPECT_EQ(last().op, CAMLINK_OP_MODEL);
    EXPECT_TRUE(last().args.empty());

    EXPECT_EQ(ztc_select_protocol_adapter(51), 0);  // no context: the one used last
    EXPECT_EQ(last().op, CAMLINK_OP_ADAPTER);
    EXPECT_EQ(last().args, (Bytes{51}));

    model = 7;
    reply([](const CamRequest&) { return answer({}); });
    EXPECT_EQ(ztc_state_get_model_number(ctx, &model), ZT_ERR);
    reply([](const CamRequest&) { return answer({}, ZT_ERR); });
    EXPECT_EQ(ztc_state_get_model_number(ctx, &model), ZT_ERR);
    EXPECT_EQ(model, 7);
}

struct DirectCase {
    const char* name;
    std::function<int(ztc_msg_q_context_t*)> call;
    Bytes expected;
};

TEST_F(ControlLink, DirectOperationsEncodeTheirArguments)
{
    const std::string file = "100GOPRO/GX010042.MP4";
    const Bytes fileArg = cat({{0, static_cast<uint8_t>(file.size())}, Bytes(file.begin(), file.end())});
    const std::vector<DirectCase> cases = {
        {"shutter", [](auto c) { return ztc_shutter(c, 1); }, direct(CAMLINK_SHUTTER, {1})},
        {"mode", [](auto c) { return ztc_app_set_mode(c, 24); }, direct(CAMLINK_SET_MODE, {24})},
        {"mode sub", [](auto c) { return ztc_app_set_mode_sub_mode(c, 1, 4); },
         direct(CAMLINK_SET_MODE_SUB_MODE, {1, 4})},
        {"zoom", [](auto c) { return ztc_app_set_digital_zoom(c, 55); }, direct(CAMLINK_SET_DIGITAL_ZOOM, {55})},
        {"delay", [](auto c) { return ztc_app_set_capture_delay(c, 10); }, direct(CAMLINK_SET_CAPTURE_DELAY, {10})},
        {"reset res", [](auto c) { return ztc_video_reset_to_valid_res_fps_fov(c); },
         direct(CAMLINK_RESET_RES_FPS_FOV)},
        {"button", [](auto c) { return ztc_system_set_button(c, 2, 3); }, direct(CAMLINK_SET_BUTTON, {2, 3})},
        {"orientation", [](auto c) { return ztc_setup_set_orientation(c, 5); }, direct(CAMLINK_SET_ORIENTATION, {5})},
        {"onscreen", [](auto c) { return ztc_settings_set_onscreen_control(c, 7, 3); },
         direct(CAMLINK_SET_ONSCREEN_CONTROL, {7, 3})},
        {"shortcuts", [](auto c) { return ztc_preset_onscreen_shortcuts_reset(c); },
         direct(CAMLINK_ONSCREEN_SHORTCUTS_RESET)},
        {"audio", [](auto c) { return ztc_audio_set_audio_option(c, 200); }, direct(CAMLINK_SET_AUDIO_OPTION, {200})},
        {"mic", [](auto c) { return ztc_audio_set_mic_option(c, 2); }, direct(CAMLINK_SET_MIC_OPTION, {2})},
        {"1x", [](auto c) { return ztc_video_set_rushlapse_speed_1x(c, 1); }, direct(CAMLINK_RUSHLAPSE_SPEED_1X, {1})},
        {"ramp", [](auto c) { return ztc_video_set_rushlapse_speed_ramp(c, -2); },
         direct(CAMLINK_RUSHLAPSE_SPEED_RAMP, {-2})},
        {"ramp active", [](auto c) { return ztc_video_set_rushlapse_speed_ramp_active(c, 0); },
         direct(CAMLINK_RUSHLAPSE_SPEED_RAMP_ACTIVE, {0})},
        {"video reset", [](auto c) { return ztc_video_ultrex_reset(c); }, direct(CAMLINK_VIDEO_ULTREX_RESET)},
        {"photo reset", [](auto c) { return ztc_photo_ultrex_reset(c); }, direct(CAMLINK_PHOTO_ULTREX_RESET)},
        {"multi reset", [](auto c) { return ztc_multishot_ultrex_reset(c); }, direct(CAMLINK_MULTISHOT_ULTREX_RESET)},
        {"video iso", [](auto c) { return ztc_video_ultrex_iso_set(c, 3); }, direct(CAMLINK_VIDEO_ISO_SET, {3})},
        {"photo iso", [](auto c) { return ztc_photo_ultrex_iso_set(c, 4); }, direct(CAMLINK_PHOTO_ISO_SET, {4})},
        {"multi iso", [](auto c) { return ztc_multishot_ultrex_iso_set(c, 5); }, direct(CAMLINK_MULTISHOT_ISO_SET, {5})},
        {"video min", [](auto c) { return ztc_video_ultrex_iso_min_set(c, 6); },
         direct(CAMLINK_VIDEO_ISO_MIN_SET, {6})},
        {"photo min", [](auto c) { return ztc_photo_ultrex_iso_min_set(c, 1); },
         direct(CAMLINK_PHOTO_ISO_MIN_SET, {1})},
        {"multi min", [](auto c) { return ztc_multishot_ultrex_iso_min_set(c, 2); },
         direct(CAMLINK_MULTISHOT_ISO_MIN_SET, {2})},
        {"tag file", [&](auto c) { return ztc_storage_tag_file(c, file.data(), int(file.size()), 264, 0x80000001u); },
         cat({direct(CAMLINK_STORAGE_TAG_FILE), fileArg, be32(264), be32(int32_t(0x80000001u))})},
        {"delete", [&](auto c) { return ztc_storage_delete_file(c, file.data(), int(file.size())); },
         cat({direct(CAMLINK_STORAGE_DELETE_FILE), fileArg})},
        {"delete group", [&](auto c) { return ztc_storage_delete_group(c, file.data(), int(file.size())); },
         cat({direct(CAMLINK_STORAGE_DELETE_GROUP), fileArg})},
        {"fw start", [](auto c) { return ztc_fwupdate_download_start(c); }, direct(CAMLINK_FW_DOWNLOAD_START)},
        {"fw cancel", [](auto c) { return ztc_fwupdate_download_cancel(c); }, direct(CAMLINK_FW_DOWNLOAD_CANCEL)},
        {"fw done", [](auto c) { return ztc_fwupdate_download_done(c, true); }, direct(CAMLINK_FW_DOWNLOAD_DONE, {1})},
    };
    for (const DirectCase& c : cases) {
        EXPECT_EQ(c.call(ctx), 0) << c.name;
        EXPECT_EQ(last().op, CAMLINK_OP_DIRECT) << c.name;
        EXPECT_EQ(last().args, c.expected) << c.name;
    }
}

TEST_F(ControlLink, GettersDecodeTheirAnswers)
{
    reply([](const CamRequest&) { return answer(be32(-1)); });
    int8_t lensMode = 0;
    ASSERT_EQ(ztc_system_get_lens_mode(ctx, &lensMode), 0);
    EXPECT_EQ(lensMode, -1);
    EXPECT_EQ(last().args, direct(CAMLINK_GET_LENS_MODE));

    reply([](const CamRequest&) { return answer(be32(5)); });
    uint8_t orientation = 0;
    int iso = 0;
    bool invalid = false;
    ASSERT_EQ(ztc_setup_get_orientation(ctx, &orientation), 0);
    EXPECT_EQ(orientation, 5);
    ASSERT_EQ(ztc_multishot_ultrex_iso_min_get(ctx, &iso), 0);
    EXPECT_EQ(iso, 5);
    EXPECT_EQ(last().args, direct(CAMLINK_MULTISHOT_ISO_MIN_GET));
    ASSERT_EQ(ztc_video_validate_shutter(ctx, &invalid), 0);
    EXPECT_TRUE(invalid);

    reply([](const CamRequest&) { return answer(cat({be32(12), be32(24)})); });
    int mode = -1, flat = -1;
    ASSERT_EQ(ztc_app_get_mode_flat_mode(ctx, &mode, &flat), 0);
    EXPECT_EQ(mode, 12);
    EXPECT_EQ(flat, 24);
}

TEST_F(ControlLink, GettersRefuseShortOddOrOutOfRangeAnswers)
{
    int8_t lens = 9;
    int mode = 9, flat = 9;
    reply([](const CamRequest&) { return answer({0, 0, 1}); });
    EXPECT_EQ(ztc_system_get_lens(ctx, &lens), ZT_ERR);
    reply([](const CamRequest&) { return answer(be32(3)); });
    EXPECT_EQ(ztc_app_get_mode_flat_mode(ctx, &mode, &flat), ZT_ERR);  // one value of two
    reply([](const CamRequest&) { return answer({2}); });
    EXPECT_EQ(ztc_system_get_lens(ctx, &lens), ZT_ERR_NAK_OFF);
    reply([](const CamRequest&) { return answer(be32(300)); });
    EXPECT_EQ(ztc_system_get_lens(ctx, &lens), ZT_ERR);
    reply([](const CamRequest&) { return answer(Bytes(40, 1)); });
    EXPECT_EQ(ztc_system_get_lens(ctx, &lens), ZT_ERR);
    EXPECT_EQ(lens, 9);
    EXPECT_EQ(mode, 9);
    EXPECT_EQ(flat, 9);
}

TEST_F(ControlLink, BadArgumentsAreRefusedWithoutAnExchange)
{
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    const std::vector<uint8_t> huge(1500, 0);
    EXPECT_EQ(ztc_send_remote_api_for_response(ctx, 8, 11, nullptr, &len), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_send_remote_api_payload(ctx, 7, 27, nullptr, 4), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_send_remote_api_payload_response(ctx, 7, 27, huge.data(), 1500, &rsp, &len), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_storage_delete_file(ctx, "x", -1), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_storage_delete_file(ctx, nullptr, 3), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_system_get_lens(ctx, nullptr), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_shutter(nullptr, 1), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(camera.requests().empty());
}

TEST_F(ControlLink, SilentCameraFailsWithinTheBound)
{
    reply([](const CamRequest&) {
        CamReply r;
        r.silent = true;
        return r;
    });
    const auto start = Clock::now();
    EXPECT_EQ(ztc_shutter(ctx, 1), ZT_ERR_MQ_FAIL);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(ControlLink, LateReplyIsDiscardedByTheNextCall)
{
    reply([](const CamRequest& r) {
        CamReply late = answer(echoArgs(r));
        late.delayMs = r.args == Bytes{9, 1} ? 700 : 0;
        return late;
    });
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    EXPECT_EQ(ztc_send_remote_api_for_response(ctx, 9, 1, &rsp, &len), ZT_ERR_MQ_FAIL);
    link.ctx.replyTimeoutMs = 5000;  // long enough to see the late reply arrive first
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 9, 2, &rsp, &len), 0);
    EXPECT_EQ(Bytes(rsp, rsp + len), (Bytes{9, 2}));
    EXPECT_EQ(link.queuedReplies(), 0);
}

TEST_F(ControlLink, QueuedStaleAndDamagedRepliesAreDropped)
{
    reply([](const CamRequest& r) { return answer(echoArgs(r)); });
    ASSERT_EQ(ztc_fwupdate_download_start(ctx), 0);
    const mqd_t rx = mq_open(link.ctx.rxName, O_WRONLY);
    ASSERT_NE(rx, static_cast<mqd_t>(-1));
    const Bytes stale = buildCamReply(CAMLINK_OP_REMOTE, link.ctx.sequence, answer({0xEE}));
    const Bytes junk = {0, 9, 0, 0x31, 1, 2, 3, 4, 5};
    ASSERT_EQ(mq_send(rx, reinterpret_cast<const char*>(stale.data()), stale.size(), 0), 0);
    ASSERT_EQ(mq_send(rx, reinterpret_cast<const char*>(junk.data()), junk.size(), 0), 0);
    mq_close(rx);

    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 3, 4, &rsp, &len), 0);
    EXPECT_EQ(Bytes(rsp, rsp + len), (Bytes{3, 4}));
    EXPECT_EQ(link.queuedReplies(), 0);
}

TEST_F(ControlLink, ConcurrentCallersEachGetTheirOwnAnswer)
{
    reply([](const CamRequest& r) { return answer(echoArgs(r)); });
    auto worker = [&](uint8_t category, int* mismatches) {
        for (int i = 0; i < 100; ++i) {
            const uint8_t payload[] = {static_cast<uint8_t>(i), category};
            uint8_t* rsp = nullptr;
            uint16_t len = 0;
            if (ztc_send_remote_api_payload_response(ctx, category, 1, payload, sizeof payload, &rsp, &len) != 0 ||
                Bytes(rsp, rsp + len) != (Bytes{category, 1, static_cast<uint8_t>(i), category}))
                ++*mismatches;
        }
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(worker, 1, &bad1);
    std::thread t2(worker, 2, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0);
    EXPECT_EQ(camera.requests().size(), 200u);
}

TEST(ControlLinkRestart, CameraMailboxIsReopenedAfterATimeOut)
{
    const std::string name = uniqueMboxName("cam");
    auto first = std::make_unique<FakeCamera>([](const CamRequest&) { return CamReply(); }, name);
    LinkContext link(name);
    ASSERT_EQ(ztc_fwupdate_download_start(&link.ctx), 0);
    first.reset();  // the camera goes away with its mailbox ...
    FakeCamera second([](const CamRequest&) { return answer({}, 7); }, name);  // ... and comes back
    EXPECT_EQ(ztc_fwupdate_download_start(&link.ctx), ZT_ERR_MQ_FAIL);  // went to the old queue
    EXPECT_EQ(ztc_fwupdate_download_start(&link.ctx), 7);
    EXPECT_EQ(second.requests().size(), 1u);
}

TEST(ControlLinkRestart, ClosedCameraMailboxIsOpenedByName)
{
    FakeCamera camera([](const CamRequest&) { return CamReply(); });
    LinkContext link(camera.name());
    mq_close(link.ctx.txMqd);
    link.ctx.txMqd = static_cast<mqd_t>(-1);
    EXPECT_EQ(ztc_video_ultrex_reset(&link.ctx), 0);
    EXPECT_NE(link.ctx.txMqd, static_cast<mqd_t>(-1));

    LinkContext nowhere(uniqueMboxName("gone"));
    EXPECT_EQ(nowhere.ctx.txMqd, static_cast<mqd_t>(-1));
    EXPECT_EQ(ztc_video_ultrex_reset(&nowhere.ctx), ZT_ERR_MQ_FAIL);
}

TEST(IsoNumbers, RankSettingValuesBySpeed)
{
    EXPECT_LT(ztc_video_ultrex_iso_number(8), ztc_video_ultrex_iso_number(7));  // 100 < 200
    EXPECT_LT(ztc_video_ultrex_iso_number(2), ztc_video_ultrex_iso_number(4));  // 400 < 800
    EXPECT_GT(ztc_video_ultrex_iso_number(0), ztc_video_ultrex_iso_number(3));  // 6400 > 3200
    EXPECT_LT(ztc_photo_ultrex_iso_number(3), ztc_photo_ultrex_iso_number(0));  // 100 < 800
    EXPECT_GT(ztc_photo_ultrex_iso_number(6), ztc_photo_ultrex_iso_number(5));
    EXPECT_LT(ztc_video_ultrex_iso_number(5), 0);
    EXPECT_LT(ztc_photo_ultrex_iso_number(-1), 0);
}

}  // namespace
