// Remote operations of category 17: preset groups and lists, records, custom presets, the
// preset edit (start 17/8, cancel 17/9, store 17/10), load, factory reset, title and flat mode.
#include <string.h>

#include "camera_layout.h"
#include "camera_model.h"
#include "flat_modes.h"

namespace camsim {

using namespace camlayout;

namespace {

bool readId(const uint8_t* p, int n, uint32_t* id) {
    if (n < 4) return false;
    *id = getLe32(p);
    return true;
}

}  // namespace

void CameraModel::reportPresetSwitch(uint32_t id) {
    uint8_t arg[5];
    arg[0] = kPresetSwitchedEvent;
    putLe32(arg + 1, id);
    events_.postEvent(10, "PU", arg, sizeof arg);
}

uint32_t CameraModel::activePresetId() const {
    uint32_t group = st32(ST_MODE_GROUP);
    if (group == 6) return st32(ST_SPECIAL_PRESET);
    return st32(ST_VIDEO_PRESET + 4 * int(group % 3));
}

int CameraModel::loadPreset(uint32_t id) {
    const Preset* p = presets_.find(id);
    if (!p) return -3;
    if (editOpen_ && editPreset_ != id) editStore();
    int group = presetGroup(id);
    setSt32(ST_VIDEO_PRESET + 4 * (group % 3), id);
    setSt32(ST_MODE_GROUP, uint32_t(group));
    memcpy(settings_, p->data.settings, kPresetSettings);
    settings_[SE_FLAT_MODE] = uint8_t(p->data.flatMode);
    afterSettingsWrite(SE_FLAT_MODE, 1);
    return 0;
}

void CameraModel::editStart(uint32_t id) {
    if (editOpen_) editStore();
    editOpen_ = true;
    editPreset_ = id;
    setSt32(ST_EDITED_PRESET, id);
    status_[ST_PRESET_STATE] = 1;
}

// Stores what changed since the edit started into the preset; a preset that changed is marked
// edited and the preset state byte says so (3).
void CameraModel::editStore() {
    if (!editOpen_) return;
    editOpen_ = false;
    Preset* p = presets_.find(editPreset_);
    if (!p) {
        status_[ST_PRESET_STATE] = 0;
        return;
    }
    int8_t flat = int8_t(settings_[SE_FLAT_MODE]);
    bool changed = flat != p->data.flatMode || memcmp(settings_, p->data.settings, kPresetSettings) != 0;
    if (changed) {
        memcpy(p->data.settings, settings_, kPresetSettings);
        p->data.flatMode = flat;
        p->edited = true;
    }
    status_[ST_PRESET_STATE] = changed ? 3 : 0;
}

void CameraModel::editCancel() {
    if (!editOpen_) return;
    editOpen_ = false;
    status_[ST_PRESET_STATE] = 0;
    if (editPreset_ == activePresetId()) loadPreset(editPreset_);
}

void CameraModel::presetCreate(const uint8_t* p, int n, Answer& a) {
    if (n < 18) return a.fail(-3);
    int group = p[0];
    int flat = int8_t(p[1]);
    if (flatModeFamily(flat) < 0) return a.fail(-3);
    PresetData data;
    data.flatMode = int8_t(flat);
    data.icon = getLe32(p + 2);
    data.title = getLe32(p + 6);
    data.titleNumber = getLe32(p + 10);
    memcpy(data.settings, settings_, kPresetSettings);
    data.settings[SE_FLAT_MODE] = uint8_t(flat);
    uint32_t id = 0;
    int r = presets_.create(group, data, &id);
    if (r != 0) return a.fail(r);
    // The new preset becomes the active one with an edit open on it, as on the camera's own menu.
    loadPreset(id);
    editStart(id);
    uint8_t out[4];
    putLe32(out, id);
    a.put(out, 4);
    log_.write(SIMLOG_INFO, "custom preset 0x%x created", id);
}

void CameraModel::presetOp(uint8_t op, const uint8_t* p, int n, Answer& a) {
    uint32_t id = 0;
    switch (op) {
    case 0:  // group list
        a.putByte(kPresetGroups);
        for (int g = 0; g < kPresetGroups; ++g) a.putByte(uint8_t(g));
        return;
    case 1: {  // presets of a group
        if (n < 1 || p[0] >= kPresetGroups) return a.fail(-3);
        const std::vector<uint32_t>& ids = presets_.group(p[0]);
        a.putByte(uint8_t(ids.size()));
        for (uint32_t i : ids) {
            uint8_t w[4];
            putLe32(w, i);
            a.put(w, 4);
        }
        return;
    }
    case 2: {  // one record
        const Preset* pr = readId(p, n, &id) ? presets_.find(id) : nullptr;
        if (!pr) return a.fail(-3);
        uint8_t rec[kPresetRecordSize];
        PresetStore::record(*pr, rec);
        a.put(rec, sizeof rec);
        return;
    }
    case 3:
        return presetCreate(p, n, a);
    case 4: {  // remove
        if (!readId(p, n, &id)) return a.fail(-3);
        bool wasActive = id == activePresetId();
        int r = presets_.remove(id);
        if (r != 0) return a.fail(r);
        if (editOpen_ && editPreset_ == id) {
            editOpen_ = false;
            status_[ST_PRESET_STATE] = 0;
        }
        int family = presetGroup(id) % 3;
        if (st32(ST_VIDEO_PRESET + 4 * family) == id) setSt32(ST_VIDEO_PRESET + 4 * family, presets_.first(presetGroup(id)));
        if (wasActive) loadPreset(presets_.first(presetGroup(id)));
        return;
    }
    case 5:  // move to a position in its group
        if (n < 8) return a.fail(-3);
        return a.fail(presets_.reorder(getLe32(p), getLe32(p + 4)));
    case 8:
        if (!readId(p, n, &id) || !presets_.find(id)) return a.fail(-3);
        return editStart(id);
    case 9:
        return editCancel();
    case 10:
        return editStore();
    case 12:
        if (!readId(p, n, &id)) return a.fail(-3);
        return a.fail(loadPreset(id));
    case 13: {  // factory reset of one preset
        Preset* pr = readId(p, n, &id) ? presets_.find(id) : nullptr;
        if (!pr) return a.fail(-3);
        pr->data = pr->factory;
        pr->edited = false;
        if (st32(ST_EDITED_PRESET) == id) status_[ST_PRESET_STATE] = 0;
        if (id == activePresetId()) loadPreset(id);
        return;
    }
    case 15: {  // title and icon: id, icon, title, title number, 0
        Preset* pr = n >= 20 && readId(p, n, &id) ? presets_.find(id) : nullptr;
        if (!pr) return a.fail(-3);
        pr->data.icon = getLe32(p + 4);
        pr->data.title = getLe32(p + 8);
        pr->data.titleNumber = getLe32(p + 12);
        return;
    }
    case 23:  // flat mode of the active preset; kept by the next edit store
        if (n < 1 || flatModeFamily(int8_t(p[0])) < 0) return a.fail(-3);
        settings_[SE_FLAT_MODE] = p[0];
        return afterSettingsWrite(SE_FLAT_MODE, 1);
    default:
        return a.fail(-104);
    }
}

}  // namespace camsim
