// Shared fixture of the command family tests: the daemon in-process against the simulator, a
// call that expects an answer, and the simulator's operation log as names and payloads.
#ifndef ZTCONTROLD_TESTS_COMMAND_TEST_SUPPORT_H
#define ZTCONTROLD_TESTS_COMMAND_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/ztcontrol_if_server.h"
#include "support/daemon_harness.h"
#include "support/sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"

inline Bytes be32(uint32_t v) {
    Bytes b = u32Arg(v);
    return Bytes(b.rbegin(), b.rend());
}
inline Bytes pairArg(uint32_t a, uint32_t b) { return cat(u32Arg(a), u32Arg(b)); }

// A command that sends at most one operation (none when op is empty) and answers ZT_OK without a
// payload, and the debug line it logs (none when trace is empty).
struct OneOperation {
    uint32_t id;
    std::optional<Bytes> arg;
    std::string op;
    Bytes payload;
    std::string trace;
};

using Names = std::vector<std::string>;

class CommandTest : public ::testing::Test {
protected:
    explicit CommandTest(int model = 55) : d(options(model)) {}

    void SetUp() override { ASSERT_TRUE(d.startClean()); }

    static camsim::Options options(int model) {
        camsim::Options o;
        o.model = model;
        return o;
    }

    // A fresh call: the operation log and the captured log start empty.
    Reply call(uint32_t id, const std::optional<Bytes>& arg = std::nullopt) {
        d.sim().clearOps();
        d.log().clear();
        Reply reply = d.requester().call(id, arg);
        EXPECT_TRUE(reply.received) << "no response to " << id;
        return reply;
    }

    // A call answered with that result, its failure logged with that line.
    void expectFailed(const Reply& reply, int32_t result, const std::string& line) {
        EXPECT_EQ(reply.result, result) << line;
        EXPECT_TRUE(d.log().contains(line, UTIL_LOG_ERROR)) << line;
    }

    // Names of the operations received since the last call ("remote 8/11", "direct 1 shutter").
    // Lens reads are left out: the daemon makes them for the preset-switch events that the
    // simulator sends whenever a command loads a preset, at a moment of their own. So is the
    // transcode subscription ("CR"), which a slow start-up (an emulated run) may send late.
    Names opNames() {
        Names names;
        for (const camsim::OpRecord& op : d.sim().ops()) {
            const std::string name = op.name();
            if (name != "direct 8 get_lens_mode" && name != "direct 9 get_lens" && name != "CR") names.push_back(name);
        }
        return names;
    }

    void expectOneOperation(const OneOperation& row) {
        SCOPED_TRACE(row.trace.empty() ? std::to_string(row.id) : row.trace);
        Reply reply = call(row.id, row.arg);
        EXPECT_EQ(reply.result, ZT_OK);
        EXPECT_FALSE(reply.hasPayload);
        EXPECT_EQ(opNames(), row.op.empty() ? Names{} : Names{row.op});
        if (!row.op.empty()) {
            EXPECT_EQ(payloadOf(row.op), row.payload);
        }
        if (!row.trace.empty()) {
            EXPECT_TRUE(d.log().contains(row.trace, UTIL_LOG_DEBUG));
        }
    }

    // Payload of the only operation of that name.
    Bytes payloadOf(const std::string& name) {
        std::vector<camsim::OpRecord> ops = opsNamed(d.sim(), name);
        EXPECT_EQ(ops.size(), 1u) << name;
        return ops.empty() ? Bytes{} : ops[0].payload;
    }

    // Pretends another camera model: ordered after what the worker did so far by a sync, and
    // before its next command by the log barrier.
    void pretendModel(uint8_t model) {
        ASSERT_TRUE(d.sync());
        g_modelNumber = model;
        d.log().barrier();
    }

    camsim::SimState state() { return d.sim().state(); }

    InProcessDaemon d;
};

// The operations of a preset edit begun for a setting that belongs to a preset: any pending edit
// stored, the active preset read, the edit started.
inline const Names kPresetEditStart = {"direct 12 get_mode_flat_mode", "remote 17/10",
                                                          "remote 8/11", "remote 17/8"};

inline Names joined(Names a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

#endif
