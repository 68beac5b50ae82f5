// Mailboxes against real POSIX queues: open and retry policies, send and receive, time-outs,
// and the fatal cases.
#include <chrono>
#include <cstring>

#include "ztTestUtil.h"

using testing::HasSubstr;
using testing::MatchesRegex;
using zttest::SecondsSince;

namespace {

class Mbox : public testing::Test {
protected:
    void TearDown() override
    {
        mq_close(rx_.mqd);
        mq_close(tx_.mqd);
        mq_unlink(name_.c_str());
    }
    // Opens name_ for reading (a queue of maxmsg messages) and for writing.
    void Open(int maxmsg)
    {
        ASSERT_EQ(ztMbox_rxopen(name_.c_str(), maxmsg, &rx_), 0);
        ASSERT_EQ(ztMbox_txopen(name_.c_str(), &tx_), 0);
    }
    std::string name_ = zttest::MboxName(testing::UnitTest::GetInstance()->current_test_info()->name());
    ztMboxAttr rx_{-1, {}, nullptr}, tx_{-1, {}, nullptr};
    char buf_[ZTMSG_MAX];
};

TEST_F(Mbox, HandlesAndQueueAttributes)
{
    memset(&rx_, 0x5A, sizeof rx_);
    EXPECT_EQ(ztMbox_init(name_.c_str(), 7, &rx_), 0);
    EXPECT_EQ(rx_.name, name_.c_str()) << "the caller's pointer is kept";
    const mq_attr& a = rx_.attr;
    EXPECT_THAT((std::vector<long>{a.mq_flags, a.mq_maxmsg, a.mq_msgsize, a.mq_curmsgs}),
                testing::ElementsAre(0, 7, ZTMSG_MAX, 0));
    EXPECT_EQ(ztMbox_txopen(name_.c_str(), &tx_), -1) << "neither init nor txopen creates the queue";
    Open(3);
    EXPECT_EQ(tx_.attr.mq_maxmsg, 40) << "until the first send refreshes it";
    EXPECT_EQ(ztMbox_create(name_.c_str(), 5), 0);
    ztMboxAttr again;
    ASSERT_EQ(ztMbox_rxopen_ext(name_.c_str(), 6, 100, &again), 0);
    mq_attr attr;
    ASSERT_EQ(mq_getattr(again.mqd, &attr), 0);
    EXPECT_EQ(attr.mq_maxmsg, 3) << "an existing queue keeps its attributes";
    EXPECT_EQ(attr.mq_msgsize, ZTMSG_MAX);
    EXPECT_EQ(ztMbox_close(&again), 0);
    EXPECT_EQ(again.mqd, (mqd_t)-1);
}

TEST_F(Mbox, OpenFailuresAreTraced)
{
    g_debug_level = zttest::kTraceToStdout;
    auto start = std::chrono::steady_clock::now();
    auto lines = zttest::StdoutLines([&] {
        EXPECT_EQ(ztMbox_rxopen_ext(name_.c_str(), 2, 0, &rx_), -1);  // message size 0 is invalid
        EXPECT_EQ(ztMbox_txopen(name_.c_str(), &tx_), -1);
    });
    EXPECT_GE(SecondsSince(start), 0.045) << "10 ms after each attempt";
    ASSERT_EQ(lines.size(), 7u);
    for (int i = 0; i < 5; i++) {
        EXPECT_THAT(lines[i], MatchesRegex("\\[ztMbox_rxopen_ext: *[0-9]+\\] target Mbox=\"" + name_ +
                                           "\" errno=\"22\"  retry\\(" + std::to_string(i) + "\\)"));
    }
    EXPECT_THAT(lines[5], HasSubstr("] target Mbox=\"" + name_ + "\" errno=\"Invalid argument\""));
    EXPECT_THAT(lines[6], MatchesRegex("\\[   ztMbox_txopen: *[0-9]+\\] target Mbox=\"" + name_ +
                                       "\" errno=\"No such file or directory\""));
    EXPECT_EQ(ztMbox_create_ext(name_.c_str(), 2, 0), 0) << "create reports success regardless";
}

TEST_F(Mbox, SendAndReceive)
{
    Open(2);
    std::string msg(ZTMSG_MAX, 'm');
    EXPECT_EQ(ztMbox_send(msg.data(), ZTMSG_MAX, &tx_), 0);
    EXPECT_EQ(tx_.attr.mq_maxmsg, 2) << "attributes refreshed before sending";
    EXPECT_EQ(ztMbox_send("xyz", 3, &tx_), 0);
    EXPECT_EQ(snztMbox_receive(buf_, sizeof buf_, &rx_), ZTMSG_MAX);
    EXPECT_EQ(std::string(buf_, ZTMSG_MAX), msg);
    EXPECT_EQ(snztMbox_timedreceive(buf_, sizeof buf_, &rx_), 3);
    EXPECT_EQ(std::string(buf_, 3), "xyz");

    // The bare-descriptor wait: 0 or no time-out does not wait, the priority is not reported
    // and a receive error is a result, not an assertion.
    timespec zero = {0, 0}, two = {2, 0};
    EXPECT_EQ(zt_mq_timedreceive(rx_.mqd, buf_, sizeof buf_, nullptr, &zero), -1);
    EXPECT_EQ(zt_mq_timedreceive(rx_.mqd, buf_, sizeof buf_, nullptr, nullptr), -1);
    ztMbox_send("hello", 5, &tx_);
    unsigned prio = 77;
    EXPECT_EQ(zt_mq_timedreceive(rx_.mqd, buf_, sizeof buf_, &prio, &two), 5);
    EXPECT_EQ(prio, 77u);
    ztMbox_send("hello", 5, &tx_);
    EXPECT_EQ(zt_mq_timedreceive(rx_.mqd, buf_, 10, nullptr, &two), -1) << "buffer below the message size";
}

TEST_F(Mbox, SharedOpenIsExclusive)
{
    g_debug_level = zttest::kTraceToStdout;
    ASSERT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &rx_), 0);
    auto start = std::chrono::steady_clock::now();
    auto lines = zttest::StdoutLines(
        [&] { EXPECT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &tx_), -1); });
    EXPECT_GE(SecondsSince(start), 1.45);
    EXPECT_LT(SecondsSince(start), 6.0);
    ASSERT_EQ(lines.size(), 6u);
    for (int i = 0; i < 5; i++) {  // the tag is wider than its 16 columns
        EXPECT_THAT(lines[i], MatchesRegex("\\[ztMbox_rxopen_shared_ext: *[0-9]+\\] Warning: Shared Mbox in "
                                           "use \\(retry\\) =\"" + name_ + "\" errno=\"File exists\"  "
                                           "retry\\(" + std::to_string(i + 1) + "\\)"));
    }
    EXPECT_THAT(lines[5], HasSubstr("] Error: Shared Mbox will not open =\"" + name_ + "\" errno=17\"File "
                                    "exists\""));
}

TEST_F(Mbox, TimedSendSurvivesFullQueue)
{
    Open(1);
    EXPECT_EQ(ztMbox_timedsend("one", 3, &tx_, 100), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ztMbox_timedsend("two", 3, &tx_, 100), -1);
    EXPECT_GE(SecondsSince(start), 0.09);
    EXPECT_EQ(ztMbox_timedsend("big", ZTMSG_MAX + 1, &tx_, 0), -1);
    EXPECT_EQ(ztMbox_timedsend("neg", -1, &tx_, 0), -1);
    EXPECT_EQ(snztMbox_receive(buf_, sizeof buf_, &rx_), 3);
    ztMbox_close(&tx_);
    EXPECT_EQ(ztMbox_timedsend("x", 1, &tx_, 0), -1) << "closed handle";
}

TEST(MboxArguments, MissingHandlesNamesAndBuffersAreRefused)
{
    ztMboxAttr box{-1, {}, nullptr};
    char buf[8];
    EXPECT_EQ(ztMbox_init("/x", 2, nullptr), -1);
    EXPECT_EQ(ztMbox_rxopen_ext(nullptr, 2, 8, &box), -1);
    EXPECT_EQ(ztMbox_rxopen_ext("/x", 2, 8, nullptr), -1);
    EXPECT_EQ(ztMbox_rxopen_shared_ext(nullptr, 2, 8, &box), -1);
    EXPECT_EQ(ztMbox_rxopen_shared_ext("/x", 2, 8, nullptr), -1);
    EXPECT_EQ(ztMbox_txopen(nullptr, &box), -1);
    EXPECT_EQ(ztMbox_close(nullptr), -1);
    EXPECT_EQ(ztMbox_unlink(nullptr), -1);
    EXPECT_EQ(ztMbox_send(nullptr, 1, &box), -1);
    EXPECT_EQ(ztMbox_send("x", -1, &box), -1);
    EXPECT_EQ(ztMbox_send("x", 1, nullptr), -1);
    EXPECT_EQ(snztMbox_timedreceive(buf, sizeof buf, nullptr), -1);
}

TEST_F(Mbox, FatalCasesEndTheProcess)
{
    // Each scenario runs whole inside the death-test child.
    auto open = [this] { zttest::UnlinkAtExit(name_); Open(2); };
    static const char big[ZTMSG_MAX + 1] = {};
    zttest::ExpectAssert([&] { open(); ztMbox_send(big, ZTMSG_MAX + 1, &tx_); },
                         "ztMbox.c/ztMbox_send", "len <= ZTMSG_MAX");
    auto overfill = [&] {
        open();
        for (const char* m : {"1", "2", "3"})
            ztMbox_send(m, 1, &tx_);
    };
    const zttest::Strings full = {"[     ztMbox_send:", "] Mailbox Full: mbox=\"/ztct_",
                                  "_FatalCasesEndTheProcess\" >= 2 messages\n"};
    zttest::ExpectAssert(overfill, "ztMbox.c/ztMbox_send",
                         "(ztattr->attr.mq_curmsgs) < ztattr->attr.mq_maxmsg", full);
    zttest::ExpectAssert([&] { open(); snztMbox_receive(buf_, 100, &rx_); },  // below the message size
                         "ztMbox.c/snztMbox_receive",
                         "(len = mq_receive(ztattr->mqd, buf, size, NULL)) >= 0");
}

}  // namespace
