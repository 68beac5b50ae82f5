// The camera link itself: subscription answers, reply layout, malformed input, unknown operations,
// the operations log.
#include "camlink_protocol.h"
#include "test_support.h"

using namespace camsim_test;
using camsim::OpOutcome;

TEST_F(SimTest, SubscriptionIsAnsweredWithCategory17ToItsSource) {
    for (uint8_t on : {1, 0}) {
        sendSubscription(on);
        Event e = expectEvent(17, "CR");
        EXPECT_EQ((std::vector<uint8_t>{on, 0x4F}), e.cmdarg);
        EXPECT_EQ(std::vector<uint8_t>{0}, e.rsparg);
        EXPECT_EQ(opt.cameraMbox, e.src);
        EXPECT_EQ(opt.daemonMbox, e.dst);
        EXPECT_EQ(on == 1, sim->state().subscribed);
    }
}

// Each names a mailbox of its own as the reply mailbox; the simulator serves in order, so an answer
// to any of them would be there before the reply to the request that follows.
TEST_F(SimTest, MalformedMessagesAreRecordedAndNotAnswered) {
    const std::string to = opt.cameraMbox, from = uniqueMboxName("spy");
    EventBox spy(from);
    std::vector<uint8_t> badLength =
        buildWireMessage({CAMLINK_CAT_REQUEST, "MN", {0, 0, 0, 1}, {}, from, to});
    ++badLength[1];
    const std::vector<std::vector<uint8_t>> bad = {
        {0, 10, 0, 0x30, 1, 2, 3, 4, 5, 6},                                   // garbage
        buildWireMessage({CAMLINK_CAT_REQUEST, "MN", {1, 2}, {}, from, to}),  // no room for a sequence number
        buildWireMessage({0x40, "MN", {0, 0, 0, 1}, {}, from, to}),           // a category not served
        badLength,  // header disagrees with the length
    };
    for (const auto& msg : bad) ASSERT_TRUE(postMessage(to, msg));
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    Event e;
    EXPECT_FALSE(spy.next(&e, 0));
    auto ops = sim->ops();
    ASSERT_EQ(5u, ops.size());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(OpOutcome::Malformed, ops[size_t(i)].outcome) << i;
    EXPECT_EQ(OpOutcome::Replied, ops[4].outcome);
}

TEST_F(SimTest, UnknownOperationsAreNotSupportedAndShortHeadersInvalid) {
    EXPECT_EQ(-104, req->call("ZZ", {}).result);
    EXPECT_EQ(-104, req->remote(99, 1).result);
    EXPECT_EQ(-104, req->remote(8, 250).result);
    EXPECT_EQ(-104, req->direct(999).result);
    EXPECT_EQ(-104, req->satchel("QQ").result);
    EXPECT_EQ(-3, req->call(CAMLINK_OP_REMOTE, {8}).result);
    EXPECT_EQ(-3, req->call(CAMLINK_OP_DIRECT, {}).result);
    EXPECT_EQ(0, req->call(CAMLINK_OP_ADAPTER, {55}).result) << "the adapter the control library selects";
}

// The names and payloads of every kind are what the daemon's tests read back from this log.
TEST_F(SimTest, OperationsAreLoggedWithTheirPayloadBytes) {
    req->remote(8, 13, {1});
    req->call(CAMLINK_OP_CSI_SET, be32(7) + le32(0x06010002));
    auto ops = sim->ops(2);
    ASSERT_EQ(2u, ops.size());
    EXPECT_EQ("remote 8/13", ops[0].name());
    EXPECT_EQ("CS", ops[1].name());
    EXPECT_EQ(be32(7) + le32(0x06010002), ops[1].payload);
    EXPECT_EQ(req->replyName(), ops[1].replyTo);
    EXPECT_EQ(ops[0].sequence + 1, ops[1].sequence);
    EXPECT_EQ(ops[0].index + 1, ops[1].index);
    sim->clearOps();
    EXPECT_TRUE(sim->ops().empty());
    EXPECT_EQ(2u, sim->opsReceived());
}

// Replies go to the mailbox the request names, also when another requester spoke last or the
// requester has removed and recreated its mailbox under the same name (a restarted daemon).
TEST_F(SimTest, RepliesReachARecreatedOrDifferentReplyMailbox) {
    ASSERT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    const std::string name = req->replyName();
    req.reset();
    EXPECT_FALSE(mailboxExists(name));
    req.reset(new Requester(opt.cameraMbox, name));
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}, 1000).got);
    Requester other(opt.cameraMbox, uniqueMboxName("other"));
    EXPECT_TRUE(other.call(CAMLINK_OP_MODEL, {}, 1000).got);
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}, 1000).got);
}

class OpsLogBound : public SimTest {
protected:
    void adjust(camsim::Options& o) override { o.opsCapacity = 3; }
};

TEST_F(OpsLogBound, KeepsOnlyTheNewestOperations) {
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    auto ops = sim->ops();
    ASSERT_EQ(3u, ops.size());
    EXPECT_EQ(3u, ops[0].index);
    EXPECT_EQ(5u, ops[2].index);
    ASSERT_EQ(2u, sim->ops(2).size());
    EXPECT_EQ(4u, sim->ops(2)[0].index);
}

TEST(OpMatchParse, AcceptsEachFormAndRejectsTheRest) {
    using camsim::OpKind;
    using camsim::OpMatch;
    // Each accepted form, and its description (which shows the fields parsed).
    const struct {
        const char* text;
        OpKind kind;
        const char* described;
    } good[] = {{"8/11", OpKind::Remote, "8/11"},      {"AP", OpKind::Satchel, "sat:AP"},
                {"sat:PA", OpKind::Satchel, "sat:PA"}, {"PA", OpKind::Link, "PA"},
                {"dc:41", OpKind::Direct, "dc:41"},    {"any", OpKind::Any, "any"}};
    OpMatch m;
    for (const auto& g : good) {
        ASSERT_TRUE(OpMatch::parse(g.text, &m)) << g.text;
        EXPECT_EQ(g.kind, m.kind) << g.text;
        EXPECT_EQ(g.described, m.describe()) << g.text;
    }
    for (const char* bad : {"", "8/", "/11", "8/256", "x/1", "ABC", "A", "dc:", "dc:70000", "dc:-1", "sat:ABC"})
        EXPECT_FALSE(OpMatch::parse(bad, &m)) << bad;
}
