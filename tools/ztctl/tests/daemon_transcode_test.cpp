// ztctl against the real command server and the camera simulator, both in this process on the
// fixed mailbox names: a transcode started with ztctl reaches its final status through the
// simulator's progress notifications, and a busy camera refuses a second job. (Cancel and the
// newest-job rule: the daemon's transcode command tests and ztctl's follow tests.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "camsim/camera_sim.h"
#include "server/ztcontrol_if_server.h"
#include "support.h"
#include "ztLog.h"

using namespace ztctl_test;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

class DaemonTranscode : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(name);
        camsim::Options options;
        options.verbosity = 0;
        options.transcodeSeconds = 2;
        sim.reset(new camsim::CameraSim(options));
        ASSERT_EQ(sim->start(), 0) << sim->lastError();
        savedLevel = g_logLevel;
        g_logLevel = UTIL_LOG_FATAL;  // keep the system log quiet
        g_modelNumber = 0;
        server = ZtcontrolCommandServer::getInstance();
        ASSERT_EQ(server->start(), 0);
        for (int i = 0; i < 500 && !server->isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(server->isRunning());
    }
    void TearDown() override {
        if (server) {
            server->stop();
            ZtcontrolCommandServer::destroyInstance();
        }
        if (sim) sim->stop();
        g_logLevel = savedLevel;
        for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(name);
    }

    std::unique_ptr<camsim::CameraSim> sim;
    ZtcontrolCommandServer* server = nullptr;
    int savedLevel = 0;
};

TEST_F(DaemonTranscode, JobStartedWithZtctlEndsThroughTheNotifications) {
    ToolRun started = runTool({"--json", "transcode-video-request", "--file", "DCIM/100ZTCAM/ZT010001.MP4", "--words",
                               "1,2,3"});
    EXPECT_EQ(started.status, 0) << started.out << started.err;
    ASSERT_THAT(started.out, HasSubstr("\"transcode_id\":1001,"));

    // The camera runs one job at a time: a second request is refused as busy (-8, reason -2).
    ToolRun busy = runTool({"--json", "transcode-photo-to-video-request", "--file", "DCIM/100ZTCAM/ZT010002.JPG"});
    EXPECT_EQ(busy.status, 1);
    EXPECT_THAT(busy.out, HasSubstr("\"status\":4,\"status_name\":\"failed\",\"failure_reason\":-2"));

    ToolRun done = runTool({"transcode-status", "--follow", "--interval", "0.1", "1001"});
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_THAT(done.out, EndsWith("job 1001: done (2), 100 %, output DCIM/100ZTCAM/ZTTC0001.MP4\n"));

    ToolRun history = runTool({"--json", "transcode-history"});
    EXPECT_EQ(history.status, 0);
    EXPECT_TRUE(isValidJson(history.out));
    EXPECT_THAT(history.out, HasSubstr("\"transcode_id\":1001,\"status\":2"));
}

}  // namespace
