// Setting one setting by its id inside a preset edit, then the follow-ups that keep dependent
// settings consistent: automatic shutter, the ultrex ISO minimum/limit pair, photo timer,
// on-screen controls, audio options and orientation.
#include <string.h>

#include "commands/command_family.h"
#include "commands/settings_status.h"
#include "csi_settings.h"
#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

enum SettingId : int {
    kVideoResolution = 2,
    kVideoFps = 3,
    kVideoIsoLimit = 13,
    kPhotoIsoLimit = 24,
    kCaptureDuration = 32,
    kMultishotIsoLimit = 37,
    kQuickCaptureAlias = 55,
    kPhotoIsoMin = 75,
    kMultishotIsoMin = 76,
    kQuickCapture = 91,
    kVideoIsoMin = 102,
    kPhotoTimer = 105,
    kOrientation = 112,
    kOnscreenControl0 = 129,
    kOnscreenControl1 = 130,
    kOnscreenShortcut0 = 131,
    kOnscreenShortcut1 = 132,
    kFlatMode = 144,
    kAutoShutter = 145,
    kAudioOption = 149,
    kMicOption = 164,
};

constexpr uint8_t kAudioAccessoryOwnsAudio = 3;

constexpr uint8_t kOnscreenModel = 51;
constexpr uint32_t kOrientationAuto = 255;
constexpr uint8_t kOrientationUnlocked = 0;
constexpr uint8_t kOrientationFollowStream = 5;

// The camera's current blocks, status then settings, as the settings library reads them. Zero
// where a read failed.
struct CurrentBlocks {
    uint8_t bytes[CSI_STATUS_BLOCK_SIZE + CSI_SETTINGS_BLOCK_SIZE];
    const uint8_t* status() const { return bytes; }
    uint8_t* settings() { return bytes + CSI_STATUS_BLOCK_SIZE; }
};

// Reads both blocks. A failed read leaves its part zero; a block of the wrong size ends with -1.
int32_t readCurrentBlocks(CurrentBlocks& blocks) {
    memset(blocks.bytes, 0, sizeof(blocks.bytes));
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQuery(7, 30, &answer, &length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d\n", e);
    } else if (length != CSI_SETTINGS_BLOCK_SIZE) {
        ZTLOG(UTIL_LOG_ERROR, "REMOTE_SYSTEM_ALL_SETTINGS_GET wrong size = %d", length);
        return ZT_ERR;
    } else {
        memcpy(blocks.settings(), answer, length);
    }
    e = remoteQuery(8, 11, &answer, &length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response REMOTE_SYSTEM_ALL_STATUS_GET error, %d\n", e);
    } else if (length != CSI_STATUS_BLOCK_SIZE) {
        ZTLOG(UTIL_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET wrong size = %d", length);
        return ZT_ERR;
    } else {
        memcpy(blocks.bytes, answer, length);
    }
    return ZT_OK;
}

struct SettingTable {
    const csi_setting_row_t* rows;
    int count;
    bool has(int id) const { return id >= 0 && id < count; }
};

int32_t setValue(const SettingTable& table, int id, int value, const uint8_t* blocks) {
    const csi_setting_row_t& row = table.rows[id];
    return camera_if_settings_set_value_int(&g_ztcContext, id, row[CSI_ROW_BLOCK], row[CSI_ROW_OFFSET], value,
                                            row[CSI_ROW_WIDTH], blocks);
}

// A new resolution or frame rate may make a manual shutter invalid; when it does not, the
// automatic shutter setting is switched off.
int32_t autoShutterFollowUp(const SettingTable& table, const uint8_t* blocks) {
    bool invalid = false;
    int32_t e = ztc_video_validate_shutter(&g_ztcContext, &invalid);
    if (e != ZT_OK || invalid) {
        ZTLOG(UTIL_LOG_ERROR, "camera_if_settings_set_value_int error, %d\n", e);
        return e;
    }
    // A table without the automatic shutter row has nothing to switch off; refused rather than
    // read past the table.
    e = table.has(kAutoShutter) ? setValue(table, kAutoShutter, 0, blocks) : ZT_ERR_INVALID_PARAM;
    if (e != ZT_OK)
        ZTLOG(UTIL_LOG_ERROR, "camera_if_settings_set_value_int error, %d, couldn't set auto shutter\n", e);
    return e;
}

// The ultrex ISO range of one capture family: a new limit below the minimum pulls the minimum
// down, a new minimum above the limit pushes the limit up.
struct IsoFamily {
    int limitId;
    int minId;
    int (*getLimit)(ztc_msg_q_context_t*, int*);
    int (*getMin)(ztc_msg_q_context_t*, int*);
    int (*setLimit)(ztc_msg_q_context_t*, int);
    int (*setMin)(ztc_msg_q_context_t*, int);
    int (*isoNumber)(int);
};

const IsoFamily kIsoFamilies[] = {
    {kVideoIsoLimit, kVideoIsoMin, ztc_video_ultrex_iso_get, ztc_video_ultrex_iso_min_get,
     ztc_video_ultrex_iso_set, ztc_video_ultrex_iso_min_set, ztc_video_ultrex_iso_number},
    {kPhotoIsoLimit, kPhotoIsoMin, ztc_photo_ultrex_iso_get, ztc_photo_ultrex_iso_min_get,
     ztc_photo_ultrex_iso_set, ztc_photo_ultrex_iso_min_set, ztc_photo_ultrex_iso_number},
    {kMultishotIsoLimit, kMultishotIsoMin, ztc_multishot_ultrex_iso_get, ztc_multishot_ultrex_iso_min_get,
     ztc_multishot_ultrex_iso_set, ztc_multishot_ultrex_iso_min_set, ztc_photo_ultrex_iso_number},
};

// Keeps minimum <= limit after one of them was set to value. False when id is neither.
bool isoRangeFollowUp(int id, int value, int32_t& result) {
    for (const IsoFamily& f : kIsoFamilies) {
        if (id != f.limitId && id != f.minId) continue;
        const bool limitChanged = id == f.limitId;
        int other = 0;
        result = (limitChanged ? f.getMin : f.getLimit)(&g_ztcContext, &other);
        const bool crossed =
            limitChanged ? f.isoNumber(other) > f.isoNumber(value) : f.isoNumber(other) < f.isoNumber(value);
        if (result != ZT_OK || crossed) result = (limitChanged ? f.setMin : f.setLimit)(&g_ztcContext, value);
        return true;
    }
    return false;
}

// Orientation 255 follows the stream: the camera's stream orientation code picks the lock.
uint8_t orientationFor(ZtcontrolCommandServer* server, uint32_t value, const uint8_t* status) {
    uint8_t o = (uint8_t)value;
    if (o == kOrientationUnlocked || o == kOrientationFollowStream) server->orientation = o;
    if (value != kOrientationAuto) return o;
    const uint8_t stream = status[STATUS_STREAM_ORIENTATION];
    if (server->orientation == kOrientationFollowStream) return (stream & ~0x02u) ? 2 : 1;
    switch (stream) {
        case 0:
            return 1;
        case 1:
            return 2;
        case 2:
            return 4;
        case 3:
            return 3;
        default:
            ZTLOG(UTIL_LOG_ERROR, "Orientation[%d] is unrecognized", stream);
            return o;
    }
}

// The follow-up of a setting, replacing result. False when the answer must go out at once,
// without storing the preset edit.
bool followUp(CommandContext& c, const SettingTable& table, int id, int value, const uint8_t* blocks,
              int32_t& result) {
    const uint8_t* status = blocks;
    switch (id) {
        case kVideoResolution:
        case kVideoFps:
            result = autoShutterFollowUp(table, blocks);
            return true;
        case kPhotoTimer:
            result = ztc_app_set_capture_delay(&g_ztcContext, value);
            return true;
        case kOnscreenControl0:
        case kOnscreenControl1:
            result = ztc_settings_set_onscreen_control(&g_ztcContext, value, id - kOnscreenControl0);
            return true;
        case kOnscreenShortcut0:
        case kOnscreenShortcut1: {
            uint8_t model = 0;
            int32_t e = c.server->readModelNumber(&model);
            if (e != ZT_OK) {
                ZTLOG(UTIL_LOG_ERROR, "Couldn't get model_number - can't update onscreen_shortcuts");
                result = e;
                return false;
            }
            const int which = (id - kOnscreenShortcut0) + (model == kOnscreenModel ? 0 : 2);
            result = ztc_settings_set_onscreen_control(&g_ztcContext, value, which);
            return true;
        }
        case kAudioOption:
        case kMicOption:
            if (status[STATUS_AUDIO_ACCESSORY] != kAudioAccessoryOwnsAudio)
                result = (id == kAudioOption ? ztc_audio_set_audio_option : ztc_audio_set_mic_option)(
                    &g_ztcContext, (uint8_t)value);
            return true;
        case kOrientation:
            result =
                ztc_setup_set_orientation(&g_ztcContext, orientationFor(c.server, (uint32_t)value, status));
            return true;
        default:
            isoRangeFollowUp(id, value, result);
            return true;
    }
}

}  // namespace

int32_t setSettingById(CommandContext& c) {
    uint8_t model = 0;
    int32_t e = c.server->readModelNumber(&model);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "Couldn't get model_number - not able to set setting ID");
        return e;
    }
    SettingTable table{nullptr, 0};
    table.rows = camera_settings_id_table(model, &table.count);
    if (!table.rows) return refusePrecondition(c, "Couldn't get settings_id_table_count");
    const uint8_t* arg = argumentBytes(c);
    int id = (int)readLe32(arg);
    int value = (int)readLe32(arg + 4);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_SET_SETTING_ID: id:%d value:%d", id, value);

    if (id == kFlatMode && isPredefinedPresetId((uint32_t)c.server->refreshActivePreset()))
        return refusePrecondition(c, "Cant set flat mode for factory preset");
    if (!beginPresetEdit(id)) return refusePresetEdit(c);

    int32_t result = ZT_ERR_INVALID_PARAM;
    if (table.has(id)) {
        if (id == kVideoResolution && value == 17) value = 13;
        if (id == kCaptureDuration && value == 3601) value = 0;
        if (id == kQuickCaptureAlias) id = kQuickCapture;
        CurrentBlocks blocks;
        // A block of the wrong size answers at once; the edit stays open until the next one.
        if (readCurrentBlocks(blocks) != ZT_OK) return ZT_ERR;
        // A table too short for the alias's target is refused rather than read past.
        result = table.has(id) ? setValue(table, id, value, blocks.bytes) : ZT_ERR_INVALID_PARAM;
        if (!followUp(c, table, id, value, blocks.bytes, result)) return result;
    }
    storePresetEdit(id);
    return result;
}
