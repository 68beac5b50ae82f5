// Control-library stand-in against a fake camera: what each kind of operation puts on the link,
// what it makes of the reply, and how it survives a silent, late or restarted camera.
#include "ztc_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "camlink_client.h"
#include "support/fake_camera.h"
#include "ztErrno.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Ctx = ztc_msg_q_context_t*;

CamReply answer(Bytes bytes, int32_t result = 0) { return CamReply{result, 0, std::move(bytes)}; }

CamReply echo(const CamRequest& r) { return answer(r.args); }

class ControlLink : public ::testing::Test {
  protected:
    FakeCamera camera{[](const CamRequest&) { return CamReply(); }};
    LinkContext link{camera.name()};
    Ctx ctx = &link.ctx;
    uint8_t* rsp = nullptr;
    uint16_t len = 0;

    void reply(FakeCamera::Handler h) { camera.setHandler(std::move(h)); }
    void replyWith(const Bytes& bytes, int32_t result = 0) {
        reply([=](const CamRequest&) { return answer(bytes, result); });
    }
    CamRequest last() const { return camera.last(); }
    Bytes got() const { return Bytes(rsp, rsp + len); }
};

TEST_F(ControlLink, RemoteAndSatchelOperationsCarryTheirPayloadAndAnswerUnchanged) {
    ASSERT_EQ(ztc_send_simple_remote_api(ctx, 9, 12), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_REMOTE);
    EXPECT_EQ(last().args, (Bytes{9, 12}));
    ASSERT_EQ(ztc_send_remote_api_payload(ctx, 8, 2, "\1\0\xFF", 3), 0);
    EXPECT_EQ(last().args, (Bytes{8, 2, 1, 0, 0xFF}));

    Bytes status(384);
    for (size_t i = 0; i < status.size(); ++i) status[i] = static_cast<uint8_t>(i * 7);
    replyWith(status);
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 8, 11, &rsp, &len), 0);
    EXPECT_EQ(got(), status);
    replyWith({});
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 8, 21, &rsp, &len), 0);
    EXPECT_EQ(rsp, nullptr);
    EXPECT_EQ(len, 0);

    reply(echo);
    ASSERT_EQ(ztc_send_remote_api_payload_response(ctx, 17, 2, "\1\0\1\0", 4, &rsp, &len), 0);
    EXPECT_EQ(got(), (Bytes{17, 2, 1, 0, 1, 0}));
    ASSERT_EQ(ztc_send_satchel_command(ctx, "AP", "\3\1", 2, nullptr, nullptr), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_SATCHEL);
    EXPECT_EQ(last().args, (Bytes{'A', 'P', 3, 1}));
    ASSERT_EQ(ztc_send_satchel_command(ctx, "WS", nullptr, 0, &rsp, &len), 0);
    EXPECT_EQ(got(), (Bytes{'W', 'S'}));
}

TEST_F(ControlLink, CameraErrorsPassThroughWithTheirNakReason) {
    reply([](const CamRequest&) { return CamReply{ZT_ERR_NAK, -9, {1, 2, 3}}; });
    EXPECT_EQ(ztc_send_remote_api_payload_response(ctx, 12, 5, "x", 1, &rsp, &len), ZT_ERR_NAK);
    EXPECT_EQ(link.ctx.lastNakReason, -9);
    EXPECT_EQ(rsp, nullptr);  // no answer on failure
    EXPECT_EQ(len, 0);
    replyWith({}, ZT_ERR_NOT_SUPPORTED);
    EXPECT_EQ(ztc_shutter(ctx, 1), ZT_ERR_NOT_SUPPORTED);
    EXPECT_EQ(link.ctx.lastNakReason, 0);
}

// Their link codes are pinned by every test against the simulator, which answers no other code, and
// the reply mailbox named by the simulator tests' operations log.
TEST_F(ControlLink, ModelNumberAndProtocolAdapter) {
    replyWith({51});
    uint8_t model = 0;
    ASSERT_EQ(ztc_state_get_model_number(ctx, &model), 0);
    EXPECT_EQ(model, 51);
    EXPECT_TRUE(last().args.empty());
    EXPECT_EQ(ztc_select_protocol_adapter(51), 0);  // no context: the one used last
    EXPECT_EQ(last().args, (Bytes{51}));

    model = 7;
    for (const Bytes& unusable : {Bytes{}, Bytes{0}}) {
        replyWith(unusable);
        EXPECT_EQ(ztc_state_get_model_number(ctx, &model), ZT_ERR) << unusable.size() << " bytes";
    }
    replyWith({51}, ZT_ERR_NAK);
    EXPECT_EQ(ztc_state_get_model_number(ctx, &model), ZT_ERR_NAK);
    EXPECT_EQ(model, 7);
}

// The daemon's command tests pin the other operations' codes and payloads in the simulator's log;
// the microphone option is set there only while the audio accessory does not own it.
TEST_F(ControlLink, MicOptionIsOneDirectWord) {
    ASSERT_EQ(ztc_audio_set_mic_option(ctx, 201), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_DIRECT);
    EXPECT_EQ(last().args, (Bytes{0, static_cast<uint8_t>(CAMLINK_SET_MIC_OPTION), 0, 0, 0, 201}));
}

TEST_F(ControlLink, GettersDecodeWholeAnswersOnly) {
    replyWith(be32(-1));
    int8_t lens = 9;
    ASSERT_EQ(ztc_system_get_lens_mode(ctx, &lens), 0);
    EXPECT_EQ(lens, -1);
    EXPECT_EQ(last().args, (Bytes{0, static_cast<uint8_t>(CAMLINK_GET_LENS_MODE)}));

    replyWith({0, 0, 0, 12, 0, 0, 0, 24});
    int mode = -1, flat = -1;
    ASSERT_EQ(ztc_app_get_mode_flat_mode(ctx, &mode, &flat), 0);
    EXPECT_EQ(mode, 12);
    EXPECT_EQ(flat, 24);

    // Outputs stay untouched on every refusal.
    lens = 9;
    mode = flat = 9;
    const std::pair<Bytes, int> refused[] = {{{0, 0, 1}, ZT_ERR},
                                             {{2}, ZT_ERR_NAK_OFF},
                                             {be32(128), ZT_ERR},
                                             {be32(-129), ZT_ERR},
                                             {Bytes(40, 1), ZT_ERR}};
    for (const auto& r : refused) {
        replyWith(r.first);
        EXPECT_EQ(ztc_system_get_lens(ctx, &lens), r.second) << r.first.size() << " bytes";
    }
    replyWith(be32(3));
    EXPECT_EQ(ztc_app_get_mode_flat_mode(ctx, &mode, &flat), ZT_ERR);  // one value of two
    EXPECT_EQ(lens, 9);
    EXPECT_EQ(mode, 9);
    EXPECT_EQ(flat, 9);
}

TEST_F(ControlLink, BadArgumentsAreRefusedWithoutAnExchange) {
    const Bytes huge(1500, 0);
    EXPECT_EQ(ztc_send_remote_api_for_response(ctx, 8, 11, nullptr, &len), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_send_remote_api_payload(ctx, 7, 27, nullptr, 4), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_send_remote_api_payload_response(ctx, 7, 27, huge.data(), 1500, &rsp, &len),
              ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_storage_delete_file(ctx, "x", -1), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_storage_delete_file(ctx, nullptr, 3), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_system_get_lens(ctx, nullptr), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(ztc_shutter(nullptr, 1), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(camera.requests().empty());
}

TEST_F(ControlLink, LateReplyFailsWithinTheBoundAndIsDroppedByTheNextCall) {
    // Echoes, the answer to {9, 1} 700 ms late.
    reply([](const CamRequest& r) { return CamReply{0, 0, r.args, r.args == Bytes{9, 1} ? 700 : 0}; });
    link.ctx.lastNakReason = -9;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ztc_send_remote_api_for_response(ctx, 9, 1, &rsp, &len), ZT_ERR_MQ_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(link.ctx.lastNakReason, 0);  // every exchange starts without a reason
    link.ctx.replyTimeoutMs = 5000;        // long enough to see the late reply arrive first
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 9, 2, &rsp, &len), 0);
    EXPECT_EQ(got(), (Bytes{9, 2}));
    EXPECT_EQ(link.queuedReplies(), 0);
}

// Replies of earlier requests, damaged ones and ones with another code are dropped, whether they wait
// in the mailbox when the request starts or arrive while its reply is awaited.
TEST_F(ControlLink, StaleDamagedAndMismatchedRepliesAreDropped) {
    reply(echo);
    ASSERT_EQ(ztc_fwupdate_download_start(ctx), 0);
    EXPECT_TRUE(
        postMessage(link.ctx.rxName, buildCamReply(CAMLINK_OP_REMOTE, link.ctx.sequence, answer({0xEE}))));
    EXPECT_TRUE(postMessage(link.ctx.rxName, {0, 9, 0, 0x31, 1, 2, 3, 4, 5}));  // damaged
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 3, 4, &rsp, &len), 0);
    EXPECT_EQ(got(), (Bytes{3, 4}));

    reply([&](const CamRequest& r) {  // posted by the camera just before its reply
        EXPECT_TRUE(postMessage(r.replyTo, buildCamReply(CAMLINK_OP_SATCHEL, r.sequence, answer({0xEE}))));
        Bytes request = buildCamReply(CAMLINK_OP_REMOTE, r.sequence, answer({0xEE}));
        request[3] = CAMLINK_CAT_REQUEST;
        EXPECT_TRUE(postMessage(r.replyTo, request));
        return echo(r);
    });
    ASSERT_EQ(ztc_send_remote_api_for_response(ctx, 3, 5, &rsp, &len), 0);
    EXPECT_EQ(got(), (Bytes{3, 5}));
    EXPECT_EQ(link.queuedReplies(), 0);
}

TEST_F(ControlLink, ConcurrentCallersEachGetTheirOwnAnswer) {
    reply(echo);
    auto worker = [&](uint8_t category, int* mismatches) {
        for (int i = 0; i < 100; ++i) {
            const uint8_t payload[] = {static_cast<uint8_t>(i), category};
            uint8_t* mine = nullptr;
            uint16_t n = 0;
            if (ztc_send_remote_api_payload_response(ctx, category, 1, payload, sizeof payload, &mine, &n) !=
                    0 ||
                Bytes(mine, mine + n) != (Bytes{category, 1, static_cast<uint8_t>(i), category}))
                ++*mismatches;
        }
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(worker, 1, &bad1), t2(worker, 2, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1 + bad2, 0);
    EXPECT_EQ(camera.requests().size(), 200u);
}

TEST(ControlLinkRestart, CameraMailboxIsReopenedByName) {
    const std::string name = uniqueMboxName("cam");
    auto first = std::make_unique<FakeCamera>([](const CamRequest&) { return CamReply(); }, name);
    LinkContext link(name);
    ASSERT_EQ(ztc_fwupdate_download_start(&link.ctx), 0);
    first.reset();  // the camera goes away with its mailbox ...
    FakeCamera second([](const CamRequest&) { return answer({}, 7); }, name);  // ... and comes back
    EXPECT_EQ(ztc_fwupdate_download_start(&link.ctx), ZT_ERR_MQ_FAIL);         // went to the old queue
    EXPECT_EQ(ztc_fwupdate_download_start(&link.ctx), 7);
    EXPECT_EQ(second.requests().size(), 1u);

    mq_close(link.ctx.txMqd);  // a closed descriptor is opened by name before sending
    link.ctx.txMqd = static_cast<mqd_t>(-1);
    EXPECT_EQ(ztc_video_ultrex_reset(&link.ctx), 7);
    EXPECT_NE(link.ctx.txMqd, static_cast<mqd_t>(-1));

    LinkContext nowhere(uniqueMboxName("gone"));
    EXPECT_EQ(nowhere.ctx.txMqd, static_cast<mqd_t>(-1));
    EXPECT_EQ(ztc_video_ultrex_reset(&nowhere.ctx), ZT_ERR_MQ_FAIL);
}

// The ranking of the values in range is pinned by the daemon's ISO ordering tests.
TEST(IsoNumbers, ValuesOutOfRangeHaveNoSpeed) {
    for (int v : {5, 9}) EXPECT_LT(ztc_video_ultrex_iso_number(v), 0) << v;
    for (int v : {-1, 7}) EXPECT_LT(ztc_photo_ultrex_iso_number(v), 0) << v;
}

}  // namespace
