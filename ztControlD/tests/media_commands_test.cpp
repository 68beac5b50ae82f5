// Media, firmware-update and system commands through the daemon mailbox, checked in the
// simulator's operation log and state.
#include <gtest/gtest.h>

#include <string>

#include "camlink_protocol.h"
#include "daemon_harness.h"
#include "sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

Bytes be16(uint16_t v) { return Bytes{(uint8_t)(v >> 8), (uint8_t)v}; }
Bytes be32(uint32_t v) { return Bytes{(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v}; }
Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes chars(const std::string& s) { return Bytes(s.begin(), s.end()); }

class MediaCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.startSimulator());
        ASSERT_EQ(d.startServer(), 0);
        ASSERT_TRUE(d.sync());
        d.sim().clearOps();
        d.log().clear();
    }

    Reply call(uint32_t id, const std::optional<Bytes>& arg = std::nullopt) {
        Reply reply = d.requester().call(id, arg);
        EXPECT_TRUE(reply.received) << "no response to " << id;
        EXPECT_TRUE(reply.hasResult);
        return reply;
    }

    // The one operation the command sent.
    camsim::OpRecord onlyOp() {
        std::vector<camsim::OpRecord> ops = d.sim().ops();
        EXPECT_EQ(ops.size(), 1u);
        return ops.empty() ? camsim::OpRecord() : ops.back();
    }

    void expectDirect(uint16_t op, const Bytes& payload) {
        camsim::OpRecord rec = onlyOp();
        EXPECT_STREQ(rec.id.code, "DC");
        EXPECT_EQ(rec.id.direct, op);
        EXPECT_EQ(rec.payload, payload);
    }

    void expectRemote(uint8_t category, uint8_t op, const Bytes& payload) {
        camsim::OpRecord rec = onlyOp();
        EXPECT_EQ(rec.name(), "remote " + std::to_string(category) + "/" + std::to_string(op));
        EXPECT_EQ(rec.payload, payload);
    }

    uint32_t mediaCount() { return d.sim().state().mediaCount(); }

    InProcessDaemon d;
};

TEST_F(MediaCommandsTest, GlintTagPlaybackPassesNamePositionAndTagType) {
    Bytes arg(268, 0);
    putLe32(arg, 0, 3);
    const std::string name = "100GOPRO/GX010001.MP4";
    std::copy(name.begin(), name.end(), arg.begin() + 4);
    putLe32(arg, 264, 1234);
    Reply reply = call(ZTCONTROL_GLINT_TAG_PLAYBACK, arg);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_FALSE(reply.hasPayload);
    expectDirect(CAMLINK_STORAGE_TAG_FILE, cat(cat(cat(be16(name.size()), chars(name)), be32(1234)), be32(3)));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_GLINT_TAG_PLAYBACK: filename[100GOPRO/GX010001.MP4] offset:1234",
                                 UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, DeleteOneFileAndAGroup) {
    const uint32_t before = mediaCount();
    Reply reply = call(ZTCONTROL_DELETE, textArg("DCIM/GX010002.MP4"));
    EXPECT_EQ(reply.result, ZT_OK);
    expectDirect(CAMLINK_STORAGE_DELETE_FILE, cat(be16(17), chars("DCIM/GX010002.MP4")));
    EXPECT_EQ(mediaCount(), before - 1);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_DELETE: filename[DCIM/GX010002.MP4]", UTIL_LOG_DEBUG));

    d.sim().clearOps();
    reply = call(ZTCONTROL_DELETE_GROUP, textArg("DCIM/G0010003.JPG"));
    EXPECT_EQ(reply.result, ZT_OK);
    expectDirect(CAMLINK_STORAGE_DELETE_GROUP, cat(be16(17), chars("DCIM/G0010003.JPG")));
    EXPECT_EQ(mediaCount(), before - 6);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_DELETE_GROUP: filename[DCIM/G0010003.JPG]", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, DeleteLastAndDeleteAllAreRemoteOperations) {
    const uint32_t before = mediaCount();
    Reply reply = call(ZTCONTROL_DELETE_LAST);
    EXPECT_EQ(reply.result, ZT_OK);
    expectRemote(9, 9, Bytes{});
    EXPECT_EQ(mediaCount(), before - 1);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_DELETE_LAST:", UTIL_LOG_DEBUG));

    d.sim().clearOps();
    reply = call(ZTCONTROL_DELETE_ALL);
    EXPECT_EQ(reply.result, ZT_OK);
    expectRemote(9, 10, Bytes{});
    EXPECT_EQ(mediaCount(), 0u);

    // With an argument nothing is deleted.
    d.sim().clearOps();
    reply = call(ZTCONTROL_DELETE_LAST, Bytes{1});
    EXPECT_EQ(reply.result, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());
}

TEST_F(MediaCommandsTest, CameraErrorsArePassedThroughAndLogged) {
    d.sim().injectFault(camsim::OpMatch::remote(9, 9), ZT_ERR_NAK);
    Reply reply = call(ZTCONTROL_DELETE_LAST);
    EXPECT_EQ(reply.result, ZT_ERR_NAK);
    EXPECT_FALSE(reply.hasPayload);
    // The tail line follows the response.
    EXPECT_TRUE(d.log().waitFor("Command:10 returned ztErrno:(-101=ZT_ERR_NAK)"));

    d.sim().injectFault(camsim::OpMatch::directOp(CAMLINK_FW_DOWNLOAD_START), -17);
    reply = call(ZTCONTROL_FW_UPDATE_START);
    EXPECT_EQ(reply.result, -17);
    EXPECT_TRUE(d.log().waitFor("Command:13 returned ztErrno:(-17=ZT_ERR_ACCESS_DENIED)"));
}

TEST_F(MediaCommandsTest, FirmwareUpdateSteps) {
    EXPECT_EQ(call(ZTCONTROL_FW_UPDATE_START).result, ZT_OK);
    expectDirect(CAMLINK_FW_DOWNLOAD_START, Bytes{});
    EXPECT_EQ(d.sim().state().status[63], 1);

    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_FW_UPDATE_CANCEL).result, ZT_OK);
    expectDirect(CAMLINK_FW_DOWNLOAD_CANCEL, Bytes{});
    EXPECT_EQ(d.sim().state().status[63], 3);

    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_FW_UPDATE_DONE, u8Arg(7)).result, ZT_OK);  // any non-zero is success
    expectDirect(CAMLINK_FW_DOWNLOAD_DONE, be32(1));
    EXPECT_EQ(d.sim().state().status[63], 2);

    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_FW_UPDATE_DONE, u8Arg(0)).result, ZT_OK);
    expectDirect(CAMLINK_FW_DOWNLOAD_DONE, be32(0));
    for (const char* line : {"ZTCONTROL_FW_UPDATE_START:", "ZTCONTROL_FW_UPDATE_CANCEL:", "ZTCONTROL_FW_UPDATE_DONE:"})
        EXPECT_TRUE(d.log().contains(line, UTIL_LOG_DEBUG)) << line;
}

TEST_F(MediaCommandsTest, ShutdownPowersTheCameraOff) {
    EXPECT_EQ(call(ZTCONTROL_SYSTEM_SHUTDOWN).result, ZT_OK);
    expectRemote(8, 2, Bytes{1});
    camsim::SimState state = d.sim().state();
    EXPECT_FALSE(state.powerOn);
    EXPECT_FALSE(state.asleep);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_SYSTEM_SHUTDOWN:", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, SleepPutsTheCameraToSleep) {
    EXPECT_EQ(call(ZTCONTROL_SYSTEM_SLEEP).result, ZT_OK);
    expectRemote(8, 2, Bytes{0});
    EXPECT_TRUE(d.sim().state().asleep);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_SYSTEM_SLEEP:", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, LocateAndFactoryResetSendTheirValueAsOneByte) {
    EXPECT_EQ(call(ZTCONTROL_LOCATE, u8Arg(1)).result, ZT_OK);
    expectRemote(8, 13, Bytes{1});
    EXPECT_EQ(d.sim().state().status[60], 1);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_LOCATE: onOff:1", UTIL_LOG_DEBUG));

    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_FACTORY_RESET, u8Arg(2)).result, ZT_OK);
    expectRemote(8, 4, Bytes{2});
    EXPECT_TRUE(d.log().contains("ZTCONTROL_FACTORY_RESET: resetType:2", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, AnalyticsFileNameIsAnsweredRawAndClearStartsANewFile) {
    Reply reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    expectRemote(8, 21, Bytes{});
    const std::string first = "analytics/ZT55_0001.ANL";
    EXPECT_EQ(reply.payload, textArg(first));

    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_ANALYTICS_CLEAR).result, ZT_OK);
    expectRemote(8, 20, Bytes{});
    reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.payload, textArg("analytics/ZT55_0002.ANL"));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_ANALYTICS_FILENAME_GET:", UTIL_LOG_DEBUG));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_ANALYTICS_CLEAR:", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, AnalyticsFileNameOfACameraThatIsOffIsItsRawAnswer) {
    d.sim().setPower(false);
    Reply reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(reply.payload, Bytes{2});
}

TEST_F(MediaCommandsTest, CalibrationFileNameGetsThePrefixAndSlashes) {
    Reply reply = call(ZTCONTROL_CAL_FILE_NAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    expectRemote(8, 35, Bytes{});
    ASSERT_EQ(reply.payload.size(), 257u);
    const std::string expected = "/tmp/fuse_a/CALIB/MODEL55/lens0.cal";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.payload.data())), expected);
    for (size_t i = expected.size(); i < reply.payload.size(); ++i) ASSERT_EQ(reply.payload[i], 0) << "byte " << i;
    EXPECT_TRUE(d.log().contains("REMOTE_SYSTEM_CAL_FILE_NAME_GET:", UTIL_LOG_DEBUG));
}

TEST_F(MediaCommandsTest, CalibrationFileNameOfAFailedQueryIsTheBarePrefix) {
    d.sim().injectFault(camsim::OpMatch::remote(8, 35), ZT_ERR_NAK);
    Reply reply = call(ZTCONTROL_CAL_FILE_NAME_GET);
    EXPECT_EQ(reply.result, ZT_ERR_NAK);
    ASSERT_EQ(reply.payload.size(), 257u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.payload.data())), "/tmp/fuse_a/");
}

TEST_F(MediaCommandsTest, SetLogLevelMakesInfoLinesAppearFromTheNextCommand) {
    d.stopServer();
    ASSERT_EQ(d.startServer(UTIL_LOG_DEBUG), 0);
    ASSERT_TRUE(d.sync());
    d.log().clear();
    EXPECT_EQ(call(ZTCONTROL_SET_LOG_LEVEL, u32Arg(5)).result, ZT_OK);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_SET_LOG_LEVEL: level:5", UTIL_LOG_DEBUG));
    EXPECT_EQ(d.log().count("Received message"), 0u);
    EXPECT_EQ(call(ZTCONTROL_DELETE_ALL).result, ZT_OK);
    EXPECT_EQ(d.log().count("Received message", UTIL_LOG_INFO), 1u);
}

TEST_F(MediaCommandsTest, UnassignedIdsAnswerNotSupported) {
    for (uint32_t id : {1u, 2u, 45u, 90u}) {
        Reply reply = call(id);
        EXPECT_EQ(reply.result, ZT_ERR_NOT_SUPPORTED) << "id " << id;
        EXPECT_TRUE(d.log().contains("Unhandled command " + std::to_string(id), UTIL_LOG_ERROR));
    }
    EXPECT_TRUE(d.sim().ops().empty());
}

}  // namespace
