// Request/response messaging through real queues: one-way sends, the timed exchange with a
// responder thread, hex dumps, and the fatal cases.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "ztTestUtil.h"

using testing::HasSubstr;
using zttest::TlvMsg;

namespace {

std::string ValueOf(const unsigned char* buf, int type)
{
    char value[ZTMSG_MAX];
    int n = sntlv_find(value, sizeof value, type, buf);
    return std::string(value, n);
}

bool QueueExists(const std::string& name)
{
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q == (mqd_t)-1)
        return false;
    mq_close(q);
    return true;
}

ztMsgIobuf Request(const char* cmd = "CR")
{
    ztMsgIobuf io;
    memset(&io, 0, sizeof io);
    io.size = ZTMSG_MAX;
    const unsigned char arg[2] = {0x01, 0x02};
    ztmsg_build(&io, cmd, arg, sizeof arg, 16);
    return io;
}

// Answers one request on an open mailbox with the given reply, sent to the request's source.
void Respond(ztMboxAttr* service, const TlvMsg* reply, std::string* seenRequest)
{
    char req[ZTMSG_MAX];
    struct timespec wait = {5, 0};
    int n = zt_mq_timedreceive(service->mqd, req, sizeof req, nullptr, &wait);
    if (n <= 0)
        return;
    if (seenRequest != nullptr)
        seenRequest->assign(req, n);
    std::string from = ValueOf(reinterpret_cast<unsigned char*>(req), TLV_SRC);
    ztMboxAttr tx;
    if (ztMbox_txopen(from.c_str(), &tx) == 0) {
        ztMbox_send(reply->buf, reply->Len(), &tx);
        ztMbox_close(&tx);
    }
}

class Msg : public testing::Test {
protected:
    void SetUp() override { g_timedreceive = 5; }
    void TearDown() override
    {
        mq_unlink(to_.c_str());
        mq_unlink(from_.c_str());
    }
    zttest::GlobalsGuard guard;
    std::string test_ = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string to_ = zttest::MboxName("svc_" + test_);
    std::string from_ = zttest::MboxName("rsp_" + test_);
};

TEST_F(Msg, BuildHoldsHeaderCommandAndArgument)
{
    ztMsgIobuf io = Request();
    EXPECT_EQ(io.len, 16);
    EXPECT_EQ(sntlv_msg_len(io.buf), 16);
    EXPECT_EQ(io.buf[3], 16);
    EXPECT_EQ(ValueOf(io.buf, TLV_CMD), "CR");
    EXPECT_EQ(ValueOf(io.buf, TLV_CMDARG), std::string("\x01\x02", 2));
    ztMsgIobuf one = Request("Z");  // a one-character code is padded, not over-read
    EXPECT_EQ(ValueOf(one.buf, TLV_CMD), std::string("Z\0", 2));
}

TEST_F(Msg, SendPutsOneCompleteMessageInDestination)
{
    char to[16];
    snprintf(to, sizeof to, "/z%07d", static_cast<int>(getpid() % 10000000));
    to_ = to;
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(to, 2, &rx), 0);
    ztMsgIobuf io = Request();
    EXPECT_EQ(ztmsg_send(&io, "/to_ztCtlD", to, to, 0), 0);
    EXPECT_EQ(io.len, 47);

    char buf[ZTMSG_MAX];
    struct timespec none = {0, 0};
    ASSERT_EQ(zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, &none), 47);
    const unsigned char* m = reinterpret_cast<unsigned char*>(buf);
    EXPECT_EQ(tlv_validate(m), 0);
    const int order[] = {TLV_CMD, TLV_CMDARG, TLV_SRC, TLV_DST, TLV_END};
    const int offsets[] = {4, 10, 16, 30, 43};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(tlv_find(m, order[i]), m + offsets[i]) << i;
    EXPECT_EQ(ValueOf(m, TLV_SRC), "/to_ztCtlD");
    EXPECT_EQ(ValueOf(m, TLV_DST), to);
    EXPECT_EQ(zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, &none), -1) << "exactly one message";
    ztMbox_close(&rx);
}

TEST_F(Msg, ViaSelectsTheQueueAndDestinationStaysLogical)
{
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(to_.c_str(), 2, &rx), 0);
    ztMsgIobuf io = Request();
    EXPECT_EQ(ztmsg_send(&io, "/zt_requester", "/zt_logical", to_.c_str(), 0), 0);
    char buf[ZTMSG_MAX];
    struct timespec none = {0, 0};
    int n = zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, &none);
    ASSERT_GT(n, 0);
    EXPECT_EQ(ValueOf(reinterpret_cast<unsigned char*>(buf), TLV_DST), "/zt_logical");
    EXPECT_FALSE(QueueExists("/zt_logical"));
    ztMbox_close(&rx);
}

TEST_F(Msg, RequestAndResponseBetweenThreads)
{
    ztMboxAttr service;
    ASSERT_EQ(ztMbox_rxopen(to_.c_str(), 2, &service), 0);
    TlvMsg reply(17);
    reply.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "\x01").Add(TLV_RSPARG, "answer");
    reply.Add(TLV_SRC, to_).Add(TLV_DST, from_).End();
    std::string seen;
    std::thread responder(Respond, &service, &reply, &seen);

    ztMsgIobuf io = Request();
    int rc = ztmsg_send_timedreceive(&io, from_.c_str(), to_.c_str(), nullptr, 0);
    responder.join();
    EXPECT_EQ(rc, reply.Len());
    EXPECT_EQ(io.len, reply.Len());
    EXPECT_EQ(memcmp(io.buf, reply.buf, reply.Len()), 0) << "the reply replaces the request";

    const unsigned char* req = reinterpret_cast<const unsigned char*>(seen.data());
    EXPECT_EQ(ValueOf(req, TLV_SRC), from_);
    EXPECT_EQ(ValueOf(req, TLV_DST), to_);

    unsigned char* val = nullptr;
    uint16_t len = 0;
    ztmsg_response(&io, &val, &len);
    ASSERT_NE(val, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(val), len), "answer");
    EXPECT_GE(val, io.buf);
    EXPECT_LT(val, io.buf + io.len);
    EXPECT_FALSE(QueueExists(from_)) << "reply mailbox removed";
    ztMbox_close(&service);
}

TEST_F(Msg, NoResponderTimesOutAndRemovesReplyMailbox)
{
    g_timedreceive = 1;
    ztMboxAttr service;
    ASSERT_EQ(ztMbox_rxopen(to_.c_str(), 2, &service), 0);
    ztMsgIobuf io = Request();
    EXPECT_EQ(ztmsg_send_timedreceive(&io, from_.c_str(), to_.c_str(), to_.c_str(), 0), -1);
    EXPECT_EQ(io.len, -1);
    EXPECT_EQ(ValueOf(io.buf, TLV_SRC), from_) << "buffer still holds the request";
    EXPECT_FALSE(QueueExists(from_));
    ztMbox_close(&service);
}

TEST_F(Msg, ResponseWithoutResponseArgumentLeavesOutsUnchanged)
{
    TlvMsg reply = TlvMsg::Command(17);
    ztMsgIobuf io;
    io.size = ZTMSG_MAX;
    memcpy(io.buf, reply.buf, sizeof io.buf);
    io.len = reply.Len();
    unsigned char marker = 0;
    unsigned char* val = &marker;
    uint16_t len = 99;
    ztmsg_response(&io, &val, &len);
    EXPECT_EQ(val, &marker);
    EXPECT_EQ(len, 99);
}

TEST_F(Msg, HexDumpOnlyForEnabledChannel)
{
    ztMboxAttr rx;
    ASSERT_EQ(ztMbox_rxopen(to_.c_str(), 5, &rx), 0);
    g_debug_level = zttest::kTraceToStdout | 0x100u;

    zttest::FdCapture out(1);
    ztMsgIobuf io = Request();
    ztmsg_send(&io, "/to_ztCtlD", to_.c_str(), nullptr, 25);  // ">XX", mask 0x10000000
    auto lines = zttest::Lines(out.Stop());
    ASSERT_EQ(lines.size(), 1u + (io.len + 15) / 16u) << "a timestamp line, then every line of a short message";
    EXPECT_EQ(zttest::Untimed(lines[0]), "");
    char first[96];
    snprintf(first, sizeof first, " %-11s00000000  00%02x0010 00000241 43520000 02420102  .%c.....ACR...B..",
             "        >XX ", io.len, io.len >= 0x20 && io.len < 0x7F ? io.len : '.');
    EXPECT_THAT(lines[1], HasSubstr(first));

    zttest::FdCapture quiet(1);
    io = Request();
    ztmsg_send(&io, "/to_ztCtlD", to_.c_str(), nullptr, 0);  // channel 0 never dumps
    g_debug_level = zttest::kTraceToStdout;
    io = Request();
    ztmsg_send(&io, "/to_ztCtlD", to_.c_str(), nullptr, 25);  // dumps disabled
    g_debug_level = zttest::kTraceToStdout | 0x100u;
    io = Request();
    ztmsg_send(&io, "/to_ztCtlD", to_.c_str(), nullptr, 99);  // no such channel
    EXPECT_EQ(quiet.Stop(), "");
    ztMbox_close(&rx);
}

// The fatal scenarios run whole inside the death-test child.
void SendUnfitRequest(const std::string& to)
{
    ztMboxAttr rx;
    zttest::UnlinkAtExit(to);
    ztMbox_rxopen(to.c_str(), 2, &rx);
    ztMsgIobuf io;
    memset(&io, 0, sizeof io);
    io.size = ZTMSG_MAX;
    static const unsigned char huge[ZTMSG_MAX] = {};
    ztmsg_build(&io, "CR", huge, sizeof huge, 16);  // argument does not fit: missing
    ztmsg_send(&io, "/zt_from", to.c_str(), nullptr, 0);
}

void SendToMissingQueue(const std::string& to)
{
    ztMsgIobuf io = Request();
    ztmsg_send(&io, "/zt_from", to.c_str(), nullptr, 0);
}

void ExchangeWithBusyReplyName(const std::string& from, const std::string& to)
{
    ztMboxAttr held;
    zttest::UnlinkAtExit(from);
    zttest::UnlinkAtExit(to);
    ztMbox_create(to.c_str(), 2);
    ztMbox_rxopen_shared(from.c_str(), 2, &held);
    ztMsgIobuf io = Request();
    ztmsg_send_timedreceive(&io, from.c_str(), to.c_str(), nullptr, 0);
}

void ExchangeWithDamagedReply(const std::string& from, const std::string& to)
{
    static ztMboxAttr service;
    zttest::UnlinkAtExit(to);
    ztMbox_rxopen(to.c_str(), 2, &service);
    static TlvMsg reply(17);
    reply.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "a").Add(TLV_RSPARG, "b").Add(TLV_SRC, to).Add(TLV_DST, from);
    std::thread(Respond, &service, &reply, nullptr).detach();  // the reply lacks its END
    ztMsgIobuf io = Request();
    ztmsg_send_timedreceive(&io, from.c_str(), to.c_str(), nullptr, 0);
}

TEST_F(Msg, InvalidRequestEndsProcess)
{
    EXPECT_EXIT(SendUnfitRequest(to_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("TLV_ERROR: MSG :CR CMD needs a CMDARG\n"),
                               HasSubstr("ASSERT:libztCommon/src/ztMsg.c/ztmsg_send:"),
                               HasSubstr(":0 == tlv_validate(iobuf->buf)\n")));
}

TEST_F(Msg, EmptyReplyNameEndsProcess)
{
    ztMsgIobuf io = Request();
    EXPECT_EXIT(ztmsg_send(&io, "", to_.c_str(), nullptr, 0), testing::ExitedWithCode(255),
                HasSubstr("ASSERT:libztCommon/src/ztTlv.c/sntlv_add_bin:"));
}

TEST_F(Msg, MissingDestinationEndsProcess)
{
    EXPECT_EXIT(SendToMissingQueue(to_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("ASSERT:libztCommon/src/ztMsg.c/ztmsg_send:"),
                               HasSubstr(":ztMbox_txopen(via, &txq) == 0\n")));
}

TEST_F(Msg, ReplyMailboxInUseEndsProcess)
{
    EXPECT_EXIT(ExchangeWithBusyReplyName(from_, to_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("ASSERT:libztCommon/src/ztMsg.c/ztmsg_send_timedreceive:"),
                               HasSubstr(":ztMbox_rxopen_shared(from, ZTMSG_MAX_COUNT_SM, &rxq) == 0\n")));
}

TEST_F(Msg, DamagedReplyIsDumpedAndEndsProcess)
{
    EXPECT_EXIT(ExchangeWithDamagedReply(from_, to_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("[         DMSGERR:"),
                               HasSubstr("] ztmsg_send_timedreceive:\n\n"),
                               HasSubstr("ERROR      00000000  00"),
                               HasSubstr("ASSERT:libztCommon/src/ztMsg.c/ztmsg_send_timedreceive:"),
                               HasSubstr(":0 == tlv_validate(iobuf->buf)\n")));
}

TEST_F(Msg, DamagedReplyAtLowVerbosityShowsOnlyErrorOutputs)
{
    g_debug_level = 8;  // above 7: DMSGERR, dump and ASSERT; not above 15: no validation text
    EXPECT_EXIT(ExchangeWithDamagedReply(from_, to_), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("[         DMSGERR:"), HasSubstr("ASSERT:"),
                               testing::Not(HasSubstr("TLV_ERROR"))));
}

}  // namespace
