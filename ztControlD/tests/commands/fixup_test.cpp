// Status record fix-up with a cache that needs no camera exchange (lens data and active preset
// fresh), so the arithmetic can be checked without a simulator.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "server/ztcontrol_if_server.h"

namespace {

class FixupTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = ZtcontrolCommandServer::getInstance();
        server->needLenses = false;
        server->presetRefreshPending = false;
        server->lensMode = 3;
        server->lens = 7;
        server->activePreset = 0x10002;
    }
    void TearDown() override { ZtcontrolCommandServer::destroyInstance(); }

    uint8_t& status(int offset) { return record.status.bytes[offset]; }
    uint8_t& settings(int offset) { return record.settings.bytes[offset]; }
    void setStatusWord(int offset, uint32_t v) { memcpy(record.status.bytes + offset, &v, 4); }

    // A zeroed record with the flat mode and the lens settings (42, and night lapse's 158) set.
    void setModes(uint8_t flatMode, uint8_t lens, uint8_t nightLens) {
        memset(&record, 0, sizeof(record));
        settings(25) = flatMode;
        settings(42) = lens;
        settings(158) = nightLens;
    }

    ZtcontrolCommandServer* server = nullptr;
    all_status_settings_t record{};
};

// Night lapse video copies its lens settings, rush lapse sets sub mode 4, others keep their bytes.
TEST_F(FixupTest, FlatModeSubModeAndLensSettings) {
    struct Row {
        uint8_t flatMode, subMode, lens, lens2;  // afterwards
    };
    const Row rows[] = {{26, 2, 4, 11}, {24, 4, 9, 9}, {12, 2, 9, 9}};
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.flatMode));
        setModes(row.flatMode, 9, 4);
        settings(44) = 9;
        settings(160) = 11;
        status(1) = 2;
        server->fixupStatusRecord(&record);
        EXPECT_EQ(status(0), row.flatMode);
        EXPECT_EQ(status(1), row.subMode);
        EXPECT_EQ(settings(42), row.lens);
        EXPECT_EQ(settings(44), row.lens2);
    }
}

// The zoom is scaled to a byte (x 2.5) for some flat modes and lens settings, from 0 to 102.
// Night lapse video tests the lens setting copied from 158.
TEST_F(FixupTest, ZoomIsScaledToAByteForQualifyingModesAndLensSettings) {
    struct Row {
        uint8_t flatMode, lens, nightLens, zoom, expected;
    };
    const Row rows[] = {
        {12, 1, 0, 40, 100},  {12, 1, 0, 102, 255}, {12, 1, 0, 103, 103}, {12, 1, 0, 1, 2},
        {12, 1, 0, 0, 0},     {12, 1, 0, 0xF0, 0xF0},  // negative as a signed byte
        {13, 24, 0, 40, 100}, {15, 24, 0, 40, 100}, {24, 24, 0, 40, 100}, {25, 24, 0, 40, 100},
        {27, 24, 0, 40, 100}, {13, 4, 0, 40, 100},  {13, 6, 0, 40, 100},  {13, 18, 0, 40, 100},
        {14, 1, 0, 40, 40},   {16, 1, 0, 40, 40},   {12, 2, 0, 40, 40},   {12, 0, 0, 40, 40},
        {26, 2, 18, 40, 100}, {26, 18, 2, 40, 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (int)row.flatMode << "/" << (int)row.lens << " zoom " << (int)row.zoom);
        setModes(row.flatMode, row.lens, row.nightLens);
        status(5) = row.zoom;
        server->fixupStatusRecord(&record);
        EXPECT_EQ(status(5), row.expected);
    }
}

// The dual-lens mode groups 3 to 5 fold onto 0 to 2; the preset state byte says whether the preset
// being edited is the active one; lens mode and lens come from the cache.
TEST_F(FixupTest, ModeGroupPresetStateAndLensData) {
    struct Row {
        uint32_t group;
        uint8_t state;
        uint32_t edited;
        uint32_t expectedGroup;
        uint8_t expectedState;
    };
    const Row rows[] = {{0, 1, 0x10002, 0, 1}, {1, 3, 0x10002, 1, 1}, {2, 1, 0x10003, 2, 0},
                        {3, 3, 5, 0, 0},       {4, 0, 0x10002, 1, 0}, {5, 2, 0x10002, 2, 0},
                        {6, 4, 0x10002, 6, 0}, {7, 0xFF, 0x10002, 7, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE("group " + std::to_string(row.group) + " state " + std::to_string(row.state));
        memset(&record, 0, sizeof(record));
        setStatusWord(19, row.group);
        status(33) = row.state;
        setStatusWord(27, row.edited);
        server->fixupStatusRecord(&record);
        uint32_t group;
        memcpy(&group, record.status.bytes + 19, sizeof(group));
        EXPECT_EQ(group, row.expectedGroup);
        EXPECT_EQ(status(33), row.expectedState);
    }
    EXPECT_EQ(status(215), 3);
    EXPECT_EQ(record.system.lensMode, 3);
    EXPECT_EQ(record.system.lens, 7);
}

}  // namespace
