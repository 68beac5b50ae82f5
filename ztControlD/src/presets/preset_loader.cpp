// Loading the preset of a mode, title numbering, the icon mapping and the preset-id predicates.
#include "presets/preset_loader.h"

#include <string.h>

#include <algorithm>

#include "commands/command_family.h"
#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"

namespace {

constexpr uint8_t kModel51 = 51;
constexpr int kNoPreset = -1;

// The preset a flat mode loads; -1 for flat modes without one, or on model 51 for those it lacks.
int64_t presetForFlatMode(int mode, uint32_t videoDefault, uint32_t photoDefault, uint8_t model) {
    const bool model51 = model == kModel51;
    switch (mode) {
        case 12: return videoDefault;
        case 13: case 20: return model51 ? kNoPreset : 0x20001;
        case 16: case 17: return photoDefault;
        case 18: return model51 ? kNoPreset : 0x10003;
        case 19: return model51 ? kNoPreset : 0x10002;
        case 21: case 26: return model51 ? kNoPreset : 0x20002;
        case 24: return 0x20000;
        case 25: return model51 ? kNoPreset : 0x10001;
        case 27: return model51 ? kNoPreset : 3;
        default: return kNoPreset;
    }
}

}  // namespace

int loadPresetForMode(int mode) {
    ZTLOG(UTIL_LOG_DEBUG, "Input mode is %d for loading preset", mode);
    const uint8_t* status;
    uint16_t length;
    int32_t e = remoteQuery(8, 11, &status, &length);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d @ %s:%d\n", e, __FILE__, __LINE__);
        return e;
    }
    if (isCameraOffAnswer(status, length)) {
        ZTLOG(UTIL_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF\n");
        return -1;
    }
    if (length != CSI_STATUS_BLOCK_SIZE) {
        ZTLOG(UTIL_LOG_ERROR, "ASSERT ERROR - status_all size does not match rsp size=%d", length);
        return -1;
    }
    const uint32_t videoPreset = readLe32(status + STATUS_VIDEO_PRESET);
    const uint32_t photoPreset = readLe32(status + STATUS_PHOTO_PRESET);
    const uint32_t timelapsePreset = readLe32(status + STATUS_TIMELAPSE_PRESET);
    const uint32_t modeGroup = readLe32(status + STATUS_MODE_GROUP);
    const bool dualLens = modeGroup >= 3 && modeGroup <= 5;
    const uint32_t videoDefault = dualLens ? 0x30000 : 0;
    const uint32_t photoDefault = dualLens ? 0x40000 : 0x10000;

    uint8_t model = 0;
    e = ZtcontrolCommandServer::getInstance()->readModelNumber(&model);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Could not get camera model number in load preset from mode");
        return e;
    }

    int64_t preset = kNoPreset;
    if (mode >= 1000 && mode <= 1010) {
        ZTLOG(UTIL_LOG_DEBUG, "Received a group %d", mode);
        switch (mode) {
            case 1000: case 1003: preset = videoPreset; break;
            case 1001: case 1004: preset = photoPreset; break;
            case 1002: case 1005: preset = timelapsePreset; break;
            default:
                ZTLOG(UTIL_LOG_DEBUG, "Found preset %d and is %d", 0, (int)preset);
                return -1;
        }
        ZTLOG(UTIL_LOG_DEBUG, "Found preset %d and is %d", 1, (int)preset);
    } else {
        preset = presetForFlatMode(mode, videoDefault, photoDefault, model);
        if (preset == kNoPreset) return -1;
    }

    uint8_t id[4];
    writeLe32(id, (uint32_t)preset);
    return ztc_send_remote_api_payload(&g_ztcContext, PRESET_CATEGORY, 12, id, sizeof(id));
}

bool readPresetIdList(const uint8_t* answer, uint16_t length, PresetIdList* list) {
    list->count = 0;
    if (!answer || length < 1 || length < 1 + 4 * (uint32_t)answer[0]) return false;
    list->count = answer[0];
    for (uint8_t i = 0; i < list->count; ++i) list->ids[i] = readLe32(answer + 1 + 4 * i);
    return true;
}

int32_t fetchPresetRecord(uint32_t id, uint8_t* record, bool detailedSizeLine) {
    uint8_t payload[4];
    writeLe32(payload, id);
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQueryWithPayload(PRESET_CATEGORY, 2, payload, sizeof(payload), &answer, &length);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", e);
        return e;
    }
    if (length != PRESET_RECORD_SIZE) {
        if (detailedSizeLine)
            ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d, size was %u, expected %llu\n", -1,
                  length, (unsigned long long)PRESET_RECORD_SIZE);
        else
            ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", -1);
        return -1;
    }
    memcpy(record, answer, PRESET_RECORD_SIZE);
    return 0;
}

int nextTitleIterator(uint8_t group, uint32_t title) {
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQueryWithPayload(PRESET_CATEGORY, 1, &group, sizeof(group), &answer, &length);
    if (e != 0 || length == 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", e);
        return -1;
    }
    PresetIdList list;
    if (!readPresetIdList(answer, length, &list)) {  // shorter than its count says
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", -1);
        return -1;
    }
    if (list.count == 0) return 0;

    // The title numbers in use, sorted without duplicates: at most one per preset of the group.
    int32_t taken[255];
    size_t takenCount = 0;
    for (uint8_t i = 0; i < list.count; ++i) {
        ZTLOG(UTIL_LOG_DEBUG, "checking preset id %u\n", list.ids[i]);
        uint8_t record[PRESET_RECORD_SIZE];
        if (fetchPresetRecord(list.ids[i], record, false) != 0) return -1;
        if (readLe32(record + PRESET_RECORD_TITLE) == title) {
            const int32_t number = (int32_t)readLe32(record + PRESET_RECORD_TITLE_NUMBER);
            ZTLOG(UTIL_LOG_DEBUG, "pushing preset id %d itr %d\n", (int)list.ids[i], number);
            taken[takenCount++] = number;
        }
    }
    std::sort(taken, taken + takenCount);
    takenCount = (size_t)(std::unique(taken, taken + takenCount) - taken);

    ZTLOG(UTIL_LOG_DEBUG, "looping through pushes\n");
    int i = 0;
    for (size_t k = 0; k < takenCount; ++k) {
        ZTLOG(UTIL_LOG_DEBUG, "i=%d, itr=%d, iterator=%d\n", i, taken[k], i);
        if (taken[k] != i) break;
        ++i;
    }
    ZTLOG(UTIL_LOG_DEBUG, "returning %d\n", i);
    return i;
}

uint32_t MapWSDKIconToFW(uint32_t icon) {
    constexpr uint32_t kTimelapsePhoto = 1000, kNightlapsePhoto = 1001;
    constexpr uint32_t kFwTimelapse = 8, kFwTimelapse2 = 17, kFwNightlapse = 9;
    if (icon == kNightlapsePhoto) return kFwNightlapse;
    if (icon != kTimelapsePhoto) return icon;
    uint8_t model = 0;
    if (ZtcontrolCommandServer::getInstance()->readModelNumber(&model) != 0) {
        ZTLOG(UTIL_LOG_ERROR,
              "Could not get camera model number for MapWSDKIconToFW returning FW_PRESET_ICON_TIMELAPSE");
        return kFwTimelapse;
    }
    return model == kModel51 ? kFwTimelapse2 : kFwTimelapse;
}

uint32_t mapWsdkTitleToFw(uint32_t title) { return title; }

uint8_t foldDualLensGroup(uint8_t group) { return group >= 3 && group <= 5 ? (uint8_t)(group - 3) : group; }

bool isModel50Or55(uint8_t model) { return model == 50 || model == 55; }

bool isPredefinedPresetId(uint32_t id) {
    const uint32_t group = id >> 16;
    const uint32_t number = id & 0xFFFF;
    switch (group) {
        case 0: case 1: return number <= 3;
        case 2: return number <= 2;
        case 3: case 4: return number == 0;
        case 5: return number <= 1;
        default: return false;
    }
}
