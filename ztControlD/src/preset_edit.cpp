#include "preset_edit.h"

#include "ztLog.h"
#include "ztcontrol_if_server.h"

namespace {

// Settings that belong to no preset: changing them needs no preset edit.
constexpr int kSettingsOutsidePresets[] = {47,  50,  54,  58,  59,  60,  62,  64,  65,  72,  83,
                                           84,  85,  86,  87,  88,  91,  103, 104, 106, 112, 127,
                                           134, 142, 143, 154, 158, 159, 162, 169, 170};

bool isOutsidePresets(int settingId) {
    for (int id : kSettingsOutsidePresets)
        if (id == settingId) return true;
    return false;
}

}  // namespace

int storePresetEdit(int settingId) {
    if (isOutsidePresets(settingId)) return 1;
    int e = ztc_send_simple_remote_api(&g_ztcContext, 17, 10);
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
