// The preset record as the client-side message (settings list per flat-mode family, icon and title
// numbers, flags) and the preset-id predicates; no camera involved.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "wsdkCommands/WSDK_Preset.pb.h"

namespace {

using wsdk_commands::WSDK_Preset;
using Settings = std::vector<std::pair<int, int>>;

// A record whose settings byte at offset i holds i + 1, so that each value names its offset.
std::vector<uint8_t> record(int8_t flatMode, uint32_t icon = 0) {
    std::vector<uint8_t> r(PRESET_RECORD_SIZE, 0);
    r[PRESET_RECORD_FLAT_MODE] = (uint8_t)flatMode;
    for (int i = 0; i < 4; ++i) r[PRESET_RECORD_ICON + i] = (uint8_t)(icon >> (8 * i));
    for (size_t i = 0; i < 54; ++i) r[PRESET_RECORD_SETTINGS + i] = (uint8_t)(i + 1);
    return r;
}

Settings settingsOf(const WSDK_Preset& p) {
    Settings out;
    for (const auto& s : p.setting_array()) {
        EXPECT_TRUE(s.is_caption());
        out.emplace_back(s.id(), s.value());
    }
    return out;
}

TEST(PresetRecord, SettingsListPerFlatModeLensModeModelAndPreset) {
    struct Case {
        int8_t flatMode;
        int lensMode;
        uint8_t model;
        uint32_t presetId;
        Settings expected;
    };
    const Case cases[] = {
        {12, 0, 55, 0, {{2, 3}, {3, 4}, {121, 5}}},
        {27, 1, 55, 3, {{2, 3}, {3, 4}}},
        {15, 0, 55, 0, {{2, 3}, {3, 4}, {6, 7}, {121, 5}}},
        {13, 1, 51, 0, {{2, 3}, {5, 10}}},
        {13, 1, 55, 0, {{2, 3}, {5, 10}, {121, 5}}},
        {24, 1, 51, 0, {{2, 3}, {111, 25}}},
        {24, 1, 55, 0, {{2, 3}, {111, 25}, {121, 5}}},
        {25, 1, 51, 0, {{133, 3}, {121, 5}}},
        {14, 0, 55, 0, {}},
        {22, 0, 55, 0, {}},
        {18, 0, 55, 0, {{19, 6}, {122, 3}}},
        {17, 0, 51, 0x40000, {{105, 20}}},
        {17, 0, 51, 0x40003, {{105, 20}, {122, 3}}},
        {17, 0, 55, 0x40000, {{122, 3}}},
        {16, 0, 51, 0x10000, {{122, 3}}},
        {19, 0, 55, 0, {{147, 4}, {123, 3}}},
        {19, 1, 51, 0, {{147, 4}}},
        {20, 1, 55, 0, {{30, 5}, {123, 3}}},
        {21, 0, 55, 0, {{31, 8}, {32, 6}, {123, 3}}},
        {26, 1, 51, 0, {{2, 29}, {32, 6}, {121, 31}}},
        {5, 0, 55, 0, {}},
        {-1, 0, 55, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flat mode " << (int)c.flatMode << " lens " << c.lensMode << " model "
                                        << (int)c.model);
        WSDK_Preset p;
        p.set_id((int32_t)c.presetId);
        presetRecordToWsdk(record(c.flatMode).data(), &p, c.lensMode, c.model);
        EXPECT_EQ(settingsOf(p), c.expected);
    }
}

TEST(PresetRecord, SignedValuesAndTheZeroNightlapseInterval) {
    std::vector<uint8_t> r = record(21);
    r[PRESET_RECORD_SETTINGS + 5] = 0;
    r[PRESET_RECORD_SETTINGS + 7] = 0xFF;
    WSDK_Preset p;
    presetRecordToWsdk(r.data(), &p, 0, 55);
    EXPECT_EQ(settingsOf(p), (Settings{{31, -1}, {32, 3601}, {123, 3}}));
}

TEST(PresetRecord, IconTitleAndFlags) {
    struct Case {
        int8_t flatMode;
        uint32_t icon;
        int expectedIcon;
    };
    const Case cases[] = {{20, 8, 1000}, {20, 17, 1000}, {20, 5, 5}, {21, 9, 1001}, {12, 9, 9}, {21, 8, 8}};
    for (const Case& c : cases) {
        WSDK_Preset p;
        presetRecordToWsdk(record(c.flatMode, c.icon).data(), &p, 0, 55);
        EXPECT_EQ(p.icon(), c.expectedIcon) << (int)c.flatMode << "/" << c.icon;
    }

    std::vector<uint8_t> r = record(12, 21);
    r[PRESET_RECORD_TYPE] = 0x80;  // any non-zero type is user-defined
    r[PRESET_RECORD_TITLE] = 33;
    r[PRESET_RECORD_EDITED] = 0x80;  // a negative edited flag is not "modified"
    WSDK_Preset p;
    presetRecordToWsdk(r.data(), &p, 0, 55);
    EXPECT_TRUE(p.user_defined());
    EXPECT_FALSE(p.is_modified());
    EXPECT_EQ(p.title_id(), wsdk_commands::WSDK_PRESET_TITLE_LOOPING);
    EXPECT_FALSE(p.has_title_number());
    r[PRESET_RECORD_TITLE_NUMBER] = 4;
    r[PRESET_RECORD_EDITED] = 1;
    r[PRESET_RECORD_TYPE] = 0;
    p.Clear();
    presetRecordToWsdk(r.data(), &p, 0, 55);
    EXPECT_EQ(p.title_number(), 4);
    EXPECT_TRUE(p.is_modified());
    EXPECT_FALSE(p.user_defined());
}

// Camera numbers the client enums do not name (flat mode 16, icon 40, title 99) still reach the
// client on the wire, as the same fields.
TEST(PresetRecord, NumbersOutsideTheEnumsStayOnTheWire) {
    std::vector<uint8_t> r = record(16, 40);
    r[PRESET_RECORD_TITLE] = 99;
    WSDK_Preset p;
    presetRecordToWsdk(r.data(), &p, 0, 55);
    const std::string wire = p.SerializeAsString();
    EXPECT_NE(wire.find(std::string("\x10\x10", 2)), std::string::npos);  // mode 16
    EXPECT_NE(wire.find(std::string("\x18\x63", 2)), std::string::npos);  // title 99
    EXPECT_NE(wire.find(std::string("\x30\x28", 2)), std::string::npos);  // icon 40
    EXPECT_EQ(settingsOf(p), (Settings{{122, 3}}));
}

TEST(PresetIds, PredefinedIdsGroupsModelsAndIcons) {
    const uint32_t predefined[] = {0, 3, 0x10000, 0x10003, 0x20000, 0x20002, 0x30000, 0x40000, 0x50000, 0x50001};
    const uint32_t custom[] = {4, 0x10004, 0x20003, 0x30001, 0x40001, 0x50002, 0x60000, 0x1000000};
    for (uint32_t id : predefined) EXPECT_TRUE(isPredefinedPresetId(id)) << std::hex << id;
    for (uint32_t id : custom) EXPECT_FALSE(isPredefinedPresetId(id)) << std::hex << id;
    const uint8_t folded[][2] = {{0, 0}, {2, 2}, {3, 0}, {4, 1}, {5, 2}, {6, 6}};
    for (const auto& f : folded) EXPECT_EQ(foldDualLensGroup(f[0]), f[1]);
    for (uint8_t model : {50, 55, 51}) EXPECT_EQ(isModel50Or55(model), model != 51) << (int)model;

    // Icon 1000 is 17 on model 51 and 8 on 55: pinned by the create and title-icon tests.
    g_modelNumber = 55;
    EXPECT_EQ(MapWSDKIconToFW(1001), 9u);
    EXPECT_EQ(MapWSDKIconToFW(33), 33u);
    g_modelNumber = 0;
}

TEST(PresetIds, IdListsAreReadOnlyAsFarAsTheyGo) {
    PresetIdList list;
    const uint8_t whole[] = {2, 1, 0, 0, 0, 0x05, 0x00, 0x01, 0x00};
    ASSERT_TRUE(readPresetIdList(whole, sizeof(whole), &list));
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.ids[1], 0x10005u);
    EXPECT_FALSE(readPresetIdList(whole, sizeof(whole) - 1, &list));
    EXPECT_EQ(list.count, 0);
    EXPECT_FALSE(readPresetIdList(whole, 0, &list));
    EXPECT_FALSE(readPresetIdList(nullptr, 5, &list));
    const uint8_t none[] = {0};
    EXPECT_TRUE(readPresetIdList(none, 1, &list));
    EXPECT_EQ(list.count, 0);
}

}  // namespace
