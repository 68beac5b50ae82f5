// Direct operations: CAMLINK_OP_DIRECT with the operation number, its i32 arguments in the
// order of the function's parameters and, for storage operations, the file name first (u16
// length, then the bytes). Getters answer one big-endian i32 per output.
#include <limits>

#include "camlink_client.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztc_control.h"

namespace {

constexpr int kMaxOutputs = 2;

CamlinkArgs directArgs(CamlinkDirectOp op)
{
    CamlinkArgs args;
    args.u16(op);
    return args;
}

int call(ztc_msg_q_context_t* ctx, const CamlinkArgs& args)
{
    return camlink_exchange(ctx, {CAMLINK_OP_DIRECT, &args}, nullptr, 0, nullptr);
}

int set(ztc_msg_q_context_t* ctx, CamlinkDirectOp op, int32_t a)
{
    CamlinkArgs args = directArgs(op);
    args.i32(a);
    return call(ctx, args);
}

int set(ztc_msg_q_context_t* ctx, CamlinkDirectOp op, int32_t a, int32_t b)
{
    CamlinkArgs args = directArgs(op);
    args.i32(a).i32(b);
    return call(ctx, args);
}

int act(ztc_msg_q_context_t* ctx, CamlinkDirectOp op) { return call(ctx, directArgs(op)); }

// Reads `count` i32 outputs; they are written only when the whole answer is there.
int get(ztc_msg_q_context_t* ctx, CamlinkDirectOp op, int32_t* out, int count)
{
    uint8_t answer[4 * kMaxOutputs];
    uint16_t got = 0;
    const CamlinkArgs args = directArgs(op);
    const int r = camlink_exchange(ctx, {CAMLINK_OP_DIRECT, &args}, answer, sizeof answer, &got);
    if (r != 0)
        return r;
    if (got == 1 && answer[0] == 2) {
        ZTLOG(UTIL_LOG_ERROR, "ztc direct op %d: camera is off", op);
        return ZT_ERR_NAK_OFF;
    }
    if (got != 4 * count) {
        ZTLOG(UTIL_LOG_ERROR, "ztc direct op %d: answer of %u bytes, expected %d", op, got, 4 * count);
        return ZT_ERR;
    }
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = answer + 4 * i;
        out[i] = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                                      (static_cast<uint32_t>(p[2]) << 8) | p[3]);
    }
    return 0;
}

// A getter whose output is narrower than the i32 on the link.
template <typename T>
int getNarrow(ztc_msg_q_context_t* ctx, CamlinkDirectOp op, T* out)
{
    if (out == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc direct op %d: no output", op);
        return ZT_ERR_INVALID_PARAM;
    }
    int32_t value = 0;
    const int r = get(ctx, op, &value, 1);
    if (r != 0)
        return r;
    if constexpr (sizeof(T) < sizeof(int32_t)) {
        if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
            ZTLOG(UTIL_LOG_ERROR, "ztc direct op %d: value %d out of range", op, value);
            return ZT_ERR;
        }
    }
    *out = static_cast<T>(value);
    return 0;
}

int storage(ztc_msg_q_context_t* ctx, CamlinkDirectOp op, const char* name, int nameLen, uint32_t offset,
            uint32_t tagType, bool withTag)
{
    if (nameLen < 0 || nameLen > 0xFFFF || (nameLen > 0 && name == nullptr)) {
        ZTLOG(UTIL_LOG_ERROR, "ztc storage op %d: bad file name (length %d)", op, nameLen);
        return ZT_ERR_INVALID_PARAM;
    }
    CamlinkArgs args = directArgs(op);
    args.u16(static_cast<uint16_t>(nameLen)).bytes(name, static_cast<size_t>(nameLen));
    if (withTag)
        args.u32(offset).u32(tagType);
    return call(ctx, args);
}

}  // namespace

extern "C" {

int ztc_system_get_lens_mode(ztc_msg_q_context_t* ctx, int8_t* lensMode)
{
    return getNarrow(ctx, CAMLINK_GET_LENS_MODE, lensMode);
}

int ztc_system_get_lens(ztc_msg_q_context_t* ctx, int8_t* lens) { return getNarrow(ctx, CAMLINK_GET_LENS, lens); }

int ztc_setup_get_orientation(ztc_msg_q_context_t* ctx, uint8_t* orientation)
{
    return getNarrow(ctx, CAMLINK_GET_ORIENTATION, orientation);
}

int ztc_app_get_mode_flat_mode(ztc_msg_q_context_t* ctx, int* mode, int* flatMode)
{
    if (mode == nullptr || flatMode == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_app_get_mode_flat_mode: no output");
        return ZT_ERR_INVALID_PARAM;
    }
    int32_t values[2];
    const int r = get(ctx, CAMLINK_GET_MODE_FLAT_MODE, values, 2);
    if (r == 0) {
        *mode = values[0];
        *flatMode = values[1];
    }
    return r;
}

int ztc_video_validate_shutter(ztc_msg_q_context_t* ctx, bool* invalid)
{
    if (invalid == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_video_validate_shutter: no output");
        return ZT_ERR_INVALID_PARAM;
    }
    int32_t value = 0;
    const int r = get(ctx, CAMLINK_VALIDATE_SHUTTER, &value, 1);
    if (r == 0)
        *invalid = value != 0;
    return r;
}

int ztc_shutter(ztc_msg_q_context_t* ctx, uint8_t on) { return set(ctx, CAMLINK_SHUTTER, on); }
int ztc_app_set_mode(ztc_msg_q_context_t* ctx, int mode) { return set(ctx, CAMLINK_SET_MODE, mode); }
int ztc_app_set_mode_sub_mode(ztc_msg_q_context_t* ctx, int mode, int subMode)
{
    return set(ctx, CAMLINK_SET_MODE_SUB_MODE, mode, subMode);
}
int ztc_app_set_digital_zoom(ztc_msg_q_context_t* ctx, int zoom) { return set(ctx, CAMLINK_SET_DIGITAL_ZOOM, zoom); }
int ztc_app_set_capture_delay(ztc_msg_q_context_t* ctx, int delay)
{
    return set(ctx, CAMLINK_SET_CAPTURE_DELAY, delay);
}
int ztc_video_reset_to_valid_res_fps_fov(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_RESET_RES_FPS_FOV); }
int ztc_system_set_button(ztc_msg_q_context_t* ctx, int button, int state)
{
    return set(ctx, CAMLINK_SET_BUTTON, button, state);
}

int ztc_setup_set_orientation(ztc_msg_q_context_t* ctx, uint8_t orientation)
{
    return set(ctx, CAMLINK_SET_ORIENTATION, orientation);
}
int ztc_settings_set_onscreen_control(ztc_msg_q_context_t* ctx, int value, int which)
{
    return set(ctx, CAMLINK_SET_ONSCREEN_CONTROL, value, which);
}
int ztc_preset_onscreen_shortcuts_reset(ztc_msg_q_context_t* ctx)
{
    return act(ctx, CAMLINK_ONSCREEN_SHORTCUTS_RESET);
}
int ztc_audio_set_audio_option(ztc_msg_q_context_t* ctx, uint8_t option)
{
    return set(ctx, CAMLINK_SET_AUDIO_OPTION, option);
}
int ztc_audio_set_mic_option(ztc_msg_q_context_t* ctx, uint8_t option)
{
    return set(ctx, CAMLINK_SET_MIC_OPTION, option);
}
int ztc_video_set_rushlapse_speed_1x(ztc_msg_q_context_t* ctx, int enabled)
{
    return set(ctx, CAMLINK_RUSHLAPSE_SPEED_1X, enabled);
}
int ztc_video_set_rushlapse_speed_ramp(ztc_msg_q_context_t* ctx, int ramp)
{
    return set(ctx, CAMLINK_RUSHLAPSE_SPEED_RAMP, ramp);
}
int ztc_video_set_rushlapse_speed_ramp_active(ztc_msg_q_context_t* ctx, int active)
{
    return set(ctx, CAMLINK_RUSHLAPSE_SPEED_RAMP_ACTIVE, active);
}

int ztc_video_ultrex_reset(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_VIDEO_ULTREX_RESET); }
int ztc_photo_ultrex_reset(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_PHOTO_ULTREX_RESET); }
int ztc_multishot_ultrex_reset(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_MULTISHOT_ULTREX_RESET); }
int ztc_video_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value) { return getNarrow(ctx, CAMLINK_VIDEO_ISO_GET, value); }
int ztc_photo_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value) { return getNarrow(ctx, CAMLINK_PHOTO_ISO_GET, value); }
int ztc_multishot_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value)
{
    return getNarrow(ctx, CAMLINK_MULTISHOT_ISO_GET, value);
}
int ztc_video_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value)
{
    return getNarrow(ctx, CAMLINK_VIDEO_ISO_MIN_GET, value);
}
int ztc_photo_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value)
{
    return getNarrow(ctx, CAMLINK_PHOTO_ISO_MIN_GET, value);
}
int ztc_multishot_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value)
{
    return getNarrow(ctx, CAMLINK_MULTISHOT_ISO_MIN_GET, value);
}
int ztc_video_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value) { return set(ctx, CAMLINK_VIDEO_ISO_SET, value); }
int ztc_photo_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value) { return set(ctx, CAMLINK_PHOTO_ISO_SET, value); }
int ztc_multishot_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value)
{
    return set(ctx, CAMLINK_MULTISHOT_ISO_SET, value);
}
int ztc_video_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value)
{
    return set(ctx, CAMLINK_VIDEO_ISO_MIN_SET, value);
}
int ztc_photo_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value)
{
    return set(ctx, CAMLINK_PHOTO_ISO_MIN_SET, value);
}
int ztc_multishot_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value)
{
    return set(ctx, CAMLINK_MULTISHOT_ISO_MIN_SET, value);
}

int ztc_storage_tag_file(ztc_msg_q_context_t* ctx, const char* name, int nameLen, uint32_t offset,
                         uint32_t tagType)
{
    return storage(ctx, CAMLINK_STORAGE_TAG_FILE, name, nameLen, offset, tagType, true);
}
int ztc_storage_delete_file(ztc_msg_q_context_t* ctx, const char* name, int nameLen)
{
    return storage(ctx, CAMLINK_STORAGE_DELETE_FILE, name, nameLen, 0, 0, false);
}
int ztc_storage_delete_group(ztc_msg_q_context_t* ctx, const char* name, int nameLen)
{
    return storage(ctx, CAMLINK_STORAGE_DELETE_GROUP, name, nameLen, 0, 0, false);
}

int ztc_fwupdate_download_start(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_FW_DOWNLOAD_START); }
int ztc_fwupdate_download_cancel(ztc_msg_q_context_t* ctx) { return act(ctx, CAMLINK_FW_DOWNLOAD_CANCEL); }
int ztc_fwupdate_download_done(ztc_msg_q_context_t* ctx, bool success)
{
    return set(ctx, CAMLINK_FW_DOWNLOAD_DONE, success ? 1 : 0);
}

}  // extern "C"
