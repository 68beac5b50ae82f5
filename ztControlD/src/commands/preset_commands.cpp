// Preset commands: listing groups and presets, reading, creating, removing, reordering, loading,
// editing, resetting and renaming presets. Requests and answers are protobuf messages; the camera
// side is remote category 17.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "commands/command_family.h"
#include "csi_settings.h"
#include "server/ztcontrol_if_server.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

using namespace ztcontrol::presets;
using wsdk_commands::WSDK_Preset;

// Room left in a response message for the payload: whatever the message layout, a header, the
// result and the end element take less than this.
constexpr size_t kResponseOverhead = 64;
constexpr size_t kMaxMessageAnswer = ZT_MSG_BUFFER_SIZE - kResponseOverhead;
constexpr uint32_t kLastGroupIndex = 7;
constexpr uint8_t kLastListedGroup = 5;
constexpr uint8_t kDualLensGroupOffset = 3;
constexpr int kDualLensMode = 1;
constexpr int kMaxUserPresetsToAdd = 9;  // a group with more user presets takes no new one
constexpr useconds_t kCreateSettleUs = 500 * 1000;

// Requests may name a group by its index or by its client-side id (index + 1000).
uint32_t groupIndexOf(uint32_t groupId) {
    return groupId >= PRESET_GROUP_ID_BASE ? groupId - PRESET_GROUP_ID_BASE : groupId;
}

bool parseRequest(const CommandContext& c, google::protobuf::MessageLite& request) {
    return c.argument && request.ParseFromArray(c.argument->getData(), c.argument->getLength());
}

// A serialized message as the payload. A message too large for one response is answered -1
// without payload rather than lost: the mailbox carries at most one message per answer.
int32_t answerWithMessage(CommandContext& c, int32_t result, const google::protobuf::MessageLite& message) {
    const size_t size = message.ByteSizeLong();
    if (size > kMaxMessageAnswer) {
        ZTLOG(UTIL_LOG_ERROR, "Answer of %u bytes is too long to return", (unsigned)size);
        return ZT_ERR;
    }
    message.SerializeWithCachedSizesToArray(c.scratch);
    c.payload = c.scratch;
    c.payloadLength = (uint16_t)size;
    return result;
}

int32_t readModelOrAnswer(CommandContext& c, uint8_t* model) {
    int32_t e = c.server->readModelNumber(model);
    if (e != 0) ZTLOG(UTIL_LOG_ERROR, "Couldn't get model_number - can't get preset list ids");
    return e;
}

// One operation with a payload, its failure logged and answered as it is.
int32_t presetPayloadOperation(uint8_t op, const uint8_t* payload, uint16_t length) {
    int32_t e = ztc_send_remote_api_payload(&g_ztcContext, PRESET_CATEGORY, op, payload, length);
    if (e != 0) ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload error, %d\n", e);
    return e;
}

// The shape of commands 74, 76, 77 and 80: a request naming one preset, sent to one operation.
template <typename Request>
int32_t presetIdOperation(CommandContext& c, uint8_t op) {
    Request request;
    if (!parseRequest(c, request) || !request.has_preset_id()) return refuseArgument(c);
    printf("preset id is %u\n", request.preset_id());
    uint8_t payload[4];
    writeLe32(payload, request.preset_id());
    return presetPayloadOperation(op, payload, sizeof(payload));
}

int32_t setOrder(CommandContext& c) {
    ZTC_Preset_Set_Order_Req request;
    if (!parseRequest(c, request) || !request.has_preset_id() || !request.has_order()) return refuseArgument(c);
    uint8_t payload[8];
    writeLe32(payload, request.preset_id());
    writeLe32(payload + 4, request.order());
    return presetPayloadOperation(5, payload, sizeof(payload));
}

// Commands 78 and 79: one operation without payload.
int32_t simplePresetOperation(uint8_t op) {
    int32_t e = ztc_send_simple_remote_api(&g_ztcContext, PRESET_CATEGORY, op);
    if (e != 0) ZTLOG(UTIL_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", e);
    return e;
}

// Group list answer of 17/0: count byte, then the group indexes.
struct GroupList {
    bool answered = false;  // the camera answered at least one byte
    uint8_t count = 0;
    uint8_t groups[255];
};

// The remote result (an empty answer keeps it, unanswered), or -1 for a short answer.
int32_t fetchGroupList(GroupList* list) {
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQuery(PRESET_CATEGORY, 0, &answer, &length);
    if (e != 0 || length == 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d\n", e);
        return e;
    }
    if (length < 1 + (uint32_t)answer[0]) {  // shorter than its count says
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d\n", -1);
        return ZT_ERR;
    }
    list->answered = true;
    list->count = answer[0];
    memcpy(list->groups, answer + 1, list->count);
    return 0;
}

// The presets of one group (17/1). The remote result (an empty answer keeps it, with answered
// false), or -1 when the answer is short.
int32_t fetchPresetIds(uint8_t group, PresetIdList* list, bool* answered) {
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQueryWithPayload(PRESET_CATEGORY, 1, &group, sizeof(group), &answer, &length);
    list->count = 0;
    *answered = e == 0 && length > 0;
    if (!*answered) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", e);
        return e;
    }
    if (!readPresetIdList(answer, length, list)) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", -1);
        return ZT_ERR;
    }
    return 0;
}

int32_t loadForMode(CommandContext& c) { return loadPresetForMode((int)c.value); }

int32_t groupList(CommandContext& c) {
    GroupList groups;
    int32_t e = fetchGroupList(&groups);
    if (e != 0 || !groups.answered) return e;
    ZTC_Preset_Group_List_Resp response;
    for (uint8_t i = 0; i < groups.count; ++i) {
        const uint8_t g = groups.groups[i];
        if (g >= 3 && g <= 5) continue;  // dual-lens groups are listed as their single-lens twins
        response.add_preset_groups(g + PRESET_GROUP_ID_BASE);
    }
    return answerWithMessage(c, 0, response);
}

int32_t presetList(CommandContext& c) {
    uint8_t model;
    int32_t e = readModelOrAnswer(c, &model);
    if (e != 0) return e;
    ZTC_Preset_List_Req request;
    if (!parseRequest(c, request) || !request.has_group_id()) return refuseArgument(c);
    uint32_t group = groupIndexOf(request.group_id());
    if (group > kLastGroupIndex) return refuseArgument(c);
    printf("group id is %d\n", (int)group);
    if (c.server->getLensMode() == kDualLensMode && group < kDualLensGroupOffset) group += kDualLensGroupOffset;

    PresetIdList ids;
    bool answered;
    e = fetchPresetIds((uint8_t)group, &ids, &answered);
    if (e != 0 || !answered) return e;
    ZTC_Preset_List_Resp response;
    for (uint8_t i = 0; i < ids.count; ++i) response.add_presets(ids.ids[i]);
    return answerWithMessage(c, 0, response);
}

int32_t presetInfo(CommandContext& c) {
    ZTC_Preset_Info_Req request;
    if (!parseRequest(c, request) || !request.has_preset_id()) return refuseArgument(c);
    uint8_t record[PRESET_RECORD_SIZE];
    int32_t e = fetchPresetRecord(request.preset_id(), record, true);
    if (e != 0) return e;
    WSDK_Preset preset;
    preset.set_id((int32_t)readLe32(record + PRESET_RECORD_ID));
    presetRecordToWsdk(record, &preset);
    return answerWithMessage(c, 0, preset);
}

int32_t customCreate(CommandContext& c) {
    uint8_t model;
    int32_t e = readModelOrAnswer(c, &model);
    if (e != 0) return e;
    ZTC_Preset_Custom_Create_Req request;
    if (!parseRequest(c, request) || !request.has_group_id() || !request.has_flat_mode() ||
        !request.has_preset_icon() || !request.has_preset_name() || !request.has_preset_name_iterator())
        return refuseArgument(c);
    const uint8_t group = (uint8_t)groupIndexOf(request.group_id());
    const uint8_t flatMode = (uint8_t)request.flat_mode();
    const uint32_t icon = request.preset_icon();
    const uint32_t title = request.preset_name();
    if (icon < 18 || icon > 1001 || title < 18 || title > 57 || group > 2 || flatMode < 12 || flatMode > 27)
        return refuseArgument(c);

    const int titleNumber = nextTitleIterator(group, title);
    if (titleNumber == -1) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to get preset number");
        return ZT_ERR;
    }
    uint8_t payload[18] = {};
    payload[0] = group;
    payload[1] = flatMode;
    writeLe32(payload + 2, MapWSDKIconToFW(icon));
    writeLe32(payload + 6, mapWsdkTitleToFw(title));
    writeLe32(payload + 10, (uint32_t)titleNumber);
    const uint8_t* answer;
    uint16_t length;
    e = remoteQueryWithPayload(PRESET_CATEGORY, 3, payload, sizeof(payload), &answer, &length);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", e);
        return e;
    }
    if (length != 4) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", -1);
        return ZT_ERR;
    }
    const uint32_t presetId = readLe32(answer);
    printf("resp size %d, success=%d\n", (int)length, 1);

    // The camera needs a moment before the new preset takes its flat mode.
    usleep(kCreateSettleUs);
    const int32_t result = sendRemoteByte(PRESET_CATEGORY, 23, flatMode) |
                           ztc_send_simple_remote_api(&g_ztcContext, PRESET_CATEGORY, 10);
    if (result != 0) ZTLOG(UTIL_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", result);
    wsdk_commands::WSDK_ResponseCreateCustomPreset response;
    response.set_preset_id((int32_t)presetId);
    response.set_result(RESULT_SUCCESS);
    return answerWithMessage(c, result, response);
}

// Clears the pending preset-change state once a client has read every preset.
void clearPresetState() {
    const uint32_t cleared = 0;
    csi_set(CSI_ITEM_PRESET_STATE, &cleared, sizeof(cleared));
}

// Appends one group with its presets; a failed camera read stops the whole command.
int32_t appendGroup(uint8_t group, const PresetIdList& ids, int lensMode, uint8_t model,
                    wsdk_commands::WSDK_NotifyPresetStatus* status) {
    auto* out = status->add_preset_group_array();
    out->set_id((wsdk_commands::WSDK_EnumPresetGroup)(foldDualLensGroup(group) + PRESET_GROUP_ID_BASE));
    int userDefined = 0;
    for (uint8_t i = 0; i < ids.count; ++i) {
        uint8_t record[PRESET_RECORD_SIZE];
        int32_t e = fetchPresetRecord(ids.ids[i], record, false);
        if (e != 0) return e;
        WSDK_Preset* preset = out->add_preset_array();
        preset->set_id((int32_t)ids.ids[i]);
        presetRecordToWsdk(record, preset, lensMode, model);
        if (preset->user_defined()) ++userDefined;
    }
    out->set_can_add_preset(userDefined <= kMaxUserPresetsToAdd && isModel50Or55(model) && group <= 2);
    return 0;
}

int32_t getPresets(CommandContext& c) {
    GroupList groups;
    int32_t e = fetchGroupList(&groups);
    if (e != 0 || !groups.answered) return e;
    const int lensMode = c.server->getLensMode();
    const uint8_t model = modelNumberOrDefault(c.server);
    if (groups.count == 0) {
        ZTLOG(UTIL_LOG_ERROR, "No groups returned\n");
        return ZT_ERR;
    }
    wsdk_commands::WSDK_NotifyPresetStatus status;
    for (uint8_t i = 0; i < groups.count; ++i) {
        const uint8_t g = groups.groups[i];
        if (g > kLastListedGroup) continue;
        if (lensMode == kDualLensMode && g < kDualLensGroupOffset) continue;
        if (lensMode == 0 && g >= kDualLensGroupOffset) continue;
        PresetIdList ids;
        bool answered;
        e = fetchPresetIds(g, &ids, &answered);
        if (e != 0 || !answered) return e;
        if (ids.count == 0) continue;
        e = appendGroup(g, ids, lensMode, model, &status);
        if (e != 0) return e;
    }
    e = answerWithMessage(c, 0, status);
    if (e == 0) c.afterResponse = clearPresetState;
    return e;
}

int32_t switchFlatMode(CommandContext& c) {
    ZTC_Preset_Switch_Flatmode_Req request;
    if (!parseRequest(c, request) || !request.has_flat_mode()) return refuseArgument(c);
    if (isPredefinedPresetId((uint32_t)c.server->refreshActivePreset()))
        return refusePrecondition(c, "Can't change flatmode for builtin preset");
    return changeInPresetEdit(c, -1, [&] { return sendRemoteByte(PRESET_CATEGORY, 23, (uint8_t)request.flat_mode()); });
}

int32_t setTitleIcon(CommandContext& c) {
    const uint32_t active = (uint32_t)c.server->refreshActivePreset();
    ZTC_Preset_Set_Title_Icon_Req request;
    if (!parseRequest(c, request) || (!request.has_preset_name() && !request.has_preset_icon()))
        return refuseArgument(c);
    uint8_t record[PRESET_RECORD_SIZE];
    int32_t e = fetchPresetRecord(active, record, true);
    if (e != 0) return e;
    uint8_t payload[20] = {};
    writeLe32(payload, active);
    writeLe32(payload + 4,
              request.has_preset_icon() ? MapWSDKIconToFW(request.preset_icon()) : readLe32(record + PRESET_RECORD_ICON));
    writeLe32(payload + 8, request.has_preset_name() ? request.preset_name() : readLe32(record + PRESET_RECORD_TITLE));
    memcpy(payload + 12, record + PRESET_RECORD_TITLE_NUMBER, 4);
    return changeInPresetEdit(c, -1, [&] {
        return ztc_send_remote_api_payload(&g_ztcContext, PRESET_CATEGORY, 15, payload, sizeof(payload));
    });
}

int32_t activePreset(CommandContext& c) {
    ZTLOG(UTIL_LOG_INFO, "ZTCONTROL_PRESET_GET_ACTIVE_PRESET");
    const int32_t id = c.server->getActivePreset();
    writeLe32(c.scratch, id == -1 ? 0 : (uint32_t)id);
    c.payload = c.scratch;
    c.payloadLength = 4;
    return id == -1 ? ZT_ERR : ZT_OK;
}

const CommandBinding kBindings[] = {
    {ZTCONTROL_PRESET_LOAD_FOR_MODE, loadForMode, 0, nullptr},
    {ZTCONTROL_PRESET_GROUP_LIST, groupList, 0, nullptr},
    {ZTCONTROL_PRESET_LIST, presetList, 0, nullptr},
    {ZTCONTROL_PRESET_INFO, presetInfo, 0, nullptr},
    {ZTCONTROL_PRESET_CUSTOM_CREATE, customCreate, 0, nullptr},
    {ZTCONTROL_PRESET_CUSTOM_REMOVE, [](CommandContext& c) { return presetIdOperation<ZTC_Preset_Custom_Remove_Req>(c, 4); },
     0, nullptr},
    {ZTCONTROL_PRESET_SET_ORDER, setOrder, 0, nullptr},
    {ZTCONTROL_PRESET_LOAD, [](CommandContext& c) { return presetIdOperation<ZTC_Preset_Load_Req>(c, 12); }, 0, nullptr},
    {ZTCONTROL_PRESET_EDIT_START, [](CommandContext& c) { return presetIdOperation<ZTC_Preset_Edit_Start_Req>(c, 8); },
     0, nullptr},
    {ZTCONTROL_PRESET_OP_9, [](CommandContext&) { return simplePresetOperation(9); }, 0, nullptr},
    {ZTCONTROL_PRESET_EDIT_STORE, [](CommandContext&) { return simplePresetOperation(10); }, 0, nullptr},
    {ZTCONTROL_PRESET_FACTORY_RESET,
     [](CommandContext& c) { return presetIdOperation<ZTC_Preset_Factory_Reset_Req>(c, 13); }, 0, nullptr},
    {ZTCONTROL_PRESET_GET_PRESETS, getPresets, 0, "get presets Invalid parameter"},
    {ZTCONTROL_PRESET_SWITCH_FLATMODE, switchFlatMode, 0, nullptr},
    {ZTCONTROL_PRESET_SET_TITLE_ICON, setTitleIcon, 0, nullptr},
    {ZTCONTROL_PRESET_GET_ACTIVE_PRESET, activePreset, 0, nullptr},
};

}  // namespace

const CommandFamily kPresetCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
