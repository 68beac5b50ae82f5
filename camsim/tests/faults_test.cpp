// Fault injection: camera off, failing operations, NAK reasons, dropped and
// delayed replies.
#include <unistd.h>

#include "camlink_protocol.h"
#include "test_support.h"

using namespace camsim_test;
using camsim::OpMatch;

TEST_F(SimTest, CameraOffAnswersDataOperationsWithTheByte2) {
    sim->setPower(false);
    Reply scan = req->satchel("NI", {1, 1});
    EXPECT_EQ(0, scan.result);
    EXPECT_EQ(std::vector<uint8_t>{2}, scan.answer);
    EXPECT_EQ(-103, req->direct(CAMLINK_GET_LENS_MODE).result);
    EXPECT_EQ(-103, req->setValue(1, 0, 2, 1, 1).result);
    EXPECT_EQ(std::vector<uint8_t>{55}, req->call(CAMLINK_OP_MODEL, {}).answer);
    EXPECT_EQ(0, req->call(CAMLINK_OP_CSI_SET, be32(7) + le32(1)).result);
    EXPECT_EQ(-103, req->direct(CAMLINK_SHUTTER, {1}).result);
    EXPECT_FALSE(sim->state().recording());
}

TEST_F(SimTest, FaultsHitOnlyTheChosenOperations) {
    ASSERT_EQ(0, sim->injectFault(OpMatch::remote(8, 11), -101));
    ASSERT_EQ(0, sim->injectFault(OpMatch::satchel("AP"), -7));
    ASSERT_EQ(0, sim->injectFault(OpMatch::directOp(CAMLINK_SHUTTER), -6));
    ASSERT_EQ(0, sim->injectFault(OpMatch::link("MN"), -17));
    EXPECT_EQ(-3, sim->injectFault(OpMatch::any(), 0)) << "a fault is an error code";
    Reply st = req->remote(8, 11);
    EXPECT_EQ(-101, st.result);
    EXPECT_TRUE(st.answer.empty());
    EXPECT_EQ(0, req->remote(7, 30).result);
    EXPECT_EQ(-7, req->satchel("AP", {1, 0}).result);
    EXPECT_EQ(0, req->satchel("NI", {1, 1}).result);
    EXPECT_EQ(-6, req->direct(CAMLINK_SHUTTER, {1}).result);
    EXPECT_FALSE(sim->state().recording()) << "a failed operation changes nothing";
    EXPECT_EQ(0, req->direct(CAMLINK_GET_LENS).result);
    EXPECT_EQ(-17, req->call(CAMLINK_OP_MODEL, {}).result);

    ASSERT_EQ(0, sim->injectFault(OpMatch::any(), -1));
    EXPECT_EQ(-1, req->remote(7, 30).result);
    EXPECT_EQ(-101, req->remote(8, 11).result) << "a rule for the operation beats any";
    sim->clearFaults();
    EXPECT_EQ(0, req->remote(8, 11).result);
    EXPECT_EQ(0, req->call(CAMLINK_OP_MODEL, {}).result);
}

TEST_F(SimTest, NakReasonGoesToTheNextOrEveryFailingReply) {
    sim->injectFault(OpMatch::remote(12, 5), -101);
    sim->setNakReason(-9, false);
    EXPECT_EQ(0, req->remote(8, 11).nak) << "successful replies do not use it up";
    EXPECT_EQ(-9, req->remote(12, 5, {0}).nak);
    EXPECT_EQ(0, req->remote(12, 5, {0}).nak);
    sim->setNakReason(-7, true);
    EXPECT_EQ(-7, req->remote(12, 5, {0}).nak);
    EXPECT_EQ(-7, req->remote(12, 5, {0}).nak);
    sim->setNakReason(0, true);
    EXPECT_EQ(0, req->remote(12, 5, {0}).nak);
}

TEST_F(SimTest, NoReplyDropsMatchingRequests) {
    sim->setNoReply(OpMatch::remote(8, 11));
    EXPECT_FALSE(req->call(CAMLINK_OP_REMOTE, {8, 11}, 300).got);
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    EXPECT_EQ(camsim::OpOutcome::Dropped, sim->ops(2)[0].outcome);
    sim->setNoReply(OpMatch::any());
    EXPECT_FALSE(req->call(CAMLINK_OP_MODEL, {}, 300).got);
    sim->clearNoReply();
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
}

// The delayed reply comes after the reply to a later request: that one is discarded on the way
// unless it arrives last, into an empty reply mailbox.
TEST_F(SimTest, DelayedReplyArrivesAfterALaterOne) {
    sim->setDelay(OpMatch::remote(8, 11), 400);
    EXPECT_FALSE(req->call(CAMLINK_OP_REMOTE, {8, 11}, 50).got);
    EXPECT_TRUE(req->call(CAMLINK_OP_MODEL, {}).got);
    EXPECT_EQ(camsim::OpOutcome::Delayed, sim->ops(2)[0].outcome);
    for (int i = 0; i < 150 && req->queuedReplies() == 0; ++i) usleep(20000);
    EXPECT_EQ(1, req->queuedReplies());
    sim->setDelay(OpMatch::remote(8, 11), 0);
    EXPECT_TRUE(req->call(CAMLINK_OP_REMOTE, {8, 11}, 300).got);
}

TEST_F(SimTest, CutAnswersKeepTheirFirstBytesOnlyOnSuccess) {
    sim->setAnswerCut(OpMatch::remote(8, 11), 8);
    sim->setAnswerCut(OpMatch::any(), 0);
    Reply st = req->remote(8, 11);
    EXPECT_EQ(0, st.result);
    ASSERT_EQ(size_t(8), st.answer.size());
    EXPECT_TRUE(req->remote(7, 30).answer.empty()) << "any: every other answer is emptied";
    sim->setAnswerCut(OpMatch::any(), -1);
    EXPECT_EQ(size_t(238), req->remote(7, 30).answer.size());
    EXPECT_NE(std::string::npos, sim->stateJson().find("\"bytes\": 8"));
    sim->clearFaults();
    EXPECT_EQ(size_t(384), req->remote(8, 11).answer.size());
}

TEST_F(SimTest, SubscriptionCanFailOrGoUnanswered) {
    sim->injectFault(OpMatch::link("CR"), -1);
    sendSubscription(1);
    EXPECT_EQ(std::vector<uint8_t>{1}, expectEvent(17, "CR").rsparg);
    EXPECT_FALSE(sim->state().subscribed);
    sim->clearFaults();
    sim->setNoReply(OpMatch::link("CR"));
    sendSubscription(1);
    Event e;
    EXPECT_FALSE(daemon->next(&e, 300));
}
