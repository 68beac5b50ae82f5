// The ztcamsim program end to end: start, serve, stop on SIGTERM. A second instance on the same
// mailbox is refused in-process (SecondSimulatorIsRefused).
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "camlink_protocol.h"
#include "camsim/control_client.h"
#include "daemon_process.h"
#include "program_launch.h"
#include "test_support.h"

using namespace camsim_test;

namespace {

pid_t launch(std::vector<std::string> args) {
    args.insert(args.begin(), ZTCAMSIM_PATH);
    return zt_process::spawnQuiet(args);
}

// Exit status of the child, or -1 when it did not end within timeoutMs (it is killed then).
int waitExit(pid_t pid, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

TEST(Program, ServesUntilSigtermThenRemovesItsMailboxAndSocket) {
    std::string cam = uniqueMboxName("cam"), dmn = uniqueMboxName("dmn"), sock = uniqueSocketPath();
    pid_t pid = launch({"--model", "51", "--camera-mbox", cam, "--daemon-mbox", dmn, "--control", sock, "--quiet"});
    ASSERT_GT(pid, 0);
    std::string reply;
    for (int i = 0; i < 250 && camsim::controlRequest(sock, "clear-ops", &reply, 500) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ("ok", reply);
    {
        Requester req(cam, uniqueMboxName("rep"));
        EXPECT_EQ(std::vector<uint8_t>{51}, req.call(CAMLINK_OP_MODEL, {}).answer);
    }
    ASSERT_EQ(0, kill(pid, SIGTERM));
    EXPECT_EQ(0, waitExit(pid, 10000));
    EXPECT_FALSE(mailboxExists(cam));
    EXPECT_NE(0, access(sock.c_str(), F_OK));
}

TEST(Program, HelpDocumentsOptionsAndControlCommands) {
    FILE* out = popen((zt_launch::shellPrefix() + "'" ZTCAMSIM_PATH "' --help").c_str(), "r");
    ASSERT_NE(nullptr, out);
    std::string text;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, out)) > 0;) text.append(buf, n);
    int status = pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* word : {"--model", "--camera-mbox", "--daemon-mbox", "--control", "--quiet", "--verbose",
                             "noreply", "event preset-update", "SIGTERM"})
        EXPECT_NE(std::string::npos, text.find(word)) << word;
}

TEST(Program, BadArgumentsExitWithOne) {
    EXPECT_EQ(1, waitExit(launch({"--model", "99", "--camera-mbox", uniqueMboxName("cam"), "--control", ""}), 10000));
    EXPECT_EQ(1, waitExit(launch({"--no-such-option"}), 10000));
    EXPECT_EQ(1, waitExit(launch({"stray"}), 10000));
}
