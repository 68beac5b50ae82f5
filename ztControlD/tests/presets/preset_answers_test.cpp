// Preset commands and the preset loader against a scripted camera: group and preset lists as the
// camera may answer them (skipped groups, short answers, odd record sizes), the preset of a mode,
// the create request's bytes, and the checks made before anything is sent.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

using namespace ztcontrol::presets;
using wsdk_commands::WSDK_NotifyPresetStatus;
using wsdk_commands::WSDK_Preset;

Bytes serialized(const google::protobuf::MessageLite& m) { return chars(m.SerializeAsString()); }

Bytes idList(const std::vector<uint32_t>& ids) {
    Bytes b{(uint8_t)ids.size()};
    for (uint32_t id : ids) b = cat(b, u32Arg(id));
    return b;
}

// An 80-byte record: flat mode, type, id, icon, title, title number; settings bytes 0 and 2 to 4.
Bytes record(int8_t flatMode, bool userDefined, uint32_t id, uint32_t icon, uint32_t title, uint32_t number) {
    Bytes r(PRESET_RECORD_SIZE, 0);
    r[0] = (uint8_t)flatMode;
    r[1] = userDefined ? 1 : 0;
    putLe32(r, 2, id);
    putLe32(r, 8, icon);
    putLe32(r, 12, title);
    putLe32(r, 16, number);
    for (size_t i = 0; i < 5; ++i) r[PRESET_RECORD_SETTINGS + i] = (uint8_t)(10 + i);
    return r;
}

class PresetAnswersTest : public ::testing::Test {
protected:
    ~PresetAnswersTest() override { g_modelNumber = 55; }

    // Payloads of the remote operations received, oldest first.
    std::vector<Bytes> sent(uint8_t category, uint8_t op) {
        std::vector<Bytes> out;
        for (const CamRequest& r : f.requests("RA"))
            if (r.args.size() >= 2 && r.args[0] == category && r.args[1] == op)
                out.emplace_back(r.args.begin() + 2, r.args.end());
        return out;
    }

    // The create request; an unset iterator leaves out that required field.
    static Bytes createRequest(uint32_t group, uint32_t flatMode, uint32_t icon, uint32_t title,
                               std::optional<uint32_t> iterator) {
        ZTC_Preset_Custom_Create_Req req;
        req.set_group_id(group);
        req.set_flat_mode(flatMode);
        req.set_preset_icon(icon);
        req.set_preset_name(title);
        if (iterator) req.set_preset_name_iterator(*iterator);
        return serialized(req);
    }

    template <typename Message>
    Message parsed(const Reply& r) {
        Message m;
        EXPECT_TRUE(r.hasPayload);
        EXPECT_TRUE(m.ParseFromArray(r.payload.data(), (int)r.payload.size()));
        return m;
    }

    FakeCameraServer f;
};

TEST_F(PresetAnswersTest, GroupListSkipsDualLensGroups) {
    f.scriptRemote(17, 0, cameraAnswer({4, 0, 1, 3, 2}));
    Reply r = f.command(ZTCONTROL_PRESET_GROUP_LIST);
    EXPECT_EQ(r.result, ZT_OK);
    auto groups = parsed<ZTC_Preset_Group_List_Resp>(r).preset_groups();
    EXPECT_EQ(std::vector<uint32_t>(groups.begin(), groups.end()), (std::vector<uint32_t>{1000, 1001, 1002}));
}

TEST_F(PresetAnswersTest, PresetListTakesEitherGroupFormAndTheDualLensTwin) {
    f.scriptRemote(17, 1, cameraAnswer(idList({0x40000, 0x40001})));
    ZTC_Preset_List_Req req;
    struct Case {
        uint32_t group;
        int lensMode;
        int32_t result;
        int sentIndex;  // -1: nothing sent
    };
    const Case cases[] = {{1001, 1, ZT_OK, 4}, {1, 0, ZT_OK, 1}, {7, 0, ZT_OK, 7}, {8, 0, ZT_ERR_INVALID_PARAM, -1},
                          {1008, 0, ZT_ERR_INVALID_PARAM, -1}, {999, 0, ZT_ERR_INVALID_PARAM, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        f.clearRequests();
        f.server()->lensMode = (int8_t)c.lensMode;
        req.set_group_id(c.group);
        Reply r = f.command(ZTCONTROL_PRESET_LIST, serialized(req));
        EXPECT_EQ(r.result, c.result);
        std::vector<Bytes> lists = sent(17, 1);
        if (c.sentIndex < 0) {
            EXPECT_TRUE(lists.empty());
            EXPECT_FALSE(r.hasPayload);
            continue;
        }
        ASSERT_EQ(lists.size(), 1u);
        EXPECT_EQ(lists[0], Bytes{(uint8_t)c.sentIndex});
        EXPECT_EQ(parsed<ZTC_Preset_List_Resp>(r).presets_size(), 2);
    }
    // Missing group id, and bytes that are no request at all.
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_LIST, Bytes{0x10, 0x01}).result, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_LIST, Bytes{0x0a, 0x05, 0x01}).result, ZT_ERR_INVALID_PARAM);
}

TEST_F(PresetAnswersTest, GetPresetsListsTheGroupsOfTheLensModeAndClearsThePresetState) {
    f.scriptRemote(17, 0, cameraAnswer({5, 0, 1, 2, 3, 6}));
    f.scriptRemote(17, 1, cameraAnswer(idList({0x10004, 0x10005})));
    f.scriptRemote(17, 2, cameraAnswer(record(17, true, 0x10004, 20, 20, 0)));
    f.server()->lensMode = 0;
    Reply r = f.command(ZTCONTROL_PRESET_GET_PRESETS);
    EXPECT_EQ(r.result, ZT_OK);
    WSDK_NotifyPresetStatus status = parsed<WSDK_NotifyPresetStatus>(r);
    ASSERT_EQ(status.preset_group_array_size(), 3);
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(status.preset_group_array(g).id(), 1000 + g);
        EXPECT_EQ(status.preset_group_array(g).preset_array_size(), 2);
        EXPECT_TRUE(status.preset_group_array(g).can_add_preset());
    }
    EXPECT_EQ(status.preset_group_array(1).preset_array(1).id(), 0x10005);
    EXPECT_EQ(sent(17, 1), (std::vector<Bytes>{{0}, {1}, {2}}));
    // The preset state word is cleared after the answer.
    std::vector<CamRequest> csi = f.requests("CS");
    ASSERT_EQ(csi.size(), 1u);
    EXPECT_EQ(csi[0].args, cat(Bytes{0, 0, 0, 7}, u32Arg(0)));

    // Dual lens: only the dual-lens group, folded to its single-lens id; ten user presets are full.
    f.clearRequests();
    f.server()->lensMode = 1;
    std::vector<uint32_t> ten;
    for (uint32_t i = 0; i < 10; ++i) ten.push_back(0x30001 + i);
    f.scriptRemote(17, 1, cameraAnswer(idList(ten)));
    status = parsed<WSDK_NotifyPresetStatus>(f.command(ZTCONTROL_PRESET_GET_PRESETS));
    ASSERT_EQ(status.preset_group_array_size(), 1);
    EXPECT_EQ(status.preset_group_array(0).id(), 1000);
    EXPECT_EQ(status.preset_group_array(0).preset_array_size(), 10);
    EXPECT_FALSE(status.preset_group_array(0).can_add_preset());
    EXPECT_EQ(sent(17, 1), (std::vector<Bytes>{{3}}));
}

// Camera answers a command cannot use: it fails whole, with the camera's result or -1, without a
// partial message, and the line that reports it; the preset state is not cleared.
TEST_F(PresetAnswersTest, UnusableAnswersFailTheCommandWithoutAPayload) {
    const std::map<uint8_t, CamReply> usable = {{0, cameraAnswer({2, 0, 1})},
                                                {1, cameraAnswer(idList({1}))},
                                                {2, cameraAnswer(record(12, false, 1, 0, 0, 0))}};
    ZTC_Preset_List_Req group;
    group.set_group_id(0);
    ZTC_Preset_Info_Req info;
    info.set_preset_id(1);
    const std::string failed = "ztc_send_remote_api_payload_response error, ";
    struct Case {
        uint32_t command;
        Bytes request;
        uint8_t op;
        CamReply reply;
        int32_t result;
        std::string line;
    };
    const Case cases[] = {
        {ZTCONTROL_PRESET_GROUP_LIST, {}, 0, cameraAnswer({4, 0, 1}), ZT_ERR,  // four announced, two present
         "ztc_send_remote_api_for_response error, -1\n"},
        {ZTCONTROL_PRESET_GROUP_LIST, {}, 0, cameraError(ZT_ERR_NAK), ZT_ERR_NAK,
         "ztc_send_remote_api_for_response error, -101\n"},
        {ZTCONTROL_PRESET_LIST, serialized(group), 1, cameraAnswer({3, 1, 0, 0, 0, 2, 0}), ZT_ERR,  // three, one
         failed + "-1\n"},
        {ZTCONTROL_PRESET_INFO, serialized(info), 2, cameraAnswer(Bytes(79, 0)), ZT_ERR,
         failed + "-1, size was 79, expected 80\n"},
        {ZTCONTROL_PRESET_GET_PRESETS, {}, 0, cameraAnswer({0}), ZT_ERR, "No groups returned\n"},
        {ZTCONTROL_PRESET_GET_PRESETS, {}, 1, cameraError(ZT_ERR_NAK), ZT_ERR_NAK, failed + "-101\n"},
        {ZTCONTROL_PRESET_GET_PRESETS, {}, 2, cameraError(-5), -5, failed + "-5\n"},
        {ZTCONTROL_PRESET_GET_PRESETS, {}, 2, cameraAnswer(Bytes(81, 0)), ZT_ERR, failed + "-1\n"},
    };
    for (const auto& answer : usable) f.scriptRemote(17, answer.first, answer.second);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.command << " " << c.line);
        f.clearRequests();
        f.log().clear();
        f.scriptRemote(17, c.op, c.reply);
        Reply r = f.command(c.command, c.request.empty() ? std::nullopt : std::optional<Bytes>(c.request));
        f.scriptRemote(17, c.op, usable.at(c.op));
        EXPECT_EQ(r.result, c.result);
        EXPECT_FALSE(r.hasPayload);
        EXPECT_TRUE(f.requests("CS").empty());
        EXPECT_EQ(f.log().count(c.line, UTIL_LOG_ERROR), 1u);
    }
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_GET_PRESETS, u8Arg(1)).result, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(f.log().contains("get presets Invalid parameter", UTIL_LOG_ERROR));
}

TEST_F(PresetAnswersTest, PresetOfAModeFollowsModeGroupModelAndTable) {
    f.setStatus(7, 0x5, 4);
    f.setStatus(11, 0x40002, 4);
    f.setStatus(15, 0x20002, 4);
    struct Case {
        uint8_t model;
        uint32_t modeGroup;
        int mode;
        int64_t loaded;  // -1: nothing loaded, result -1
    };
    const Case cases[] = {
        {55, 4, 12, 0x30000}, {55, 0, 12, 0},       {55, 3, 17, 0x40000}, {55, 0, 16, 0x10000},
        {51, 0, 27, -1},      {55, 0, 27, 3},       {51, 0, 24, 0x20000}, {51, 0, 13, -1},
        {55, 0, 20, 0x20001}, {55, 0, 26, 0x20002}, {55, 0, 19, 0x10002}, {55, 0, 18, 0x10003},
        {55, 0, 25, 0x10001}, {55, 0, 1004, 0x40002}, {55, 0, 1000, 5}, {55, 0, 1005, 0x20002},
        {55, 0, 1006, -1},    {55, 0, 14, -1},      {55, 0, 23, -1},      {55, 0, 1500, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << (int)c.model << " mode " << c.mode);
        f.clearRequests();
        g_modelNumber = c.model;
        f.setStatus(19, c.modeGroup, 4);
        EXPECT_EQ(loadPresetForMode(c.mode), c.loaded < 0 ? -1 : 0);
        EXPECT_EQ(sent(8, 11).size(), 1u);
        std::vector<Bytes> loads = sent(17, 12);
        if (c.loaded < 0) {
            EXPECT_TRUE(loads.empty());
        } else {
            EXPECT_EQ(loads, std::vector<Bytes>{u32Arg((uint32_t)c.loaded)});
        }
    }
    EXPECT_TRUE(f.log().contains("Found preset 0 and is -1", UTIL_LOG_DEBUG));

    // The status block must be whole; the camera off is its own case.
    f.scriptRemote(8, 11, cameraAnswer(Bytes(383, 0)));
    EXPECT_EQ(loadPresetForMode(12), -1);
    EXPECT_TRUE(f.log().contains("ASSERT ERROR - status_all size does not match rsp size=383", UTIL_LOG_ERROR));
    f.scriptRemote(8, 11, cameraAnswer({2}));
    EXPECT_EQ(loadPresetForMode(12), -1);
    EXPECT_TRUE(f.log().contains("Camera status returning ZT_ERR_NACK_OFF\n", UTIL_LOG_DEBUG));
    f.scriptRemote(8, 11, cameraError(ZT_ERR_NAK));
    EXPECT_EQ(loadPresetForMode(12), ZT_ERR_NAK);
    EXPECT_TRUE(sent(17, 12).empty());
    EXPECT_EQ(f.log().countContaining("ztc_send_remote_api_for_response error, -101 @ "), 1u);
}

TEST_F(PresetAnswersTest, CustomCreateChecksItsRequestBeforeAnythingIsSent) {
    struct Bad {
        uint32_t group, flatMode, icon, title;
        std::optional<uint32_t> iterator;
    };
    const Bad bad[] = {{1000, 12, 20, 17, 0}, {1000, 12, 20, 58, 0},  {1003, 12, 20, 20, 0},
                       {3, 12, 20, 20, 0},    {1000, 11, 20, 20, 0},  {1000, 28, 20, 20, 0},
                       {1000, 12, 17, 20, 0}, {1000, 12, 1002, 20, 0}, {0, 12, 20, 20, std::nullopt}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(testing::Message() << b.group << " " << b.flatMode << " " << b.icon << " " << b.title);
        const Bytes req = createRequest(b.group, b.flatMode, b.icon, b.title, b.iterator);
        EXPECT_EQ(f.command(ZTCONTROL_PRESET_CUSTOM_CREATE, req).result, ZT_ERR_INVALID_PARAM);
    }
    EXPECT_TRUE(f.requests("RA").empty());
}

TEST_F(PresetAnswersTest, CustomCreateSendsTheFirmwareIconAndTheNextTitleNumber) {
    g_modelNumber = 51;
    // Two presets of the group carry title 20, both with number 0: the new one gets 1.
    f.scriptRemote(17, 1, cameraAnswer(idList({0x20004, 0x20005})));
    f.scriptRemote(17, 2, cameraAnswer(record(20, true, 0x20004, 8, 20, 0)));
    f.scriptRemote(17, 3, cameraAnswer(u32Arg(0x20006)));
    const Bytes req = createRequest(1002, 20, wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO, 20, 9);
    Reply r = f.command(ZTCONTROL_PRESET_CUSTOM_CREATE, req);
    EXPECT_EQ(r.result, ZT_OK);
    auto rsp = parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(r);
    EXPECT_EQ(rsp.preset_id(), 0x20006);
    EXPECT_EQ(rsp.result(), RESULT_SUCCESS);
    const Bytes payload = cat(cat(cat(Bytes{2, 20}, u32Arg(17)), cat(u32Arg(20), u32Arg(1))), u32Arg(0));
    EXPECT_EQ(sent(17, 3), std::vector<Bytes>{payload});
    EXPECT_EQ(sent(17, 23), std::vector<Bytes>{{20}});
    EXPECT_EQ(sent(17, 10).size(), 1u);

    // An answer that is no preset id, and a failing flat-mode switch after a good create.
    f.scriptRemote(17, 3, cameraAnswer({1, 2}));
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_CUSTOM_CREATE, req).result, ZT_ERR);
    f.scriptRemote(17, 3, cameraAnswer(u32Arg(0x20006)));
    f.scriptRemote(17, 23, cameraError(-2));
    r = f.command(ZTCONTROL_PRESET_CUSTOM_CREATE, req);
    EXPECT_EQ(r.result, -2);
    EXPECT_EQ(parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(r).preset_id(), 0x20006);
    // No title number can be found when a record cannot be read.
    f.scriptRemote(17, 2, cameraAnswer(Bytes(12, 0)));
    r = f.command(ZTCONTROL_PRESET_CUSTOM_CREATE, req);
    EXPECT_EQ(r.result, ZT_ERR);
    EXPECT_TRUE(f.log().contains("Failed to get preset number", UTIL_LOG_ERROR));
}

TEST_F(PresetAnswersTest, SingleOperationsSendTheirPayloadAndAnswerTheCameraResult) {
    struct Case {
        uint32_t id;
        Bytes request;
        uint8_t op;
        Bytes payload;
        std::string errorLine;
    };
    ZTC_Preset_Load_Req one;
    one.set_preset_id(0x10002);
    ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(0x4);
    order.set_order(2);
    const std::string withPayload = "ztc_send_remote_api_payload error", simple = "ztc_send_simple_remote_api error";
    const Case cases[] = {
        {ZTCONTROL_PRESET_CUSTOM_REMOVE, serialized(one), 4, u32Arg(0x10002), withPayload},
        {ZTCONTROL_PRESET_SET_ORDER, serialized(order), 5, cat(u32Arg(4), u32Arg(2)), withPayload},
        {ZTCONTROL_PRESET_LOAD, serialized(one), 12, u32Arg(0x10002), withPayload},
        {ZTCONTROL_PRESET_EDIT_START, serialized(one), 8, u32Arg(0x10002), withPayload},
        {ZTCONTROL_PRESET_FACTORY_RESET, serialized(one), 13, u32Arg(0x10002), withPayload},
        {ZTCONTROL_PRESET_OP_9, {}, 9, {}, simple},
        {ZTCONTROL_PRESET_EDIT_STORE, {}, 10, {}, simple},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const std::optional<Bytes> arg = c.request.empty() ? std::nullopt : std::optional<Bytes>(c.request);
        f.clearRequests();
        EXPECT_EQ(f.command(c.id, arg).result, ZT_OK);
        EXPECT_EQ(sent(17, c.op), std::vector<Bytes>{c.payload});
        f.scriptRemote(17, c.op, cameraError(-7));
        EXPECT_EQ(f.command(c.id, arg).result, -7);
        EXPECT_TRUE(f.log().contains(c.errorLine + ", -7\n", UTIL_LOG_ERROR));
        f.scriptRemote(17, c.op, std::nullopt);
        if (!c.request.empty()) {
            EXPECT_EQ(f.command(c.id, Bytes{0x18, 0x01}).result, ZT_ERR_INVALID_PARAM);
        }
    }
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_SET_ORDER, serialized(one)).result, ZT_ERR_INVALID_PARAM);  // no order
}

TEST_F(PresetAnswersTest, ActivePresetAndTheEditsOfTheActivePreset) {
    f.setStatus(19, 1, 4);
    f.setStatus(11, 0x10004, 4);
    Reply r = f.command(ZTCONTROL_PRESET_GET_ACTIVE_PRESET, u8Arg(3));  // any argument is ignored
    EXPECT_EQ(r.result, ZT_OK);
    EXPECT_EQ(r.payload, u32Arg(0x10004));
    EXPECT_TRUE(f.log().contains("ZTCONTROL_PRESET_GET_ACTIVE_PRESET", UTIL_LOG_INFO));
    f.scriptRemote(8, 11, cameraAnswer({2}));
    r = f.command(ZTCONTROL_PRESET_GET_ACTIVE_PRESET);
    EXPECT_EQ(r.result, ZT_ERR);
    EXPECT_EQ(r.payload, u32Arg(0));

    // A predefined active preset keeps its flat mode: nothing is opened or sent.
    f.clearRequests();
    f.server()->activePreset = 131073;
    ZTC_Preset_Switch_Flatmode_Req sw;
    sw.set_flat_mode(15);
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_SWITCH_FLATMODE, serialized(sw)).result, ZT_ERR);
    EXPECT_TRUE(f.log().contains("Can't change flatmode for builtin preset", UTIL_LOG_ERROR));
    EXPECT_TRUE(f.requests("RA").empty());

    // Title and icon need at least one of the two, and a whole record of the active preset.
    f.server()->activePreset = 0x10004;
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_SET_TITLE_ICON, Bytes{}).result, ZT_ERR_INVALID_PARAM);
    ZTC_Preset_Set_Title_Icon_Req title;
    title.set_preset_icon(25);
    f.scriptRemote(17, 2, cameraAnswer(Bytes(20, 0)));
    EXPECT_EQ(f.command(ZTCONTROL_PRESET_SET_TITLE_ICON, serialized(title)).result, ZT_ERR);
    EXPECT_EQ(f.log().countContaining("size was 20, expected 80"), 1u);
    EXPECT_TRUE(sent(17, 15).empty());
}

}  // namespace
