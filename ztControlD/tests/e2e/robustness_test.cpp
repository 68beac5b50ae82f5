// Robustness end to end with the real programs: a silent camera, a network daemon killed or
// stopped and restarted, a full descriptor table and a system log that stops reading must neither
// stall the daemon nor strand its requests and events.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "daemon_process.h"
#include "support/e2e_fixture.h"
#include "support/private_syslog.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

using namespace e2e;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr uint32_t kStatusDone = 2;
constexpr size_t kRecordStatus = 272;

class Robustness : public EndToEnd {
protected:
    // Starts a video transcode of the file; the answer.
    Reply transcode(const std::string& file) {
        Bytes arg(304, 0);
        memcpy(arg.data(), file.data(), file.size());
        return requester.call(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, arg, 10000);
    }

    // The status of job 1001 (the simulator's first) as the daemon's record says; -1 without one.
    int64_t jobStatus() {
        Reply reply = requester.call(ZTCONTROL_TRANSCODE_STATUS, cat(u32Arg(1001), u32Arg(0)), 5000);
        if (!reply.received || reply.payload.size() < kRecordStatus + 4) return -1;
        return readLe(reply.payload, kRecordStatus, 4);
    }
};

TEST_F(Robustness, SilentCameraHoldsNoRequestThatNeedsNoCamera) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    FrameReader reader = subscribedReader();
    ASSERT_EQ(sim("noreply all").rfind("ok", 0), 0u);
    // The first poll of the silence takes the camera link's whole time-out.
    quickCommand();
    std::this_thread::sleep_for(seconds(4));
    // Several probe intervals, and longer than a failing poll and its back-off would take.
    Clock::duration slowest{};
    for (int i = 0; i < 200; ++i) {
        slowest = std::max(slowest, quickCommand());
        std::this_thread::sleep_for(milliseconds(30));
    }
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(slowest).count(), 1000) << "a request waited for the camera";
    // One that needs the camera fails within the link's bound.
    const auto start = Clock::now();
    EXPECT_EQ(requester.call(ZTCONTROL_LOCATE, u8Arg(1), 10000).result, ZT_ERR_MQ_FAIL);
    EXPECT_LT(Clock::now() - start, seconds(6));

    // The camera answers again: notifications resume.
    ASSERT_EQ(sim("noreply off").rfind("ok", 0), 0u);
    ASSERT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    EXPECT_TRUE(frameWhere(reader, [](const std::string& json) { return json.find("\"31\":1") != std::string::npos; }));

    // Silent again: a stop waits for one failing poll at most.
    ASSERT_EQ(sim("noreply all").rfind("ok", 0), 0u);
    stopInOrder(seconds(8));
}

TEST_F(Robustness, TranscodeEndingDuringASilenceWithBusyRequestersIsRecorded) {
    int err[2];
    ASSERT_EQ(pipe2(err, O_NONBLOCK | O_CLOEXEC), 0);
    ASSERT_NO_FATAL_FAILURE(startAll({"--transcode-seconds", "8"}, err[1]));
    close(err[1]);
    FrameReader reader = subscribedReader();
    ASSERT_EQ(transcode("DCIM/100ZTCAM/ZT010001.MP4").result, ZT_OK);
    ASSERT_EQ(sim("noreply all").rfind("ok", 0), 0u);
    // The first poll of the silence takes the camera link's whole time-out.
    quickCommand();
    std::this_thread::sleep_for(seconds(1));
    std::atomic<bool> busy{true};
    std::vector<std::thread> requesters;
    for (int i = 0; i < 4; ++i)
        requesters.emplace_back([&] {
            Requester own;
            while (busy) {
                own.call(ZTCONTROL_SET_LOG_LEVEL, u32Arg(UTIL_LOG_ERROR), 5000);
                std::this_thread::sleep_for(milliseconds(10));
            }
        });
    // The job ends on the camera meanwhile; more progress events keep coming all along.
    for (int i = 0; i < 120; ++i) {
        const std::string said = sim("event transcode 1001:1:50");
        EXPECT_EQ(said.rfind("ok", 0), 0u) << said;
        std::this_thread::sleep_for(milliseconds(100));
    }
    busy = false;
    for (std::thread& t : requesters) t.join();
    ASSERT_EQ(sim("noreply off").rfind("ok", 0), 0u);
    EXPECT_EQ(jobStatus(), kStatusDone);
    const std::string said = readUntilQuiet(err[0], 0);
    EXPECT_EQ(said.find("dropped"), std::string::npos) << said;
}

// The network daemon killed (its mailbox stays) or stopped (its mailbox goes), then restarted:
// the daemon renews its subscription and camera link each time, and stops cleanly without it.
TEST_F(Robustness, NetworkDaemonRestartedGetsTheSubscriptionAgain) {
    ASSERT_NO_FATAL_FAILURE(startAll());
    FrameReader reader = subscribedReader();  // so that the daemon polls
    kill(camsim, SIGKILL);
    ASSERT_TRUE(waitForExit(camsim, 10000));
    std::this_thread::sleep_for(seconds(4));  // polls time out meanwhile
    ASSERT_TRUE(mailboxExists(ZT_ZTNET_MBOX));
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    EXPECT_TRUE(waitUntil([&] { return simulatorSubscribed(); }, 8000)) << "no subscription after a kill";
    // Progress reaches the daemon again.
    ASSERT_EQ(transcode("DCIM/100ZTCAM/ZT010002.MP4").result, ZT_OK);
    EXPECT_TRUE(waitUntil([&] { return jobStatus() == kStatusDone; }, 15000));

    // With no client listening nothing polls the link: only the mailbox check sees the restart.
    for (int fd : sockets) shutdown(fd, SHUT_RDWR);
    std::this_thread::sleep_for(seconds(1));
    ASSERT_NO_FATAL_FAILURE(stopSimulator());
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    EXPECT_TRUE(waitUntil([&] { return simulatorSubscribed(); }, 10000)) << "no subscription after a stop";
    EXPECT_EQ(command(ZTCONTROL_LOCATE, u8Arg(1)), ZT_OK);
    // Once renewed, the same mailbox is not taken for a new one at the next checks (every 3 s).
    std::this_thread::sleep_for(milliseconds(1500));
    ASSERT_EQ(sim("clear-ops"), "ok");
    std::this_thread::sleep_for(milliseconds(4000));
    const std::string ops = sim("ops 1000");
    ASSERT_EQ(ops.rfind("[", 0), 0u) << ops;
    EXPECT_EQ(ops.find("\"op\": \"CR\""), std::string::npos) << "subscribed again: " << ops;

    ASSERT_NO_FATAL_FAILURE(stopSimulator());
    ASSERT_FALSE(mailboxExists(ZT_ZTNET_MBOX));
    stopInOrder(seconds(6));
}

TEST_F(Robustness, ClientsCannotTakeTheDescriptorsThatAnswersNeed) {
    if (zt_launch::emulated()) GTEST_SKIP() << "the emulator's own descriptors count against the limit";
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    launcher = spawn({ZTCONTROLD_BIN}, -1, -1, [] {
        struct rlimit few = {16, 16};
        setrlimit(RLIMIT_NOFILE, &few);
    });
    ASSERT_NO_FATAL_FAILURE(waitUntilListening());
    for (int i = 0; i < 12; ++i) client();
    std::this_thread::sleep_for(seconds(1));
    for (int i = 0; i < 5; ++i) EXPECT_LT(quickCommand(), seconds(3)) << "request " << i << " unanswered";

    // Not spinning: well under half a core over two seconds.
    const pid_t daemon = zt_process::findDaemon();
    ASSERT_GT(daemon, 0);
    auto cpuTicks = [&] {  // user and system time, fields 14 and 15 after the name
        std::ifstream stat("/proc/" + std::to_string(daemon) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        unsigned long user = 0, system = 0;
        const size_t after = text.rfind(')');
        if (after != std::string::npos)
            sscanf(text.c_str() + after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system);
        return user + system;
    };
    const unsigned long before = cpuTicks();
    std::this_thread::sleep_for(seconds(2));
    EXPECT_LT(cpuTicks() - before, (unsigned long)sysconf(_SC_CLK_TCK)) << "the accept loop spins";
}

// The system log: a peer's file name cannot break or forge a line, a reader that stops does not
// hold the worker, and the loss is reported once it reads again.
TEST_F(Robustness, SystemLogThatStopsReadingDoesNotHoldTheWorkerAndLinesAreEscaped) {
    PrivateSyslog log;
    ASSERT_TRUE(log.bound());
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    launcher = log.launchWithPrivateLog({ZTCONTROLD_BIN});
    ASSERT_NO_FATAL_FAILURE(waitUntilListening());
    ASSERT_EQ(sim("fault 12/5 ZT_ERR_NAK").rfind("ok", 0), 0u);
    EXPECT_EQ(transcode("a.MP4\nUTIL_LOG_ERROR:forged").result, ZT_ERR_NAK);
    bool escaped = false;
    for (const std::string& line : log.read(1000)) {
        escaped = escaped || line.find("Transcode on a.MP4\\x0AUTIL_LOG_ERROR:forged FAILED") != std::string::npos;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
    EXPECT_TRUE(escaped);

    ASSERT_EQ(command(ZTCONTROL_SET_LOG_LEVEL, u32Arg(UTIL_LOG_INFO)), ZT_OK);  // lines on every request
    log.read(500);
    // Nobody reads the log any more: requests are answered all the same.
    for (int i = 0; i < 30; ++i) {
        Reply reply = requester.call(ZTCONTROL_SET_LOG_LEVEL, u32Arg(UTIL_LOG_INFO), 3000);
        ASSERT_TRUE(reply.received) << "request " << i << " unanswered";
    }
    // Reading again: the loss is reported with the next line.
    std::vector<std::string> lines = log.read(500);
    EXPECT_EQ(command(ZTCONTROL_SET_LOG_LEVEL, u32Arg(UTIL_LOG_INFO)), ZT_OK);
    for (const std::string& line : log.read(1000)) lines.push_back(line);
    bool reported = false;
    for (const std::string& line : lines) reported = reported || line.find("log lines dropped") != std::string::npos;
    EXPECT_TRUE(reported);
}

}  // namespace
