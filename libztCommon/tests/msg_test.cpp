// Request/response messaging through real queues: one-way sends, the timed exchange with a
// responder thread, hex dumps, and the fatal cases.
#include <thread>

#include "ztTestUtil.h"

using testing::HasSubstr;
using zttest::TlvMsg;

namespace {

std::string ValueOf(const void* buf, int type)
{
    char value[ZTMSG_MAX];
    return std::string(value, sntlv_find(value, sizeof value, type, static_cast<const unsigned char*>(buf)));
}

ztMsgIobuf Request(const char* cmd = "CR")
{
    ztMsgIobuf io = {};
    io.size = ZTMSG_MAX;
    ztmsg_build(&io, cmd, "\x01\x02", 2, 16);
    return io;
}

// A service mailbox to_ and a reply mailbox name from_.
class Msg : public testing::Test {
protected:
    void SetUp() override
    {
        g_timedreceive = 5;
        ASSERT_EQ(ztMbox_rxopen(to_.c_str(), 5, &service_), 0);
    }
    void TearDown() override
    {
        ztMbox_close(&service_);
        mq_unlink(to_.c_str());
        mq_unlink(from_.c_str());
    }
    // The next message in the service mailbox (waiting up to wait seconds), or "".
    std::string Next(time_t wait = 0)
    {
        timespec t = {wait, 0};
        int n = zt_mq_timedreceive(service_.mqd, buf_, sizeof buf_, nullptr, &t);
        return n > 0 ? std::string(buf_, n) : "";
    }
    // Answers the next request with reply, sent to the request's source; returns the request.
    std::string Respond(const TlvMsg& reply)
    {
        std::string req = Next(5);
        ztMboxAttr tx;
        if (!req.empty() && ztMbox_txopen(ValueOf(req.data(), TLV_SRC).c_str(), &tx) == 0) {
            ztMbox_send(reply.buf, reply.Len(), &tx);
            ztMbox_close(&tx);
        }
        return req;
    }
    std::string to_ = zttest::MboxName("svc"), from_ = zttest::MboxName("rsp");
    ztMboxAttr service_;
    char buf_[ZTMSG_MAX];
};

TEST_F(Msg, BuildThenSendOneCompleteMessage)
{
    ztMsgIobuf io = Request();
    EXPECT_EQ(io.len, 16);
    const std::string built("\0\x10\0\x10\0\0\x02" "ACR\0\0\x02" "B\x01\x02", 16);  // header, CMD, CMDARG
    EXPECT_EQ(std::string((char*)io.buf, 16), built);
    EXPECT_EQ(ValueOf(Request("Z").buf, TLV_CMD), std::string("Z\0", 2)) << "padded, not over-read";

    EXPECT_EQ(ztmsg_send(&io, "/to_ztCtlD", to_.c_str(), to_.c_str(), 0), 0);
    TlvMsg expected = TlvMsg().Add(TLV_CMD, "CR").Add(TLV_CMDARG, "\x01\x02").Add(TLV_SRC, "/to_ztCtlD");
    expected.Add(TLV_DST, to_).End();
    EXPECT_EQ(io.len, expected.Len());
    EXPECT_EQ(Next(), std::string((char*)expected.buf, expected.Len())) << "SRC, DST, END in this order";
    EXPECT_EQ(Next(), "") << "exactly one message";

    io = Request();  // via selects the queue; the destination stays the logical addressee
    EXPECT_EQ(ztmsg_send(&io, "/zt_requester", "/zt_logical", to_.c_str(), 0), 0);
    EXPECT_EQ(ValueOf(Next().data(), TLV_DST), "/zt_logical");
    EXPECT_EQ(mq_unlink("/zt_logical"), -1) << "no such queue";
}

TEST_F(Msg, RequestAndResponseBetweenThreads)
{
    TlvMsg reply = TlvMsg(17).Add(TLV_CMD, "CR").Add(TLV_CMDARG, "\x01").Add(TLV_RSPARG, "answer");
    reply.Add(TLV_SRC, to_).Add(TLV_DST, from_).End();
    std::string seen;
    std::thread responder([&] { seen = Respond(reply); });
    ztMsgIobuf io = Request();
    EXPECT_EQ(ztmsg_send_timedreceive(&io, from_.c_str(), to_.c_str(), nullptr, 0), reply.Len());
    responder.join();
    EXPECT_EQ(ValueOf(seen.data(), TLV_SRC), from_);
    EXPECT_EQ(ValueOf(seen.data(), TLV_DST), to_);
    EXPECT_EQ(std::string((char*)io.buf, io.len), std::string((char*)reply.buf, reply.Len())) << "replaced";
    unsigned char* val = nullptr;
    uint16_t len = 0;
    ztmsg_response(&io, &val, &len);
    EXPECT_EQ(val, io.buf + 19) << "the value inside the buffer";
    EXPECT_EQ(len, 6);
}

// The wait is the configured number of seconds; a message arriving during it ends it
// (RequestAndResponseBetweenThreads).
TEST_F(Msg, NoResponderTimesOut)
{
    g_timedreceive = 1;
    g_debug_level = zttest::kTraceToStdout;
    ztMsgIobuf io = Request();
    auto start = std::chrono::steady_clock::now();
    auto lines = zttest::StdoutLines(
        [&] { EXPECT_EQ(ztmsg_send_timedreceive(&io, from_.c_str(), to_.c_str(), to_.c_str(), 0), -1); });
    EXPECT_GE(zttest::SecondsSince(start), 0.9);
    EXPECT_LT(zttest::SecondsSince(start), 5.0);
    EXPECT_THAT(lines, testing::ElementsAre(testing::MatchesRegex("\\[   msg_available: *[0-9]+\\] 1 seconds "
                                                                  "timeout expired")));
    EXPECT_EQ(io.len, -1);
    EXPECT_EQ(ValueOf(io.buf, TLV_SRC), from_) << "buffer still holds the request";
    EXPECT_EQ(mq_unlink(from_.c_str()), -1) << "reply mailbox removed";
    unsigned char marker = 0, *val = &marker;
    uint16_t len = 99;
    ztmsg_response(&io, &val, &len);  // no response argument: outs unchanged
    EXPECT_EQ(val, &marker);
    EXPECT_EQ(len, 99);
}

TEST_F(Msg, HexDumpOnlyForEnabledChannel)
{
    g_debug_level = zttest::kTraceToStdout | 0x100u;
    ztMsgIobuf io;
    auto send = [&](int chan) {
        io = Request();
        ztmsg_send(&io, "/to_ztCtlD", "/to_ztnet", to_.c_str(), chan);  // 47 bytes
    };
    auto lines = zttest::StdoutLines([&] { send(25); });
    ASSERT_EQ(lines.size(), 4u) << "a timestamp line, then the three lines of 47 bytes";
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "        >XX 00000000  002f0010 00000241 43520000 02420102  ./.....ACR...B..");
    auto quiet = zttest::StdoutLines([&] {
        for (int chan : {0, 99, 24})  // never dumps, no such channel, mask not in g_debug
            send(chan);
        g_debug_level = zttest::kTraceToStdout;  // dumps disabled
        send(25);
    });
    EXPECT_TRUE(quiet.empty());
}

TEST_F(Msg, FatalCasesEndTheProcess)
{
    // Each scenario runs whole inside the death-test child, whose own mailboxes (another pid)
    // are created there.
    zttest::UnlinkAtExit(to_);
    ztMsgIobuf io = Request();
    auto send = [&] { ztmsg_send(&io, "/zt_from", to_.c_str(), nullptr, 0); };
    static const unsigned char huge[ZTMSG_MAX] = {};
    zttest::ExpectAssert([&] { ztmsg_build(&io, "CR", huge, sizeof huge, 16); send(); },  // argument missing
                         "ztMsg.c/ztmsg_send", "0 == tlv_validate(iobuf->buf)",
                         {"TLV_ERROR: MSG :CR CMD needs a CMDARG\n"});
    zttest::ExpectAssert([&] { ztMbox_unlink(to_.c_str()); send(); }, "ztMsg.c/ztmsg_send",
                         "ztMbox_txopen(via, &txq) == 0");
    auto exchange = [&] { ztmsg_send_timedreceive(&io, from_.c_str(), to_.c_str(), nullptr, 0); };
    auto busy = [&] {
        zttest::UnlinkAtExit(from_);
        ztMbox_rxopen_shared(from_.c_str(), 2, &service_);
        exchange();
    };
    zttest::ExpectAssert(busy, "ztMsg.c/ztmsg_send_timedreceive",
                         "ztMbox_rxopen_shared(from, ZTMSG_MAX_COUNT_SM, &rxq) == 0");
    TlvMsg damaged = TlvMsg(17).Add(TLV_CMD, "CR").Add(TLV_CMDARG, "a").Add(TLV_RSPARG, "b");
    damaged.Add(TLV_SRC, to_).Add(TLV_DST, from_);  // no END
    auto damagedExchange = [&] {
        std::thread([&] { Respond(damaged); }).detach();
        exchange();
    };
    zttest::ExpectAssert(damagedExchange, "ztMsg.c/ztmsg_send_timedreceive", "0 == tlv_validate(iobuf->buf)",
                         {"[         DMSGERR:", "] ztmsg_send_timedreceive:\n\n", "ERROR      00000000  00"});
    g_debug_level = 8;  // above 7: DMSGERR, dump and ASSERT; not above 15: no validation text
    EXPECT_EXIT(damagedExchange(), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("[         DMSGERR:"), HasSubstr("ASSERT:"),
                               testing::Not(HasSubstr("TLV_ERROR"))));
}

}  // namespace
