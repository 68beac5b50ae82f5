// ztctl against the real command server and the camera simulator, both in this process on the
// fixed mailbox names: transcodes started with ztctl reach their final status through the
// simulator's progress notifications, a busy camera refuses a second job, a cancelled job ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "camsim/camera_sim.h"
#include "server/ztcontrol_if_server.h"
#include "support.h"
#include "ztLog.h"

using namespace ztctl_test;
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

    // Starts a job with ztctl; the job id from its JSON answer, or "" when refused.
    std::string start(const char* command, int expectedStatus) {
        ToolRun r = runTool({"--json", command, "--file", "DCIM/100ZTCAM/ZT010001.MP4", "--words", "1,2,3"});
        EXPECT_EQ(r.status, expectedStatus) << r.out << r.err;
        std::smatch m;
        if (r.status != 0 || !std::regex_search(r.out, m, std::regex("\"transcode_id\":([0-9]+)"))) return "";
        return m[1];
    }

    static std::string lastLine(const std::string& text) {
        std::istringstream in(text);
        std::string line, last;
        while (std::getline(in, line)) last = line;
        return last;
    }

    std::unique_ptr<camsim::CameraSim> sim;
    ZtcontrolCommandServer* server = nullptr;
    int savedLevel = 0;
};

TEST_F(DaemonTranscode, JobsStartedWithZtctlEndThroughTheNotifications) {
    const std::string first = start("transcode-video-request", 0);
    ASSERT_EQ(first, "1001");

    // The camera runs one job at a time: a second request is refused as busy (-8, reason -2).
    ToolRun busy = runTool({"--json", "transcode-photo-to-video-request", "--file", "DCIM/100ZTCAM/ZT010002.JPG"});
    EXPECT_EQ(busy.status, 1);
    EXPECT_THAT(busy.out, HasSubstr("\"status\":4,\"status_name\":\"failed\",\"failure_reason\":-2"));

    ToolRun done = runTool({"transcode-status", "--follow", "--interval", "0.1", first});
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_EQ(lastLine(done.out), "job 1001: done (2), 100 %, output DCIM/100ZTCAM/ZTTC0001.MP4");

    const std::string second = start("transcode-to-photo-request", 0);
    ASSERT_EQ(second, "1002");
    EXPECT_EQ(runTool({"transcode-cancel", second}).status, 0);
    ToolRun cancelled = runTool({"transcode-status", "--follow", "--interval", "0.1", second});
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_THAT(lastLine(cancelled.out), HasSubstr("job 1002: cancelled (3)"));

    // The first job is no longer the newest: its status is refused, the history still has both.
    EXPECT_EQ(runTool({"transcode-status", first}).status, 1);
    ToolRun history = runTool({"--json", "transcode-history"});
    EXPECT_EQ(history.status, 0);
    EXPECT_TRUE(isValidJson(history.out));
    EXPECT_THAT(history.out, HasSubstr("\"transcode_id\":1001,\"status\":2"));
    EXPECT_THAT(history.out, HasSubstr("\"transcode_id\":1002,\"status\":3"));
}

}  // namespace
