// TLV messages: building and validating the daemon's typical 47-byte message (the transcode
// subscription: category 16, "CR" with 2 bytes, from "/to_ztCtlD" to "/to_ztnet"), the same for
// a full 1500-byte message, and element searches that walk a long message.
#include <benchmark/benchmark.h>
#include <string.h>

#include "bench_support.h"
#include "ztMsg.h"
#include "ztTlv.h"

namespace {

const char kSource[] = "/to_ztCtlD";
const char kDestination[] = "/to_ztnet";
const uint8_t kSubscribe[2] = {0x01, 0x4F};
const int kCategory = 16;

// What ztmsg_send does before it sends: build, then SRC, DST and END.
int buildMessage(ztMsgIobuf* io, const void* arg, int argLen)
{
    ztmsg_build(io, "CR", arg, argLen, kCategory);
    sntlv_add_bin(io->buf, ZTMSG_MAX, TLV_SRC, sizeof kSource - 1, kSource);
    sntlv_add_bin(io->buf, ZTMSG_MAX, TLV_DST, sizeof kDestination - 1, kDestination);
    sntlv_add_dat(io->buf, ZTMSG_MAX, TLV_END, 0, 0);
    return sntlv_msg_len(io->buf);
}

// The command argument that makes the message exactly ZTMSG_MAX bytes long.
constexpr int kFullArg = ZTMSG_MAX - 47 + 2;

// A valid ZTMSG_MAX-byte message of 368 elements, most of them empty TLV_VOID fillers placed
// before the ones a reader looks for: the longest walk a mailbox message allows.
void buildLongMessage(unsigned char* buf)
{
    sntlv_msg_init(buf, ZTMSG_MAX, kCategory);
    const int fillers = (ZTMSG_MAX - 47 - 5) / 4;
    for (int i = 0; i < fillers; ++i)
        sntlv_add_bin(buf, ZTMSG_MAX, TLV_VOID, 0, nullptr);
    sntlv_add_bin(buf, ZTMSG_MAX, TLV_VOID, 1, "x");
    sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMD, 2, "CR");
    sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMDARG, 2, kSubscribe);
    sntlv_add_bin(buf, ZTMSG_MAX, TLV_SRC, sizeof kSource - 1, kSource);
    sntlv_add_bin(buf, ZTMSG_MAX, TLV_DST, sizeof kDestination - 1, kDestination);
    sntlv_add_dat(buf, ZTMSG_MAX, TLV_END, 0, 0);
}

bool expect(benchmark::State& state, bool ok, const char* what)
{
    if (!ok)
        benchFail(state, what);
    return ok;
}

void BM_Tlv47_BuildAndValidate(benchmark::State& state)
{
    static ztMsgIobuf io;
    io.size = ZTMSG_MAX;
    if (!expect(state, buildMessage(&io, kSubscribe, 2) == 47 && tlv_validate(io.buf) == 0, "not a valid 47-byte message"))
        return;
    for (auto _ : state) {
        buildMessage(&io, kSubscribe, 2);
        benchmark::DoNotOptimize(tlv_validate(io.buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tlv47_BuildAndValidate);

void BM_Tlv47_Validate(benchmark::State& state)
{
    static ztMsgIobuf io;
    io.size = ZTMSG_MAX;
    buildMessage(&io, kSubscribe, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tlv_validate(io.buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tlv47_Validate);

void BM_Tlv1500_BuildAndValidate(benchmark::State& state)
{
    static ztMsgIobuf io;
    static unsigned char arg[kFullArg];
    memset(arg, 0x5A, sizeof arg);
    io.size = ZTMSG_MAX;
    if (!expect(state, buildMessage(&io, arg, kFullArg) == ZTMSG_MAX && tlv_validate(io.buf) == 0,
                "not a valid 1500-byte message"))
        return;
    for (auto _ : state) {
        buildMessage(&io, arg, kFullArg);
        benchmark::DoNotOptimize(tlv_validate(io.buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tlv1500_BuildAndValidate);

void BM_Tlv1500_ValidateManyElements(benchmark::State& state)
{
    static unsigned char buf[ZTMSG_MAX];
    buildLongMessage(buf);
    if (!expect(state, sntlv_msg_len(buf) == ZTMSG_MAX && tlv_validate(buf) == 0, "not a valid long message"))
        return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tlv_validate(buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tlv1500_ValidateManyElements);

void BM_TlvFind_LastOfManyElements(benchmark::State& state)
{
    static unsigned char buf[ZTMSG_MAX];
    buildLongMessage(buf);
    if (!expect(state, tlv_find(buf, TLV_END) == buf + ZTMSG_MAX - 4, "END not found"))
        return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tlv_find(buf, TLV_END));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TlvFind_LastOfManyElements);

void BM_TlvFind_Missing(benchmark::State& state)
{
    static unsigned char buf[ZTMSG_MAX];
    buildLongMessage(buf);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tlv_find(buf, TLV_RSPARG));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TlvFind_Missing);

void BM_SntlvFind_Tlv47(benchmark::State& state)
{
    static ztMsgIobuf io;
    io.size = ZTMSG_MAX;
    buildMessage(&io, kSubscribe, 2);
    char source[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(sntlv_find(source, sizeof source, TLV_SRC, io.buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SntlvFind_Tlv47);

}  // namespace
