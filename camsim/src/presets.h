// The camera's presets: six groups (0 video, 1 photo, 2 time-lapse, 3 to 5 their dual-lens
// variants), the factory presets of each, and custom presets added to groups 0 to 5.
// A preset's settings are the first 54 bytes of the settings block as they were when it was
// stored; loading it copies them back.
#ifndef CAMSIM_PRESETS_H
#define CAMSIM_PRESETS_H

#include <stdint.h>

#include <vector>

namespace camsim {

constexpr int kPresetGroups = 6;
constexpr int kPresetSettings = 54;
constexpr int kMaxCustomPerGroup = 10;
constexpr uint8_t kPresetSwitchedEvent = 6;  // "PU" event: the camera switched to another preset

struct PresetData {
    int8_t flatMode = 0;
    uint32_t icon = 0;
    uint32_t title = 0;
    uint32_t titleNumber = 0;
    uint8_t settings[kPresetSettings] = {};
};

struct Preset {
    uint32_t id = 0;
    bool userDefined = false;
    bool edited = false;
    PresetData data;
    PresetData factory;  // what a preset factory reset restores
};

inline int presetGroup(uint32_t id) { return int((id >> 16) & 0xFF); }

class PresetStore {
public:
    // Factory state: the predefined presets only, their settings derived from base (54 bytes).
    void reset(const uint8_t* base);

    Preset* find(uint32_t id);
    const Preset* find(uint32_t id) const;
    // Ids of a group in list order; empty for a group outside 0..5.
    const std::vector<uint32_t>& group(int g) const;
    uint32_t first(int g) const { return group(g).empty() ? 0 : group(g).front(); }

    // 0 with the new id, or -3 (bad group) / -101 (group full).
    int create(int g, const PresetData& data, uint32_t* newId);
    // 0, -3 (unknown id) or -101 (a factory preset).
    int remove(uint32_t id);
    // Moves the preset to position order of its group (clamped to the end). 0 or -3.
    int reorder(uint32_t id, uint32_t order);

    // The 80-byte record of the preset.
    static void record(const Preset& p, uint8_t out[80]);
    static bool isFactoryId(uint32_t id);

private:
    std::vector<Preset> presets_;
    std::vector<uint32_t> order_[kPresetGroups];
};

}  // namespace camsim

#endif
