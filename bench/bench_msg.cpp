// Message classes: writing and reading a typical control request (command, argument, reply
// mailbox) and typical responses (a bare result; a result with the 384-byte status block), the
// way the daemon does it: one Msg reused for every request, one buffer for every response.
#include <benchmark/benchmark.h>
#include <string.h>

#include "bench_support.h"
#include "zt_msg_classes.h"
#include "ztTlv.h"

namespace {

const uint32_t kCommand = 14;
const uint32_t kArgument = 1;
const char kReplyMbox[] = "/ztctl_4242";
const int32_t kResult = 0;
uint8_t g_status[384];

MsgElement g_command(ZT_TAG_COMMAND, sizeof kCommand, &kCommand);
MsgElement g_argument(ZT_TAG_ARGUMENT, sizeof kArgument, &kArgument);
MsgElement g_reply(ZT_TAG_REPLY_MBOX, sizeof kReplyMbox, kReplyMbox);
MsgElement g_result(ZT_TAG_RESULT, sizeof kResult, &kResult);
MsgElement g_payload(ZT_TAG_PAYLOAD, sizeof g_status, g_status);
MsgElement g_end(ZT_TAG_END, 0, nullptr);

void request(Msg* msg)
{
    msg->addElement(&g_command);
    msg->addElement(&g_argument);
    msg->addElement(&g_reply);
    msg->addElement(&g_end);
}

void response(Msg* msg, bool withStatus)
{
    msg->setMsgType(ZT_MSG_TYPE_RESPONSE);
    msg->addElement(&g_result);
    if (withStatus)
        msg->addElement(&g_payload);
    msg->addElement(&g_end);
}

enum Kind { kRequest, kResponse, kStatusResponse };

Msg& sample(Kind kind)
{
    static Msg messages[3] = {Msg(ZT_MSG_CATEGORY), Msg(ZT_MSG_CATEGORY), Msg(ZT_MSG_CATEGORY)};
    Msg& msg = messages[kind];
    if (msg.elementCount() == 0) {
        if (kind == kRequest)
            request(&msg);
        else
            response(&msg, kind == kStatusResponse);
    }
    return msg;
}

void BM_Msg_Write(benchmark::State& state)
{
    const Msg& msg = sample(static_cast<Kind>(state.range(0)));
    static uint8_t buffer[ZTMSG_MAX];
    for (auto _ : state) {
        MemStream out(buffer, sizeof buffer);
        out << msg;
        benchmark::DoNotOptimize(out.getLength());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(msg.getSize()) + " bytes");
}
BENCHMARK(BM_Msg_Write)->ArgName("request0_response1_status2")->DenseRange(0, 2);

// The daemon's worker parses every request into the same Msg, which stops allocating once it has
// seen its largest message.
void BM_Msg_ReadReused(benchmark::State& state)
{
    static uint8_t buffer[ZTMSG_MAX];
    MemStream out(buffer, sizeof buffer);
    out << sample(static_cast<Kind>(state.range(0)));
    Msg msg(ZT_MSG_CATEGORY);
    for (auto _ : state) {
        MemStream in(buffer, out.getLength());
        in >> msg;
        if (in.failed()) {
            benchFail(state, "the sample does not parse");
            break;
        }
        benchmark::DoNotOptimize(msg.findElement(ZT_TAG_COMMAND));
    }
    state.SetLabel(std::to_string(out.getLength()) + " bytes");
}
BENCHMARK(BM_Msg_ReadReused)->ArgName("request0_response1_status2")->DenseRange(0, 2);

// For comparison: a fresh Msg per message, as a reader that did not reuse one would pay.
void BM_Msg_ReadFresh(benchmark::State& state)
{
    static uint8_t buffer[ZTMSG_MAX];
    MemStream out(buffer, sizeof buffer);
    out << sample(kRequest);
    for (auto _ : state) {
        Msg msg(ZT_MSG_CATEGORY);
        MemStream in(buffer, out.getLength());
        in >> msg;
        benchmark::DoNotOptimize(msg.findElement(ZT_TAG_COMMAND));
    }
}
BENCHMARK(BM_Msg_ReadFresh);

}  // namespace
