// Whole invocations of ztctl against a fake daemon on a private mailbox: what goes out, what is
// printed, the exit status, and that the reply mailbox is gone afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "fake_daemon.h"
#include "json_check.h"
#include "transport.h"
#include "ztLog.h"
#include "tool_run.h"

using namespace ztctl;
using namespace ztctl_test;

namespace {

FakeAnswer answer(int32_t result, std::vector<uint8_t> payload = {}) {
    FakeAnswer a;
    a.result = result;
    a.payload = std::move(payload);
    return a;
}

FakeAnswer raw(std::vector<uint8_t> bytes) {
    FakeAnswer a;
    a.kind = FakeAnswer::Kind::RawBytes;
    a.payload = std::move(bytes);
    return a;
}

}  // namespace

TEST(RoundTrip, RequestCarriesIdArgumentAndAPrivateReplyMailbox) {
    FakeDaemon daemon(answer(0));
    ToolRun r = runTool({"--mailbox", daemon.mailbox(), "shutter", "1"});
    const SeenRequest& seen = daemon.seen();
    ASSERT_TRUE(seen.parsed);
    EXPECT_EQ(seen.category, 20);
    EXPECT_EQ(seen.id, 3u);
    EXPECT_TRUE(seen.hasArgument);
    EXPECT_EQ(seen.argument, (std::vector<uint8_t>{1}));
    EXPECT_EQ(seen.replyMailbox.rfind("/ztctl_" + std::to_string(getpid()) + "_", 0), 0u) << seen.replyMailbox;
    EXPECT_FALSE(mailboxExists(seen.replyMailbox));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ZTCONTROL_COMMAND_SHUTTER (3): result 0 ZT_OK\n");
}

TEST(RoundTrip, EachExchangeUsesItsOwnReplyMailbox) {
    FakeDaemon first(answer(0)), second(answer(0));
    runTool({"--mailbox", first.mailbox(), "locate", "1"});
    runTool({"--mailbox", second.mailbox(), "locate", "0"});
    EXPECT_NE(first.seen().replyMailbox, second.seen().replyMailbox);
}

TEST(RoundTrip, NoArgumentMeansNoElementAndUnassignedIdsGoOutAsGiven) {
    FakeDaemon daemon(answer(-104));
    ToolRun r = runTool({"--mailbox", daemon.mailbox(), "45"});
    EXPECT_EQ(daemon.seen().id, 45u);
    EXPECT_FALSE(daemon.seen().hasArgument);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "UNASSIGNED (45): result -104 ZT_ERR_NOT_SUPPORTED")) << r.out;
}

TEST(RoundTrip, StopSendsCommand89) {
    FakeDaemon daemon(answer(0));
    EXPECT_EQ(runTool({"--mailbox", daemon.mailbox(), "stop"}).status, 0);
    EXPECT_EQ(daemon.seen().id, 89u);
}

TEST(RoundTrip, RefusedResultExitsOne) {
    FakeDaemon daemon(answer(-3));
    ToolRun r = runTool({"--mailbox", daemon.mailbox(), "delete-last", "--u8", "1"});
    EXPECT_EQ(daemon.seen().argument, (std::vector<uint8_t>{1}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "result -3 ZT_ERR_INVALID_PARAM"));
}

TEST(RoundTrip, JsonCarriesTheDecodedPayload) {
    std::vector<uint8_t> path(257, 0);
    memcpy(path.data(), "/tmp/fuse_a/cal.bin", 19);
    FakeDaemon daemon(answer(0, path));
    ToolRun r = runTool({"--json", "--mailbox", daemon.mailbox(), "cal-file-name-get"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(isValidJson(r.out)) << r.out;
    EXPECT_TRUE(contains(r.out, "\"result_name\":\"ZT_OK\""));
    EXPECT_TRUE(contains(r.out, "\"decoded\":{\"path\":\"/tmp/fuse_a/cal.bin\"}")) << r.out;
}

TEST(RoundTrip, StructureFlagsReachTheDaemonPacked) {
    FakeDaemon daemon(answer(0));
    ToolRun r = runTool({"--mailbox", daemon.mailbox(), "set-setting-id", "--id", "2", "--value", "17"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(daemon.seen().id, 30u);
    EXPECT_EQ(daemon.seen().argument, (std::vector<uint8_t>{2, 0, 0, 0, 17, 0, 0, 0}));
}

TEST(RoundTrip, SilenceExitsTwoAndLeavesNoMailbox) {
    FakeAnswer silent;
    silent.kind = FakeAnswer::Kind::Silence;
    FakeDaemon daemon(silent);
    ToolRun r = runTool({"--json", "--timeout", "0.3", "--mailbox", daemon.mailbox(), "shutter", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "no response within 0.3 s")) << r.err;
    EXPECT_TRUE(isValidJson(r.out));
    EXPECT_TRUE(contains(r.out, "\"error\":\"no_response\""));
    EXPECT_FALSE(mailboxExists(daemon.seen().replyMailbox));
}

TEST(RoundTrip, MalformedResponsesExitTwo) {
    std::vector<std::vector<uint8_t>> junk = {
        {0x00},
        {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
        std::vector<uint8_t>(1500, 0xa5),
    };
    std::mt19937 rng(3);
    for (int k = 0; k < 5; k++) {
        std::vector<uint8_t> bytes(1 + rng() % 64);
        for (auto& b : bytes) b = (uint8_t)rng();
        junk.push_back(bytes);
    }
    for (const auto& bytes : junk) {
        FakeDaemon daemon(raw(bytes));
        ToolRun r = runTool({"--timeout", "2", "--mailbox", daemon.mailbox(), "shutter", "1"});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, "malformed response")) << r.err;
    }
}

TEST(RoundTrip, AMessageThatIsNotAResponseIsMalformed) {
    // A request (type 0) parses as a message but is not an answer.
    uint8_t buf[1500];
    Request req;
    req.id = 3;
    size_t n = encodeRequest(req, "/x", buf, sizeof buf);
    ASSERT_GT(n, 0u);
    FakeDaemon daemon(raw(std::vector<uint8_t>(buf, buf + n)));
    ToolRun r = runTool({"--timeout", "2", "--mailbox", daemon.mailbox(), "shutter", "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "expected a response")) << r.err;
}

TEST(RoundTrip, AFullDaemonMailboxTimesOutInsteadOfEndingTheProcess) {
    FullMailbox full;
    ToolRun r = runTool({"--timeout", "0.3", "--mailbox", full.mailbox(), "shutter", "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "could not send")) << r.err;
}

TEST(RoundTrip, NoDaemonExitsTwo) {
    ToolRun r = runTool({"--mailbox", "/ztctl_test_nobody_" + std::to_string(getpid()), "shutter", "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "is ztControlD running?"));
}

TEST(ExitStatus, UsageHelpAndList) {
    EXPECT_EQ(runTool({}).status, 2);
    EXPECT_EQ(runTool({"no-such-command"}).status, 2);
    EXPECT_EQ(runTool({"shutter", "--u8", "300"}).status, 2);
    EXPECT_EQ(runTool({"preset-info"}).status, 2);
    ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "Exit status"));
    EXPECT_EQ(runTool({"shutter", "--help"}).status, 0);
    EXPECT_EQ(runTool({"watch", "--help"}).status, 0);
    ToolRun list = runTool({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(contains(list.out, " 89  stop"));
    EXPECT_TRUE(isValidJson(runTool({"--json", "list"}).out));
}

TEST(ResponseParsing, ArbitraryBytesNeverCrash) {
    std::mt19937 rng(5);
    Response response;
    std::string error;
    const int savedLevel = g_logLevel;
    g_logLevel = 0;  // the reader logs every refusal; thousands of syslog lines only slow the test
    for (int k = 0; k < 2000; k++) {
        std::vector<uint8_t> bytes(rng() % 80);
        for (auto& b : bytes) b = (uint8_t)rng();
        if (k % 2 && bytes.size() > 4) bytes[3] = 20;  // plausible category
        decodeResponse(bytes.data(), bytes.size(), response, error);
    }
    g_logLevel = savedLevel;
    EXPECT_FALSE(decodeResponse(nullptr, 0, response, error));
}
