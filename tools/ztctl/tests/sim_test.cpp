// ztctl sim against the simulator running in this process on private names.
#include <gtest/gtest.h>
#include <unistd.h>

#include "camsim/camera_sim.h"
#include "json_check.h"
#include "tool_run.h"

using namespace ztctl_test;

namespace {

class SimControl : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tag = std::to_string(getpid());
        camsim::Options options;
        options.cameraMbox = "/ztctl_test_cam_" + tag;
        options.daemonMbox = "/ztctl_test_dmn_" + tag;
        options.controlPath = "/tmp/ztctl_test_sim_" + tag + ".sock";
        options.verbosity = 0;
        socket_ = options.controlPath;
        sim_.reset(new camsim::CameraSim(options));
        ASSERT_EQ(sim_->start(), 0) << sim_->lastError();
    }
    void TearDown() override { sim_->stop(); }

    ToolRun sim(std::vector<std::string> words) {
        std::vector<std::string> args = {"sim", "--socket", socket_};
        args.insert(args.end(), words.begin(), words.end());
        return runTool(args);
    }

    std::unique_ptr<camsim::CameraSim> sim_;
    std::string socket_;
};

}  // namespace

TEST_F(SimControl, OkReplyExitsZeroAndChangesTheSimulator) {
    ToolRun r = sim({"power", "off"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("ok", 0), 0u) << r.out;
    EXPECT_FALSE(sim_->state().powerOn);
}

TEST_F(SimControl, ErrorReplyExitsOne) {
    ToolRun r = sim({"power", "sideways"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("error", 0), 0u) << r.out;
}

TEST_F(SimControl, StateIsAJsonDocument) {
    ToolRun r = sim({"state"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(isValidJson(r.out)) << r.out.substr(0, 200);
}

TEST(SimUnreachable, ExitsTwoWithAMessage) {
    ToolRun r = runTool({"sim", "--socket", "/tmp/ztctl_test_nothing_" + std::to_string(getpid()), "state"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "is ztcamsim running?")) << r.err;
    EXPECT_EQ(runTool({"sim"}).status, 2);
    EXPECT_EQ(runTool({"sim", "--help"}).status, 0);
}
