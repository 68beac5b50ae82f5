#include "presets.h"

#include <string.h>

#include <algorithm>

#include "bytes.h"

namespace camsim {

namespace {

struct FactoryPreset {
    uint32_t id;
    int8_t flatMode;
    uint32_t icon;
    uint32_t title;
};

// Flat modes follow the camera's preset-for-mode choices: 0x20000 rush-lapse, 0x20001 time-lapse
// video, 0x20002 night-lapse, 0x10001 flurrix, 0x10002 burst, 0x10003 night photo, 3 slo-mo.
const FactoryPreset kFactory[] = {
    {0x00000, 12, 0, 0},  {0x00001, 12, 1, 1},  {0x00002, 12, 2, 2},  {0x00003, 27, 3, 3},
    {0x10000, 17, 4, 4},  {0x10001, 25, 5, 5},  {0x10002, 19, 6, 6},  {0x10003, 18, 7, 7},
    {0x20000, 24, 8, 8},  {0x20001, 13, 17, 9}, {0x20002, 21, 9, 10}, {0x30000, 12, 0, 11},
    {0x40000, 17, 4, 12}, {0x50000, 24, 8, 13}, {0x50001, 13, 17, 14},
};

const std::vector<uint32_t> kNoIds;

}  // namespace

void PresetStore::reset(const uint8_t* base) {
    presets_.clear();
    presets_.reserve(sizeof kFactory / sizeof kFactory[0] + kPresetGroups * kMaxCustomPerGroup);
    for (auto& o : order_) o.clear();
    for (const FactoryPreset& f : kFactory) {
        Preset p;
        p.id = f.id;
        p.data.flatMode = f.flatMode;
        p.data.icon = f.icon;
        p.data.title = f.title;
        memcpy(p.data.settings, base, kPresetSettings);
        // Tell the factory presets apart: resolution, frame rate and lens differ per preset.
        uint32_t n = f.id & 0xFFFF;
        p.data.settings[2] = uint8_t(1 + n);
        p.data.settings[3] = uint8_t(5 + presetGroup(f.id));
        p.data.settings[4] = uint8_t(n % 3);
        p.data.settings[25] = uint8_t(f.flatMode);
        p.factory = p.data;
        presets_.push_back(p);
        order_[presetGroup(f.id)].push_back(f.id);
    }
}

Preset* PresetStore::find(uint32_t id) {
    for (Preset& p : presets_)
        if (p.id == id) return &p;
    return nullptr;
}

const Preset* PresetStore::find(uint32_t id) const { return const_cast<PresetStore*>(this)->find(id); }

const std::vector<uint32_t>& PresetStore::group(int g) const {
    return g >= 0 && g < kPresetGroups ? order_[g] : kNoIds;
}

int PresetStore::create(int g, const PresetData& data, uint32_t* newId) {
    if (g < 0 || g >= kPresetGroups) return -3;
    int custom = 0;
    uint32_t highest = 0;
    for (uint32_t id : order_[g]) {
        const Preset* p = find(id);
        if (p && p->userDefined) ++custom;
        highest = std::max(highest, id & 0xFFFF);
    }
    if (custom >= kMaxCustomPerGroup || highest >= 0xFFFF) return -101;
    Preset p;
    p.id = (uint32_t(g) << 16) | (highest + 1);
    p.userDefined = true;
    p.data = data;
    p.factory = data;
    presets_.push_back(p);
    order_[g].push_back(p.id);
    *newId = p.id;
    return 0;
}

int PresetStore::remove(uint32_t id) {
    const Preset* p = find(id);
    if (!p) return -3;
    if (!p->userDefined) return -101;
    auto& o = order_[presetGroup(id)];
    o.erase(std::remove(o.begin(), o.end(), id), o.end());
    presets_.erase(std::remove_if(presets_.begin(), presets_.end(), [id](const Preset& q) { return q.id == id; }),
                   presets_.end());
    return 0;
}

int PresetStore::reorder(uint32_t id, uint32_t order) {
    if (!find(id)) return -3;
    auto& o = order_[presetGroup(id)];
    o.erase(std::remove(o.begin(), o.end(), id), o.end());
    size_t at = std::min<size_t>(order, o.size());
    o.insert(o.begin() + long(at), id);
    return 0;
}

void PresetStore::record(const Preset& p, uint8_t out[80]) {
    memset(out, 0, 80);
    out[0] = uint8_t(p.data.flatMode);
    out[1] = p.userDefined ? 1 : 0;
    putLe32(out + 2, p.id);
    putLe32(out + 8, p.data.icon);
    putLe32(out + 12, p.data.title);
    putLe32(out + 16, p.data.titleNumber);
    memcpy(out + 25, p.data.settings, kPresetSettings);
    out[79] = p.edited ? 1 : 0;
}

bool PresetStore::isFactoryId(uint32_t id) {
    for (const FactoryPreset& f : kFactory)
        if (f.id == id) return true;
    return false;
}

}  // namespace camsim
