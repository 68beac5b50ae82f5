// Whole invocations of ztctl against a fake daemon on a private mailbox: what goes out, what is
// printed, the exit status, and that the reply mailbox is gone afterwards (also when interrupted).
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "daemon_process.h"
#include "support.h"

using namespace ztctl_test;
using ::testing::HasSubstr;

namespace {

ToolRun runWith(const std::string& mailbox, std::vector<std::string> args) {
    args.insert(args.begin(), {"--mailbox", mailbox});
    return runTool(args);
}

// Every exchange without a usable answer: status 2, a message, and with --json an error object.
void expectFailure(const std::string& mailbox, const char* timeout, const char* message, const char* code) {
    ToolRun r = runWith(mailbox, {"--json", "--timeout", timeout, "shutter", "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(message));
    EXPECT_TRUE(isValidJson(r.out)) << r.out;
    EXPECT_THAT(r.out, HasSubstr(std::string("\"error\":\"") + code + "\""));
}

}  // namespace

TEST(RoundTrip, AnsweredExchanges) {
    Bytes path(257, 0);
    path[0] = 'p';
    // Arguments, the answer, then what the daemon saw (id, argument; empty: no element 66), the exit
    // status and a part of standard output. The argument forms themselves: the argument builder's tests.
    const std::tuple<std::vector<std::string>, Bytes, uint32_t, Bytes, int, std::string> rows[] = {
        {{"shutter", "1"}, response(0), 3, {1}, 0, "ZTCONTROL_COMMAND_SHUTTER (3): result 0 ZT_OK\n"},
        {{"45"}, response(-104), 45, {}, 1, "UNASSIGNED (45): result -104 ZT_ERR_NOT_SUPPORTED\n"},
        {{"stop"}, response(0), 89, {}, 0, "(89): result 0 ZT_OK\n"},
        {{"--json", "cal-file-name-get"}, response(0, path), 64, {}, 0, "\"decoded\":{\"path\":\"p\"}}\n"},
    };
    for (const auto& [args, answer, id, argument, status, out] : rows) {
        SCOPED_TRACE(args[0]);
        ScriptedDaemon daemon({answer});
        ToolRun r = runWith(daemon.name(), args);
        const Seen seen = daemon.last();
        EXPECT_EQ(seen.id, id);
        EXPECT_EQ(seen.hasArgument, !argument.empty());
        EXPECT_EQ(seen.argument, argument);
        EXPECT_EQ(seen.reply.rfind("/ztctl_" + std::to_string(getpid()) + "_", 0), 0u) << seen.reply;
        EXPECT_FALSE(mailboxExists(seen.reply));
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_THAT(r.out, HasSubstr(out));
        EXPECT_TRUE(args[0] != "--json" || isValidJson(r.out)) << r.out;
    }
}

// The library's decoder tests hold the shapes of malformed answers; one is enough here.
TEST(RoundTrip, NoUsableAnswerExitsTwo) {
    const std::tuple<Bytes, const char*, const char*> rows[] = {
        {{}, "no response within 0.3 s", "no_response"},
        {Bytes(8, 0xff), "malformed response", "malformed_response"},
    };
    for (const auto& [answer, message, code] : rows) {
        ScriptedDaemon daemon({answer});
        expectFailure(daemon.name(), "0.3", message, code);
        EXPECT_FALSE(mailboxExists(daemon.last().reply));
    }
    ScriptedDaemon full(1);  // nobody reads it: a full mailbox times out instead of ending the process
    ASSERT_TRUE(ScriptedDaemon::send(full.name(), {0}));
    expectFailure(full.name(), "0.3", "could not send", "send_failed");
    expectFailure("/ztctl_test_nobody_" + std::to_string(getpid()), "2", "is ztControlD running?",
                  "no_daemon");
}

TEST(RoundTrip, InterruptedWhileWaitingLeavesNoReplyMailbox) {
    for (int sig : {SIGINT, SIGTERM}) {
        ScriptedDaemon daemon({Bytes{}});
        // The real binary, whose main() installs the handlers. The signal comes long before the
        // time-out; under ThreadSanitizer it is only handled once the wait ends, so it is kept short.
        pid_t child =
            zt_process::spawnQuiet({ZTCTL_BINARY, "--timeout", "5", "--mailbox", daemon.name(), "shutter", "1"});
        ASSERT_GT(child, 0);
        const Seen seen = daemon.last();  // returns once the request has arrived
        ASSERT_FALSE(seen.reply.empty());
        EXPECT_TRUE(mailboxExists(seen.reply));  // made before sending, still waiting
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_FALSE(mailboxExists(seen.reply));
    }
}

TEST(ExitStatus, UsageHelpAndList) {
    const std::tuple<std::vector<std::string>, int, const char*> rows[] = {
        {{}, 2, ""},
        {{"no-such-command"}, 2, ""},
        {{"shutter", "--u8", "300"}, 2, ""},
        {{"preset-info", "--proto", "nonsense"}, 2, ""},
        {{"preset-info", "--help"}, 0, "--proto \"preset_id: 65537\""},
        {{"--help"}, 0, "Exit status"},
        {{"wifi-ssid-select", "--help"}, 0, "--auth-type"},
        {{"45", "--help"}, 0, "unassigned"},
        {{"watch", "--help"}, 0, "--no-subscribe"},
        {{"sim", "--help"}, 0, "--socket"},
        {{"list"}, 0, "\n 89  stop "},
        {{"--json", "list"}, 0, "{\"id\":89,\"name\":\"ZTCONTROL_"},
    };
    for (const auto& [args, status, out] : rows) {
        ToolRun r = runTool(args);
        EXPECT_EQ(r.status, status) << out;
        EXPECT_THAT(r.out, HasSubstr(out));
        EXPECT_EQ(r.err.empty(), status == 0) << r.err;
    }
    EXPECT_TRUE(isValidJson(runTool({"--json", "list"}).out));
}
