// End to end: the real ztcamsim and ztControlD programs, commands and the notification port.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e_fixture.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztErrno.h"

using namespace e2e;

namespace {

// Failures that can be known before detaching are reported by the launched command itself: it
// exits 255, nothing is detached and no mailbox is left behind. First the network daemon's mailbox
// is missing, then the port is taken.
TEST_F(EndToEnd, StartFailuresAreReportedByTheLaunchedCommand) {
    auto expectRefusedBeforeDetaching = [&] {
        ASSERT_NO_FATAL_FAILURE(startDaemon());
        ASSERT_TRUE(waitForExit(launcher, 20000));
        EXPECT_TRUE(WIFEXITED(exits[launcher]));
        EXPECT_EQ(WEXITSTATUS(exits[launcher]), 255);
        EXPECT_EQ(daemonPid, 0) << "a daemon was detached";
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX}) EXPECT_FALSE(mailboxExists(name)) << name;
        if (daemonPid == 0) launcher = -1;  // nothing detached to wait for
    };
    ASSERT_NO_FATAL_FAILURE(expectRefusedBeforeDetaching());

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;  // earlier tests leave connections in TIME_WAIT; a live listener still blocks the port
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    struct sockaddr_in addr = {AF_INET, htons(8081), {htonl(INADDR_ANY)}, {}};
    ASSERT_EQ(bind(listener, (sockaddr*)&addr, sizeof(addr)), 0) << "port 8081 is used by another program";
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_NO_FATAL_FAILURE(expectRefusedBeforeDetaching());
    close(listener);
}

// Shutter in a video mode records and the notification client hears of it; a setting and the
// photo timer set through the real programs are read back in the status and settings block (each
// command of the two families is pinned by the in-process tests).
TEST_F(EndToEnd, CaptureAndSettingsCommandsThroughTheRealPrograms) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    FrameReader reader = subscribedReader();
    ASSERT_EQ(command(ZTCONTROL_MODE, u32Arg(12)), ZT_OK);
    ASSERT_EQ(command(ZTCONTROL_COMMAND_SHUTTER, u8Arg(1)), ZT_OK);
    EXPECT_TRUE(frameWhere(reader, [](const std::string& json) {
        const Json change = parseJson(json);
        const Json::json_pointer recording("/status/8");
        return change.contains(recording) && change[recording] == 1;
    })) << "no notification of the recording";
    Reply reply = requester.call(ZTCONTROL_GET_ALL_STATUS, std::nullopt, 15000);
    ASSERT_EQ(reply.payload.size(), 384u);
    EXPECT_EQ(reply.payload[6], 1) << "the camera is not recording";
    EXPECT_EQ(command(ZTCONTROL_COMMAND_SHUTTER, u8Arg(0)), ZT_OK);

    EXPECT_EQ(command(ZTCONTROL_SET_SETTING_ID, cat(u32Arg(2), u32Arg(17))), ZT_OK);
    EXPECT_EQ(command(ZTCONTROL_CAPTURE_DELAY, u32Arg(3)), ZT_OK);
    reply = requester.call(ZTCONTROL_GET_ALL_SETTINGS_STATUS, std::nullopt, 15000);
    ASSERT_EQ(reply.payload.size(), 624u);
    EXPECT_EQ(reply.payload[384 + 2], 13);  // resolution 17 was stored as 13
    EXPECT_EQ(reply.payload[62], 3);        // photo timer
}

}  // namespace

// The preset commands through the client tool: requests in protobuf text format, answers checked
// with the generated message classes.
class PresetsEndToEnd : public EndToEnd {
protected:
    struct Answer {
        int32_t result = -9999;
        std::string payload;  // bytes
    };

    // Runs ztctl --json with the words and reads result and payload from its one JSON object.
    Answer ztctl(const std::string& words) {
        Answer a;
        const std::string cmd = zt_launch::shellPrefix() + ZTCTL_BIN + " --json --timeout 10 " + words + " 2>/dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return a;
        const std::string out = readUntilQuiet(dup(fileno(p)), 15000);
        pclose(p);
        const Json json = parseJson(out);
        EXPECT_TRUE(json.is_object()) << words << ": " << out;
        if (!json.contains("result") || !json.contains("payload_hex")) return a;
        a.result = json["result"].get<int32_t>();
        const std::string hex = json["payload_hex"].get<std::string>();
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            a.payload += (char)strtoul(hex.substr(i, 2).c_str(), nullptr, 16);
        return a;
    }

    template <typename Message>
    Message answerOf(const std::string& words) {
        Answer a = ztctl(words);
        EXPECT_EQ(a.result, ZT_OK) << words;
        Message m;
        EXPECT_TRUE(m.ParseFromString(a.payload)) << words;
        return m;
    }
};

TEST_F(PresetsEndToEnd, EveryPresetCommandAnswersThroughTheClientTool) {
    using namespace ztcontrol::presets;
    ASSERT_NO_FATAL_FAILURE(startAll());
    EXPECT_EQ(answerOf<ZTC_Preset_Group_List_Resp>("preset-group-list").preset_groups_size(), 3);
    EXPECT_EQ(answerOf<ZTC_Preset_List_Resp>("preset-list 'group_id: 1001'").presets(1), 0x10001u);
    EXPECT_EQ(answerOf<wsdk_commands::WSDK_Preset>("preset-info 'preset_id: 65537'").mode(),
              wsdk_commands::WSDK_FLAT_MODE_FLURRIX);

    auto created = answerOf<wsdk_commands::WSDK_ResponseCreateCustomPreset>(
        "preset-custom-create 'group_id: 1000 flat_mode: 12 preset_icon: 20 preset_name: 20 preset_name_iterator: 0'");
    EXPECT_EQ(created.result(), RESULT_SUCCESS);
    const std::string id = std::to_string(created.preset_id());
    // The camera reports the switch to the new preset; the daemon follows it.
    ASSERT_TRUE(waitUntil([&] {
        Answer a = ztctl("preset-get-active-preset");
        return a.result == ZT_OK && a.payload.size() == 4 && (uint8_t)a.payload[0] == created.preset_id();
    }));
    EXPECT_EQ(ztctl("preset-switch-flatmode 'flat_mode: 15'").result, ZT_OK);
    auto info = answerOf<wsdk_commands::WSDK_Preset>("preset-info 'preset_id: " + id + "'");
    EXPECT_EQ(info.mode(), wsdk_commands::WSDK_FLAT_MODE_LOOPING);
    EXPECT_TRUE(info.user_defined());

    for (const std::string& words :
         {std::string("preset-set-title-icon 'preset_icon: 25'"), "preset-edit-start 'preset_id: " + id + "'",
          std::string("preset-op-9"), std::string("preset-edit-store"),
          "preset-set-order 'preset_id: " + id + " order: 0'", std::string("preset-load 'preset_id: 65536'"),
          std::string("preset-load-for-mode 12"), std::string("preset-factory-reset 'preset_id: 1'"),
          "preset-custom-remove 'preset_id: " + id + "'"})
        EXPECT_EQ(ztctl(words).result, ZT_OK) << words;

    auto all = answerOf<wsdk_commands::WSDK_NotifyPresetStatus>("preset-get-presets");
    ASSERT_EQ(all.preset_group_array_size(), 3);
    EXPECT_EQ(all.preset_group_array(0).preset_array_size(), 4);  // the custom preset is gone
    EXPECT_TRUE(all.preset_group_array(0).can_add_preset());
    EXPECT_EQ(ztctl("preset-info 'preset_id: " + id + "'").result, -3);  // removed
}
