// The preset-edit bracket around a setting change, and the preset-edit timer's callback.
#include <stdint.h>

#include "commands/command_family.h"
#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"

namespace {

// Settings that belong to no preset: changing them needs no preset edit.
constexpr int kSettingsOutsidePresets[] = {47,  50,  54,  58,  59,  60,  62,  64,  65,  72,  83,
                                           84,  85,  86,  87,  88,  91,  103, 104, 106, 112, 127,
                                           134, 142, 143, 154, 158, 159, 162, 169, 170};

constexpr int kNoFlatMode = -1;
constexpr int kFlatModePlayback = 4;

bool isOutsidePresets(int settingId) {
    for (int id : kSettingsOutsidePresets)
        if (id == settingId) return true;
    return false;
}

}  // namespace

int beginPresetEdit(int settingId) {
    ZtcontrolCommandServer* server = ZtcontrolCommandServer::getInstance();
    int mode = 0;
    int flatMode = kNoFlatMode;
    ztc_app_get_mode_flat_mode(&g_ztcContext, &mode, &flatMode);
    ZTLOG(UTIL_LOG_DEBUG, "------Current flatmode is %d", flatMode);
    if (flatMode == kNoFlatMode || flatMode == kFlatModePlayback) return 0;
    if (isOutsidePresets(settingId)) return 1;

    int e = ztc_send_simple_remote_api(&g_ztcContext, PRESET_CATEGORY, 10);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to preset edit store before preset edit start");
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", e);
    }
    uint8_t id[4];
    writeLe32(id, (uint32_t)server->getActivePreset());
    e = ztc_send_remote_api_payload(&g_ztcContext, PRESET_CATEGORY, 8, id, sizeof(id));
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_payload error, %d\n", e);
        return 0;
    }
    return 1;
}

int storePresetEdit(int settingId) {
    if (isOutsidePresets(settingId)) return 1;
    int e = ztc_send_simple_remote_api(&g_ztcContext, PRESET_CATEGORY, 10);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", e);
        return 0;
    }
    return 1;
}

int presetEditTimeout(void* server) {
    storePresetEdit(-1);
    static_cast<ZtcontrolCommandServer*>(server)->presetEditOpen = false;
    return 0;
}

int32_t refusePresetEdit(CommandContext& c) { return refusePrecondition(c, "Failed to start preset edit!"); }
