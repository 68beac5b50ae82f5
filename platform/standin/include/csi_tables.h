// Item tables of the settings-library stand-in (camera models 50, 51 and 55): which status bytes
// are which numbered status item and in which change group, and where every setting id lives.
// The library serialises with them; the camera simulator and the tests read them too.
#ifndef CSI_TABLES_H
#define CSI_TABLES_H

#include <stddef.h>
#include <stdint.h>

#include "csi_settings.h"

namespace csi {

constexpr int kSettingRows = 180;  // setting ids 0..179 on every model

enum ModelMask : uint8_t { MODEL_50 = 1, MODEL_51 = 2, MODEL_55 = 4, ALL_MODELS = 7 };

// Status items: JSON keys of the "status" object.
enum StatusId : uint16_t {
    STATUS_FLAT_MODE = 1,
    STATUS_SUB_MODE = 2,
    STATUS_VIDEO_FLAT_MODE = 3,
    STATUS_PHOTO_FLAT_MODE = 4,
    STATUS_TIMELAPSE_FLAT_MODE = 5,
    STATUS_DIGITAL_ZOOM = 6,
    STATUS_BUSY = 8,
    STATUS_ENCODING = 10,
    STATUS_RECORDING_SECONDS = 13,
    STATUS_VIDEO_PRESET = 14,
    STATUS_PHOTO_PRESET = 15,
    STATUS_TIMELAPSE_PRESET = 16,
    STATUS_MODE_GROUP = 17,
    STATUS_SPECIAL_PRESET = 18,
    STATUS_EDITED_PRESET = 19,
    STATUS_PRESET_STATE = 20,
    STATUS_BATTERY_PERCENT = 21,
    STATUS_BATTERY_BARS = 22,
    STATUS_SD_PRESENT = 23,
    STATUS_REMAINING_PHOTOS = 24,
    STATUS_REMAINING_VIDEO_S = 25,
    STATUS_MEDIA_COUNT = 26,
    STATUS_AP_STATE = 27,
    STATUS_BLE_STATE = 28,
    STATUS_PAIRING = 29,
    STATUS_SCAN_STATE = 30,
    STATUS_LOCATE = 31,
    STATUS_VOICE_MODE = 32,
    STATUS_CAPTURE_DELAY = 33,
    STATUS_FW_UPDATE = 34,
    STATUS_WIFI_BAND = 35,
    STATUS_CONNECTED_CLIENTS = 36,
    STATUS_LIVEVIEW_EXPOSURE = 37,
    STATUS_TEMPERATURE_C = 38,
    STATUS_LENS_MODE = 39,
    STATUS_STREAM_ORIENTATION = 40,
    STATUS_AUDIO_ACCESSORY = 41
};

// Setting ids with a meaning of their own (the settings-id table has a row for every id below
// kSettingRows; the others are plain one-byte settings).
enum SettingId : uint16_t {
    SETTING_VIDEO_RESOLUTION = 2,
    SETTING_VIDEO_FPS = 3,
    SETTING_VIDEO_ISO_LIMIT = 13,
    SETTING_PHOTO_ISO_LIMIT = 24,
    SETTING_CAPTURE_DURATION = 32,  // seconds, 2 bytes
    SETTING_MULTISHOT_ISO_LIMIT = 37,
    SETTING_QUICK_CAPTURE_ALIAS = 55,  // older id of SETTING_QUICK_CAPTURE, same byte
    SETTING_PHOTO_ISO_MIN = 75,
    SETTING_MULTISHOT_ISO_MIN = 76,
    SETTING_QUICK_CAPTURE = 91,
    SETTING_VIDEO_ISO_MIN = 102,
    SETTING_PHOTO_TIMER = 105,
    SETTING_ORIENTATION = 112,
    SETTING_EV_COMPENSATION = 118,  // signed
    SETTING_LENS = 121,             // settings byte 42
    SETTING_LENS_2 = 122,           // settings byte 44
    SETTING_NIGHTLAPSE_LENS = 123,  // settings byte 158
    SETTING_NIGHTLAPSE_LENS_2 = 124,  // settings byte 160
    SETTING_ONSCREEN_CONTROL_0 = 129,
    SETTING_ONSCREEN_CONTROL_1 = 130,
    SETTING_ONSCREEN_SHORTCUT_0 = 131,
    SETTING_ONSCREEN_SHORTCUT_1 = 132,
    SETTING_FLAT_MODE = 144,  // settings byte 25
    SETTING_VIDEO_SHUTTER = 145,  // 0 = automatic
    SETTING_AUDIO_OPTION = 149,
    SETTING_MIC_OPTION = 164,
    SETTING_RUSHLAPSE_SPEED_1X = 170,  // models 51 and 55
    SETTING_RUSHLAPSE_SPEED_RAMP = 171,
    SETTING_RUSHLAPSE_RAMP_ACTIVE = 172
};

// JSON keys of the lens mode and lens that follow the settings items in the "settings" object
// (the two bytes after the settings block in the camera record).
constexpr uint16_t kJsonSystemLensMode = 190;
constexpr uint16_t kJsonSystemLens = 191;

struct StatusItem {
    uint16_t id;      // JSON key
    uint16_t offset;  // in the status block
    uint8_t width;    // 1, 2 or 4 bytes, little-endian
    bool isSigned;
    uint8_t group;    // 1: compared on every poll; 2: throttled (slowly changing counters)
    uint8_t models;   // ModelMask
    const char* name;
};

// Every status item of every model; skip those whose mask lacks the model.
const StatusItem* statusItems(size_t* count);

bool onModel(uint8_t models, uint8_t model);

// The model whose tables serve `model`: the model itself when known, else CSI_DEFAULT_MODEL.
uint8_t tableModel(uint8_t model);

// Settings-id table of a known model (kSettingRows rows), else null. A row of width 0 is a
// setting the model does not have; a row whose JSON id differs from its setting id is an alias.
const csi_setting_row_t* settingRows(uint8_t model);

// Name of a setting id ("video_resolution"), "setting" for a plain one, null when out of range.
const char* settingName(int id);

// Little-endian value of width bytes at offset, sign-extended when isSigned; 0 when the item
// does not lie inside the block.
int64_t readItem(const uint8_t* block, size_t blockSize, uint32_t offset, uint32_t width, bool isSigned);

}  // namespace csi

#endif
