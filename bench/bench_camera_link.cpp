// Latency of the camera link: one control-library exchange (remote operation 8/11, the 384-byte
// status block; 7/30, the 238-byte settings block) against the in-process camera simulator on
// private mailbox names. A status poll with a listening client makes both exchanges. Real time
// is what the worker waits; the CPU column is the calling thread's own share (the simulator's
// threads are not counted).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <mqueue.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "bench_support.h"
#include "camsim/camera_sim.h"
#include "ztTlv.h"
#include "ztc_control.h"

namespace {

// The simulator and a context wired to it, for the whole program.
class Link {
public:
    Link()
        : cameraName_("/bench_cam_" + std::to_string(getpid())),
          replyName_("/bench_rx_" + std::to_string(getpid()))
    {
        ctx_.rxMqd = (mqd_t)-1;
        ctx_.txMqd = (mqd_t)-1;
        camsim::Options opt;
        opt.cameraMbox = cameraName_;
        opt.daemonMbox = "/bench_dmn_" + std::to_string(getpid());
        opt.verbosity = 0;
        sim_.reset(new camsim::CameraSim(opt));
        if (sim_->start() != 0) {
            error_ = "simulator: " + sim_->lastError();
            return;
        }
        strncpy(ctx_.rxName, replyName_.c_str(), sizeof ctx_.rxName - 1);
        struct mq_attr attr;
        memset(&attr, 0, sizeof attr);
        attr.mq_maxmsg = 2;
        attr.mq_msgsize = ZTMSG_MAX;
        mq_unlink(replyName_.c_str());
        ctx_.rxMqd = mq_open(replyName_.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
        ctx_.txMqd = mq_open(cameraName_.c_str(), O_WRONLY);
        strncpy(ctx_.cameraMboxName, cameraName_.c_str(), sizeof ctx_.cameraMboxName - 1);
        if (ctx_.rxMqd == (mqd_t)-1 || ctx_.txMqd == (mqd_t)-1)
            error_ = "cannot open the link mailboxes";
    }
    ~Link()
    {
        if (ctx_.rxMqd != (mqd_t)-1)
            mq_close(ctx_.rxMqd);
        if (ctx_.txMqd != (mqd_t)-1)
            mq_close(ctx_.txMqd);
        mq_unlink(replyName_.c_str());
        sim_->stop();
    }

    const std::string& error() const { return error_; }
    ztc_msg_q_context_t* ctx() { return &ctx_; }

private:
    std::string cameraName_;
    std::string replyName_;
    std::unique_ptr<camsim::CameraSim> sim_;
    ztc_msg_q_context_t ctx_{};
    std::string error_;
};

Link* link(benchmark::State& state)
{
    static Link instance;
    if (!instance.error().empty()) {
        benchFail(state, instance.error().c_str());
        return nullptr;
    }
    return &instance;
}

// One exchange; false (and the benchmark skipped) unless the answer has the expected size.
bool query(benchmark::State& state, Link* l, uint8_t category, uint8_t op, uint16_t size)
{
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    const int rc = ztc_send_remote_api_for_response(l->ctx(), category, op, &rsp, &len);
    if (rc != 0 || len != size) {
        benchFail(state, "unexpected answer from the simulator");
        return false;
    }
    benchmark::DoNotOptimize(rsp);
    return true;
}

void BM_CameraLink_Status(benchmark::State& state)
{
    Link* l = link(state);
    if (l == nullptr)
        return;
    for (auto _ : state)
        if (!query(state, l, 8, 11, 384))
            break;
}
BENCHMARK(BM_CameraLink_Status)->UseRealTime();

void BM_CameraLink_Settings(benchmark::State& state)
{
    Link* l = link(state);
    if (l == nullptr)
        return;
    for (auto _ : state)
        if (!query(state, l, 7, 30, 238))
            break;
}
BENCHMARK(BM_CameraLink_Settings)->UseRealTime();

// The two exchanges of a poll with a listening client.
void BM_CameraLink_PollExchanges(benchmark::State& state)
{
    Link* l = link(state);
    if (l == nullptr)
        return;
    for (auto _ : state)
        if (!query(state, l, 8, 11, 384) || !query(state, l, 7, 30, 238))
            break;
}
BENCHMARK(BM_CameraLink_PollExchanges)->UseRealTime();

}  // namespace
