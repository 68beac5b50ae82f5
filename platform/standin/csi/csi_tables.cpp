// The stand-in's item tables. Status items are listed one by one; the settings-id table is laid
// out at compile time: settings with a fixed byte (the ones the daemon patches) keep it, every
// other id takes the next free bytes in id order, and aliases share their target's bytes.
#include "csi_tables.h"

#include "camera_layout.h"
#include "ztLog.h"

namespace csi {
namespace {

using namespace camlayout;

constexpr StatusItem kStatus[] = {
    {STATUS_FLAT_MODE, ST_FLAT_MODE, 1, false, 1, ALL_MODELS, "flat_mode"},
    {STATUS_SUB_MODE, ST_SUB_MODE, 1, false, 1, ALL_MODELS, "sub_mode"},
    {STATUS_VIDEO_FLAT_MODE, ST_VIDEO_FLAT_MODE, 1, true, 1, ALL_MODELS, "video_flat_mode"},
    {STATUS_PHOTO_FLAT_MODE, ST_PHOTO_FLAT_MODE, 1, true, 1, ALL_MODELS, "photo_flat_mode"},
    {STATUS_TIMELAPSE_FLAT_MODE, ST_TIMELAPSE_FLAT_MODE, 1, true, 1, ALL_MODELS, "timelapse_flat_mode"},
    {STATUS_DIGITAL_ZOOM, ST_ZOOM, 1, true, 1, ALL_MODELS, "digital_zoom"},
    {STATUS_BUSY, ST_BUSY, 1, false, 1, ALL_MODELS, "busy"},
    {STATUS_VIDEO_PRESET, ST_VIDEO_PRESET, 4, false, 1, ALL_MODELS, "video_preset"},
    {STATUS_PHOTO_PRESET, ST_PHOTO_PRESET, 4, false, 1, ALL_MODELS, "photo_preset"},
    {STATUS_TIMELAPSE_PRESET, ST_TIMELAPSE_PRESET, 4, false, 1, ALL_MODELS, "timelapse_preset"},
    {STATUS_MODE_GROUP, ST_MODE_GROUP, 4, false, 1, ALL_MODELS, "mode_group"},
    {STATUS_SPECIAL_PRESET, ST_SPECIAL_PRESET, 4, false, 1, ALL_MODELS, "special_preset"},
    {STATUS_EDITED_PRESET, ST_EDITED_PRESET, 4, false, 1, ALL_MODELS, "edited_preset"},
    {STATUS_ENCODING, ST_ENCODING, 1, false, 1, ALL_MODELS, "encoding"},
    {STATUS_PRESET_STATE, ST_PRESET_STATE, 1, false, 1, ALL_MODELS, "preset_state"},
    {STATUS_RECORDING_SECONDS, ST_RECORDING_SECONDS, 4, false, 2, ALL_MODELS, "recording_seconds"},
    {STATUS_BATTERY_PERCENT, ST_BATTERY_PERCENT, 1, false, 2, ALL_MODELS, "battery_percent"},
    {STATUS_BATTERY_BARS, ST_BATTERY_BARS, 1, false, 2, ALL_MODELS, "battery_bars"},
    {STATUS_SD_PRESENT, ST_SD_PRESENT, 1, false, 1, ALL_MODELS, "sd_present"},
    {STATUS_REMAINING_PHOTOS, ST_REMAINING_PHOTOS, 4, false, 2, ALL_MODELS, "remaining_photos"},
    {STATUS_REMAINING_VIDEO_S, ST_REMAINING_VIDEO_S, 4, false, 2, ALL_MODELS, "remaining_video_seconds"},
    {STATUS_MEDIA_COUNT, ST_MEDIA_COUNT, 4, false, 1, ALL_MODELS, "media_count"},
    {STATUS_AP_STATE, ST_AP_STATE, 1, false, 1, ALL_MODELS, "ap_state"},
    {STATUS_BLE_STATE, ST_BLE_STATE, 1, false, 1, ALL_MODELS, "ble_state"},
    {STATUS_PAIRING, ST_PAIRING, 1, false, 1, ALL_MODELS, "pairing"},
    {STATUS_SCAN_STATE, ST_SCAN_STATE, 1, false, 1, ALL_MODELS, "scan_state"},
    {STATUS_LOCATE, ST_LOCATE, 1, false, 1, ALL_MODELS, "locate"},
    {STATUS_VOICE_MODE, ST_VOICE_MODE, 1, false, 1, MODEL_51 | MODEL_55, "voice_mode"},
    {STATUS_CAPTURE_DELAY, ST_CAPTURE_DELAY, 1, false, 1, ALL_MODELS, "capture_delay"},
    {STATUS_FW_UPDATE, ST_FW_UPDATE, 1, false, 1, ALL_MODELS, "fw_update"},
    {STATUS_WIFI_BAND, ST_WIFI_BAND, 1, false, 1, ALL_MODELS, "wifi_band"},
    {STATUS_CONNECTED_CLIENTS, ST_CONNECTED_CLIENTS, 1, false, 1, ALL_MODELS, "connected_clients"},
    {STATUS_LIVEVIEW_EXPOSURE, ST_LIVEVIEW_EXPOSURE, 1, false, 1, ALL_MODELS, "liveview_exposure"},
    {STATUS_TEMPERATURE_C, ST_TEMPERATURE_C, 1, true, 2, ALL_MODELS, "temperature_c"},
    {STATUS_LENS_MODE, ST_LENS_MODE, 1, true, 1, ALL_MODELS, "lens_mode"},
    {STATUS_STREAM_ORIENTATION, ST_STREAM_ORIENTATION, 1, false, 1, ALL_MODELS, "stream_orientation"},
    {STATUS_AUDIO_ACCESSORY, ST_AUDIO_ACCESSORY, 1, false, 1, MODEL_51 | MODEL_55, "audio_accessory"},
};

// Settings that are not plain one-byte 0..255 values on every model.
struct NamedSetting {
    uint16_t id;
    const char* name;
    uint8_t width;
    int32_t min;
    int32_t max;
    int16_t offset;    // fixed settings byte, or -1 for the next free one
    uint16_t aliasOf;  // 0, or the id whose bytes this one shares
    uint8_t models;
};

constexpr int16_t kAuto = -1;

constexpr NamedSetting kNamed[] = {
    {SETTING_VIDEO_RESOLUTION, "video_resolution", 1, 1, 40, kAuto, 0, ALL_MODELS},
    {SETTING_VIDEO_FPS, "video_fps", 1, 0, 15, kAuto, 0, ALL_MODELS},
    {SETTING_VIDEO_ISO_LIMIT, "video_iso_limit", 1, 0, 8, kAuto, 0, ALL_MODELS},
    {SETTING_PHOTO_ISO_LIMIT, "photo_iso_limit", 1, 0, 6, kAuto, 0, ALL_MODELS},
    {SETTING_CAPTURE_DURATION, "capture_duration", 2, 0, 3600, kAuto, 0, ALL_MODELS},
    {SETTING_MULTISHOT_ISO_LIMIT, "multishot_iso_limit", 1, 0, 6, kAuto, 0, ALL_MODELS},
    {SETTING_QUICK_CAPTURE_ALIAS, "quick_capture", 1, 0, 1, kAuto, SETTING_QUICK_CAPTURE, ALL_MODELS},
    {SETTING_PHOTO_ISO_MIN, "photo_iso_min", 1, 0, 6, kAuto, 0, ALL_MODELS},
    {SETTING_MULTISHOT_ISO_MIN, "multishot_iso_min", 1, 0, 6, kAuto, 0, ALL_MODELS},
    {SETTING_QUICK_CAPTURE, "quick_capture", 1, 0, 1, kAuto, 0, ALL_MODELS},
    {SETTING_VIDEO_ISO_MIN, "video_iso_min", 1, 0, 8, kAuto, 0, ALL_MODELS},
    {SETTING_PHOTO_TIMER, "photo_timer", 1, 0, 30, kAuto, 0, ALL_MODELS},
    {SETTING_ORIENTATION, "orientation", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_EV_COMPENSATION, "ev_compensation", 1, -20, 20, kAuto, 0, ALL_MODELS},
    {SETTING_LENS, "lens", 1, 0, 255, camlayout::SE_LENS_SETTING, 0, ALL_MODELS},
    {SETTING_LENS_2, "lens_2", 1, 0, 255, camlayout::SE_LENS_SETTING_2, 0, ALL_MODELS},
    {SETTING_NIGHTLAPSE_LENS, "nightlapse_lens", 1, 0, 255, camlayout::SE_NIGHTLAPSE_LENS, 0, ALL_MODELS},
    {SETTING_NIGHTLAPSE_LENS_2, "nightlapse_lens_2", 1, 0, 255, camlayout::SE_NIGHTLAPSE_LENS_2, 0, ALL_MODELS},
    {SETTING_ONSCREEN_CONTROL_0, "onscreen_control_0", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_ONSCREEN_CONTROL_1, "onscreen_control_1", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_ONSCREEN_SHORTCUT_0, "onscreen_shortcut_0", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_ONSCREEN_SHORTCUT_1, "onscreen_shortcut_1", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_FLAT_MODE, "flat_mode", 1, 0, 255, camlayout::SE_FLAT_MODE, 0, ALL_MODELS},
    {SETTING_VIDEO_SHUTTER, "video_shutter", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_AUDIO_OPTION, "audio_option", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_MIC_OPTION, "mic_option", 1, 0, 255, kAuto, 0, ALL_MODELS},
    {SETTING_RUSHLAPSE_SPEED_1X, "rushlapse_speed_1x", 1, 0, 1, kAuto, 0, MODEL_51 | MODEL_55},
    {SETTING_RUSHLAPSE_SPEED_RAMP, "rushlapse_speed_ramp", 1, 0, 255, kAuto, 0, MODEL_51 | MODEL_55},
    {SETTING_RUSHLAPSE_RAMP_ACTIVE, "rushlapse_ramp_active", 1, 0, 1, kAuto, 0, MODEL_51 | MODEL_55},
};

constexpr NamedSetting kPlain = {0, "setting", 1, 0, 255, kAuto, 0, ALL_MODELS};

constexpr const NamedSetting& describe(int id)
{
    for (const NamedSetting& s : kNamed)
        if (s.id == id)
            return s;
    return kPlain;
}

struct Layout {
    csi_setting_row_t rows[kSettingRows];
    uint8_t models[kSettingRows];
    bool fits;
};

constexpr void place(Layout& layout, int id, const NamedSetting& s, int offset)
{
    uint32_t* row = layout.rows[id];
    row[CSI_ROW_SETTING_ID] = static_cast<uint32_t>(id);
    row[CSI_ROW_JSON_ID] = static_cast<uint32_t>(id);
    row[CSI_ROW_BLOCK] = 0;
    row[CSI_ROW_OFFSET] = static_cast<uint32_t>(offset);
    row[CSI_ROW_WIDTH] = s.width;
    row[CSI_ROW_MIN] = static_cast<uint32_t>(s.min);
    row[CSI_ROW_MAX] = static_cast<uint32_t>(s.max);
    layout.models[id] = s.models;
}

constexpr Layout buildLayout()
{
    Layout layout{};
    layout.fits = true;
    bool taken[CSI_SETTINGS_BLOCK_SIZE] = {};
    for (const NamedSetting& s : kNamed) {
        if (s.offset == kAuto)
            continue;
        for (int b = 0; b < s.width; ++b)
            taken[s.offset + b] = true;
        place(layout, s.id, s, s.offset);
    }
    int next = 0;
    for (int id = 0; id < kSettingRows; ++id) {
        const NamedSetting& s = describe(id);
        if (s.offset != kAuto || s.aliasOf != 0)
            continue;
        for (;;) {
            bool free = next + s.width <= CSI_SETTINGS_BLOCK_SIZE;
            for (int b = 0; free && b < s.width; ++b)
                free = !taken[next + b];
            if (free || next + s.width > CSI_SETTINGS_BLOCK_SIZE)
                break;
            ++next;
        }
        if (next + s.width > CSI_SETTINGS_BLOCK_SIZE) {
            layout.fits = false;
            return layout;
        }
        for (int b = 0; b < s.width; ++b)
            taken[next + b] = true;
        place(layout, id, s, next);
        next += s.width;
    }
    for (const NamedSetting& s : kNamed) {
        if (s.aliasOf == 0)
            continue;
        place(layout, s.id, s, static_cast<int>(layout.rows[s.aliasOf][CSI_ROW_OFFSET]));
        layout.rows[s.id][CSI_ROW_JSON_ID] = s.aliasOf;
    }
    return layout;
}

constexpr Layout kLayout = buildLayout();
static_assert(kLayout.fits, "every setting fits the settings block");
static_assert(kLayout.rows[SETTING_FLAT_MODE][CSI_ROW_OFFSET] == camlayout::SE_FLAT_MODE, "flat mode byte");

struct ModelRows {
    csi_setting_row_t rows[kSettingRows];
};

// The model's table: rows of settings it lacks keep only their id.
constexpr ModelRows rowsFor(uint8_t mask)
{
    ModelRows m{};
    for (int id = 0; id < kSettingRows; ++id) {
        for (int w = 0; w < CSI_ROW_WORDS; ++w)
            m.rows[id][w] = kLayout.rows[id][w];
        if (!(kLayout.models[id] & mask)) {
            for (int w = 0; w < CSI_ROW_WORDS; ++w)
                m.rows[id][w] = 0;
            m.rows[id][CSI_ROW_SETTING_ID] = static_cast<uint32_t>(id);
            m.rows[id][CSI_ROW_JSON_ID] = static_cast<uint32_t>(id);
        }
    }
    return m;
}

constexpr ModelRows kRows50 = rowsFor(MODEL_50);
constexpr ModelRows kRows51 = rowsFor(MODEL_51);
constexpr ModelRows kRows55 = rowsFor(MODEL_55);

}  // namespace

const StatusItem* statusItems(size_t* count)
{
    *count = sizeof kStatus / sizeof kStatus[0];
    return kStatus;
}

bool onModel(uint8_t models, uint8_t model)
{
    switch (model) {
    case 50: return models & MODEL_50;
    case 51: return models & MODEL_51;
    case 55: return models & MODEL_55;
    default: return false;
    }
}

uint8_t tableModel(uint8_t model) { return settingRows(model) ? model : CSI_DEFAULT_MODEL; }

const csi_setting_row_t* settingRows(uint8_t model)
{
    switch (model) {
    case 50: return kRows50.rows;
    case 51: return kRows51.rows;
    case 55: return kRows55.rows;
    default: return nullptr;
    }
}

const char* settingName(int id)
{
    if (id < 0 || id >= kSettingRows)
        return nullptr;
    return describe(id).name;
}

int64_t readItem(const uint8_t* block, size_t blockSize, uint32_t offset, uint32_t width, bool isSigned)
{
    if (block == nullptr || (width != 1 && width != 2 && width != 4) || offset > blockSize ||
        width > blockSize - offset)
        return 0;
    uint32_t value = 0;
    for (uint32_t i = 0; i < width; ++i)
        value |= static_cast<uint32_t>(block[offset + i]) << (8 * i);
    if (!isSigned)
        return value;
    const uint32_t signBit = 1u << (8 * width - 1);
    return static_cast<int64_t>(value ^ signBit) - static_cast<int64_t>(signBit);
}

}  // namespace csi

const csi_setting_row_t* camera_settings_id_table(uint8_t model, int* count)
{
    const csi_setting_row_t* rows = csi::settingRows(model);
    if (count)
        *count = rows ? csi::kSettingRows : 0;
    if (rows == nullptr)
        ZTLOG(UTIL_LOG_ERROR, "camera_settings_id_table: no table for model %u", model);
    return rows;
}
