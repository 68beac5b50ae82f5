// JSON members of status and settings: numeric item ids as keys, values as decimal numbers,
// members joined by "," with no blanks ("13":1,"14":65537).
#include <string>

#include "csi_settings.h"
#include "csi_tables.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

std::string keyOf(uint16_t id) { return "\"" + std::to_string(id) + "\":"; }

// Writes members, the separator before all but the first; counts them.
class MemberWriter {
public:
    explicit MemberWriter(std::stringstream& out) : out_(out) {}

    void add(uint16_t id, int64_t value) { add(keyOf(id), value); }
    void add(const std::string& key, int64_t value)
    {
        if (count_++)
            out_ << ',';
        out_ << key << value;
    }
    int count() const { return count_; }

private:
    std::stringstream& out_;
    int count_ = 0;
};

const uint8_t* statusBlock(const all_status_settings_t* r) { return r->status.bytes; }
const uint8_t* settingsBlock(const all_status_settings_t* r) { return r->settings.bytes; }

int64_t statusValue(const uint8_t* status, const csi::StatusItem& item)
{
    return csi::readItem(status, CSI_STATUS_BLOCK_SIZE, item.offset, item.width, item.isSigned);
}

// Value of a settings-id row, read from the block the row names.
int64_t rowValue(const uint32_t* row, const uint8_t* status, const uint8_t* settings)
{
    const bool inStatus = row[CSI_ROW_BLOCK] == 1;
    const bool isSigned = static_cast<int32_t>(row[CSI_ROW_MIN]) < 0;
    return csi::readItem(inStatus ? status : settings, inStatus ? CSI_STATUS_BLOCK_SIZE : CSI_SETTINGS_BLOCK_SIZE,
                         row[CSI_ROW_OFFSET], row[CSI_ROW_WIDTH], isSigned);
}

// Rows that appear in JSON: settings the model has, aliases left out.
bool reported(const uint32_t* row)
{
    return row[CSI_ROW_WIDTH] != 0 && row[CSI_ROW_JSON_ID] == row[CSI_ROW_SETTING_ID];
}

// Visits the model's status items with their index among the model's items.
template <typename Visit>
void forEachStatusItem(uint8_t model, Visit visit)
{
    size_t count = 0;
    const csi::StatusItem* items = csi::statusItems(&count);
    size_t index = 0;
    for (size_t i = 0; i < count; ++i)
        if (csi::onModel(items[i].models, model))
            visit(items[i], index++);
}

// bossCache holds the model number, then the key of each of the model's status items.
bool cacheMatches(const std::vector<std::string>& bossCache, uint8_t model)
{
    size_t items = 0;
    forEachStatusItem(model, [&](const csi::StatusItem&, size_t) { ++items; });
    return bossCache.size() == items + 1 && bossCache[0] == std::to_string(model);
}

void writeSettingsMembers(MemberWriter& members, const uint8_t* status, const uint8_t* settings,
                          const ztcontrol_system_settings* system, uint8_t model)
{
    const csi_setting_row_t* rows = csi::settingRows(model);
    for (int id = 0; id < csi::kSettingRows; ++id)
        if (reported(rows[id]))
            members.add(static_cast<uint16_t>(id), rowValue(rows[id], status, settings));
    if (system) {
        members.add(csi::kJsonSystemLensMode, system->lensMode);
        members.add(csi::kJsonSystemLens, system->lens);
    }
}

}  // namespace

void camera_status_init_bossCache(uint8_t model, std::vector<std::string>& bossCache)
{
    model = csi::tableModel(model);
    bossCache.clear();
    bossCache.push_back(std::to_string(model));
    forEachStatusItem(model, [&](const csi::StatusItem& item, size_t) { bossCache.push_back(keyOf(item.id)); });
}

int camera_status_serialize_status_changes_to_json(std::stringstream& out, int group,
                                                   const all_status_settings_t* current,
                                                   const all_status_settings_t* previous, uint8_t model,
                                                   const std::vector<std::string>& bossCache)
{
    if (current == nullptr || previous == nullptr || (group != 1 && group != 2)) {
        ZTLOG(UTIL_LOG_ERROR, "status changes: bad arguments (group %d)", group);
        return ZT_ERR_INVALID_PARAM;
    }
    model = csi::tableModel(model);
    const bool cached = cacheMatches(bossCache, model);
    MemberWriter members(out);
    forEachStatusItem(model, [&](const csi::StatusItem& item, size_t index) {
        if (item.group != group)
            return;
        const int64_t now = statusValue(statusBlock(current), item);
        if (now == statusValue(statusBlock(previous), item))
            return;
        if (cached)
            members.add(bossCache[index + 1], now);
        else
            members.add(item.id, now);
    });
    return members.count();
}

int camera_status_serialize_settings_changes_to_json(std::stringstream& out, const all_status_settings_t* current,
                                                     const all_status_settings_t* previous, uint8_t model)
{
    if (current == nullptr || previous == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "settings changes: missing record");
        return ZT_ERR_INVALID_PARAM;
    }
    const csi_setting_row_t* rows = csi::settingRows(csi::tableModel(model));
    MemberWriter members(out);
    for (int id = 0; id < csi::kSettingRows; ++id) {
        if (!reported(rows[id]))
            continue;
        const int64_t now = rowValue(rows[id], statusBlock(current), settingsBlock(current));
        if (now != rowValue(rows[id], statusBlock(previous), settingsBlock(previous)))
            members.add(static_cast<uint16_t>(id), now);
    }
    if (current->system.lensMode != previous->system.lensMode)
        members.add(csi::kJsonSystemLensMode, current->system.lensMode);
    if (current->system.lens != previous->system.lens)
        members.add(csi::kJsonSystemLens, current->system.lens);
    return members.count();
}

void camera_status_serialize_status_to_json(std::stringstream& out, const all_status_settings_t* record,
                                            uint8_t model)
{
    out << "\"status\":{";
    if (record == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "status JSON: missing record");
    } else {
        MemberWriter members(out);
        forEachStatusItem(csi::tableModel(model), [&](const csi::StatusItem& item, size_t) {
            members.add(item.id, statusValue(statusBlock(record), item));
        });
    }
    out << '}';
}

void camera_settings_serialize_to_json(std::stringstream& out, const appc_setup_all_settings* settings,
                                       const appc_system_all_status* status,
                                       const ztcontrol_system_settings* system, uint8_t model)
{
    out << "\"settings\":{";
    if (settings == nullptr || status == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "settings JSON: missing status or settings block");
    } else {
        MemberWriter members(out);
        writeSettingsMembers(members, status->bytes, settings->bytes, system, csi::tableModel(model));
    }
    out << '}';
}
