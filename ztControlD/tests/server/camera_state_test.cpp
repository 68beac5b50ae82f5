// The camera state cache and the preset-edit store against the simulator, with the worker idle
// (after a sync no other thread touches the cache).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "camlink_protocol.h"
#include "presets/preset_loader.h"
#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

class CameraStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.startClean());
        s = d.server();
    }

    InProcessDaemon d;
    ZtcontrolCommandServer* s = nullptr;
};

TEST_F(CameraStateTest, GroupSixKeepsTheCachedPresetButIsReadWithoutTheCache) {
    d.sim().setStatus(19, 6, 4);
    d.sim().setStatus(23, 0x60001, 4);
    s->activePreset = 0x10002;
    s->presetRefreshPending = true;
    EXPECT_EQ(s->refreshActivePreset(), 0x10002);
    EXPECT_FALSE(s->presetRefreshPending);
    EXPECT_EQ(s->getActivePreset(), 0x60001);
    EXPECT_TRUE(d.log().contains("Preset after active get 393217\n", UTIL_LOG_DEBUG));
    EXPECT_EQ(s->activePreset, 0x10002);

    d.sim().setStatus(19, 4, 4);  // dual-lens photo: the photo group's preset
    d.sim().setStatus(11, 0x40001, 4);
    EXPECT_EQ(s->getActivePreset(), 0x40001);
    d.sim().setStatus(19, 9, 4);
    EXPECT_EQ(s->getActivePreset(), -1);
}

// A camera that is off or refuses the query: the cached preset stays, the refresh stays pending
// and each failure has its line; the next good read clears the flag.
TEST_F(CameraStateTest, FailedPresetQueriesKeepTheRefreshPending) {
    struct Row {
        std::function<void()> fail;
        std::string refreshLine, getLine;
        size_t doneLines;  // an answer (even "off") ends with the done lines; a failure returns early
    };
    const Row rows[] = {
        {[&] { d.sim().setPower(false); }, "Response was null or size was bad for get1\n",
         "Response was null or size was bad for get1\n", 1},
        {[&] { d.sim().injectFault(camsim::OpMatch::remote(8, 11), ZT_ERR_NAK); },
         "Could not get status after suspend, -101\n", "Could not get active preset, -101\n", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.refreshLine);
        row.fail();
        d.log().clear();
        s->activePreset = 7;
        s->presetRefreshPending = true;
        EXPECT_EQ(s->refreshActivePreset(), 7);
        EXPECT_TRUE(s->presetRefreshPending);
        EXPECT_EQ(d.log().count(row.refreshLine, UTIL_LOG_ERROR), 1u);
        EXPECT_EQ(s->getActivePreset(), -1);
        EXPECT_EQ(d.log().count(row.getLine, UTIL_LOG_ERROR), row.getLine == row.refreshLine ? 2u : 1u);
        EXPECT_EQ(d.log().count("Refresh Preset Done\n"), row.doneLines);
        EXPECT_EQ(d.log().count("Get active preset done\n"), row.doneLines);
        d.sim().setPower(true);
        d.sim().clearFaults();
        s->refreshActivePreset();
        EXPECT_FALSE(s->presetRefreshPending);
    }
}

TEST_F(CameraStateTest, AFailingLensReadIsRetriedAtEveryUse) {
    d.sim().injectFault(camsim::OpMatch::directOp(CAMLINK_GET_LENS), ZT_ERR_NAK);
    s->needLenses = true;
    all_status_settings_t record = {};
    s->fixupStatusRecord(&record);
    EXPECT_TRUE(s->needLenses);
    EXPECT_EQ(opsNamed(d.sim(), "direct 8 get_lens_mode").size(), 3u);
    EXPECT_EQ(opsNamed(d.sim(), "direct 9 get_lens").size(), 3u);

    d.sim().clearFaults();
    d.sim().clearOps();
    s->fixupStatusRecord(&record);
    EXPECT_FALSE(s->needLenses);
    EXPECT_EQ(opsNamed(d.sim(), "direct 9 get_lens").size(), 1u);
}

// A failed read leaves the default model, and the next use reads again.
TEST_F(CameraStateTest, UnreadableModelIsReadAgainLater) {
    uint8_t model = 0;
    g_modelNumber = 0;
    d.sim().setModelUnreadable(true);
    EXPECT_EQ(s->readModelNumber(&model), -1);
    EXPECT_EQ(modelNumberOrDefault(s), CSI_DEFAULT_MODEL);
    d.sim().setModelUnreadable(false);
    EXPECT_EQ(s->readModelNumber(&model), 0);
    EXPECT_EQ(g_modelNumber, 55);
}

TEST_F(CameraStateTest, PresetEditStoreSkipsSettingsOutsidePresets) {
    for (int id : {47, 50, 54, 58, 59, 60, 62, 64, 65, 72, 83, 84, 85, 86, 87, 88, 91, 103, 104, 106, 112, 127, 134,
                   142, 143, 154, 158, 159, 162, 169, 170})
        EXPECT_EQ(storePresetEdit(id), 1) << id;
    EXPECT_TRUE(d.sim().ops().empty());
    EXPECT_EQ(storePresetEdit(2), 1);
    EXPECT_EQ(opsNamed(d.sim(), "remote 17/10").size(), 1u);

    d.sim().injectFault(camsim::OpMatch::remote(17, 10), ZT_ERR_NAK);
    EXPECT_EQ(storePresetEdit(-1), 0);
    EXPECT_TRUE(d.log().contains("ztc_send_simple_remote_api error, -101\n", UTIL_LOG_ERROR));
}

}  // namespace
