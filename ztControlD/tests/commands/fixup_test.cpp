// Status record fix-up with a cache that needs no camera exchange (lens data and active preset
// fresh), so the arithmetic can be checked without a simulator.
#include <gtest/gtest.h>
#include <string.h>

#include "server/ztcontrol_if_server.h"

namespace {

constexpr int kSettings = CSI_STATUS_BLOCK_SIZE;  // settings part offset in the record

class FixupTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = ZtcontrolCommandServer::getInstance();
        server->needLenses = false;
        server->presetRefreshPending = false;
        server->lensMode = 3;
        server->lens = 7;
        server->activePreset = 0x10002;
        memset(&record, 0, sizeof(record));
    }
    void TearDown() override { ZtcontrolCommandServer::destroyInstance(); }

    uint8_t& status(int offset) { return record.status.bytes[offset]; }
    uint8_t& settings(int offset) { return record.settings.bytes[offset]; }
    uint32_t statusWord(int offset) {
        uint32_t v;
        memcpy(&v, record.status.bytes + offset, 4);
        return v;
    }
    void setStatusWord(int offset, uint32_t v) { memcpy(record.status.bytes + offset, &v, 4); }

    // Zoom value after the fix-up for a flat mode and lens setting (and setting 158, which night
    // lapse video copies into the lens setting).
    uint8_t zoomAfter(uint8_t flatMode, uint8_t lensSetting, uint8_t zoom, uint8_t setting158 = 0) {
        memset(&record, 0, sizeof(record));
        settings(25) = flatMode;
        settings(42) = lensSetting;
        settings(158) = setting158;
        status(5) = zoom;
        server->fixupStatusRecord(&record);
        return status(5);
    }

    ZtcontrolCommandServer* server = nullptr;
    all_status_settings_t record;
};

TEST_F(FixupTest, NightLapseCopiesLensSettingsRushLapseSetsSubModeFourOthersKeepTheirBytes) {
    settings(25) = 26;
    settings(42) = 9;
    settings(44) = 9;
    settings(158) = 4;
    settings(160) = 11;
    server->fixupStatusRecord(&record);
    EXPECT_EQ(settings(42), 4);
    EXPECT_EQ(settings(44), 11);
    EXPECT_EQ(status(0), 26);
    EXPECT_EQ(status(1), 0);

    // Rush lapse sets sub mode 4 and keeps the lens setting; other modes keep their bytes.
    memset(&record, 0, sizeof(record));
    settings(25) = 24;
    settings(158) = 4;
    settings(42) = 9;
    server->fixupStatusRecord(&record);
    EXPECT_EQ(status(0), 24);
    EXPECT_EQ(status(1), 4);
    EXPECT_EQ(settings(42), 9);

    memset(&record, 0, sizeof(record));
    settings(25) = 12;
    status(1) = 2;
    server->fixupStatusRecord(&record);
    EXPECT_EQ(status(0), 12);
    EXPECT_EQ(status(1), 2);
}

TEST_F(FixupTest, LensDataAndDualLensGroupsAreFolded) {
    for (uint32_t group : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u}) {
        memset(&record, 0, sizeof(record));
        setStatusWord(19, group);
        server->fixupStatusRecord(&record);
        EXPECT_EQ(statusWord(19), group >= 3 && group <= 5 ? group - 3 : group) << "group " << group;
        EXPECT_EQ(status(215), 3);
        EXPECT_EQ(record.system.lensMode, 3);
        EXPECT_EQ(record.system.lens, 7);
    }
}

TEST_F(FixupTest, ZoomIsScaledToAByteForQualifyingModesAndLensSettings) {
    EXPECT_EQ(zoomAfter(12, 1, 40), 100);
    EXPECT_EQ(zoomAfter(12, 1, 102), 255);
    EXPECT_EQ(zoomAfter(12, 1, 103), 103);
    EXPECT_EQ(zoomAfter(12, 1, 1), 2);
    EXPECT_EQ(zoomAfter(12, 1, 0), 0);
    EXPECT_EQ(zoomAfter(12, 1, 0xF0), 0xF0);  // negative as a signed byte
    for (uint8_t mode : {12, 13, 15, 24, 25, 27}) EXPECT_EQ(zoomAfter(mode, 24, 40), 100) << "mode " << int(mode);
    for (uint8_t lensSetting : {1, 4, 6, 18, 24}) EXPECT_EQ(zoomAfter(13, lensSetting, 40), 100);
    EXPECT_EQ(zoomAfter(14, 1, 40), 40);
    EXPECT_EQ(zoomAfter(16, 1, 40), 40);
    EXPECT_EQ(zoomAfter(12, 2, 40), 40);
    EXPECT_EQ(zoomAfter(12, 0, 40), 40);
    // Night lapse video tests the lens setting copied from 158.
    EXPECT_EQ(zoomAfter(26, 2, 40, 18), 100);
    EXPECT_EQ(zoomAfter(26, 18, 40, 2), 40);
}

TEST_F(FixupTest, PresetStateByteComparesTheEditedPresetWithTheActiveOne) {
    struct Case {
        uint8_t state;
        uint32_t edited;
        uint8_t expected;
    };
    const Case cases[] = {{1, 0x10002, 1}, {3, 0x10002, 1}, {1, 0x10003, 0}, {3, 5, 0},
                          {0, 0x10002, 0}, {2, 0x10002, 0}, {4, 0x10002, 0}, {0xFF, 0x10002, 0}};
    for (const Case& c : cases) {
        memset(&record, 0, sizeof(record));
        status(33) = c.state;
        setStatusWord(27, c.edited);
        server->fixupStatusRecord(&record);
        EXPECT_EQ(status(33), c.expected) << "state " << int(c.state) << " edited " << c.edited;
    }
}

}  // namespace
