// Media, firmware-update and system commands through the daemon mailbox, checked in the
// simulator's operation log and state.
#include <gtest/gtest.h>

#include <string>

#include "camlink_protocol.h"
#include "support/command_test_support.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

Bytes be16(uint16_t v) { return Bytes{(uint8_t)(v >> 8), (uint8_t)v}; }

class MediaCommandsTest : public CommandTest {};

// Each command's camera operation byte for byte, and its debug line.
TEST_F(MediaCommandsTest, CommandsSendTheirOperation) {
    Bytes glint(268, 0);
    putLe32(glint, 0, 3);
    const std::string clip = "100GOPRO/GX010001.MP4";
    std::copy(clip.begin(), clip.end(), glint.begin() + 4);
    putLe32(glint, 264, 1234);
    const OneOperation rows[] = {
        {ZTCONTROL_GLINT_TAG_PLAYBACK, glint, "direct 36 storage_tag_file",
         cat(cat(cat(be16(clip.size()), chars(clip)), be32(1234)), be32(3)),
         "ZTCONTROL_GLINT_TAG_PLAYBACK: filename[100GOPRO/GX010001.MP4] offset:1234"},
        {ZTCONTROL_DELETE, textArg("DCIM/GX010002.MP4"), "direct 37 storage_delete_file",
         cat(be16(17), chars("DCIM/GX010002.MP4")), "ZTCONTROL_DELETE: filename[DCIM/GX010002.MP4]"},
        {ZTCONTROL_DELETE_GROUP, textArg("DCIM/G0010003.JPG"), "direct 38 storage_delete_group",
         cat(be16(17), chars("DCIM/G0010003.JPG")), "ZTCONTROL_DELETE_GROUP: filename[DCIM/G0010003.JPG]"},
        {ZTCONTROL_DELETE_LAST, std::nullopt, "remote 9/9", {}, "ZTCONTROL_DELETE_LAST:"},
        {ZTCONTROL_DELETE_ALL, std::nullopt, "remote 9/10", {}, "ZTCONTROL_DELETE_ALL:"},
        {ZTCONTROL_FW_UPDATE_START, std::nullopt, "direct 39 fw_download_start", {}, "ZTCONTROL_FW_UPDATE_START:"},
        {ZTCONTROL_FW_UPDATE_CANCEL, std::nullopt, "direct 40 fw_download_cancel", {}, "ZTCONTROL_FW_UPDATE_CANCEL:"},
        // Any non-zero is success.
        {ZTCONTROL_FW_UPDATE_DONE, u8Arg(7), "direct 41 fw_download_done", be32(1), "ZTCONTROL_FW_UPDATE_DONE:"},
        {ZTCONTROL_FW_UPDATE_DONE, u8Arg(0), "direct 41 fw_download_done", be32(0), "ZTCONTROL_FW_UPDATE_DONE:"},
        {ZTCONTROL_LOCATE, u8Arg(1), "remote 8/13", Bytes{1}, "ZTCONTROL_LOCATE: onOff:1"},
        {ZTCONTROL_FACTORY_RESET, u8Arg(2), "remote 8/4", Bytes{2}, "ZTCONTROL_FACTORY_RESET: resetType:2"},
        {ZTCONTROL_ANALYTICS_CLEAR, std::nullopt, "remote 8/20", {}, "ZTCONTROL_ANALYTICS_CLEAR:"},
        {ZTCONTROL_SYSTEM_SLEEP, std::nullopt, "remote 8/2", Bytes{0}, "ZTCONTROL_SYSTEM_SLEEP:"},
        {ZTCONTROL_SYSTEM_SHUTDOWN, std::nullopt, "remote 8/2", Bytes{1}, "ZTCONTROL_SYSTEM_SHUTDOWN:"},
    };
    for (const OneOperation& row : rows) expectOneOperation(row);
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

TEST_F(MediaCommandsTest, AnalyticsFileNameIsAnsweredRawAndClearStartsANewFile) {
    Reply reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(opNames(), Names{"remote 8/21"});
    EXPECT_EQ(reply.payload, textArg("analytics/ZT55_0001.ANL"));

    EXPECT_EQ(call(ZTCONTROL_ANALYTICS_CLEAR).result, ZT_OK);
    reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.payload, textArg("analytics/ZT55_0002.ANL"));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_ANALYTICS_FILENAME_GET:", UTIL_LOG_DEBUG));

    // A camera that is off: its raw answer.
    d.sim().setPower(false);
    reply = call(ZTCONTROL_ANALYTICS_FILENAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(reply.payload, Bytes{2});
}

TEST_F(MediaCommandsTest, CalibrationFileNameGetsThePrefixAndSlashesOrIsTheBarePrefix) {
    Reply reply = call(ZTCONTROL_CAL_FILE_NAME_GET);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(opNames(), Names{"remote 8/35"});
    ASSERT_EQ(reply.payload.size(), 257u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.payload.data())),
              "/tmp/fuse_a/CALIB/MODEL55/lens0.cal");
    EXPECT_TRUE(d.log().contains("REMOTE_SYSTEM_CAL_FILE_NAME_GET:", UTIL_LOG_DEBUG));

    // A failed query answers its error with the bare prefix.
    d.sim().injectFault(camsim::OpMatch::remote(8, 35), ZT_ERR_NAK);
    reply = call(ZTCONTROL_CAL_FILE_NAME_GET);
    EXPECT_EQ(reply.result, ZT_ERR_NAK);
    ASSERT_EQ(reply.payload.size(), 257u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.payload.data())), "/tmp/fuse_a/");
}

}  // namespace
