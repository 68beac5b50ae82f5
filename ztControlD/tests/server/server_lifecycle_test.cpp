// Server lifecycle against the simulator: interface open and close, subscription, the deferred
// protocol adapter, and the state read at worker start.
#include <gtest/gtest.h>

#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

// Sets the camera's orientation before the daemon opens its own link.
void setOrientation(uint8_t orientation) {
    PrivateCameraLink link;
    ASSERT_TRUE(link.open());
    ASSERT_EQ(ztc_setup_set_orientation(link.context(), orientation), 0);
}

// Start reads the camera state, opens and subscribes; stop closes everything and the same server
// object starts again, reading the state afresh.
TEST(ServerLifecycle, StartReadsTheCameraStateOpensSubscribesAndStopClosesEverything) {
    InProcessDaemon d;
    ASSERT_TRUE(d.startSimulator());
    d.sim().setLens(1, 2);
    d.sim().setStatus(19, 1, 4);        // photo group
    d.sim().setStatus(11, 0x10003, 4);  // its current preset
    setOrientation(5);                  // not locked: kept
    ASSERT_EQ(d.startServer(), 0);
    ASSERT_TRUE(d.sync());
    ZtcontrolCommandServer* s = d.server();
    EXPECT_EQ(s->lensMode, 1);
    EXPECT_EQ(s->lens, 2);
    EXPECT_FALSE(s->needLenses);
    EXPECT_EQ(s->activePreset, 0x10003);
    EXPECT_FALSE(s->presetRefreshPending);
    EXPECT_EQ(s->orientation, 5);
    EXPECT_FALSE(s->bossCache.empty());
    LogCapture& log = d.log();
    EXPECT_TRUE(log.contains("Getting active preset back", UTIL_LOG_DEBUG));
    EXPECT_TRUE(log.contains("Preset after get 65539\n", UTIL_LOG_DEBUG));
    EXPECT_EQ(log.countContaining("was already locked"), 0u);
    for (const char* line : {"CSI subscribe for Transcode event messages", "Subscribed for messages",
                             "Interface Opened", "Creating main worker thread"})
        EXPECT_TRUE(log.contains(line, UTIL_LOG_INFO)) << line;
    EXPECT_TRUE(log.waitFor("Command handling thread running!"));
    EXPECT_LT(log.indexOf("CSI subscribe for Transcode event messages"), log.indexOf("Interface Opened"));
    for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX}) EXPECT_TRUE(mailboxExists(name)) << name;

    // The camera's answer to the subscription arrives as category 17.
    EXPECT_TRUE(log.waitFor("Got success response to CSI subscribe/unsubscribe"));
    std::vector<camsim::OpRecord> cr = opsNamed(d.sim(), "CR");
    ASSERT_EQ(cr.size(), 1u);
    EXPECT_EQ(cr[0].payload, (std::vector<uint8_t>{0x01, 0x4F}));
    EXPECT_EQ(cr[0].replyTo, ZT_DAEMON_MBOX);
    EXPECT_EQ(opsNamed(d.sim(), "PA").size(), 1u);
    EXPECT_TRUE(d.sim().state().subscribed);

    // Every resume selects the adapter again, with the cached model number (no second read).
    ASSERT_EQ(d.sim().sendResume(), 0);
    ASSERT_TRUE(waitUntil([&] { return opsNamed(d.sim(), "PA").size() == 2; }));
    EXPECT_EQ(opsNamed(d.sim(), "MN").size(), 1u);

    // A second start is refused; the running interface stays.
    EXPECT_EQ(s->start(), -1);
    EXPECT_TRUE(log.contains("Interface must be closed before reuse!\n", UTIL_LOG_ERROR));
    EXPECT_TRUE(log.contains("interfaceOpen failed -1", UTIL_LOG_ERROR));
    EXPECT_EQ(d.requester().call(ZTCONTROL_DELETE_ALL).result, ZT_OK);

    s->stop();
    for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX}) EXPECT_FALSE(mailboxExists(name)) << name;
    EXPECT_TRUE(mailboxExists(ZT_ZTNET_MBOX));  // never unlinked by the daemon
    EXPECT_TRUE(log.contains("Command handling thread exiting!", UTIL_LOG_DEBUG));
    EXPECT_TRUE(log.contains("CSI unsubscribe for Transcode event messages", UTIL_LOG_INFO));
    EXPECT_TRUE(log.contains("Unsubscribed for Transcode event messages", UTIL_LOG_INFO));
    ASSERT_TRUE(waitUntil([&] { return opsNamed(d.sim(), "CR").size() == 2; }));
    EXPECT_EQ(opsNamed(d.sim(), "CR")[1].payload, (std::vector<uint8_t>{0x00, 0x4F}));
    EXPECT_EQ(g_ztcContext.rxMqd, (mqd_t)-1);
    EXPECT_EQ(g_ztcContext.txMqd, (mqd_t)-1);

    // A stopped server starts again; an orientation locked meanwhile is replaced by all.
    setOrientation(1);
    ASSERT_EQ(s->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return s->isRunning(); }));
    Reply reply = d.requester().call(ZTCONTROL_DELETE_ALL);
    ASSERT_TRUE(reply.received);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_TRUE(log.contains("Orientation[1] was already locked, default orientation will be all", UTIL_LOG_ERROR));
    EXPECT_EQ(s->orientation, 0);
    EXPECT_EQ(d.sim().state().orientation, 1);  // only the cache changes
}

TEST(ServerLifecycle, UnreadableModelDefersTheAdapterUntilItIsRead) {
    InProcessDaemon d;
    ASSERT_TRUE(d.startSimulator());
    d.sim().setModelUnreadable(true);  // the camera answers -1
    ASSERT_EQ(d.startServer(), 0);
    LogCapture& log = d.log();
    EXPECT_TRUE(log.contains("Unable to set protocol adapter - Cannot get CSI_MODEL_NUMBER, err -1", UTIL_LOG_ERROR));
    EXPECT_TRUE(log.contains("deferring select protocol adapter - using default", UTIL_LOG_ERROR));
    EXPECT_TRUE(log.contains("Interface Opened", UTIL_LOG_INFO));
    EXPECT_TRUE(opsNamed(d.sim(), "PA").empty());

    // Requests are answered with an error; every poll reports the missing adapter.
    EXPECT_EQ(d.requester().call(ZTCONTROL_DELETE_ALL, std::nullopt, 1500).result, ZT_ERR);
    ASSERT_TRUE(d.syncWithoutAdapter());
    EXPECT_TRUE(d.server()->isRunning());
    EXPECT_TRUE(opsNamed(d.sim(), "remote 9/10").empty());

    // A resume while the model is still unreadable keeps the adapter unset.
    ASSERT_EQ(d.sim().sendResume(), 0);
    EXPECT_TRUE(log.waitFor(
        "Unable to set protocol adapter - Cannot get CSI_MODEL_NUMBER, err -1 - try again on next resume"));
    EXPECT_EQ(d.requester().call(ZTCONTROL_DELETE_ALL, std::nullopt, 1000).result, ZT_ERR);

    // Once the model is readable the adapter is selected; requests are answered again.
    d.sim().setModelUnreadable(false);
    ASSERT_TRUE(waitUntil([&] { return opsNamed(d.sim(), "PA").size() >= 1; }));
    EXPECT_EQ(opsNamed(d.sim(), "PA")[0].payload, (std::vector<uint8_t>{55}));
    EXPECT_TRUE(log.waitFor("Model 55 read, protocol adapter set"));
    Reply reply = d.requester().call(ZTCONTROL_DELETE_ALL);
    ASSERT_TRUE(reply.received);
    EXPECT_EQ(reply.result, ZT_OK);
}

// The stop is taken before the adapter check: it answers and ends the worker while the model is
// still unreadable, and nothing more is taken from the mailbox.
TEST(ServerLifecycle, StopIsHonouredWhileTheModelIsUnreadable) {
    InProcessDaemon d;
    ASSERT_TRUE(d.startSimulator());
    d.sim().setModelUnreadable(true);
    ASSERT_EQ(d.startServer(), 0);
    Reply reply = d.requester().call(ZTCONTROL_STOP);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_FALSE(reply.hasPayload);
    EXPECT_TRUE(d.log().waitFor("Command handling thread exiting!"));
    EXPECT_FALSE(d.server()->isRunning());
    ASSERT_TRUE(d.requester().send(ZTCONTROL_DELETE_ALL));
    EXPECT_FALSE(d.requester().waitReply(700).received);
}

}  // namespace
