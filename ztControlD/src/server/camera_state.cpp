// The camera state cache: lens data, active preset, orientation and the model number, read from
// the camera only when an event has made them stale; and the status record fix-up.
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

constexpr uint8_t kCameraOff = 2;

uint32_t readU32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, sizeof(v));
    return v;
}

void writeU32(uint8_t* p, uint32_t v) { memcpy(p, &v, sizeof(v)); }

// Status offset of the current preset of a mode group, or -1 for a group without one.
int presetOffsetOfGroup(uint32_t group) {
    switch (group) {
        case 0: case 3: return STATUS_VIDEO_PRESET;
        case 1: case 4: return STATUS_PHOTO_PRESET;
        case 2: case 5: return STATUS_TIMELAPSE_PRESET;
        default: return -1;
    }
}

bool oneOf(unsigned v, std::initializer_list<unsigned> set) {
    for (unsigned s : set)
        if (v == s) return true;
    return false;
}

}  // namespace

int ZtcontrolCommandServer::readLensData() {
    int e = ztc_system_get_lens_mode(&g_ztcContext, &lensMode);
    // A camera that let the first question time out is not kept waiting for with a second one.
    if (e != ZT_ERR_MQ_FAIL) {
        const int lensError = ztc_system_get_lens(&g_ztcContext, &lens);
        if (e == 0) e = lensError;
    }
    needLenses = e != 0;
    return e;
}

void ZtcontrolCommandServer::refreshLensInfo() {
    if (needLenses) readLensData();
}

int ZtcontrolCommandServer::getLensMode() {
    refreshLensInfo();
    return lensMode;
}

int ZtcontrolCommandServer::getLens() {
    refreshLensInfo();
    return lens;
}

int ZtcontrolCommandServer::readModelNumber(uint8_t* out) {
    if (g_modelNumber == 0) {
        int e = ztc_state_get_model_number(&g_ztcContext, &g_modelNumber);
        if (e != 0) return e;
    }
    *out = g_modelNumber;
    return 0;
}

uint8_t modelNumberOrDefault(ZtcontrolCommandServer* server) {
    uint8_t model = 0;
    return server->readModelNumber(&model) == 0 ? model : CSI_DEFAULT_MODEL;
}

// The worker reads these before it takes its first message. A camera that does not answer would
// hold every request, stop included, one link time-out (about 3 s) per read: the first read that
// times out ends them and leaves the camera to the silent camera's probes. What was not read stays
// stale and is read when needed (lens data, active preset) or keeps its default (orientation).
void ZtcontrolCommandServer::initCameraState() {
    if (readStartupState() == ZT_ERR_MQ_FAIL) {
        ZTLOG(UTIL_LOG_ERROR, "Camera did not answer at start, its state is read when it answers again");
        cameraSilent = true;
    }
    // Without the model the default tables; retryProtocolAdapter sets them up once it is read.
    camera_status_init_bossCache(protocolAdapterSet ? g_modelNumber : CSI_DEFAULT_MODEL, bossCache);
}

int ZtcontrolCommandServer::readStartupState() {
    int e = readLensData();
    printf("Lens Mode is %d/Lens is %d, need lenses:%d\n", lensMode, lens, needLenses);
    if (e == ZT_ERR_MQ_FAIL) return e;
    if (presetRefreshPending && (e = readActivePreset()) == ZT_ERR_MQ_FAIL) return e;
    e = ztc_setup_get_orientation(&g_ztcContext, &orientation);
    if (orientation != 0 && orientation != 5) {
        ZTLOG(UTIL_LOG_ERROR, "Orientation[%d] was already locked, default orientation will be all", orientation);
        orientation = 0;
    }
    return e;
}

int32_t ZtcontrolCommandServer::refreshActivePreset() {
    if (presetRefreshPending) readActivePreset();
    return activePreset;
}

int ZtcontrolCommandServer::readActivePreset() {
    ZTLOG(UTIL_LOG_DEBUG, "Getting active preset back");
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int e = ztc_send_remote_api_for_response(&g_ztcContext, 8, 11, &rsp, &len);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Could not get status after suspend, %d\n", e);
        return e;
    }
    if (rsp && len == 1) {
        if (rsp[0] == kCameraOff) ZTLOG(UTIL_LOG_ERROR, "Response was null or size was bad for get%d\n", len);
    } else if (rsp && len == CSI_STATUS_BLOCK_SIZE) {
        int offset = presetOffsetOfGroup(readU32(rsp + STATUS_MODE_GROUP));
        if (offset >= 0) activePreset = (int32_t)readU32(rsp + offset);
        presetRefreshPending = false;
        ZTLOG(UTIL_LOG_DEBUG, "Preset after get %d\n", activePreset);
    }
    ZTLOG(UTIL_LOG_DEBUG, "Refresh Preset Done\n");
    return 0;
}

int32_t ZtcontrolCommandServer::getActivePreset() {
    ZTLOG(UTIL_LOG_DEBUG, "Getting active preset back");
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int e = ztc_send_remote_api_for_response(&g_ztcContext, 8, 11, &rsp, &len);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Could not get active preset, %d\n", e);
        return -1;
    }
    int32_t result = -1;
    if (rsp && len == 1) {
        if (rsp[0] == kCameraOff) ZTLOG(UTIL_LOG_ERROR, "Response was null or size was bad for get%d\n", len);
    } else if (rsp && len == CSI_STATUS_BLOCK_SIZE) {
        uint32_t group = readU32(rsp + STATUS_MODE_GROUP);
        int offset = group == 6 ? STATUS_SPECIAL_PRESET : presetOffsetOfGroup(group);
        if (offset >= 0) result = (int32_t)readU32(rsp + offset);
        ZTLOG(UTIL_LOG_DEBUG, "Preset after active get %d\n", result);
    }
    ZTLOG(UTIL_LOG_DEBUG, "Get active preset done\n");
    return result;
}

void ZtcontrolCommandServer::fixupStatusRecord(all_status_settings_t* record) {
    uint8_t* status = record->status.bytes;
    uint8_t* settings = record->settings.bytes;

    const uint8_t flatMode = settings[SETTINGS_FLAT_MODE];
    if (flatMode == 24) {
        status[STATUS_SUB_MODE] = 4;
    } else if (flatMode == 26) {
        settings[SETTINGS_LENS_2] = settings[SETTINGS_NIGHTLAPSE_LENS_2];
        settings[SETTINGS_LENS] = settings[SETTINGS_NIGHTLAPSE_LENS];
    }
    status[STATUS_FLAT_MODE] = flatMode;

    refreshLensInfo();
    status[STATUS_LENS_MODE] = (uint8_t)lensMode;

    uint32_t group = readU32(status + STATUS_MODE_GROUP);
    if (group >= 3 && group <= 5) writeU32(status + STATUS_MODE_GROUP, group - 3);

    refreshLensInfo();
    record->system.lensMode = lensMode;
    refreshLensInfo();
    record->system.lens = lens;

    const int8_t zoom = (int8_t)status[STATUS_ZOOM];
    if (oneOf(settings[SETTINGS_FLAT_MODE], {12, 13, 15, 24, 25, 26, 27}) &&
        oneOf(settings[SETTINGS_LENS], {1, 4, 6, 18, 24}) && zoom >= 0 && zoom <= 102)
        status[STATUS_ZOOM] = (uint8_t)(zoom * 25 / 10);

    const int32_t preset = refreshActivePreset();
    const uint8_t state = status[STATUS_PRESET_STATE];
    if (state == 1 || state == 3)
        status[STATUS_PRESET_STATE] = readU32(status + STATUS_EDITED_PRESET) == (uint32_t)preset ? 1 : 0;
    else
        status[STATUS_PRESET_STATE] = 0;
}
