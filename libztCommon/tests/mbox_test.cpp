// Mailboxes against real POSIX queues: open and retry policies, send and receive, time-outs,
// and the fatal cases.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "ztTestUtil.h"

using testing::HasSubstr;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Mbox : public testing::Test {
protected:
    void TearDown() override { mq_unlink(name_.c_str()); }
    zttest::GlobalsGuard guard;
    std::string name_ = zttest::MboxName(testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(Mbox, InitFillsHandleWithoutOpening)
{
    ztMboxAttr mb;
    memset(&mb, 0x5A, sizeof mb);
    EXPECT_EQ(ztMbox_init(name_.c_str(), 7, &mb), 0);
    EXPECT_EQ(mb.name, name_.c_str()) << "the caller's pointer is kept";
    EXPECT_EQ(mb.attr.mq_flags, 0);
    EXPECT_EQ(mb.attr.mq_maxmsg, 7);
    EXPECT_EQ(mb.attr.mq_msgsize, ZTMSG_MAX);
    EXPECT_EQ(mb.attr.mq_curmsgs, 0);
    EXPECT_EQ(mq_open(name_.c_str(), O_RDONLY), (mqd_t)-1);
}

TEST_F(Mbox, RxopenCreatesWithAttributesAndReopensAsIs)
{
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 3, &rx), 0);
    struct mq_attr attr;
    ASSERT_EQ(mq_getattr(rx.mqd, &attr), 0);
    EXPECT_EQ(attr.mq_maxmsg, 3);
    EXPECT_EQ(attr.mq_msgsize, ZTMSG_MAX);
    EXPECT_EQ(ztMbox_close(&rx), 0);
    EXPECT_EQ(rx.mqd, (mqd_t)-1);

    EXPECT_EQ(ztMbox_create(name_.c_str(), 5), 0);
    ASSERT_EQ(ztMbox_rxopen_ext(name_.c_str(), 6, 100, &rx), 0);
    ASSERT_EQ(mq_getattr(rx.mqd, &attr), 0);
    EXPECT_EQ(attr.mq_maxmsg, 3) << "an existing queue keeps its attributes";
    EXPECT_EQ(attr.mq_msgsize, ZTMSG_MAX);
    ztMbox_close(&rx);
}

TEST_F(Mbox, RxopenRetriesFiveTimesThenFails)
{
    g_debug_level = zttest::kTraceToStdout;
    ztMboxAttr rx;
    zttest::FdCapture out(1);
    auto start = Clock::now();
    EXPECT_EQ(ztMbox_rxopen_ext(name_.c_str(), 2, 0, &rx), -1);  // message size 0 is invalid
    EXPECT_GE(SecondsSince(start), 0.045);
    auto lines = zttest::Lines(out.Stop());
    ASSERT_EQ(lines.size(), 6u);
    std::regex retry(R"(\[ztMbox_rxopen_ext: *\d+\] target Mbox=")" + name_ + R"(" errno="22"  retry\((\d)\))");
    for (int i = 0; i < 5; i++) {
        std::smatch m;
        std::string line = zttest::Untimed(lines[i]);
        ASSERT_TRUE(std::regex_match(line, m, retry)) << line;
        EXPECT_EQ(m[1], std::to_string(i));
    }
    EXPECT_THAT(lines[5], HasSubstr("] target Mbox=\"" + name_ + "\" errno=\"Invalid argument\""));
    EXPECT_EQ(ztMbox_create_ext(name_.c_str(), 2, 0), 0) << "create reports success regardless";
}

TEST_F(Mbox, TxopenNeedsExistingQueue)
{
    g_debug_level = zttest::kTraceToStdout;
    ztMboxAttr tx;
    zttest::FdCapture out(1);
    EXPECT_EQ(ztMbox_txopen(name_.c_str(), &tx), -1);
    EXPECT_THAT(out.Stop(), HasSubstr("[   ztMbox_txopen:"));
    ASSERT_EQ(ztMbox_create(name_.c_str(), 2), 0);
    ASSERT_EQ(ztMbox_txopen(name_.c_str(), &tx), 0);
    EXPECT_EQ(tx.attr.mq_maxmsg, 40) << "until the first send refreshes it";
    ztMbox_close(&tx);
}

TEST_F(Mbox, SendAndReceiveFullSizeMessage)
{
    ztMboxAttr rx, tx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 2, &rx), 0);
    ASSERT_EQ(ztMbox_txopen(name_.c_str(), &tx), 0);
    std::string msg(ZTMSG_MAX, 'm');
    msg[0] = 'a';
    EXPECT_EQ(ztMbox_send(msg.data(), ZTMSG_MAX, &tx), 0);
    EXPECT_EQ(tx.attr.mq_maxmsg, 2) << "attributes refreshed before sending";
    EXPECT_EQ(ztMbox_send("xyz", 3, &tx), 0);
    char buf[ZTMSG_MAX];
    EXPECT_EQ(snztMbox_receive(buf, sizeof buf, &rx), ZTMSG_MAX);
    EXPECT_EQ(std::string(buf, ZTMSG_MAX), msg);
    EXPECT_EQ(snztMbox_timedreceive(buf, sizeof buf, &rx), 3);
    EXPECT_EQ(std::string(buf, 3), "xyz");
    ztMbox_close(&tx);
    ztMbox_close(&rx);
}

TEST_F(Mbox, TimedReceiveTimesOutAfterConfiguredSeconds)
{
    g_timedreceive = 1;
    g_debug_level = zttest::kTraceToStdout;
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 2, &rx), 0);
    char buf[ZTMSG_MAX];
    memset(buf, '#', sizeof buf);
    zttest::FdCapture out(1);
    auto start = Clock::now();
    EXPECT_EQ(snztMbox_timedreceive(buf, sizeof buf, &rx), -1);
    double waited = SecondsSince(start);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 5.0);
    EXPECT_EQ(buf[0], '#');
    EXPECT_THAT(out.Stop(), testing::MatchesRegex(".* \\[   msg_available: *[0-9]+\\] 1 seconds timeout expired\n"));
    ztMbox_close(&rx);
}

TEST_F(Mbox, TimedReceiveGetsMessageArrivingDuringWait)
{
    g_timedreceive = 5;
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 2, &rx), 0);
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ztMboxAttr tx;
        if (ztMbox_txopen(name_.c_str(), &tx) == 0) {
            ztMbox_send("late", 4, &tx);
            ztMbox_close(&tx);
        }
    });
    char buf[ZTMSG_MAX];
    EXPECT_EQ(snztMbox_timedreceive(buf, sizeof buf, &rx), 4);
    sender.join();
    ztMbox_close(&rx);
}

TEST_F(Mbox, BareDescriptorTimedReceive)
{
    ztMboxAttr rx, tx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 2, &rx), 0);
    char buf[ZTMSG_MAX];
    struct timespec zero = {0, 0};
    EXPECT_EQ(zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, &zero), -1);
    EXPECT_EQ(zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, nullptr), -1);
    ASSERT_EQ(ztMbox_txopen(name_.c_str(), &tx), 0);
    ztMbox_send("hello", 5, &tx);
    struct timespec two = {2, 0};
    unsigned prio = 77;
    EXPECT_EQ(zt_mq_timedreceive(rx.mqd, buf, sizeof buf, &prio, &two), 5);
    EXPECT_EQ(prio, 77u) << "priority not reported";
    ztMbox_send("hello", 5, &tx);
    EXPECT_EQ(zt_mq_timedreceive(rx.mqd, buf, 10, nullptr, &two), -1) << "too small: error, no assertion";
    ztMbox_close(&tx);
    ztMbox_close(&rx);
}

TEST_F(Mbox, SharedOpenIsExclusiveAndGivesUpAfterRetries)
{
    g_debug_level = zttest::kTraceToStdout;
    ztMboxAttr first, second;
    ASSERT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &first), 0);
    zttest::FdCapture out(1);
    auto start = Clock::now();
    EXPECT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &second), -1);
    double waited = SecondsSince(start);
    EXPECT_GE(waited, 1.45);
    EXPECT_LT(waited, 6.0);
    auto lines = zttest::Lines(out.Stop());
    ASSERT_EQ(lines.size(), 6u);
    for (int i = 0; i < 5; i++) {
        EXPECT_THAT(lines[i], HasSubstr("[ztMbox_rxopen_shared_ext:")) << "tag wider than 16 columns";
        EXPECT_THAT(lines[i], HasSubstr("] Warning: Shared Mbox in use (retry) =\"" + name_ +
                                        "\" errno=\"File exists\"  retry(" + std::to_string(i + 1) + ")"));
    }
    EXPECT_THAT(lines[5], HasSubstr("] Error: Shared Mbox will not open =\"" + name_ + "\" errno=17\"File exists\""));
    ztMbox_close(&first);
}

TEST_F(Mbox, SharedOpenSucceedsOnceHolderUnlinks)
{
    ztMboxAttr first, second;
    ASSERT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &first), 0);
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ztMbox_close(&first);
        ztMbox_unlink(name_.c_str());
    });
    auto start = Clock::now();
    EXPECT_EQ(ztMbox_rxopen_shared(name_.c_str(), ZTMSG_MAX_COUNT_SM, &second), 0);
    EXPECT_GE(SecondsSince(start), 0.1);
    holder.join();
    ztMbox_close(&second);
}

TEST_F(Mbox, UnlinkOfMissingQueueFails)
{
    g_debug_level = zttest::kTraceToStdout;
    zttest::FdCapture out(1);
    EXPECT_EQ(ztMbox_unlink(name_.c_str()), -1);
    EXPECT_THAT(zttest::Untimed(out.Stop()),
                testing::MatchesRegex("\\[   ztMbox_unlink: *[0-9]+\\] Mbox unlink fail=\"" + name_ +
                                      "\" errno=\"No such file or directory\"\n"));
}

TEST_F(Mbox, TimedSendSurvivesFullQueue)
{
    ztMboxAttr rx, tx;
    ASSERT_EQ(ztMbox_rxopen(name_.c_str(), 1, &rx), 0);
    ASSERT_EQ(ztMbox_txopen(name_.c_str(), &tx), 0);
    EXPECT_EQ(ztMbox_timedsend("one", 3, &tx, 100), 0);
    auto start = Clock::now();
    EXPECT_EQ(ztMbox_timedsend("two", 3, &tx, 100), -1);
    EXPECT_GE(SecondsSince(start), 0.09);
    EXPECT_EQ(ztMbox_timedsend("big", ZTMSG_MAX + 1, &tx, 0), -1);
    EXPECT_EQ(ztMbox_timedsend("neg", -1, &tx, 0), -1);
    char buf[ZTMSG_MAX];
    EXPECT_EQ(snztMbox_receive(buf, sizeof buf, &rx), 3);
    EXPECT_EQ(std::string(buf, 3), "one");
    ztMbox_close(&tx);
    EXPECT_EQ(ztMbox_timedsend("x", 1, &tx, 0), -1) << "closed handle";
    ztMbox_close(&rx);
}

// The fatal scenarios run whole inside the death-test child.
void SendOversize(const std::string& name)
{
    ztMboxAttr rx;
    ztMboxAttr tx;
    zttest::UnlinkAtExit(name);
    ztMbox_rxopen(name.c_str(), 2, &rx);
    ztMbox_txopen(name.c_str(), &tx);
    static char big[ZTMSG_MAX + 1];
    ztMbox_send(big, ZTMSG_MAX + 1, &tx);
}

void OverfillQueueOfTwo(const std::string& name)
{
    ztMboxAttr rx;
    ztMboxAttr tx;
    zttest::UnlinkAtExit(name);
    ztMbox_rxopen(name.c_str(), 2, &rx);
    ztMbox_txopen(name.c_str(), &tx);
    for (const char* m : {"1", "2", "3"})
        ztMbox_send(m, 1, &tx);
}

void ReceiveIntoSmallBuffer(const std::string& name)
{
    ztMboxAttr rx;
    zttest::UnlinkAtExit(name);
    ztMbox_rxopen(name.c_str(), 2, &rx);
    char small[100];
    snztMbox_receive(small, sizeof small, &rx);  // below the queue's message size
}

TEST_F(Mbox, OversizeSendEndsProcess)
{
    EXPECT_EXIT(SendOversize(name_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("\033[31mASSERT:libztCommon/src/ztMbox.c/ztMbox_send:"),
                               HasSubstr(":len <= ZTMSG_MAX\n\033[0m")));
}

TEST_F(Mbox, FullQueueEndsProcess)
{
    EXPECT_EXIT(OverfillQueueOfTwo(name_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("[     ztMbox_send:"),
                               HasSubstr("] Mailbox Full: mbox=\"/ztct_"),
                               HasSubstr("_FullQueueEndsProcess\" >= 2 messages\n"),
                               HasSubstr("ASSERT:libztCommon/src/ztMbox.c/ztMbox_send:"),
                               HasSubstr(":(ztattr->attr.mq_curmsgs) < ztattr->attr.mq_maxmsg\n")));
}

TEST_F(Mbox, FailedBlockingReceiveEndsProcess)
{
    EXPECT_EXIT(ReceiveIntoSmallBuffer(name_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("ASSERT:libztCommon/src/ztMbox.c/snztMbox_receive:"),
                               HasSubstr(":(len = mq_receive(ztattr->mqd, buf, size, NULL)) >= 0\n")));
}

}  // namespace
