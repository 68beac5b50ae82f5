// Settings-library stand-in: its item tables (every byte the daemon gives a meaning is an item, no
// two items share a byte) and the JSON written from them, assembled as the daemon assembles it.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <set>

#include "camera_layout.h"
#include "csi_settings.h"
#include "csi_tables.h"
#include "support/json_check.h"

namespace {

using namespace camlayout;

const uint8_t kModels[] = {50, 51, 55};

std::vector<const csi::StatusItem*> statusOf(uint8_t model) {
    size_t count = 0;
    const csi::StatusItem* items = csi::statusItems(&count);
    std::vector<const csi::StatusItem*> on;
    for (size_t i = 0; i < count; ++i)
        if (csi::onModel(items[i].models, model)) on.push_back(&items[i]);
    return on;
}

const csi::StatusItem* statusAt(uint8_t model, int offset) {
    for (const csi::StatusItem* item : statusOf(model))
        if (item->offset == offset) return item;
    return nullptr;
}

const csi_setting_row_t* rowsOf(uint8_t model) {
    int count = 0;
    return camera_settings_id_table(model, &count);
}

// The setting id owning each settings byte (-1: none), checking that no two settings share one.
std::vector<int> settingOwners(uint8_t model) {
    int count = 0;
    const csi_setting_row_t* rows = camera_settings_id_table(model, &count);
    std::vector<int> owner(CSI_SETTINGS_BLOCK_SIZE, -1);
    for (int id = 0; id < count; ++id) {
        const uint32_t* row = rows[id];
        if (row[CSI_ROW_WIDTH] == 0 || row[CSI_ROW_JSON_ID] != static_cast<uint32_t>(id))
            continue;  // not on this model, or an alias
        EXPECT_EQ(row[CSI_ROW_BLOCK], 0u) << id;
        EXPECT_LE(row[CSI_ROW_OFFSET] + row[CSI_ROW_WIDTH], static_cast<uint32_t>(CSI_SETTINGS_BLOCK_SIZE))
            << id;
        EXPECT_LE(static_cast<int32_t>(row[CSI_ROW_MIN]), static_cast<int32_t>(row[CSI_ROW_MAX])) << id;
        for (uint32_t b = row[CSI_ROW_OFFSET];
             b < row[CSI_ROW_OFFSET] + row[CSI_ROW_WIDTH] && b < owner.size(); ++b) {
            EXPECT_EQ(owner[b], -1) << "settings " << id << " and " << owner[b];
            owner[b] = id;
        }
    }
    return owner;
}

TEST(CsiStatusItems, CoverEveryLayoutPositionInItsGroupWithoutOverlap) {
    const std::set<int> throttled = {ST_RECORDING_SECONDS, ST_BATTERY_PERCENT,   ST_BATTERY_BARS,
                                     ST_REMAINING_PHOTOS,  ST_REMAINING_VIDEO_S, ST_TEMPERATURE_C};
    // clang-format off
    const int positions[] = {ST_FLAT_MODE, ST_SUB_MODE, ST_VIDEO_FLAT_MODE, ST_PHOTO_FLAT_MODE,
        ST_TIMELAPSE_FLAT_MODE, ST_ZOOM, ST_BUSY, ST_VIDEO_PRESET, ST_PHOTO_PRESET, ST_TIMELAPSE_PRESET,
        ST_MODE_GROUP, ST_SPECIAL_PRESET, ST_EDITED_PRESET, ST_ENCODING, ST_PRESET_STATE,
        ST_RECORDING_SECONDS, ST_BATTERY_PERCENT, ST_BATTERY_BARS, ST_SD_PRESENT, ST_REMAINING_PHOTOS,
        ST_REMAINING_VIDEO_S, ST_MEDIA_COUNT, ST_AP_STATE, ST_BLE_STATE, ST_PAIRING, ST_SCAN_STATE, ST_LOCATE,
        ST_VOICE_MODE, ST_CAPTURE_DELAY, ST_FW_UPDATE, ST_WIFI_BAND, ST_CONNECTED_CLIENTS,
        ST_LIVEVIEW_EXPOSURE, ST_TEMPERATURE_C, ST_LENS_MODE, ST_STREAM_ORIENTATION, ST_AUDIO_ACCESSORY};
    // clang-format on
    for (int offset : positions) {
        const csi::StatusItem* item = statusAt(55, offset);
        ASSERT_NE(item, nullptr) << "status byte " << offset;
        EXPECT_EQ(item->group, throttled.count(offset) ? 2 : 1) << "status byte " << offset;
    }
    EXPECT_EQ(statusAt(55, ST_VIDEO_PRESET)->width, 4);
    EXPECT_TRUE(statusAt(55, ST_ZOOM)->isSigned);
    EXPECT_EQ(statusAt(50, ST_AUDIO_ACCESSORY), nullptr);  // model 50 has no audio accessory port

    // Ids repeated within a model show as repeated member names in CsiJson.FullStateParsesAndHoldsEveryItem.
    for (uint8_t model : kModels) {
        std::vector<bool> used(CSI_STATUS_BLOCK_SIZE, false);
        for (const csi::StatusItem* item : statusOf(model)) {
            ASSERT_TRUE(item->width == 1 || item->width == 2 || item->width == 4) << item->name;
            ASSERT_LE(item->offset + item->width, CSI_STATUS_BLOCK_SIZE) << item->name;
            for (int b = item->offset; b < item->offset + item->width; ++b) {
                EXPECT_FALSE(used[b]) << item->name << " overlaps at " << b;
                used[b] = true;
            }
        }
    }
}

TEST(CsiSettingsTable, RowsTheDaemonUsesSitAtTheirBytesWithoutOverlap) {
    for (uint8_t model : kModels) {
        SCOPED_TRACE("model " + std::to_string(model));
        int count = 0;
        const csi_setting_row_t* rows = camera_settings_id_table(model, &count);
        ASSERT_NE(rows, nullptr);
        ASSERT_GE(count, 171);
        for (int id = 0; id < count; ++id) EXPECT_EQ(rows[id][CSI_ROW_SETTING_ID], static_cast<uint32_t>(id));
        for (int id :
             {2, 3, 13, 24, 32, 37, 55, 75, 76, 91, 102, 105, 112, 129, 130, 131, 132, 144, 145, 149, 164})
            EXPECT_NE(rows[id][CSI_ROW_WIDTH], 0u) << "setting " << id;
        const std::pair<int, int> fixed[] = {{csi::SETTING_FLAT_MODE, SE_FLAT_MODE},
                                             {csi::SETTING_LENS, SE_LENS_SETTING},
                                             {csi::SETTING_LENS_2, SE_LENS_SETTING_2},
                                             {csi::SETTING_NIGHTLAPSE_LENS, SE_NIGHTLAPSE_LENS},
                                             {csi::SETTING_NIGHTLAPSE_LENS_2, SE_NIGHTLAPSE_LENS_2}};
        for (const auto& f : fixed) {
            EXPECT_EQ(rows[f.first][CSI_ROW_OFFSET], static_cast<uint32_t>(f.second))
                << "setting " << f.first;
            EXPECT_EQ(rows[f.first][CSI_ROW_WIDTH], 1u) << "setting " << f.first;
        }
        const uint32_t* alias = rows[csi::SETTING_QUICK_CAPTURE_ALIAS];
        const uint32_t* target = rows[csi::SETTING_QUICK_CAPTURE];
        EXPECT_EQ(alias[CSI_ROW_JSON_ID], static_cast<uint32_t>(csi::SETTING_QUICK_CAPTURE));
        EXPECT_EQ(alias[CSI_ROW_OFFSET], target[CSI_ROW_OFFSET]);
        EXPECT_EQ(alias[CSI_ROW_WIDTH], target[CSI_ROW_WIDTH]);
        settingOwners(model);
    }
    EXPECT_EQ(rowsOf(50)[csi::SETTING_RUSHLAPSE_SPEED_1X][CSI_ROW_WIDTH], 0u);
    EXPECT_NE(rowsOf(55)[csi::SETTING_RUSHLAPSE_SPEED_1X][CSI_ROW_WIDTH], 0u);
    int count = 5;
    EXPECT_EQ(camera_settings_id_table(19, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(csi::tableModel(19), CSI_DEFAULT_MODEL);
    EXPECT_EQ(csi::tableModel(51), 51);
    EXPECT_STREQ(csi::settingName(csi::SETTING_FLAT_MODE), "flat_mode");
    EXPECT_STREQ(csi::settingName(7), "setting");
    EXPECT_EQ(csi::settingName(csi::kSettingRows), nullptr);
}

TEST(CsiReadItem, WidthsSignsAndBounds) {
    const uint8_t block[6] = {0xFE, 0xFF, 0x01, 0x00, 0x00, 0x80};
    EXPECT_EQ(csi::readItem(block, 6, 0, 1, false), 0xFE);
    EXPECT_EQ(csi::readItem(block, 6, 0, 1, true), -2);
    EXPECT_EQ(csi::readItem(block, 6, 0, 2, true), -2);
    EXPECT_EQ(csi::readItem(block, 6, 1, 2, false), 0x01FF);
    EXPECT_EQ(csi::readItem(block, 6, 2, 4, false), 0x80000001LL);
    EXPECT_EQ(csi::readItem(block, 6, 2, 4, true), -0x7FFFFFFFLL);
    EXPECT_EQ(csi::readItem(block, 6, 3, 4, false), 0);  // runs past the block
    EXPECT_EQ(csi::readItem(block, 6, 0, 3, false), 0);  // no such width
}

all_status_settings_t randomRecord(unsigned seed) {
    std::mt19937 rng(seed);
    all_status_settings_t r;
    for (uint8_t& b : reinterpret_cast<uint8_t(&)[sizeof r]>(r)) b = static_cast<uint8_t>(rng());
    return r;
}

std::string fullState(const all_status_settings_t& r, uint8_t model) {
    std::stringstream status, settings;
    camera_status_serialize_status_to_json(status, &r, model);
    camera_settings_serialize_to_json(settings, &r.settings, &r.status, &r.system, model);
    return "{" + status.str() + ",\n" + settings.str() + "}";
}

struct Changes {
    int group2 = 0, group1 = 0, settings = 0;
    std::string text;  // the daemon's change notification, or "" when nothing changed
};

Changes changes(const all_status_settings_t& now, const all_status_settings_t& before, uint8_t model,
                const std::vector<std::string>& bossCache) {
    Changes c;
    std::stringstream a, b, s;
    c.group2 = camera_status_serialize_status_changes_to_json(a, 2, &now, &before, model, bossCache);
    c.group1 = camera_status_serialize_status_changes_to_json(b, 1, &now, &before, model, bossCache);
    c.settings = camera_status_serialize_settings_changes_to_json(s, &now, &before, model);
    std::string body;
    if (c.group2 + c.group1 >= 1)
        body = "\"status\":{" + a.str() + (c.group2 > 0 && c.group1 > 0 ? "," : "") + b.str() + "}";
    if (c.settings >= 1)
        body += (body.empty() ? "" : ",\n") + std::string("\"settings\":{") + s.str() + "}\n";
    c.text = body.empty() ? "" : "{" + body + "}";
    return c;
}

TEST(CsiJson, FullStateParsesAndHoldsEveryItem) {
    for (uint8_t model : kModels) {
        const all_status_settings_t r = randomRecord(model);
        Json doc = parseJson(fullState(r, model));
        ASSERT_TRUE(doc.is_object() && doc.size() == 2) << "model " << int(model) << ": " << fullState(r, model);
        EXPECT_EQ(doc["status"].size(), statusOf(model).size());
        const csi_setting_row_t* rows = rowsOf(model);
        size_t settings = 2;  // lens mode and lens
        for (int id = 0; id < csi::kSettingRows; ++id)
            settings +=
                rows[id][CSI_ROW_WIDTH] != 0 && rows[id][CSI_ROW_JSON_ID] == static_cast<uint32_t>(id);
        EXPECT_EQ(doc["settings"].size(), settings);
        EXPECT_FALSE(doc["settings"].contains("55")) << "aliases are not reported";
    }
    const all_status_settings_t r = randomRecord(5);  // unknown models use the default tables
    EXPECT_EQ(fullState(r, 0), fullState(r, CSI_DEFAULT_MODEL));
    EXPECT_EQ(fullState(r, 99), fullState(r, CSI_DEFAULT_MODEL));
}

// Widths and signs of status items are pinned by the table and readItem tests, and the change
// texts below read the same values: here the full state writes what each item reads.
TEST(CsiJson, ValuesFollowWidthAndSign) {
    all_status_settings_t r{};
    r.status.bytes[ST_ZOOM] = 0xFF;  // -1
    const csi_setting_row_t* rows = rowsOf(55);
    r.settings.bytes[rows[csi::SETTING_EV_COMPENSATION][CSI_ROW_OFFSET]] = 0xF6;  // -10
    const uint16_t duration = 3600;
    memcpy(r.settings.bytes + rows[csi::SETTING_CAPTURE_DURATION][CSI_ROW_OFFSET], &duration, 2);
    r.system.lensMode = 1;
    r.system.lens = -1;

    Json doc = parseJson(fullState(r, 55));
    ASSERT_TRUE(doc.is_object());
    const auto item = [&doc](const char* object, int key) { return doc[object][std::to_string(key)]; };
    EXPECT_EQ(item("status", csi::STATUS_DIGITAL_ZOOM), -1);
    EXPECT_EQ(item("settings", csi::SETTING_EV_COMPENSATION), -10);
    EXPECT_EQ(item("settings", csi::SETTING_CAPTURE_DURATION), 3600);
    EXPECT_EQ(item("settings", csi::kJsonSystemLensMode), 1);
    EXPECT_EQ(item("settings", csi::kJsonSystemLens), -1);
}

TEST(CsiJson, ChangesGoToTheirGroupAndSkipUnusedBytes) {
    std::vector<std::string> cache;
    camera_status_init_bossCache(55, cache);
    const all_status_settings_t same = randomRecord(3);
    const Changes none = changes(same, same, 55, cache);
    EXPECT_EQ(none.group1 + none.group2 + none.settings, 0);
    EXPECT_EQ(none.text, "");

    const all_status_settings_t before{};
    all_status_settings_t now{};
    now.status.bytes[ST_BUSY] = 1;
    now.status.bytes[ST_BATTERY_PERCENT] = 87;
    now.status.bytes[ST_TEMPERATURE_C] = 0xFB;  // -5
    now.status.bytes[ST_MODE_GROUP] = 4;
    Changes c = changes(now, before, 55, cache);
    EXPECT_EQ(c.group1, 2);
    EXPECT_EQ(c.group2, 2);
    EXPECT_EQ(c.text, "{\"status\":{\"21\":87,\"38\":-5,\"8\":1,\"17\":4}}");
    now = before;
    now.status.bytes[ST_RECORDING_SECONDS + 1] = 1;  // 256 s
    EXPECT_EQ(changes(now, before, 55, cache).text, "{\"status\":{\"13\":256}}");

    const std::vector<int> owner = settingOwners(55);
    const auto unused = std::find(owner.rbegin(), owner.rend(), -1);
    ASSERT_NE(unused, owner.rend());
    now = before;
    now.settings.bytes[owner.rend() - unused - 1] = 9;
    EXPECT_EQ(changes(now, before, 55, cache).settings, 0);
    now.settings.bytes[SE_FLAT_MODE] = 13;
    now.system.lens = 2;
    now.status.bytes[ST_SD_PRESENT] = 1;
    c = changes(now, before, 55, cache);
    EXPECT_EQ(c.settings, 2);
    EXPECT_EQ(c.text, "{\"status\":{\"23\":1},\n\"settings\":{\"144\":13,\"191\":2}\n}");
}

TEST(CsiJson, BossCacheOfAnotherModelOrNoneChangesNothing) {
    const all_status_settings_t before{};
    const all_status_settings_t now = randomRecord(11);
    std::vector<std::string> own, other, none;
    camera_status_init_bossCache(50, own);
    camera_status_init_bossCache(55, other);
    EXPECT_EQ(own.size(), statusOf(50).size() + 1);
    const std::string expected = changes(now, before, 50, own).text;
    EXPECT_EQ(changes(now, before, 50, other).text, expected);
    EXPECT_EQ(changes(now, before, 50, none).text, expected);
}

TEST(CsiJson, BadArgumentsWriteNoMembers) {
    std::stringstream out;
    std::vector<std::string> cache;
    const all_status_settings_t r{};
    EXPECT_LT(camera_status_serialize_status_changes_to_json(out, 3, &r, &r, 55, cache), 0);
    EXPECT_LT(camera_status_serialize_status_changes_to_json(out, 1, nullptr, &r, 55, cache), 0);
    EXPECT_LT(camera_status_serialize_settings_changes_to_json(out, &r, nullptr, 55), 0);
    EXPECT_EQ(out.str(), "");
    camera_status_serialize_status_to_json(out, nullptr, 55);
    EXPECT_EQ(out.str(), "\"status\":{}");
}

}  // namespace
