#include "fake_camera.h"

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "camlink_protocol.h"
#include "queue_cleanup.h"
#include "ztTlv.h"

namespace {

constexpr int kPollMs = 20;

// The element's value, empty when it is missing (a validated message holds all its elements).
std::vector<uint8_t> element(const uint8_t* msg, int type) {
    const uint8_t* e = tlv_find(msg, type);
    if (e == nullptr) return {};
    return std::vector<uint8_t>(e + 4, e + 4 + ((e[1] << 8) | e[2]));
}

std::string elementText(const uint8_t* msg, int type) {
    const std::vector<uint8_t> v = element(msg, type);
    return std::string(v.begin(), v.end());
}

}  // namespace

std::vector<uint8_t> be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

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

bool parseWireMessage(const uint8_t* msg, size_t length, WireMessage* out) {
    if (length < 4 || static_cast<size_t>(sntlv_msg_len(msg)) != length || tlv_validate(msg) != 0)
        return false;
    *out = {msg[3], elementText(msg, TLV_CMD), element(msg, TLV_CMDARG), element(msg, TLV_RSPARG),
            elementText(msg, TLV_SRC), elementText(msg, TLV_DST)};
    return !out->cmd.empty();
}

std::vector<uint8_t> buildWireMessage(const WireMessage& m) {
    std::vector<uint8_t> msg(ZTMSG_MAX);
    uint8_t* buf = msg.data();
    int len = sntlv_msg_init(buf, ZTMSG_MAX, m.category);
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMD, static_cast<int>(m.cmd.size()), m.cmd.data());
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMDARG, static_cast<int>(m.cmdarg.size()), m.cmdarg.data());
    if (!m.rsparg.empty())
        len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_RSPARG, static_cast<int>(m.rsparg.size()), m.rsparg.data());
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_SRC, static_cast<int>(m.src.size()), m.src.data());
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_DST, static_cast<int>(m.dst.size()), m.dst.data());
    len += sntlv_add_dat(buf, ZTMSG_MAX, TLV_END, 0, 0);
    msg.resize(static_cast<size_t>(len));
    return msg;
}

bool postMessage(const std::string& mbox, const std::vector<uint8_t>& msg) {
    const mqd_t q = mq_open(mbox.c_str(), O_WRONLY);
    if (q == static_cast<mqd_t>(-1)) return false;
    const timespec until = realtimeIn(1000);
    const int r = mq_timedsend(q, reinterpret_cast<const char*>(msg.data()), msg.size(), 0, &until);
    mq_close(q);
    return r == 0;
}

std::string uniqueMboxName(const char* tag) {
    static std::atomic<int> counter{0};
    return zt_cleanup::removeAtCrash("/zt_pt_" + std::string(tag) + "_" + std::to_string(getpid()) + "_" +
                                     std::to_string(counter++));
}

std::vector<uint8_t> buildCamReply(const std::string& op, uint32_t sequence, const CamReply& reply) {
    std::vector<uint8_t> rsparg = be32(static_cast<uint32_t>(reply.result));
    rsparg.push_back(static_cast<uint8_t>(reply.nakReason));
    rsparg.insert(rsparg.end(), reply.answer.begin(), reply.answer.end());
    return buildWireMessage({CAMLINK_CAT_REPLY, op, be32(sequence), rsparg, "/fake_camera", "/fake_client"});
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

CamRequest FakeCamera::last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? CamRequest() : requests_.back();
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
        WireMessage m;
        if (n < 0 || !parseWireMessage(buf, static_cast<size_t>(n), &m) ||
            m.category != CAMLINK_CAT_REQUEST || m.cmd.size() != 2 || m.cmdarg.size() < 4)
            continue;
        CamRequest request;
        request.op = m.cmd;
        request.sequence = (static_cast<uint32_t>(m.cmdarg[0]) << 24) |
                           (static_cast<uint32_t>(m.cmdarg[1]) << 16) |
                           (static_cast<uint32_t>(m.cmdarg[2]) << 8) | m.cmdarg[3];
        request.args.assign(m.cmdarg.begin() + 4, m.cmdarg.end());
        request.replyTo = m.src;
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
    postMessage(request.replyTo, buildCamReply(request.op, request.sequence, reply));
}

LinkContext::LinkContext(const std::string& cameraName, int replyTimeoutMs, const std::string& rxName) {
    const std::string rx = rxName.empty() ? uniqueMboxName("rx") : rxName;
    snprintf(ctx.rxName, sizeof ctx.rxName, "%s", rx.c_str());
    snprintf(ctx.cameraMboxName, sizeof ctx.cameraMboxName, "%s", cameraName.c_str());
    ctx.rxMqd = createMailbox(rx);
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
