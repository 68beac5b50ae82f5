// Button presses: the camera's own buttons, and the multi-camera shutter and mode buttons, which
// start or stop capture or load the current preset of a mode family.
#include <string.h>

#include "commands/capture_mode.h"
#include "commands/command_family.h"
#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

enum ButtonType : uint32_t {
    kMultiCamShutter = 16,
    kMultiCamMode = 17,
    kNoAction = 18,
};

// The status block up to the words read for the multi-camera mode.
constexpr uint16_t kStatusWordsEnd = STATUS_MODE_GROUP + 4;

constexpr uint32_t kMixMode = 3;

int32_t refuseButton(CommandContext& c) {
    c.refused = true;
    return ZT_ERR_INVALID_PARAM;
}

int32_t multiCamShutter(CommandContext& c, uint32_t value) {
    if (value > 1) {
        ZTLOG(UTIL_LOG_ERROR, "Invalid multi-cam shutter press:%d", (int)value);
        return refuseButton(c);
    }
    const uint8_t on = value == 0 ? 1 : 0;
    ZTLOG(UTIL_LOG_DEBUG, "Multi-cam shutter press:%d on/off[%d]", (int)value, on);
    return ztc_shutter(&g_ztcContext, on);
}

// The status offset of the current preset of a preset group of the mix mode, or 0 for none.
uint16_t presetOfMixGroup(uint8_t group) {
    switch (group) {
        case 0:
        case 3:
            return STATUS_VIDEO_PRESET;
        case 1:
        case 4:
        case 8:
            return STATUS_PHOTO_PRESET;
        case 2:
        case 5:
            return STATUS_TIMELAPSE_PRESET;
        default:
            return 0;
    }
}

int32_t multiCamMode(CommandContext& c, uint32_t value) {
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQuery(8, 11, &answer, &length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "Could not get status, %d\n", e);
        return ZT_ERR;
    }
    if (isCameraOffAnswer(answer, length)) return answerCameraOff(false);
    // The words read below must be in the answer; a shorter one is treated like a failed query.
    if (length < kStatusWordsEnd) {
        ZTLOG(UTIL_LOG_ERROR, "Status answer of %u bytes is too short for the current presets", length);
        return ZT_ERR;
    }
    // Copied: the next camera call reuses the library's answer buffer.
    uint8_t status[kStatusWordsEnd];
    memcpy(status, answer, sizeof(status));
    ZTLOG(UTIL_LOG_DEBUG,
          "MULTI_CAM_MODE_TYPE[%02X] active: video preset[%ld]  photo preset[%ld] time_lapse preset[%ld] "
          "presets_group[%ld]",
          (unsigned)value, (long)(int32_t)readLe32(status + STATUS_VIDEO_PRESET),
          (long)(int32_t)readLe32(status + STATUS_PHOTO_PRESET),
          (long)(int32_t)readLe32(status + STATUS_TIMELAPSE_PRESET),
          (long)(int32_t)readLe32(status + STATUS_MODE_GROUP));

    uint16_t presetOffset;
    if (value < kMixMode) {
        presetOffset = (uint16_t)(STATUS_VIDEO_PRESET + 4 * value);
    } else if (value == kMixMode) {
        e = remoteQuery(7, 10, &answer, &length);
        if (e != ZT_OK || length < 1) {
            ZTLOG(UTIL_LOG_ERROR, "Could not get status, %d\n", e);
            return ZT_ERR;
        }
        presetOffset = presetOfMixGroup(answer[0]);
        if (!presetOffset) {
            ZTLOG(UTIL_LOG_ERROR, "Group_id[%ld] was not found for Multi-Cam Mix", (long)answer[0]);
            return refuseButton(c);
        }
    } else {
        ZTLOG(UTIL_LOG_ERROR, "Invalid mode:%d button type:%d", (int)value, (int)kMultiCamMode);
        return refuseButton(c);
    }
    return ztc_send_remote_api_payload(&g_ztcContext, PRESET_CATEGORY, 12, status + presetOffset, 4);
}

}  // namespace

int32_t systemButtonSet(CommandContext& c) {
    const uint8_t* arg = argumentBytes(c);
    const uint32_t type = readLe32(arg);
    const uint32_t value = readLe32(arg + 4);
    switch (type) {
        case kNoAction:
            return ZT_OK;
        case kMultiCamShutter:
            return multiCamShutter(c, value);
        case kMultiCamMode:
            return multiCamMode(c, value);
        default:
            break;
    }
    // Button types 0, 1, 2 are the library's buttons 1, 0, 2; a press (0) is state 3, 1 state 2.
    static const int kLibraryButton[] = {1, 0, 2};
    if (type > 2) {
        ZTLOG(UTIL_LOG_ERROR, "Invalid button type:%d", (int)type);
        return refuseButton(c);
    }
    if (value > 1) {
        ZTLOG(UTIL_LOG_ERROR, "Invalid button state:%d", (int)value);
        return refuseButton(c);
    }
    const int button = kLibraryButton[type];
    const int state = value == 0 ? 3 : 2;
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_SYSTEM_BUTTON_SET: button type:%d  button state:%d", button, state);
    return ztc_system_set_button(&g_ztcContext, button, state);
}
