// Presets: groups, predefined records, custom presets and the preset edit.
#include "camera_layout.h"
#include "camlink_protocol.h"
#include "test_support.h"

using namespace camsim_test;
using namespace camlayout;

namespace {

std::vector<uint8_t> createArgs(uint8_t group, uint8_t flat, uint32_t icon, uint32_t title, uint32_t number) {
    return std::vector<uint8_t>{group, flat} + le32(icon) + le32(title) + le32(number) + le32(0);
}

std::vector<uint32_t> groupList(Requester& req, uint8_t group) {
    Reply r = req.remote(17, 1, {group});
    std::vector<uint32_t> ids;
    if (r.result != 0 || r.answer.empty()) return ids;
    EXPECT_EQ(size_t(1 + 4 * r.answer[0]), r.answer.size());
    for (size_t i = 0; i < r.answer[0]; ++i) ids.push_back(readLe32(r.answer, 1 + 4 * i));
    return ids;
}

}  // namespace

TEST_F(SimTest, GroupsHoldThePredefinedPresets) {
    EXPECT_EQ((std::vector<uint8_t>{6, 0, 1, 2, 3, 4, 5}), req->remote(17, 0).answer);
    const std::vector<std::vector<uint32_t>> expected = {
        {0, 1, 2, 3}, {0x10000, 0x10001, 0x10002, 0x10003}, {0x20000, 0x20001, 0x20002},
        {0x30000},    {0x40000},                            {0x50000, 0x50001},
    };
    for (uint8_t g = 0; g < 6; ++g) EXPECT_EQ(expected[g], groupList(*req, g)) << "group " << int(g);
}

TEST_F(SimTest, PredefinedRecordsAre80BytesWithTheirIdsAndFlatModes) {
    const struct {
        uint32_t id;
        int flat;
    } kExpected[] = {{0, 12}, {3, 27}, {0x10000, 17}, {0x10001, 25}, {0x10002, 19}, {0x10003, 18},
                     {0x20000, 24}, {0x20001, 13}, {0x20002, 21}, {0x30000, 12}, {0x40000, 17}, {0x50001, 13}};
    for (const auto& e : kExpected) {
        Reply r = req->remote(17, 2, le32(e.id));
        ASSERT_EQ(size_t(80), r.answer.size()) << e.id;
        EXPECT_EQ(e.flat, int8_t(r.answer[0])) << e.id;
        EXPECT_EQ(0, r.answer[1]) << "predefined";
        EXPECT_EQ(e.id, readLe32(r.answer, 2));
        EXPECT_EQ(0, r.answer[79]) << "not edited";
    }
    // The active preset's record holds the settings block as it is now.
    Reply rec = req->remote(17, 2, le32(0));
    Reply settings = req->remote(7, 30);
    for (int i = 0; i < 54; ++i) EXPECT_EQ(settings.answer[size_t(i)], rec.answer[size_t(25 + i)]) << i;
}

TEST_F(SimTest, CustomPresetIsCreatedStoredMovedAndRemoved) {
    Reply created = req->remote(17, 3, createArgs(0, 12, 20, 30, 1));
    ASSERT_EQ(0, created.result);
    ASSERT_EQ(size_t(4), created.answer.size());
    uint32_t id = readLe32(created.answer, 0);
    EXPECT_EQ(4u, id) << "numbers follow the predefined presets of the group";
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 3, id}), groupList(*req, 0));
    EXPECT_EQ(id, sim->state().activePreset());
    EXPECT_TRUE(sim->state().editOpen);

    // As the daemon does after creating: switch the flat mode, store the edit.
    ASSERT_EQ(0, req->remote(17, 23, {27}).result);
    EXPECT_EQ(27, sim->state().flatMode());
    ASSERT_EQ(0, req->remote(17, 10).result);
    Reply rec = req->remote(17, 2, le32(id));
    ASSERT_EQ(size_t(80), rec.answer.size());
    EXPECT_EQ(27, rec.answer[0]);
    EXPECT_EQ(1, rec.answer[1]) << "custom";
    EXPECT_EQ(1, rec.answer[79]) << "edited";
    EXPECT_FALSE(sim->state().editOpen);

    ASSERT_EQ(0, req->remote(17, 5, le32(id) + le32(0)).result);
    EXPECT_EQ((std::vector<uint32_t>{id, 0, 1, 2, 3}), groupList(*req, 0));
    ASSERT_EQ(0, req->remote(17, 5, le32(id) + le32(99)).result);
    EXPECT_EQ(id, groupList(*req, 0).back()) << "positions past the end clamp";

    ASSERT_EQ(0, req->remote(17, 4, le32(id)).result);
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 3}), groupList(*req, 0));
    EXPECT_EQ(0u, sim->state().activePreset()) << "the group's first preset takes over";
    EXPECT_EQ(-3, req->remote(17, 4, le32(id)).result);
}

// Icon and title as the daemon reads them back, and loading a preset, are pinned by its preset tests.
TEST_F(SimTest, PresetRefusalsAndFullGroups) {
    const char* const rm = CAMLINK_OP_REMOTE;
    const std::vector<ResultRow> rows = {
        {"group past 5", rm, {17, 1, 6}, -3},
        {"group list without group", rm, {17, 1}, -3},
        {"record of no preset", rm, Bytes{17, 2} + le32(0x20003), -3},
        {"record with a short id", rm, {17, 2, 1, 0}, -3},
        {"title of no preset", rm, Bytes{17, 15} + le32(0x777) + le32(1) + le32(1) + le32(1) + le32(0), -3},
        {"create in group 6", rm, Bytes{17, 3} + createArgs(6, 12, 20, 30, 0), -3},
        {"create with a flat mode of no group", rm, Bytes{17, 3} + createArgs(0, 4, 20, 30, 0), -3},
        {"create with short arguments", rm, {17, 3, 0, 12, 1}, -3},
        {"remove a predefined preset", rm, Bytes{17, 4} + le32(1), -101},
        {"edit no preset", rm, Bytes{17, 8} + le32(0x99), -3},
        {"factory reset of no preset", rm, Bytes{17, 13} + le32(0x99), -3},
        {"load no preset", rm, Bytes{17, 12} + le32(0x60000), -3},
        {"switch to no flat mode", rm, {17, 23, 4}, -3},
        {"unknown preset operation", rm, {17, 99}, -104},
    };
    expectResults(*req, rows);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(0, req->remote(17, 3, createArgs(2, 13, 20, 30, uint32_t(i))).result);
    EXPECT_EQ(-101, req->remote(17, 3, createArgs(2, 13, 20, 30, 10)).result);
    EXPECT_EQ(13u, groupList(*req, 2).size());
}

TEST_F(SimTest, EditStoreKeepsChangesAndCancelDiscardsThem) {
    EXPECT_EQ(0, req->remote(17, 10).result) << "storing without an open edit succeeds";
    ASSERT_EQ(0, req->remote(17, 8, le32(0)).result);
    camsim::SimState s = sim->state();
    EXPECT_EQ(1, s.status[ST_PRESET_STATE]);
    EXPECT_EQ(0u, s.statusWord(ST_EDITED_PRESET));
    ASSERT_EQ(0, req->setValue(2, 0, 2, 9, 1).result);
    ASSERT_EQ(0, req->remote(17, 10).result);
    Reply rec = req->remote(17, 2, le32(0));
    EXPECT_EQ(9, rec.answer[25 + 2]);
    EXPECT_EQ(1, rec.answer[79]);
    EXPECT_EQ(3, sim->state().status[ST_PRESET_STATE]);

    uint8_t before = sim->state().settings[3];
    ASSERT_EQ(0, req->remote(17, 8, le32(0)).result);
    ASSERT_EQ(0, req->setValue(3, 0, 3, before + 1, 1).result);
    ASSERT_EQ(0, req->remote(17, 9).result);
    EXPECT_EQ(before, sim->state().settings[3]);
    EXPECT_EQ(0, sim->state().status[ST_PRESET_STATE]);
    EXPECT_EQ(before, req->remote(17, 2, le32(0)).answer[25 + 3]);

    // A factory reset of the preset undoes the stored change.
    ASSERT_EQ(0, req->remote(17, 13, le32(0)).result);
    rec = req->remote(17, 2, le32(0));
    EXPECT_EQ(0, rec.answer[79]);
    EXPECT_NE(9, rec.answer[25 + 2]);
    EXPECT_EQ(rec.answer[25 + 2], sim->state().settings[2]) << "the active preset is reloaded";
}
