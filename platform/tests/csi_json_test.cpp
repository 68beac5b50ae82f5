// JSON written by the settings-library stand-in, assembled exactly as the daemon assembles it.
#include <string.h>

#include <gtest/gtest.h>

#include <random>

#include "camera_layout.h"
#include "csi_settings.h"
#include "csi_tables.h"
#include "support/json_check.h"

namespace {

using namespace camlayout;

const uint8_t kModels[] = {50, 51, 55};

all_status_settings_t randomRecord(unsigned seed)
{
    std::mt19937 rng(seed);
    all_status_settings_t r;
    for (uint8_t& b : r.status.bytes)
        b = static_cast<uint8_t>(rng());
    for (uint8_t& b : r.settings.bytes)
        b = static_cast<uint8_t>(rng());
    r.system.lensMode = static_cast<int8_t>(rng());
    r.system.lens = static_cast<int8_t>(rng());
    return r;
}

std::string fullState(const all_status_settings_t& r, uint8_t model)
{
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
                const std::vector<std::string>& bossCache)
{
    Changes c;
    std::stringstream a, b, s;
    c.group2 = camera_status_serialize_status_changes_to_json(a, 2, &now, &before, model, bossCache);
    c.group1 = camera_status_serialize_status_changes_to_json(b, 1, &now, &before, model, bossCache);
    c.settings = camera_status_serialize_settings_changes_to_json(s, &now, &before, model);
    std::string statusMembers = a.str() + (c.group2 > 0 && c.group1 > 0 ? "," : "") + b.str();
    std::string body, separator;
    if (c.group2 + c.group1 >= 1) {
        body = "\"status\":{" + statusMembers + "}";
        separator = ",\n";
    }
    if (c.settings >= 1)
        body += separator + "\"settings\":{" + s.str() + "}\n";
    c.text = body.empty() ? "" : "{" + body + "}";
    return c;
}

size_t statusCount(uint8_t model)
{
    size_t count = 0, on = 0;
    const csi::StatusItem* items = csi::statusItems(&count);
    for (size_t i = 0; i < count; ++i)
        on += csi::onModel(items[i].models, model);
    return on;
}

double number(const JsonValue& doc, const char* object, int key)
{
    const JsonValue* o = doc.find(object);
    const JsonValue* v = o ? o->find(std::to_string(key)) : nullptr;
    return v && v->kind == JsonValue::Number ? v->number : -99999;
}

TEST(CsiJson, FullStateParsesAndHoldsEveryItem)
{
    for (uint8_t model : kModels) {
        all_status_settings_t r = randomRecord(model);
        JsonValue doc;
        std::string error;
        ASSERT_TRUE(parseJson(fullState(r, model), doc, &error)) << "model " << int(model) << ": " << error;
        ASSERT_EQ(doc.members.size(), 2u);
        EXPECT_EQ(doc.find("status")->members.size(), statusCount(model));

        int count = 0;
        const csi_setting_row_t* rows = camera_settings_id_table(model, &count);
        size_t settings = 2;  // lens mode and lens
        for (int id = 0; id < count; ++id)
            settings += rows[id][CSI_ROW_WIDTH] != 0 && rows[id][CSI_ROW_JSON_ID] == static_cast<uint32_t>(id);
        EXPECT_EQ(doc.find("settings")->members.size(), settings);
        EXPECT_EQ(doc.find("settings")->find("55"), nullptr) << "aliases are not reported";
    }
}

TEST(CsiJson, ValuesFollowWidthAndSign)
{
    all_status_settings_t r{};
    const uint32_t preset = 0x00010002;
    memcpy(r.status.bytes + ST_VIDEO_PRESET, &preset, 4);
    r.status.bytes[ST_ZOOM] = 0xFF;  // -1
    r.status.bytes[ST_BUSY] = 0xFF;  // 255
    r.settings.bytes[SE_FLAT_MODE] = 24;
    int count = 0;
    const csi_setting_row_t* rows = camera_settings_id_table(55, &count);
    r.settings.bytes[rows[csi::SETTING_EV_COMPENSATION][CSI_ROW_OFFSET]] = 0xF6;  // -10
    const uint16_t duration = 3600;
    memcpy(r.settings.bytes + rows[csi::SETTING_CAPTURE_DURATION][CSI_ROW_OFFSET], &duration, 2);
    r.system.lensMode = 1;
    r.system.lens = -1;

    JsonValue doc;
    ASSERT_TRUE(parseJson(fullState(r, 55), doc));
    EXPECT_EQ(number(doc, "status", csi::STATUS_VIDEO_PRESET), 65538);
    EXPECT_EQ(number(doc, "status", csi::STATUS_DIGITAL_ZOOM), -1);
    EXPECT_EQ(number(doc, "status", csi::STATUS_BUSY), 255);
    EXPECT_EQ(number(doc, "settings", csi::SETTING_FLAT_MODE), 24);
    EXPECT_EQ(number(doc, "settings", csi::SETTING_EV_COMPENSATION), -10);
    EXPECT_EQ(number(doc, "settings", csi::SETTING_CAPTURE_DURATION), 3600);
    EXPECT_EQ(number(doc, "settings", csi::kJsonSystemLensMode), 1);
    EXPECT_EQ(number(doc, "settings", csi::kJsonSystemLens), -1);
}

TEST(CsiJson, NoChangeWritesNothing)
{
    std::vector<std::string> cache;
    camera_status_init_bossCache(55, cache);
    const all_status_settings_t r = randomRecord(3);
    const Changes c = changes(r, r, 55, cache);
    EXPECT_EQ(c.group1, 0);
    EXPECT_EQ(c.group2, 0);
    EXPECT_EQ(c.settings, 0);
    EXPECT_EQ(c.text, "");
}

TEST(CsiJson, StatusChangesGoToTheirGroup)
{
    std::vector<std::string> cache;
    camera_status_init_bossCache(55, cache);
    const all_status_settings_t before{};
    all_status_settings_t now{};
    now.status.bytes[ST_BUSY] = 1;
    now.status.bytes[ST_BATTERY_PERCENT] = 87;
    now.status.bytes[ST_TEMPERATURE_C] = 0xFB;  // -5
    now.status.bytes[ST_MODE_GROUP] = 4;
    Changes c = changes(now, before, 55, cache);
    EXPECT_EQ(c.group1, 2);
    EXPECT_EQ(c.group2, 2);
    EXPECT_EQ(c.settings, 0);
    EXPECT_EQ(c.text, "{\"status\":{\"21\":87,\"38\":-5,\"8\":1,\"17\":4}}");

    now = before;
    now.status.bytes[ST_RECORDING_SECONDS + 1] = 1;  // 256 s
    c = changes(now, before, 55, cache);
    EXPECT_EQ(c.group1, 0);
    EXPECT_EQ(c.text, "{\"status\":{\"13\":256}}");
}

TEST(CsiJson, SettingsChangesIncludeLensDataAndSkipUnusedBytes)
{
    int count = 0;
    const csi_setting_row_t* rows = camera_settings_id_table(55, &count);
    std::vector<bool> used(CSI_SETTINGS_BLOCK_SIZE, false);
    for (int id = 0; id < count; ++id)
        for (uint32_t b = 0; b < rows[id][CSI_ROW_WIDTH]; ++b)
            used[rows[id][CSI_ROW_OFFSET] + b] = true;
    int unused = -1;
    for (int b = CSI_SETTINGS_BLOCK_SIZE - 1; b >= 0 && unused < 0; --b)
        if (!used[b])
            unused = b;
    ASSERT_GE(unused, 0);

    std::vector<std::string> cache;
    const all_status_settings_t before{};
    all_status_settings_t now{};
    now.settings.bytes[unused] = 9;
    EXPECT_EQ(changes(now, before, 55, cache).settings, 0);
    now.settings.bytes[SE_FLAT_MODE] = 13;
    now.system.lens = 2;
    now.status.bytes[ST_SD_PRESENT] = 1;
    const Changes c = changes(now, before, 55, cache);
    EXPECT_EQ(c.settings, 2);
    EXPECT_EQ(c.text, "{\"status\":{\"23\":1},\n\"settings\":{\"144\":13,\"191\":2}\n}");
}

TEST(CsiJson, RandomChangesAlwaysAssembleToValidJson)
{
    std::vector<std::string> cache;
    for (uint8_t model : kModels) {
        camera_status_init_bossCache(model, cache);
        std::mt19937 rng(model);
        all_status_settings_t before = randomRecord(model * 7u);
        for (int round = 0; round < 200; ++round) {
            all_status_settings_t now = before;
            uint8_t* bytes = reinterpret_cast<uint8_t*>(&now);
            for (int i = 0, n = static_cast<int>(rng() % 6); i < n; ++i)
                bytes[rng() % sizeof now] = static_cast<uint8_t>(rng());
            const Changes c = changes(now, before, model, cache);
            if (c.text.empty())
                continue;
            JsonValue doc;
            std::string error;
            ASSERT_TRUE(parseJson(c.text, doc, &error)) << c.text << ": " << error;
            const JsonValue* status = doc.find("status");
            const JsonValue* settings = doc.find("settings");
            EXPECT_EQ(status ? status->members.size() : 0u, static_cast<size_t>(c.group1 + c.group2));
            EXPECT_EQ(settings ? settings->members.size() : 0u, static_cast<size_t>(c.settings));
            before = now;
        }
    }
}

TEST(CsiJson, BossCacheOfAnotherModelOrNoneChangesNothing)
{
    const all_status_settings_t before{};
    const all_status_settings_t now = randomRecord(11);
    std::vector<std::string> own, other, none;
    camera_status_init_bossCache(50, own);
    camera_status_init_bossCache(55, other);
    EXPECT_EQ(own.size(), statusCount(50) + 1);
    const std::string expected = changes(now, before, 50, own).text;
    EXPECT_EQ(changes(now, before, 50, other).text, expected);
    EXPECT_EQ(changes(now, before, 50, none).text, expected);
}

TEST(CsiJson, UnknownModelUsesTheDefaultTables)
{
    const all_status_settings_t r = randomRecord(5);
    EXPECT_EQ(fullState(r, 0), fullState(r, CSI_DEFAULT_MODEL));
    EXPECT_EQ(fullState(r, 99), fullState(r, CSI_DEFAULT_MODEL));
}

TEST(CsiJson, BadArgumentsWriteNoMembers)
{
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
