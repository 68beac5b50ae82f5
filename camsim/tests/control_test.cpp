// The control channel over its socket, and events on demand.
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>

#include "camlink_protocol.h"
#include "camsim/control_client.h"
#include "support/json_check.h"
#include "test_support.h"

using namespace camsim_test;

class ControlTest : public SimTest {
protected:
    void adjust(camsim::Options& o) override { o.controlPath = uniqueSocketPath(); }
    std::string run(const std::string& line) {
        std::string reply;
        EXPECT_EQ(0, camsim::controlRequest(opt.controlPath, line, &reply)) << line << ": " << reply;
        return reply;
    }
    static bool startsWith(const std::string& s, const char* p) { return s.compare(0, strlen(p), p) == 0; }
};

// The daemon's end-to-end tests parse the state document; here the members only the simulator shows.
TEST_F(ControlTest, StateAndOpsDocumentsShowTheCamera) {
    req->direct(CAMLINK_SHUTTER, {1});
    req->call(CAMLINK_OP_CSI_SET, be32(7) + le32(0x03000003));
    req->remote(7, 27, {3, 5});
    req->direct(CAMLINK_RUSHLAPSE_SPEED_RAMP, {4});
    std::string state = run("state");
    for (const char* member :
         {"\"recording\": true", "\"csi_item7\": 50331651", "\"op\": \"direct 1 shutter\"",
          "\"settings_payload\": \"0305\"", "\"rushlapse_speed_ramp\": 4"})
        EXPECT_NE(std::string::npos, state.find(member)) << member;
    std::string ops = run("ops 1");
    const Json doc = parseJson(ops);
    ASSERT_TRUE(doc.is_array() && doc.size() == 1) << ops;
    EXPECT_TRUE(doc[0].contains("payload"));
    EXPECT_EQ("ok", run("clear-ops"));
    EXPECT_EQ("[]", run("ops"));
}

// Each command reaches the fault or state it names; what the faults do is faults_test's.
TEST_F(ControlTest, CommandsSetFaultsAndState) {
    const struct {
        const char* line;
        std::function<bool()> holds;
    } rows[] = {
        {"power off", [&] { return req->remote(8, 11).answer == Bytes{2}; }},
        {"power on", [&] { return req->remote(8, 11).answer.size() == 384; }},
        {"fault 8/11 ZT_ERR_NAK", [&] { return req->remote(8, 11).result == -101; }},
        {"fault AP -7", [&] { return req->satchel("AP", {1, 0}).result == -7; }},
        {"nak -9 all", [&] { return req->satchel("AP", {1, 0}).nak == -9; }},
        {"fault clear", [&] { return req->remote(8, 11).result == 0; }},
        {"noreply MN", [&] { return !req->call(CAMLINK_OP_MODEL, {}, 300).got; }},
        {"noreply off", [&] { return req->call(CAMLINK_OP_MODEL, {}).got; }},
        {"model-unreadable on",
         [&] {
             const Reply r = req->call(CAMLINK_OP_MODEL, {});
             return r.result == -1 && r.answer.empty();
         }},
        {"model-unreadable off", [&] { return req->call(CAMLINK_OP_MODEL, {}).answer == Bytes{55}; }},
        {"delay 7/30 200", [&] { return run("state").find("\"ms\": 200") != std::string::npos; }},
        {"cut 8/11 8", [&] { return req->remote(8, 11).answer.size() == 8; }},
        {"cut 8/11 off", [&] { return req->remote(8, 11).answer.size() == 384; }},
        {"set status 19 2 4", [&] { return sim->state().modeGroup() == 2; }},
        {"set settings 25 17", [&] { return sim->state().flatMode() == 17; }},
        {"lens 1 2", [&] { return sim->state().lensMode == 1 && sim->state().lens == 2; }},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(startsWith(run(row.line), "ok")) << row.line;
        EXPECT_TRUE(row.holds()) << row.line;
    }
}

TEST_F(ControlTest, BadCommandsAnswerErrors) {
    for (const char* bad : {"", "bogus", "power maybe", "fault 8/11 5", "fault 8/11", "fault x/y -1", "nak 300",
                            "noreply ABC", "delay MN -1", "cut 8/11", "cut 8/11 -1", "set status 384 1",
                            "set settings 1 1 3", "set other 1 1", "ops x", "ops 0", "lens", "event",
                            "event preset-update 6", "event preset-update 3 4294967296", "event preset-update 3 -1",
                            "event transcode", "model-unreadable yes"})
        EXPECT_TRUE(startsWith(run(bad), "error")) << "'" << bad << "'";
    std::string help = run("help");
    for (const char* cmd : {"state", "ops", "power", "fault", "nak", "noreply", "delay", "cut",
                            "model-unreadable", "event transcode", "set status"})
        EXPECT_NE(std::string::npos, help.find(cmd)) << cmd;
}

// Values span the whole 32-bit range, and no more, whatever the width of long (preset ids in the
// event and refusal tests).
TEST_F(ControlTest, NumbersSpanExactlyThe32BitRange) {
    const struct {
        const char* line;
        uint32_t word;  // status word 52 afterwards; 0 when the line is refused
    } sets[] = {
        {"set status 52 0xFFFFFFFF 4", 0xFFFFFFFFu}, {"set status 52 -2147483648 4", 0x80000000u},
        {"set status 52 4294967296 4", 0},           {"set status 52 -2147483649 4", 0},
    };
    for (const auto& row : sets) {
        run("set status 52 0 4");
        EXPECT_EQ(row.word != 0, startsWith(run(row.line), "ok")) << row.line;
        EXPECT_EQ(row.word, sim->state().statusWord(52)) << row.line;
    }
}

TEST_F(ControlTest, EventsOnDemandArriveWithTheirCategoryAndLayout) {
    EXPECT_TRUE(startsWith(run("event suspend"), "ok"));
    Event e = expectEvent(16, "JS");
    EXPECT_EQ(opt.cameraMbox, e.src);
    EXPECT_EQ(opt.daemonMbox, e.dst);
    run("event resume");
    expectEvent(16, "JR");

    run("event preset-update 6 65538");
    EXPECT_EQ((std::vector<uint8_t>{6, 0x02, 0x00, 0x01, 0x00}), expectEvent(10, "PU").cmdarg);
    EXPECT_EQ(0x10002u, sim->state().activePreset()) << "a switch event is a switch the camera made";
    EXPECT_TRUE(startsWith(run("event preset-update 3 4294967295"), "ok"));
    EXPECT_EQ((std::vector<uint8_t>{3, 0xff, 0xff, 0xff, 0xff}), expectEvent(10, "PU").cmdarg);
    EXPECT_EQ(0x10002u, sim->state().activePreset());

    run("event transcode 42:1:37");
    e = expectEvent(18, "CN");
    const char text[] = "42:1:37";
    ASSERT_EQ(5 + sizeof text, e.cmdarg.size());
    EXPECT_EQ(0, memcmp(e.cmdarg.data() + 5, text, sizeof text));
}

TEST_F(ControlTest, EventsAreQueuedWhileTheDaemonMailboxIsFull) {
    // Three events into a mailbox of two: the third waits in the sender thread, and the request
    // loop keeps answering meanwhile.
    EXPECT_EQ(0, sim->sendSuspend());
    EXPECT_EQ(0, sim->sendResume());
    EXPECT_EQ(0, sim->sendPresetUpdate(1, 2));
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    Event e;
    std::vector<std::string> got;
    while (got.size() < 3 && daemon->next(&e, 3000)) got.push_back(e.cmd);
    EXPECT_EQ((std::vector<std::string>{"JS", "JR", "PU"}), got);
}

TEST_F(ControlTest, OverlongLineIsRefusedAndTheConnectionClosed) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, opt.controlPath.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    std::string junk(3000, 'x');
    ASSERT_EQ(ssize_t(junk.size()), send(fd, junk.data(), junk.size(), MSG_NOSIGNAL));
    std::string reply;
    char buf[256];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, size_t(n));
    close(fd);
    EXPECT_EQ("error line too long\n", reply);
    EXPECT_EQ("ok", run("clear-ops")) << "the channel still serves others";
}

TEST_F(ControlTest, SecondSimulatorIsRefused) {
    camsim::Options same = opt;
    same.cameraMbox = uniqueMboxName("cam2");
    camsim::CameraSim other(same);
    EXPECT_EQ(-1, other.start());
    EXPECT_NE(std::string::npos, other.lastError().find("in use")) << other.lastError();
    camsim::Options sameMbox = opt;
    sameMbox.controlPath.clear();
    camsim::CameraSim third(sameMbox);
    EXPECT_EQ(-1, third.start());
    EXPECT_NE(std::string::npos, third.lastError().find("already served")) << third.lastError();
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got) << "the first one still serves";
}

TEST(ControlClient, ReportsAMissingSimulator) {
    std::string reply;
    EXPECT_EQ(-1, camsim::controlRequest(uniqueSocketPath(), "state", &reply, 500));
    EXPECT_NE(std::string::npos, reply.find("no simulator"));
    EXPECT_EQ(-1, camsim::controlRequest(uniqueSocketPath(), "two\nlines", &reply, 500));
}

TEST(SimOptions, StartRefusesBadOptions) {
    camsim::Options o;
    o.verbosity = 0;
    o.cameraMbox = uniqueMboxName("cam");
    o.daemonMbox = uniqueMboxName("dmn");
    o.model = 52;
    EXPECT_EQ(-1, camsim::CameraSim(o).start());
    o.model = 51;
    o.cameraMbox = "no_slash";
    EXPECT_EQ(-1, camsim::CameraSim(o).start());
    o.cameraMbox = uniqueMboxName("cam");
    o.timeScale = 0;
    EXPECT_EQ(-1, camsim::CameraSim(o).start());
    o.timeScale = 1;
    camsim::CameraSim ok(o);
    ASSERT_EQ(0, ok.start()) << ok.lastError();
    ok.stop();  // that it removes the mailbox is Program.ServesUntilSigtermThenRemovesItsMailboxAndSocket's
    EXPECT_EQ(-1, ok.sendSuspend()) << "no events once stopped";
}
