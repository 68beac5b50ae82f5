#include "fake_camera.h"

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "camlink_protocol.h"
#include "ztTlv.h"
#include "queue_cleanup.h"

namespace {

constexpr int kPollMs = 20;

timespec realtimeIn(int ms) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const long long ns = ts.tv_nsec + static_cast<long long>(ms) * 1000000;
    ts.tv_sec += static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

mqd_t createMailbox(const std::string& name) {
    mq_attr attr{};
    attr.mq_maxmsg = 2;
    attr.mq_msgsize = ZTMSG_MAX;
    return mq_open(name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
}

bool elementValue(const uint8_t* msg, int type, std::vector<uint8_t>& out) {
    const uint8_t* e = tlv_find(msg, type);
    if (e == nullptr) return false;
    const uint16_t n = static_cast<uint16_t>((e[1] << 8) | e[2]);
    out.assign(e + 4, e + 4 + n);
    return true;
}

void putBigEndian32(std::vector<uint8_t>& v, uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8) v.push_back(static_cast<uint8_t>(x >> shift));
}

}  // namespace

std::string uniqueMboxName(const char* tag) {
    static std::atomic<int> counter{0};
    return zt_cleanup::removeAtCrash("/zt_pt_" + std::string(tag) + "_" + std::to_string(getpid()) + "_" +
                                     std::to_string(counter++));
}

std::vector<uint8_t> buildCamReply(const std::string& op, uint32_t sequence, const CamReply& reply) {
    std::vector<uint8_t> seq;
    putBigEndian32(seq, sequence);
    std::vector<uint8_t> rsp;
    putBigEndian32(rsp, static_cast<uint32_t>(reply.result));
    rsp.push_back(static_cast<uint8_t>(reply.nakReason));
    rsp.insert(rsp.end(), reply.answer.begin(), reply.answer.end());

    std::vector<uint8_t> msg(ZTMSG_MAX);
    const char src[] = "/fake_camera";
    const char dst[] = "/fake_client";
    int len = sntlv_msg_init(msg.data(), ZTMSG_MAX, CAMLINK_CAT_REPLY);
    len += sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_CMD, 2, op.data());
    len += sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_CMDARG, 4, seq.data());
    len += sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_RSPARG, static_cast<int>(rsp.size()), rsp.data());
    len += sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_SRC, sizeof src - 1, src);
    len += sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_DST, sizeof dst - 1, dst);
    len += sntlv_add_dat(msg.data(), ZTMSG_MAX, TLV_END, 0, 0);
    msg.resize(static_cast<size_t>(len));
    return msg;
}

FakeCamera::FakeCamera(Handler handler, std::string name)
    : name_(name.empty() ? uniqueMboxName("cam") : std::move(name)),
      mqd_(createMailbox(name_)),
      handler_(std::move(handler)) {
    thread_ = std::thread([this] { serve(); });
}

FakeCamera::~FakeCamera() {
    stop_ = true;
    thread_.join();
    mq_close(mqd_);
    mq_unlink(name_.c_str());
}

std::vector<CamRequest> FakeCamera::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void FakeCamera::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void FakeCamera::serve() {
    uint8_t buf[ZTMSG_MAX];
    while (!stop_) {
        const timespec until = realtimeIn(kPollMs);
        const ssize_t n = mq_timedreceive(mqd_, reinterpret_cast<char*>(buf), sizeof buf, nullptr, &until);
        if (n < 18 || sntlv_msg_len(buf) != n || tlv_validate(buf) != 0 || buf[3] != CAMLINK_CAT_REQUEST)
            continue;
        CamRequest request;
        std::vector<uint8_t> code, arg, src;
        if (!elementValue(buf, TLV_CMD, code) || code.size() != 2 || !elementValue(buf, TLV_CMDARG, arg) ||
            arg.size() < 4 || !elementValue(buf, TLV_SRC, src))
            continue;
        request.op.assign(code.begin(), code.end());
        request.sequence = (static_cast<uint32_t>(arg[0]) << 24) | (static_cast<uint32_t>(arg[1]) << 16) |
                           (static_cast<uint32_t>(arg[2]) << 8) | arg[3];
        request.args.assign(arg.begin() + 4, arg.end());
        request.replyTo.assign(src.begin(), src.end());
        answer(request);
    }
}

void FakeCamera::answer(const CamRequest& request) {
    CamReply reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        reply = handler_(request);
    }
    for (int waited = 0; waited < reply.delayMs && !stop_; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (stop_) return;
    const std::vector<uint8_t> msg = buildCamReply(request.op, request.sequence, reply);
    const mqd_t out = mq_open(request.replyTo.c_str(), O_WRONLY);
    if (out == static_cast<mqd_t>(-1)) return;
    const timespec until = realtimeIn(1000);
    mq_timedsend(out, reinterpret_cast<const char*>(msg.data()), msg.size(), 0, &until);
    mq_close(out);
}

LinkContext::LinkContext(const std::string& cameraName, int replyTimeoutMs) {
    const std::string rxName = uniqueMboxName("rx");
    snprintf(ctx.rxName, sizeof ctx.rxName, "%s", rxName.c_str());
    snprintf(ctx.cameraMboxName, sizeof ctx.cameraMboxName, "%s", cameraName.c_str());
    ctx.rxMqd = createMailbox(rxName);
    ctx.txMqd = mq_open(cameraName.c_str(), O_WRONLY);
    ctx.replyTimeoutMs = replyTimeoutMs;
}

LinkContext::~LinkContext() {
    if (ctx.txMqd != static_cast<mqd_t>(-1)) mq_close(ctx.txMqd);
    if (ctx.rxMqd != static_cast<mqd_t>(-1)) mq_close(ctx.rxMqd);
    mq_unlink(ctx.rxName);
}

long LinkContext::queuedReplies() const {
    mq_attr attr{};
    mq_getattr(ctx.rxMqd, &attr);
    return attr.mq_curmsgs;
}
