// The simulated camera: blocks, modes, settings writes, refusals at the edges, power.
#include "camera_layout.h"
#include "camlink_protocol.h"
#include "test_support.h"

using namespace camsim_test;
using namespace camlayout;

namespace {

// A storage name: u16 length, then the bytes.
std::vector<uint8_t> nameArg(const std::string& name) {
    return std::vector<uint8_t>{0, uint8_t(name.size())} + std::vector<uint8_t>(name.begin(), name.end());
}

}  // namespace

TEST_F(SimTest, BlocksHaveTheirSizesAndStartCoherent) {
    Reply st = req->remote(8, 11);
    Reply se = req->remote(7, 30);
    ASSERT_EQ(size_t(384), st.answer.size());
    ASSERT_EQ(size_t(238), se.answer.size());
    EXPECT_EQ(12, se.answer[SE_FLAT_MODE]);
    EXPECT_EQ(12, st.answer[ST_FLAT_MODE]);
    EXPECT_EQ(0u, readLe32(st.answer, ST_MODE_GROUP));
    EXPECT_EQ(0u, readLe32(st.answer, ST_VIDEO_PRESET));
    EXPECT_EQ(0x10000u, readLe32(st.answer, ST_PHOTO_PRESET));
    EXPECT_EQ(0x20000u, readLe32(st.answer, ST_TIMELAPSE_PRESET));
    EXPECT_EQ(std::vector<uint8_t>{0}, req->remote(7, 10).answer);
    EXPECT_EQ(size_t(400), req->remote(8, 34).answer.size());
}

TEST_F(SimTest, ModeMovesFlatModeModeGroupAndCurrentPreset) {
    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {17}).result);
    camsim::SimState s = sim->state();
    EXPECT_EQ(17, s.status[ST_PHOTO_FLAT_MODE]);
    EXPECT_EQ(1u, s.modeGroup());
    EXPECT_EQ(0x10000u, s.activePreset());

    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {18}).result);

    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {24}).result);
    s = sim->state();
    EXPECT_EQ(2u, s.modeGroup());
    EXPECT_EQ(0x20000u, s.statusWord(ST_TIMELAPSE_PRESET));
    EXPECT_EQ(4, s.status[ST_SUB_MODE]);

    // Family 1 returns to the photo flat mode selected last.
    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {1}).result);
    EXPECT_EQ(18, sim->state().flatMode());

    // In lens mode 1 the dual-lens group is chosen.
    sim->setLens(1, 0);
    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {12}).result);
    s = sim->state();
    EXPECT_EQ(3u, s.modeGroup());
    EXPECT_EQ(0x30000u, s.statusWord(ST_VIDEO_PRESET));

    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE_SUB_MODE, {13, 2}).result);
    EXPECT_EQ(13, sim->state().flatMode());
    EXPECT_EQ(2, sim->state().status[ST_SUB_MODE]);

    Reply mf = req->direct(CAMLINK_GET_MODE_FLAT_MODE);
    ASSERT_EQ(size_t(8), mf.answer.size());
    EXPECT_EQ(2u, readBe32(mf.answer, 0));
    EXPECT_EQ(13u, readBe32(mf.answer, 4));
}

TEST_F(SimTest, SetValueWritesTheGivenBlockOffsetAndWidth) {
    ASSERT_EQ(0, req->setValue(91, 0, 100, 0x1234, 2).result);
    ASSERT_EQ(0, req->setValue(5, 1, 200, int32_t(0xA1B2C3D4), 4).result);
    Reply se = req->remote(7, 30);
    Reply st = req->remote(8, 11);
    EXPECT_EQ(0x34, se.answer[100]);
    EXPECT_EQ(0x12, se.answer[101]);
    EXPECT_EQ(0xA1B2C3D4u, readLe32(st.answer, 200));
    const uint32_t refused[][3] = {{0, 237, 2}, {1, 384, 1}, {0, 10, 3}, {2, 10, 1}};  // block, offset, width
    for (const auto& r : refused) EXPECT_EQ(-3, req->setValue(1, r[0], r[1], 1, r[2]).result) << r[0] << "/" << r[1];
    EXPECT_EQ(-3, req->call(CAMLINK_OP_SET_VALUE, be32(1) + be32(0)).result);
    // The flat-mode byte carries the status bytes that follow it.
    ASSERT_EQ(0, req->setValue(144, 0, SE_FLAT_MODE, 17, 1).result);
    camsim::SimState s = sim->state();
    EXPECT_EQ(17, s.status[ST_FLAT_MODE]);
    EXPECT_EQ(17, s.status[ST_PHOTO_FLAT_MODE]);
}

// Arguments out of range, bad names and states that forbid an operation are refused. What the
// accepted values do is pinned by the daemon's command tests against this simulator (zoom,
// orientation, band, exposure, media, ISO, voice and buttons).
TEST_F(SimTest, RefusalsAtTheEdges) {
    const char* const dc = CAMLINK_OP_DIRECT;
    const char* const rm = CAMLINK_OP_REMOTE;
    sim->setStatus(ST_MEDIA_COUNT, 0, 4);
    const std::vector<ResultRow> rows = {
        {"zoom past 100", dc, directArgs(CAMLINK_SET_DIGITAL_ZOOM, {101}), -3},
        {"orientation past 5", dc, directArgs(CAMLINK_SET_ORIENTATION, {6}), -3},
        {"band past 1", rm, {6, 19, 2}, -3},
        {"exposure past 100", rm, {13, 0, 1, 101, 70, 255}, -3},
        {"delete on an empty card", rm, {9, 9}, -101},
        {"delete a file not there", dc, directArgs(CAMLINK_STORAGE_DELETE_FILE) + nameArg("X.MP4"), -101},
        {"name longer than given", dc, directArgs(CAMLINK_STORAGE_DELETE_FILE) + Bytes{0, 40, 'A'}, -3},
        {"empty name", dc, directArgs(CAMLINK_STORAGE_DELETE_FILE) + Bytes{0, 0}, -3},
        {"tag without flags", dc, directArgs(CAMLINK_STORAGE_TAG_FILE) + nameArg("A.MP4") + be32(1), -3},
        {"unknown voice command", rm, {15, 77}, -104},
        {"button past 2", dc, directArgs(CAMLINK_SET_BUTTON, {3, 3}), -3},
        {"button press other than 3", dc, directArgs(CAMLINK_SET_BUTTON, {0, 1}), -3},
        {"power mode 5", rm, {8, 2, 5}, -3},
        {"factory reset without its byte", rm, {8, 4}, -3},
        {"no such mode", dc, directArgs(CAMLINK_SET_MODE, {200}), -3},
        {"mode without argument", dc, directArgs(CAMLINK_SET_MODE), -3},
    };
    expectResults(*req, rows);
    EXPECT_EQ(0, sim->state().status[ST_LIVEVIEW_EXPOSURE]) << "not set by the refusal";
    ASSERT_EQ(0, req->direct(CAMLINK_SET_MODE, {4}).result);
    EXPECT_EQ(-101, req->direct(CAMLINK_SHUTTER, {1}).result) << "no capture in playback";
    ASSERT_EQ(0, req->remote(15, 1).result);
    EXPECT_EQ(-101, req->remote(15, 0).result) << "no photo while recording";
}

// A shutdown turns the camera off silently; a sleep suspends it with events on both sides.
TEST_F(SimTest, ShutdownAndSleepLastUntilPoweredOn) {
    ASSERT_EQ(0, req->remote(8, 2, {1}).result);
    EXPECT_EQ(std::vector<uint8_t>{2}, req->remote(8, 11).answer);
    sim->setPower(true);
    Event e;
    EXPECT_FALSE(daemon->next(&e, 200)) << "a shutdown raises no event";

    ASSERT_EQ(0, req->remote(8, 2, {0}).result);
    expectEvent(16, "JS");
    EXPECT_EQ(std::vector<uint8_t>{2}, req->remote(7, 30).answer);
    sim->setPower(true);
    expectEvent(16, "JR");
    EXPECT_EQ(size_t(384), req->remote(8, 11).answer.size());
}

TEST_F(SimTest, FactoryResetForgetsCustomPresetsAndSettings) {
    Reply created = req->remote(17, 3, std::vector<uint8_t>{0, 12} + le32(20) + le32(30) + le32(0) + le32(0));
    ASSERT_EQ(size_t(4), created.answer.size());
    req->direct(CAMLINK_SET_MODE, {17});
    req->satchel("CQ", {'h', 'o', 'm', 'e', 0});
    ASSERT_EQ(0, req->remote(8, 4, {1}).result);
    camsim::SimState s = sim->state();
    EXPECT_EQ(nullptr, s.preset(readLe32(created.answer, 0)));
    EXPECT_EQ(12, s.flatMode());
    EXPECT_EQ(0u, s.modeGroup());
    EXPECT_TRUE(s.savedNetworks.empty());
}
