// The camera's 80-byte preset record as the client-side preset message, with the settings list of
// the record's flat-mode family.
#include <stdint.h>

#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "util/le_bytes.h"
#include "wsdkCommands/WSDK_Preset.pb.h"

namespace {

using wsdk_commands::WSDK_Preset;

constexpr uint8_t kModel51 = 51;
constexpr uint8_t kModel55 = 55;
constexpr int kDualLensMode = 1;
constexpr int32_t kNoNightlapseInterval = 3601;  // what a zero interval byte stands for

// Field numbers of WSDK_Preset that take camera numbers.
constexpr int kModeField = 2;
constexpr int kTitleField = 3;
constexpr int kIconField = 6;

// Appends settings read from the record's settings block.
class SettingsAppender {
public:
    SettingsAppender(const uint8_t* record, WSDK_Preset* preset)
        : block_(record + PRESET_RECORD_SETTINGS), preset_(preset) {}

    void add(int32_t settingId, size_t offset) { addValue(settingId, (int8_t)block_[offset]); }

    // A zero night-lapse interval byte is reported as its own value.
    void addInterval(int32_t settingId, size_t offset) {
        const int8_t v = (int8_t)block_[offset];
        addValue(settingId, v == 0 ? kNoNightlapseInterval : v);
    }

private:
    void addValue(int32_t settingId, int32_t value) {
        auto* s = preset_->add_setting_array();
        s->set_id(settingId);
        s->set_value(value);
        s->set_is_caption(true);
    }

    const uint8_t* block_;
    WSDK_Preset* preset_;
};

// Camera numbers outside the enum's values are still carried to the client as they are: proto2
// keeps them as unknown varints of the same field, which clients read like the set field.
template <typename IsValid, typename Set>
void setCameraEnum(WSDK_Preset* preset, int field, int32_t value, IsValid isValid, Set set) {
    if (isValid(value))
        set(value);
    else
        preset->mutable_unknown_fields()->AddVarint(field, (uint64_t)(int64_t)value);
}

void appendVideoSettings(int flatMode, SettingsAppender& a, bool dualLens, uint8_t model) {
    switch (flatMode) {
        case 12: case 15: case 23: case 27:
            a.add(2, 2);
            a.add(3, 3);
            if (flatMode == 15) a.add(6, 6);
            if (dualLens) return;
            break;
        case 13:
            a.add(2, 2);
            a.add(5, 9);
            if (model == kModel51 && dualLens) return;
            break;
        case 24:
            a.add(2, 2);
            a.add(111, 24);
            if (dualLens && model != kModel55) return;
            break;
        case 25:
            a.add(133, 2);
            break;
        default:  // 14 and 22 carry no settings
            return;
    }
    a.add(121, 4);
}

void appendPhotoSettings(int flatMode, uint32_t presetId, SettingsAppender& a, uint8_t model) {
    if (flatMode == 18) a.add(19, 5);
    if (model == kModel51) {
        if (presetId == 0x40000 || presetId == 0x10001 || presetId == 0x40003) a.add(105, 19);
        if (presetId == 0x10001 || presetId == 0x40000) return;
    }
    a.add(122, 2);
}

void appendMultishotSettings(int flatMode, SettingsAppender& a, bool dualLens, uint8_t model) {
    switch (flatMode) {
        case 19: a.add(147, 3); break;
        case 20: a.add(30, 4); break;
        case 21:
            a.add(31, 7);
            a.addInterval(32, 5);
            break;
        case 26:  // night-lapse video has no tail
            a.add(2, 28);
            a.addInterval(32, 5);
            a.add(121, 30);
            return;
        default: return;
    }
    if (model == kModel51 && dualLens) return;
    a.add(123, 2);
}

}  // namespace

void presetRecordToWsdk(const uint8_t* record, WSDK_Preset* preset, int lensMode, uint8_t model) {
    const int flatMode = (int8_t)record[PRESET_RECORD_FLAT_MODE];
    setCameraEnum(preset, kModeField, flatMode, wsdk_commands::WSDK_EnumFlatMode_IsValid,
                  [&](int v) { preset->set_mode((wsdk_commands::WSDK_EnumFlatMode)v); });
    preset->set_user_defined((int8_t)record[PRESET_RECORD_TYPE] != 0);

    int32_t icon = (int32_t)readLe32(record + PRESET_RECORD_ICON);
    if (flatMode == 21 && icon == 9) icon = wsdk_commands::WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO;
    if (flatMode == 20 && (icon == 8 || icon == 17)) icon = wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO;
    setCameraEnum(preset, kIconField, icon, wsdk_commands::WSDK_EnumPresetIcon_IsValid,
                  [&](int v) { preset->set_icon((wsdk_commands::WSDK_EnumPresetIcon)v); });

    setCameraEnum(preset, kTitleField, (int32_t)readLe32(record + PRESET_RECORD_TITLE),
                  wsdk_commands::WSDK_EnumPresetTitle_IsValid,
                  [&](int v) { preset->set_title_id((wsdk_commands::WSDK_EnumPresetTitle)v); });
    const int32_t titleNumber = (int32_t)readLe32(record + PRESET_RECORD_TITLE_NUMBER);
    if (titleNumber != 0) preset->set_title_number(titleNumber);
    preset->set_is_modified((int8_t)record[PRESET_RECORD_EDITED] > 0);

    SettingsAppender settings(record, preset);
    const bool dualLens = lensMode == kDualLensMode;
    if ((flatMode >= 12 && flatMode <= 15) || (flatMode >= 22 && flatMode <= 25) || flatMode == 27)
        appendVideoSettings(flatMode, settings, dualLens, model);
    else if (flatMode >= 16 && flatMode <= 18)
        appendPhotoSettings(flatMode, (uint32_t)preset->id(), settings, model);
    else if ((flatMode >= 19 && flatMode <= 21) || flatMode == 26)
        appendMultishotSettings(flatMode, settings, dualLens, model);
}

void presetRecordToWsdk(const uint8_t* record, WSDK_Preset* preset) {
    ZtcontrolCommandServer* server = ZtcontrolCommandServer::getInstance();
    presetRecordToWsdk(record, preset, server->getLensMode(), modelNumberOrDefault(server));
}
