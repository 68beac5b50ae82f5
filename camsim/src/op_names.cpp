// Readable names of received operations, for the log, the state document and tests.
#include <stdio.h>
#include <string.h>

#include "camlink_protocol.h"
#include "camsim/camera_sim.h"

namespace camsim {

const char* directOpName(uint16_t op) {
    static const char* const kNames[CAMLINK_DIRECT_OP_COUNT] = {
        "?",                    "shutter",           "set_mode",           "set_mode_sub_mode",
        "set_digital_zoom",     "set_capture_delay", "reset_res_fps_fov",  "set_button",
        "get_lens_mode",        "get_lens",          "get_orientation",    "set_orientation",
        "get_mode_flat_mode",   "set_onscreen_control", "onscreen_shortcuts_reset", "set_audio_option",
        "set_mic_option",       "rushlapse_speed_1x", "rushlapse_speed_ramp", "rushlapse_speed_ramp_active",
        "validate_shutter",     "video_ultrex_reset", "photo_ultrex_reset", "multishot_ultrex_reset",
        "video_iso_get",        "photo_iso_get",     "multishot_iso_get",  "video_iso_min_get",
        "photo_iso_min_get",    "multishot_iso_min_get", "video_iso_set",  "photo_iso_set",
        "multishot_iso_set",    "video_iso_min_set", "photo_iso_min_set",  "multishot_iso_min_set",
        "storage_tag_file",     "storage_delete_file", "storage_delete_group", "fw_download_start",
        "fw_download_cancel",   "fw_download_done",
    };
    return op > 0 && op < CAMLINK_DIRECT_OP_COUNT ? kNames[op] : "unknown";
}

std::string OpRecord::name() const {
    char buf[64];
    if (!strcmp(id.code, "RA")) snprintf(buf, sizeof buf, "remote %u/%u", id.category, id.op);
    else if (!strcmp(id.code, "SA")) snprintf(buf, sizeof buf, "satchel %s", id.satchel);
    else if (!strcmp(id.code, "DC")) snprintf(buf, sizeof buf, "direct %u %s", id.direct, directOpName(id.direct));
    else snprintf(buf, sizeof buf, "%s", id.code[0] ? id.code : "??");
    return buf;
}

}  // namespace camsim
