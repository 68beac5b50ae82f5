// ztctl sim against the simulator running in this process on private names.
#include <gmock/gmock.h>
#include <unistd.h>

#include "camsim/camera_sim.h"
#include "support.h"

using namespace ztctl_test;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(Sim, TheReplySetsTheExitStatus) {
    const std::string tag = std::to_string(getpid());
    camsim::Options options;
    options.cameraMbox = "/ztctl_test_cam_" + tag;
    options.daemonMbox = "/ztctl_test_dmn_" + tag;
    options.controlPath = "/tmp/ztctl_test_sim_" + tag + ".sock";
    options.verbosity = 0;
    camsim::CameraSim sim(options);
    ASSERT_EQ(sim.start(), 0) << sim.lastError();
    auto send = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"sim", "--socket", options.controlPath});
        return runTool(words);
    };
    ToolRun r = send({"power", "off"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, StartsWith("ok"));
    r = send({"power", "sideways"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, StartsWith("error"));
    sim.stop();
    r = send({"state"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("is ztcamsim running?"));
    EXPECT_EQ(runTool({"sim"}).status, 2);  // nothing to send
}
