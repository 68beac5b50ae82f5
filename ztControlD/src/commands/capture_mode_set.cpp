// Setting the camera mode: the flat-mode override by model, the normalisation of the family modes
// 0, 1 and 2, and the resolution reset that keeps video parameters valid after a video mode.
#include "commands/capture_mode.h"
#include "commands/command_family.h"
#include "server/camera_blocks.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

// Models that keep the flat mode last selected for each family in the status block.
constexpr uint8_t kOverrideModels[] = {19, 21, 22, 23, 24, 30, 32, 33, 34, 50, 51, 55};

constexpr uint16_t kStatusSelectedEnd = STATUS_SELECTED_FLAT_MODES + 3;

constexpr int kModeVideo = 12;
constexpr int kModeVideoLast = 15;
constexpr int kModePhotoContinuous = 17;
constexpr int kModeTimelapsePhoto = 20;
constexpr int kModeRushlapse = 24;

bool hasOverride(uint8_t model) {
    for (uint8_t m : kOverrideModels)
        if (m == model) return true;
    return false;
}

// Replaces a family mode (0, 1, 2) by the flat mode the camera last selected for the family.
// Ends with false when the mode is not a family mode (nothing more to do to it).
bool applySelectedFlatMode(int& mode, uint8_t model) {
    const uint8_t* status;
    uint16_t length;
    int32_t e = remoteQuery(8, 11, &status, &length);
    if (e != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d, leaving mode as %d", e, mode);
        return true;
    }
    if (isCameraOffAnswer(status, length)) {
        ZTLOG(UTIL_LOG_ERROR, "Camera status returning ZT_ERR_NACK_OFF, skipping flatmode update");
        return true;
    }
    if (mode < 0 || mode > 2) return false;
    // A short answer carries no selected flat modes; the mode is then only normalised.
    if (length < kStatusSelectedEnd) {
        ZTLOG(UTIL_LOG_ERROR, "Status answer of %u bytes holds no selected flat mode, leaving mode as %d",
              length, mode);
        return true;
    }
    static const char* const kFamilies[] = {"video_selected_flatmode", "photo_selected_flatmode",
                                            "timelapse_selected_flatmode"};
    const int selected = (int8_t)status[STATUS_SELECTED_FLAT_MODES + mode];
    ZTLOG(UTIL_LOG_DEBUG, "Got mode :%d, for model number %d - updating mode to %s %d", mode, model,
          kFamilies[mode], selected);
    mode = selected;
    return true;
}

// Family modes that are still 0, 1 or 2 become the family's default flat mode.
void normaliseFamilyMode(int& mode, uint8_t model) {
    switch (mode) {
        case 0:
            ZTLOG(UTIL_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode to video video", mode,
                  model);
            mode = kModeVideo;
            break;
        case 1:
            ZTLOG(UTIL_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode photo continuous",
                  mode, model);
            mode = kModePhotoContinuous;
            break;
        case 2:
            ZTLOG(UTIL_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode to timelapse photo",
                  mode, model);
            mode = kModeTimelapsePhoto;
            break;
        default:
            break;
    }
}

// After a video mode the resolution, frame rate and field of view may not fit it any more. A
// camera without that operation (-104) has nothing to correct.
int32_t resetResolution(int level, int mode, int subMode) {
    ZTLOG(level, "Setting Resolution to enforce parameter correctness Mode:%d subMode:%d", mode, subMode);
    int32_t e = ztc_video_reset_to_valid_res_fps_fov(&g_ztcContext);
    return e == ZT_ERR_NOT_SUPPORTED ? ZT_OK : e;
}

}  // namespace

int32_t setModeWithOverride(CommandContext& c) {
    int mode = (int)c.value;
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_MODE: mode:%d", mode);
    uint8_t model = 0;
    if (c.server->readModelNumber(&model) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Couldn't get model_number - no flat mode override");
    } else if (hasOverride(model) && applySelectedFlatMode(mode, model)) {
        normaliseFamilyMode(mode, model);
    }
    int32_t result = ztc_app_set_mode(&g_ztcContext, mode);
    if (result == ZT_OK && (mode == 0 || (mode >= kModeVideo && mode <= kModeVideoLast)))
        result = resetResolution(UTIL_LOG_DEBUG, mode, 0);
    return result;
}

int32_t setModeAndSubMode(CommandContext& c) {
    const uint8_t* arg = argumentBytes(c);
    const int mode = (int)readLe32(arg);
    const int subMode = (int)readLe32(arg + 4);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_MODE_SUB_MODE: mode:%d sub_mode:%d", mode, subMode);
    int32_t result;
    if (mode == 0 && subMode == 4)
        result = ztc_app_set_mode(&g_ztcContext, kModeRushlapse);
    else if (mode == 0 && subMode == 3)
        result = ztc_app_set_mode(&g_ztcContext, kModeVideoLast);
    else
        result = ztc_app_set_mode_sub_mode(&g_ztcContext, mode, subMode);
    if (result == ZT_OK && mode == 0) result = resetResolution(UTIL_LOG_INFO, mode, subMode);
    return result;
}
