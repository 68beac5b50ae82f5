// transcode-status --follow against a fake daemon that answers a scripted series of job records:
// what is printed for each change, when it stops and its exit status.
#include <gmock/gmock.h>
#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include "support.h"

using namespace ztctl_test;
using ::testing::HasSubstr;

namespace {

constexpr uint64_t kJob = 0x1122334455667788ull;

Bytes record(uint32_t status, uint32_t progress, const std::string& output = "") {
    Bytes r(552, 0);
    memcpy(r.data(), "SRC.MP4", 7);
    memcpy(r.data() + 264, &kJob, 8);  // little-endian fields, as on the camera
    memcpy(r.data() + 272, &status, 4);
    memcpy(r.data() + 284, &progress, 4);
    memcpy(r.data() + 288, output.data(), output.size());
    return r;
}

ToolRun follow(const ScriptedDaemon& daemon, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--mailbox", daemon.name(), "transcode-status", "--follow",
                                     "--interval", "0.01", std::to_string(kJob)};
    args.insert(args.begin(), extra.begin(), extra.end());
    return runTool(args);
}

}  // namespace

TEST(Follow, PrintsEachChangeUntilTheJobEnds) {
    const std::string job = "job " + std::to_string(kJob) + ": ";
    const std::string notKept = ": not the newest job the daemon keeps\n";
    // Answers, what is printed and the exit status.
    const std::tuple<std::vector<Bytes>, std::string, int> rows[] = {
        {{response(0, record(0, 0)), response(0, record(1, 10)), response(0, record(1, 10)),
          response(0, record(2, 100, "DCIM/OUT.MP4"))},
         job + "started (0), 0 %\n" + job + "running (1), 10 %\n" + job +
             "done (2), 100 %, output DCIM/OUT.MP4\n",
         0},
        {{response(0, record(1, 40)), response(0, record(3, 40))},
         job + "running (1), 40 %\n" + job + "cancelled (3), 40 %\n", 1},
        {{response(0, record(4, 0))}, job + "failed (4), 0 %, failure reason 0\n", 1},
        {{response(0, record(1, 5)), response(-3, Bytes(552, 0))},
         job + "running (1), 5 %\n" + job + "no record (result -3 ZT_ERR_INVALID_PARAM)" + notKept, 1},
        {{response(0, Bytes(8, 0))}, job + "no record (result 0 ZT_OK)" + notKept, 1},
    };
    for (const auto& [answers, expected, status] : rows) {
        ScriptedDaemon daemon(answers);
        ToolRun r = follow(daemon);
        EXPECT_EQ(r.status, status) << r.out << r.err;
        EXPECT_EQ(r.out, expected);
        const Seen seen = daemon.last();
        EXPECT_EQ(daemon.served().size(), answers.size());
        EXPECT_EQ(seen.id, 49u);
        EXPECT_EQ(seen.argument, (Bytes{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
    }
}

TEST(Follow, JsonPrintsOneObjectPerChange) {
    ScriptedDaemon daemon({response(0, record(1, 50)), response(0, record(2, 100, "OUT.JPG"))});
    ToolRun r = follow(daemon, {"--json"});
    EXPECT_EQ(r.status, 0);
    const std::string second = r.out.substr(r.out.find('\n') + 1);  // one object a line
    EXPECT_TRUE(isValidJson(r.out.substr(0, r.out.size() - second.size())) && isValidJson(second)) << r.out;
    EXPECT_THAT(second, HasSubstr("\"status_name\":\"done\",\"failure_reason\":0,\"estimate_seconds\":0,"
                                  "\"progress\":100,\"filename\":\"OUT.JPG\""));
}

TEST(Follow, NoAnswerAndMisuse) {
    ScriptedDaemon silent({Bytes{}});
    ToolRun r = follow(silent, {"--timeout", "0.3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("no response"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"transcode-cancel", "--follow", "1"}, {"watch", "--follow"},
          {"transcode-status", "--follow", "--interval", "0", "1"}, {"transcode-status", "--follow", "x"}}) {
        ToolRun bad = runTool(args);
        EXPECT_EQ(bad.status, 2) << args[0];
        EXPECT_FALSE(bad.err.empty());
    }
}
