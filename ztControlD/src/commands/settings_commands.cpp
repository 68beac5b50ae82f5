// Settings and status commands: the camera's settings and status blocks (raw, extended, or as the
// 624-byte status record), the settings payload, ultrex and on-screen shortcut resets inside a
// preset edit, and the rushlapse settings. Set-setting-by-id and live view are in their own files
// (settings_status.h).
#include <string.h>

#include "commands/command_family.h"
#include "commands/settings_status.h"
#include "csi_settings.h"
#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

constexpr uint16_t kExtendedStatusBuffer = 4096;

// Asks for a block that the camera answers with data. A failed call is logged and answered as it
// failed; the camera-off answer is -103 (the get-all-settings command logs its own spelling).
int32_t queryBlock(uint8_t category, uint8_t op, bool getAllSettings, const uint8_t** answer,
                   uint16_t* length) {
    int32_t e = remoteQuery(category, op, answer, length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d\n", e);
        return e;
    }
    if (isCameraOffAnswer(*answer, *length)) return answerCameraOff(getAllSettings);
    return ZT_OK;
}

// The block answered raw (no payload when the camera answered none).
int32_t answerBlock(CommandContext& c, const char* trace, uint8_t category, uint8_t op) {
    ZTLOG(UTIL_LOG_DEBUG, "%s", trace);
    const uint8_t* answer;
    uint16_t length;
    int32_t e = queryBlock(category, op, category == 7, &answer, &length);
    if (e != ZT_OK) return e;
    return answerWithBytes(c, ZT_OK, answer, length);
}

int32_t settingsPayload(CommandContext& c) {
    return ztc_send_remote_api_payload(&g_ztcContext, 7, 27, argumentBytes(c), c.argument->getLength());
}

int32_t getSettingId(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_GET_SETTING_ID: (NOT IMPLEMENTED)");
    c.refused = true;
    return ZT_OK;
}

// The library is offered a buffer of its own size for the extended block; it may answer with
// one of its own.
int32_t getStatusExtended(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_GET_ALL_STATUS:");
    static uint8_t s_buffer[kExtendedStatusBuffer];
    uint8_t* answer = s_buffer;
    uint16_t length = sizeof(s_buffer);
    int32_t e = ztc_send_remote_api_for_response(&g_ztcContext, 8, 34, &answer, &length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d\n", e);
        return e;
    }
    if (!answer) length = 0;
    if (isCameraOffAnswer(answer, length)) return answerCameraOff(false);
    return answerWithBytes(c, ZT_OK, answer, length);
}

// Copies a camera block into its slot of the status record: a longer block is cut at the slot,
// a shorter one leaves the rest zero.
void copyIntoSlot(uint8_t* slot, size_t slotSize, const uint8_t* block, uint16_t length) {
    memset(slot, 0, slotSize);
    if (block) memcpy(slot, block, length < slotSize ? length : slotSize);
}

int32_t getAllSettingsStatus(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_GET_ALL_SETTINGS_STATUS:");
    static_assert(sizeof(all_status_settings_t) <= COMMAND_SCRATCH_SIZE,
                  "the record is answered from scratch");
    all_status_settings_t* record = reinterpret_cast<all_status_settings_t*>(c.scratch);
    const uint8_t* answer;
    uint16_t length;
    int32_t e = queryBlock(8, 11, false, &answer, &length);
    if (e != ZT_OK) return e;
    copyIntoSlot(record->status.bytes, sizeof(record->status.bytes), answer, length);
    e = queryBlock(7, 30, false, &answer, &length);
    if (e != ZT_OK) return e;
    copyIntoSlot(record->settings.bytes, sizeof(record->settings.bytes), answer, length);
    c.server->fixupStatusRecord(record);
    c.payload = c.scratch;
    c.payloadLength = sizeof(all_status_settings_t);
    return ZT_OK;
}

// Ultrex reset of one capture family (remote 2/26, 3/22, 4/26) inside a preset edit.
template <uint8_t Category, uint8_t Op>
int32_t ultrexResetOf(CommandContext& c) {
    static const char* const kTraces[] = {
        "ZTCONTROL_VIDEO_ULTREX_RESET:", "ZTCONTROL_PHOTO_ULTREX_RESET:", "ZTCONTROL_MULTI_ULTREX_RESET:"};
    static_assert(Category >= 2 && Category <= 4, "ultrex categories are 2 to 4");
    ZTLOG(UTIL_LOG_DEBUG, "%s", kTraces[Category - 2]);
    return changeInPresetEdit(c, -1, [] { return ztc_send_simple_remote_api(&g_ztcContext, Category, Op); });
}

// The ultrex reset of the family of the current flat mode.
int32_t ultrexReset(CommandContext& c) {
    const uint8_t* settings;
    uint16_t length;
    int32_t e = remoteQuery(7, 30, &settings, &length);
    if (e != ZT_OK || length != CSI_SETTINGS_BLOCK_SIZE) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d @ %s:%d\n", e, __FILE__, __LINE__);
        return e;
    }
    const int flatMode = (int8_t)settings[SETTINGS_FLAT_MODE];
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_ULTREX_RESET:");
    return changeInPresetEdit(c, -1, [flatMode] {
        switch (flatMode) {
            case 12:
            case 13:
            case 14:
            case 15:
            case 24:
            case 25:
            case 27:
                return ztc_video_ultrex_reset(&g_ztcContext);
            case 16:
            case 17:
            case 18:
                return ztc_photo_ultrex_reset(&g_ztcContext);
            case 19:
            case 20:
            case 21:
            case 26:
                return ztc_multishot_ultrex_reset(&g_ztcContext);
            default:
                ZTLOG(UTIL_LOG_ERROR, "Flat mode %d, doesn't support ultrex reset. @ %s:%d\n", flatMode,
                      __FILE__, __LINE__);
                return (int)ZT_OK;
        }
    });
}

int32_t onscreenShortcutsReset(CommandContext& c) {
    ZTLOG(UTIL_LOG_INFO, "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET: shortcuts_reset");
    return changeInPresetEdit(c, -1, [] {
        int e = ztc_preset_onscreen_shortcuts_reset(&g_ztcContext);
        if (e != ZT_OK)
            ZTLOG(UTIL_LOG_ERROR, "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET ztc_send_simple_remote_api error, %d\n",
                  e);
        return e;
    });
}

int32_t rushlapseSpeed1x(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_1X_SET: 1x speed enabled:%d", (int)c.value);
    return ztc_video_set_rushlapse_speed_1x(&g_ztcContext, (int)c.value);
}

int32_t rushlapseSpeedRamp(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_SET: speed_ramp:%d", (int)c.value);
    return ztc_video_set_rushlapse_speed_ramp(&g_ztcContext, (int)c.value);
}

int32_t rushlapseSpeedRampActive(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_ACTIVE_SET: speed_ramp_active:%d",
          (int)c.value);
    return ztc_video_set_rushlapse_speed_ramp_active(&g_ztcContext, (int)c.value);
}

constexpr uint16_t kSetSettingArgument = 8;  // id, value
constexpr uint16_t kLiveviewArgument = 16;   // exposure mode, x, y, extra
constexpr uint16_t kSettingsPayloadArgument = 1;

const CommandBinding kBindings[] = {
    {ZTCONTROL_SETTINGS_PAYLOAD, settingsPayload, kSettingsPayloadArgument, nullptr},
    {ZTCONTROL_VIDEO_ULTREX_RESET, ultrexResetOf<2, 26>, 0, nullptr},
    {ZTCONTROL_PHOTO_ULTREX_RESET, ultrexResetOf<3, 22>, 0, nullptr},
    {ZTCONTROL_MULTI_ULTREX_RESET, ultrexResetOf<4, 26>, 0, nullptr},
    {ZTCONTROL_SET_SETTING_ID, setSettingById, kSetSettingArgument, nullptr},
    {ZTCONTROL_GET_SETTING_ID, getSettingId, 0, nullptr},
    {ZTCONTROL_GET_ALL_SETTINGS,
     [](CommandContext& c) { return answerBlock(c, "ZTCONTROL_GET_ALL_SETTINGS:", 7, 30); }, 0, nullptr},
    {ZTCONTROL_GET_ALL_STATUS,
     [](CommandContext& c) { return answerBlock(c, "ZTCONTROL_GET_ALL_STATUS:", 8, 11); }, 0, nullptr},
    {ZTCONTROL_GET_ALL_SETTINGS_STATUS, getAllSettingsStatus, 0, nullptr},
    {ZTCONTROL_LIVEVIEW_MODE_SET, liveviewModeSet, kLiveviewArgument, nullptr},
    {ZTCONTROL_GET_STATUS_EXTENDED, getStatusExtended, 0, nullptr},
    {ZTCONTROL_ULTREX_RESET, ultrexReset, 0, nullptr},
    {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_1X_SET, rushlapseSpeed1x, 0, nullptr},
    {ZTCONTROL_ONSCREEN_SHORTCUTS_RESET, onscreenShortcutsReset, 0, nullptr},
    {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_SET, rushlapseSpeedRamp, 0, nullptr},
    {ZTCONTROL_VIDEO_RUSHLAPSE_SPEED_RAMP_ACTIVE_SET, rushlapseSpeedRampActive, 0, nullptr},
};

}  // namespace

const CommandFamily kSettingsStatusCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
