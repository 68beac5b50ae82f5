// The daemon under a supervisor, through the real programs: what the launcher's exit promises
// inside the sandbox of the systemd unit, a stop right after start, the signals a supervisor sends.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e_fixture.h"

using namespace e2e;

namespace {

using std::chrono::seconds;

class Supervised : public EndToEnd {
protected:
    // The detached daemon: once its launcher is gone it is a child of this process (a subreaper),
    // and the only one besides the simulator.
    pid_t detachedDaemon() {
        for (pid_t pid : children())
            if (pid != camsim && pid != launcher) return pid;
        return -1;
    }

    // The launcher's wait status, taken the moment it exits.
    int launcherExit() {
        int status = -1;
        EXPECT_EQ(waitpid(launcher, &status, 0), launcher);
        exits[launcher] = status;
        return status;
    }

    // The unit's sandbox as far as a process can set it up here: / read-only, private /dev, only
    // the unit's ReadWritePaths writable (read from the unit itself), no new privileges, no
    // capabilities. Not emulated: the system-call and address-family filters, the kernel guards.
    static std::vector<std::string> unitSandbox() {
        std::vector<std::string> words = {"bwrap", "--ro-bind", "/", "/", "--dev", "/dev"};
        std::ifstream unit(ZT_UNIT_TEMPLATE);
        for (std::string line; std::getline(unit, line);) {
            if (line.rfind("ReadWritePaths=", 0) != 0) continue;
            std::istringstream paths(line.substr(line.find('=') + 1));
            for (std::string path; paths >> path;) {
                const bool optional = path[0] == '-';
                if (optional) path.erase(0, 1);
                words.insert(words.end(), {optional ? "--bind-try" : "--bind", path, path});
            }
        }
        words.insert(words.end(),
                     {"--", "setpriv", "--no-new-privs", "--bounding-set=-all", "--inh-caps=-all"});
        return words;
    }
};

// The launcher exits only once the daemon answers and listens; all of it inside the unit's sandbox
// (which wraps a native daemon only), so that a path the daemon needs and the unit forgets fails
// here, not on a camera.
TEST_F(Supervised, LauncherExitsOnlyOnceTheDaemonAnswersAndListensInsideTheUnitsSandbox) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    std::vector<std::string> words = zt_launch::emulated() ? std::vector<std::string>() : unitSandbox();
    words.push_back(ZTCONTROLD_BIN);
    launcher = spawn(words);
    ASSERT_GT(launcher, 0);
    const int status = launcherExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_TRUE(mailboxExists(ZT_DAEMON_MBOX));
    const int fd = connectToNotificationPort();
    EXPECT_GE(fd, 0) << "port 8081 not listening when the launcher exited";
    if (fd >= 0) close(fd);
    Reply reply = requester.call(ZTCONTROL_CAL_FILE_NAME_GET);
    ASSERT_EQ(reply.payload.size(), 257u);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply.payload.data()), "/tmp/fuse_a/CALIB/MODEL55/lens0.cal");
    EXPECT_EQ(command(90), ZT_ERR_NOT_SUPPORTED);
    FrameReader reader = subscribedReader();
    EXPECT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    std::string json;
    EXPECT_TRUE(reader.next(&json, 5000)) << "no notification of the change";
    stopInOrder(seconds(6));
}

// The worker reads lens, preset and orientation before its first message: a camera that lets
// them time out may hold a stop taken as soon as the mailbox exists for one link time-out, not one
// per read.
TEST_F(Supervised, StopAsSoonAsTheMailboxExistsEndsWithinOneCameraTimeOutAndStatusZero) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_EQ(sim("noreply DC").rfind("ok", 0), 0u);  // lens and orientation go unanswered, the model not
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    ASSERT_TRUE(waitUntil([&] { return mailboxExists(ZT_DAEMON_MBOX); }, 10000));
    stopInOrder(seconds(6));
    ASSERT_TRUE(waitForExit(launcher, 5000));
    // The supervisor sees no failure: nothing restarts a daemon that was asked to stop.
    EXPECT_TRUE(WIFEXITED(exits[launcher]) && WEXITSTATUS(exits[launcher]) == 0);
}

class SupervisorSignal : public Supervised, public ::testing::WithParamInterface<int> {};

TEST_P(SupervisorSignal, HangupIsIgnoredAndTheStopSignalStopsInOrder) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    launcherExit();  // the daemon is this process's child from now on
    ASSERT_TRUE(waitUntil([&] { return simulatorSubscribed(); }, 10000));
    const pid_t daemon = detachedDaemon();
    ASSERT_GT(daemon, 0);

    ASSERT_EQ(kill(daemon, SIGHUP), 0);
    EXPECT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    EXPECT_FALSE(collect(0)) << "SIGHUP ended the daemon";

    const auto start = Clock::now();
    ASSERT_EQ(kill(daemon, GetParam()), 0);
    expectStoppedInOrder(start, seconds(6));
    EXPECT_TRUE(waitUntil([&] { return !simulatorSubscribed(); }, 5000)) << "still subscribed";
}

INSTANTIATE_TEST_SUITE_P(StopSignals, SupervisorSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
