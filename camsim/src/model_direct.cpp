// Direct operations: the control library's named functions, integer arguments i32 big-endian,
// storage names as a u16 length and the bytes; getters answer i32 big-endian values.
#include <string.h>

#include "camera_layout.h"
#include "camera_model.h"
#include "camlink_protocol.h"
#include "flat_modes.h"

namespace camsim {

using namespace camlayout;

namespace {

// Reads count i32 arguments from offset; false when they are not all there.
bool ints(const uint8_t* p, int n, int offset, int count, int32_t* out) {
    if (offset + 4 * count > n) return false;
    for (int i = 0; i < count; ++i) out[i] = int32_t(getBe32(p + offset + 4 * i));
    return true;
}

// A storage name: u16 length then the bytes; sets the offset after it. False when malformed.
bool storageName(const uint8_t* p, int n, int* after) {
    if (n < 2) return false;
    int len = getBe16(p);
    if (len == 0 || 2 + len > n) return false;
    *after = 2 + len;
    return true;
}

}  // namespace

void CameraModel::direct(uint16_t op, const uint8_t* p, int n, Answer& a) {
    int32_t v[2] = {0, 0};
    int after = 0;
    // Families of video (0), photo (1) and multishot (2) ISO operations come in runs of three.
    int isoFamily = -1;
    if (op >= CAMLINK_VIDEO_ISO_GET && op <= CAMLINK_MULTISHOT_ISO_MIN_SET)
        isoFamily = (op - CAMLINK_VIDEO_ISO_GET) % 3;
    switch (op) {
    case CAMLINK_SHUTTER:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        return a.fail(shutter(v[0] != 0));
    case CAMLINK_SET_MODE:
        if (!ints(p, n, 0, 1, v) || v[0] < 0 || v[0] > 127) return a.fail(-3);
        return applyMode(v[0]);
    case CAMLINK_SET_MODE_SUB_MODE:
        if (!ints(p, n, 0, 2, v) || v[0] < 0 || v[0] > 127 || v[1] < 0 || v[1] > 255) return a.fail(-3);
        applyMode(v[0]);
        status_[ST_SUB_MODE] = uint8_t(v[1]);
        return;
    case CAMLINK_SET_DIGITAL_ZOOM:
        if (!ints(p, n, 0, 1, v) || v[0] < 0 || v[0] > 100) return a.fail(-3);
        status_[ST_ZOOM] = uint8_t(v[0]);
        return;
    case CAMLINK_SET_CAPTURE_DELAY:
        if (!ints(p, n, 0, 1, v) || v[0] < 0 || v[0] > 255) return a.fail(-3);
        status_[ST_CAPTURE_DELAY] = uint8_t(v[0]);
        return;
    case CAMLINK_RESET_RES_FPS_FOV:
        ++resolutionResets_;
        return;
    case CAMLINK_SET_BUTTON:
        if (!ints(p, n, 0, 2, v) || v[0] < 0 || v[0] > 2 || (v[1] != 2 && v[1] != 3)) return a.fail(-3);
        return pressButton(v[0], v[1]);
    case CAMLINK_GET_LENS_MODE:
        a.putBe32(lensMode());
        return;
    case CAMLINK_GET_LENS:
        a.putBe32(lens_);
        return;
    case CAMLINK_GET_ORIENTATION:
        a.putBe32(orientation_);
        return;
    case CAMLINK_SET_ORIENTATION:
        if (!ints(p, n, 0, 1, v) || v[0] < 0 || v[0] > 5) return a.fail(-3);
        orientation_ = v[0];
        return;
    case CAMLINK_GET_MODE_FLAT_MODE: {
        int flat = int8_t(settings_[SE_FLAT_MODE]);
        int family = flatModeFamily(flat);
        a.putBe32(family >= 0 ? family : flat);
        a.putBe32(flat);
        return;
    }
    case CAMLINK_SET_ONSCREEN_CONTROL:
        if (!ints(p, n, 0, 2, v) || v[1] < 0 || v[1] > 3) return a.fail(-3);
        onscreen_[v[1]] = v[0];
        return;
    case CAMLINK_ONSCREEN_SHORTCUTS_RESET:
        memset(onscreen_, 0, sizeof onscreen_);
        return;
    case CAMLINK_SET_AUDIO_OPTION:
    case CAMLINK_SET_MIC_OPTION:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        if (status_[ST_AUDIO_ACCESSORY] == 3) return a.fail(-101);  // the accessory owns the audio
        (op == CAMLINK_SET_AUDIO_OPTION ? audioOption_ : micOption_) = v[0] & 0xFF;
        return;
    case CAMLINK_RUSHLAPSE_SPEED_1X:
    case CAMLINK_RUSHLAPSE_SPEED_RAMP:
    case CAMLINK_RUSHLAPSE_SPEED_RAMP_ACTIVE:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        rushlapse_[op - CAMLINK_RUSHLAPSE_SPEED_1X] = v[0];
        return;
    case CAMLINK_VALIDATE_SHUTTER:
        a.putBe32(0);  // the shutter setting always fits the frame rate here
        return;
    case CAMLINK_VIDEO_ULTREX_RESET:
    case CAMLINK_PHOTO_ULTREX_RESET:
    case CAMLINK_MULTISHOT_ULTREX_RESET:
        iso_[op - CAMLINK_VIDEO_ULTREX_RESET] = 3;
        isoMin_[op - CAMLINK_VIDEO_ULTREX_RESET] = 0;
        return;
    case CAMLINK_VIDEO_ISO_GET:
    case CAMLINK_PHOTO_ISO_GET:
    case CAMLINK_MULTISHOT_ISO_GET:
        a.putBe32(iso_[isoFamily]);
        return;
    case CAMLINK_VIDEO_ISO_MIN_GET:
    case CAMLINK_PHOTO_ISO_MIN_GET:
    case CAMLINK_MULTISHOT_ISO_MIN_GET:
        a.putBe32(isoMin_[isoFamily]);
        return;
    case CAMLINK_VIDEO_ISO_SET:
    case CAMLINK_PHOTO_ISO_SET:
    case CAMLINK_MULTISHOT_ISO_SET:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        iso_[isoFamily] = v[0];
        return;
    case CAMLINK_VIDEO_ISO_MIN_SET:
    case CAMLINK_PHOTO_ISO_MIN_SET:
    case CAMLINK_MULTISHOT_ISO_MIN_SET:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        isoMin_[isoFamily] = v[0];
        return;
    case CAMLINK_STORAGE_TAG_FILE:
        if (!storageName(p, n, &after) || !ints(p, n, after, 2, v)) return a.fail(-3);
        if (st32(ST_MEDIA_COUNT) == 0) return a.fail(-101);
        ++highlights_;
        return;
    case CAMLINK_STORAGE_DELETE_FILE:
    case CAMLINK_STORAGE_DELETE_GROUP: {
        if (!storageName(p, n, &after)) return a.fail(-3);
        if (st32(ST_MEDIA_COUNT) == 0) return a.fail(-101);
        // A group (burst, time-lapse) holds up to five files.
        addMedia(op == CAMLINK_STORAGE_DELETE_FILE ? -1 : -5);
        return;
    }
    case CAMLINK_FW_DOWNLOAD_START:
        status_[ST_FW_UPDATE] = 1;
        return;
    case CAMLINK_FW_DOWNLOAD_CANCEL:
        status_[ST_FW_UPDATE] = 3;
        return;
    case CAMLINK_FW_DOWNLOAD_DONE:
        if (!ints(p, n, 0, 1, v)) return a.fail(-3);
        status_[ST_FW_UPDATE] = v[0] ? 2 : 0;
        return;
    default:
        return a.fail(-104);
    }
}

}  // namespace camsim
