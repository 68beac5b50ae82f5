// Settings-library stand-in tables: every byte the daemon gives a meaning is an item, the
// settings-id table has the rows the daemon uses, and no two items share a byte.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "camera_layout.h"
#include "csi_settings.h"
#include "csi_tables.h"

namespace {

const uint8_t kModels[] = {50, 51, 55};

std::vector<const csi::StatusItem*> statusOf(uint8_t model)
{
    size_t count = 0;
    const csi::StatusItem* items = csi::statusItems(&count);
    std::vector<const csi::StatusItem*> on;
    for (size_t i = 0; i < count; ++i)
        if (csi::onModel(items[i].models, model))
            on.push_back(&items[i]);
    return on;
}

const csi::StatusItem* statusAt(uint8_t model, int offset)
{
    for (const csi::StatusItem* item : statusOf(model))
        if (item->offset == offset)
            return item;
    return nullptr;
}

TEST(CsiStatusItems, CoverEveryLayoutPositionWithoutOverlap)
{
    using namespace camlayout;
    const int positions[] = {ST_FLAT_MODE, ST_SUB_MODE, ST_VIDEO_FLAT_MODE, ST_PHOTO_FLAT_MODE,
                             ST_TIMELAPSE_FLAT_MODE, ST_ZOOM, ST_BUSY, ST_VIDEO_PRESET, ST_PHOTO_PRESET,
                             ST_TIMELAPSE_PRESET, ST_MODE_GROUP, ST_SPECIAL_PRESET, ST_EDITED_PRESET, ST_ENCODING,
                             ST_PRESET_STATE, ST_RECORDING_SECONDS, ST_BATTERY_PERCENT, ST_BATTERY_BARS,
                             ST_SD_PRESENT, ST_REMAINING_PHOTOS, ST_REMAINING_VIDEO_S, ST_MEDIA_COUNT,
                             ST_AP_STATE, ST_BLE_STATE, ST_PAIRING, ST_SCAN_STATE, ST_LOCATE, ST_VOICE_MODE,
                             ST_CAPTURE_DELAY, ST_FW_UPDATE, ST_WIFI_BAND, ST_CONNECTED_CLIENTS,
                             ST_LIVEVIEW_EXPOSURE, ST_TEMPERATURE_C, ST_LENS_MODE, ST_STREAM_ORIENTATION,
                             ST_AUDIO_ACCESSORY};
    for (int offset : positions)
        EXPECT_NE(statusAt(55, offset), nullptr) << "status byte " << offset;
    EXPECT_EQ(statusAt(55, ST_VIDEO_PRESET)->width, 4);
    EXPECT_TRUE(statusAt(55, ST_ZOOM)->isSigned);
    EXPECT_EQ(statusAt(50, ST_AUDIO_ACCESSORY), nullptr);  // model 50 has no audio accessory port

    for (uint8_t model : kModels) {
        std::set<int> ids;
        std::vector<bool> used(CSI_STATUS_BLOCK_SIZE, false);
        for (const csi::StatusItem* item : statusOf(model)) {
            EXPECT_TRUE(ids.insert(item->id).second) << "status id " << item->id;
            EXPECT_TRUE(item->group == 1 || item->group == 2) << item->name;
            ASSERT_TRUE(item->width == 1 || item->width == 2 || item->width == 4) << item->name;
            ASSERT_LE(item->offset + item->width, CSI_STATUS_BLOCK_SIZE) << item->name;
            for (int b = 0; b < item->width; ++b) {
                EXPECT_FALSE(used[item->offset + b]) << item->name << " overlaps at " << item->offset + b;
                used[item->offset + b] = true;
            }
        }
    }
}

TEST(CsiStatusItems, SlowCountersAreThrottledAndStateIsNot)
{
    using namespace camlayout;
    for (int offset : {ST_RECORDING_SECONDS, ST_BATTERY_PERCENT, ST_BATTERY_BARS, ST_REMAINING_PHOTOS,
                       ST_REMAINING_VIDEO_S, ST_TEMPERATURE_C})
        EXPECT_EQ(statusAt(55, offset)->group, 2) << "status byte " << offset;
    for (int offset : {ST_BUSY, ST_ENCODING, ST_FLAT_MODE, ST_MODE_GROUP, ST_ZOOM, ST_VIDEO_PRESET,
                       ST_PRESET_STATE, ST_LENS_MODE})
        EXPECT_EQ(statusAt(55, offset)->group, 1) << "status byte " << offset;
}

TEST(CsiSettingsTable, HasARowForEveryIdTheDaemonUses)
{
    const int used[] = {2, 3, 13, 24, 32, 37, 55, 75, 76, 91, 102, 105, 112, 129, 130, 131, 132, 144, 145, 149, 164};
    for (uint8_t model : kModels) {
        int count = 0;
        const csi_setting_row_t* rows = camera_settings_id_table(model, &count);
        ASSERT_NE(rows, nullptr);
        EXPECT_GE(count, 171);
        for (int id = 0; id < count; ++id)
            EXPECT_EQ(rows[id][CSI_ROW_SETTING_ID], static_cast<uint32_t>(id));
        for (int id : used)
            EXPECT_NE(rows[id][CSI_ROW_WIDTH], 0u) << "model " << int(model) << " setting " << id;
        EXPECT_EQ(rows[144][CSI_ROW_BLOCK], 0u);
        EXPECT_EQ(rows[144][CSI_ROW_OFFSET], static_cast<uint32_t>(camlayout::SE_FLAT_MODE));
        EXPECT_EQ(rows[144][CSI_ROW_WIDTH], 1u);
        EXPECT_EQ(rows[csi::SETTING_LENS][CSI_ROW_OFFSET], static_cast<uint32_t>(camlayout::SE_LENS_SETTING));
        EXPECT_EQ(rows[csi::SETTING_LENS_2][CSI_ROW_OFFSET], static_cast<uint32_t>(camlayout::SE_LENS_SETTING_2));
        EXPECT_EQ(rows[csi::SETTING_NIGHTLAPSE_LENS][CSI_ROW_OFFSET],
                  static_cast<uint32_t>(camlayout::SE_NIGHTLAPSE_LENS));
        EXPECT_EQ(rows[csi::SETTING_NIGHTLAPSE_LENS_2][CSI_ROW_OFFSET],
                  static_cast<uint32_t>(camlayout::SE_NIGHTLAPSE_LENS_2));
    }
    int count = 5;
    EXPECT_EQ(camera_settings_id_table(19, &count), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(CsiSettingsTable, AliasSharesItsTargetAndSettingsDoNotOverlap)
{
    for (uint8_t model : kModels) {
        int count = 0;
        const csi_setting_row_t* rows = camera_settings_id_table(model, &count);
        const uint32_t* alias = rows[csi::SETTING_QUICK_CAPTURE_ALIAS];
        const uint32_t* target = rows[csi::SETTING_QUICK_CAPTURE];
        EXPECT_EQ(alias[CSI_ROW_JSON_ID], static_cast<uint32_t>(csi::SETTING_QUICK_CAPTURE));
        EXPECT_EQ(alias[CSI_ROW_OFFSET], target[CSI_ROW_OFFSET]);
        EXPECT_EQ(alias[CSI_ROW_WIDTH], target[CSI_ROW_WIDTH]);

        std::vector<int> owner(CSI_SETTINGS_BLOCK_SIZE, -1);
        for (int id = 0; id < count; ++id) {
            const uint32_t* row = rows[id];
            if (row[CSI_ROW_WIDTH] == 0 || row[CSI_ROW_JSON_ID] != static_cast<uint32_t>(id))
                continue;
            ASSERT_EQ(row[CSI_ROW_BLOCK], 0u);
            ASSERT_LE(row[CSI_ROW_OFFSET] + row[CSI_ROW_WIDTH], static_cast<uint32_t>(CSI_SETTINGS_BLOCK_SIZE));
            EXPECT_LE(static_cast<int32_t>(row[CSI_ROW_MIN]), static_cast<int32_t>(row[CSI_ROW_MAX])) << id;
            for (uint32_t b = 0; b < row[CSI_ROW_WIDTH]; ++b) {
                EXPECT_EQ(owner[row[CSI_ROW_OFFSET] + b], -1) << "settings " << id << " and "
                                                              << owner[row[CSI_ROW_OFFSET] + b];
                owner[row[CSI_ROW_OFFSET] + b] = id;
            }
        }
    }
}

TEST(CsiSettingsTable, ModelsDifferWhereTheCamerasDo)
{
    int count = 0;
    EXPECT_EQ(camera_settings_id_table(50, &count)[csi::SETTING_RUSHLAPSE_SPEED_1X][CSI_ROW_WIDTH], 0u);
    EXPECT_NE(camera_settings_id_table(55, &count)[csi::SETTING_RUSHLAPSE_SPEED_1X][CSI_ROW_WIDTH], 0u);
    EXPECT_STREQ(csi::settingName(csi::SETTING_FLAT_MODE), "flat_mode");
    EXPECT_STREQ(csi::settingName(7), "setting");
    EXPECT_EQ(csi::settingName(csi::kSettingRows), nullptr);
    EXPECT_EQ(csi::tableModel(19), CSI_DEFAULT_MODEL);
    EXPECT_EQ(csi::tableModel(51), 51);
}

TEST(CsiReadItem, WidthsSignsAndBounds)
{
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

}  // namespace
