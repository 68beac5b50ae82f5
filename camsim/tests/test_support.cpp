#include "test_support.h"

#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

#include "camlink_protocol.h"
#include "ztTlv.h"

namespace camsim_test {

namespace {

std::atomic<int> g_counter{0};

uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

bool element(const uint8_t* msg, int type, std::vector<uint8_t>* out) {
    const unsigned char* e = tlv_find(msg, type);
    if (!e) return false;
    int len = be16(e + 1);
    if ((e - msg) + 4 + len > be16(msg)) return false;
    out->assign(e + 4, e + 4 + len);
    return true;
}

std::string elementText(const uint8_t* msg, int type) {
    std::vector<uint8_t> v;
    if (!element(msg, type, &v)) return std::string();
    return std::string(v.begin(), v.end());
}

// Waits for one message; -1 on time-out.
int receiveOne(ztMboxAttr& box, uint8_t* buf, int timeoutMs) {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += timeoutMs / 1000;
    until.tv_nsec += long(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    ssize_t n = mq_timedreceive(box.mqd, reinterpret_cast<char*>(buf), ZTMSG_MAX, nullptr, &until);
    return int(n);
}

}  // namespace

std::string uniqueName(const char* what) {
    return "/camsim_" + std::to_string(getpid()) + "_" + std::to_string(++g_counter) + "_" + what;
}

std::string uniqueSocketPath() {
    return "/tmp/camsim_" + std::to_string(getpid()) + "_" + std::to_string(++g_counter) + ".sock";
}

bool mailboxExists(const std::string& name) {
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q == mqd_t(-1)) return errno != ENOENT;
    mq_close(q);
    return true;
}

int buildMessage(uint8_t* buf, int category, const char* cmd, const std::vector<uint8_t>& arg, const std::string& src,
                 const std::string& dst) {
    static const uint8_t none = 0;
    int len = sntlv_msg_init(buf, ZTMSG_MAX, category);
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMD, 2, cmd);
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_CMDARG, int(arg.size()), arg.empty() ? &none : arg.data());
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_SRC, int(src.size()), src.data());
    len += sntlv_add_bin(buf, ZTMSG_MAX, TLV_DST, int(dst.size()), dst.data());
    len += sntlv_add_dat(buf, ZTMSG_MAX, TLV_END, 0, 0);
    return len;
}

Requester::Requester(const std::string& cameraMbox, const std::string& replyMbox)
    : camera_(cameraMbox), replyName_(replyMbox) {
    if (ztMbox_rxopen_ext(replyName_.c_str(), 2, ZTMSG_MAX, &rx_) != 0) ADD_FAILURE() << "reply mailbox " << replyName_;
}

Requester::~Requester() {
    ztMbox_close(&rx_);
    ztMbox_unlink(replyName_.c_str());
}

bool Requester::sendRaw(const uint8_t* msg, int len) {
    ztMboxAttr tx;
    if (ztMbox_txopen(camera_.c_str(), &tx) != 0) return false;
    int r = ztMbox_timedsend(msg, len, &tx, 1000);
    ztMbox_close(&tx);
    return r == 0;
}

uint32_t Requester::send(const char* code, const std::vector<uint8_t>& args) {
    uint32_t seq = ++seq_;
    uint8_t msg[ZTMSG_MAX];
    int len = buildMessage(msg, CAMLINK_CAT_REQUEST, code, be32(seq) + args, replyName_, camera_);
    return sendRaw(msg, len) ? seq : 0;
}

Reply Requester::receive(int timeoutMs) {
    Reply r;
    uint8_t msg[ZTMSG_MAX];
    int n = receiveOne(rx_, msg, timeoutMs);
    if (n < 4) return r;
    EXPECT_EQ(0, tlv_validate(msg)) << "reply is not a valid TLV message";
    EXPECT_EQ(CAMLINK_CAT_REPLY, msg[3]);
    std::vector<uint8_t> arg, rsp;
    r.code = elementText(msg, TLV_CMD);
    if (!element(msg, TLV_CMDARG, &arg) || arg.size() != 4 || !element(msg, TLV_RSPARG, &rsp) || rsp.size() < 5) {
        ADD_FAILURE() << "reply without sequence number or result";
        return r;
    }
    EXPECT_EQ(camera_, elementText(msg, TLV_SRC));
    EXPECT_EQ(replyName_, elementText(msg, TLV_DST));
    r.got = true;
    r.seq = readBe32(arg, 0);
    r.result = int32_t(readBe32(rsp, 0));
    r.nak = int8_t(rsp[4]);
    r.answer.assign(rsp.begin() + 5, rsp.end());
    return r;
}

Reply Requester::call(const char* code, const std::vector<uint8_t>& args, int timeoutMs) {
    uint32_t seq = send(code, args);
    if (seq == 0) return Reply();
    for (;;) {
        Reply r = receive(timeoutMs);
        if (!r.got) return r;
        if (r.seq == seq) {
            EXPECT_EQ(std::string(code, 2), r.code);
            return r;
        }
    }
}

Reply Requester::remote(uint8_t category, uint8_t op, const std::vector<uint8_t>& payload) {
    return call(CAMLINK_OP_REMOTE, std::vector<uint8_t>{category, op} + payload);
}

Reply Requester::satchel(const char* code, const std::vector<uint8_t>& payload) {
    return call(CAMLINK_OP_SATCHEL, std::vector<uint8_t>{uint8_t(code[0]), uint8_t(code[1])} + payload);
}

Reply Requester::directBytes(uint16_t op, const std::vector<uint8_t>& args) {
    return call(CAMLINK_OP_DIRECT, std::vector<uint8_t>{uint8_t(op >> 8), uint8_t(op)} + args);
}

Reply Requester::direct(uint16_t op, std::initializer_list<int32_t> ints) {
    std::vector<uint8_t> args;
    for (int32_t v : ints) args = args + be32(uint32_t(v));
    return directBytes(op, args);
}

Reply Requester::setValue(int32_t id, uint32_t block, uint32_t offset, int32_t value, uint32_t width) {
    return call(CAMLINK_OP_SET_VALUE, be32(uint32_t(id)) + be32(block) + be32(offset) + be32(uint32_t(value)) + be32(width));
}

EventBox::EventBox(const std::string& name) : name_(name) {
    if (ztMbox_rxopen_ext(name_.c_str(), 2, ZTMSG_MAX, &box_) != 0) ADD_FAILURE() << "event mailbox " << name_;
}

EventBox::~EventBox() {
    ztMbox_close(&box_);
    ztMbox_unlink(name_.c_str());
}

bool EventBox::next(Event* e, int timeoutMs) {
    uint8_t msg[ZTMSG_MAX];
    int n = receiveOne(box_, msg, timeoutMs);
    if (n < 4) return false;
    EXPECT_EQ(0, tlv_validate(msg)) << "event is not a valid TLV message";
    *e = Event();
    e->category = msg[3];
    e->cmd = elementText(msg, TLV_CMD);
    element(msg, TLV_CMDARG, &e->cmdarg);
    e->hasRsparg = element(msg, TLV_RSPARG, &e->rsparg);
    e->src = elementText(msg, TLV_SRC);
    e->dst = elementText(msg, TLV_DST);
    return true;
}

std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
std::vector<uint8_t> be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

uint32_t readLe32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) {
        ADD_FAILURE() << "read past " << b.size() << " bytes";
        return 0;
    }
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint32_t readBe32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) {
        ADD_FAILURE() << "read past " << b.size() << " bytes";
        return 0;
    }
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void SimTest::SetUp() {
    opt.cameraMbox = uniqueName("cam");
    opt.daemonMbox = uniqueName("dmn");
    opt.verbosity = 0;
    opt.timeScale = 20;
    adjust(opt);
    daemon.reset(new EventBox(opt.daemonMbox));
    sim.reset(new camsim::CameraSim(opt));
    ASSERT_EQ(0, sim->start()) << sim->lastError();
    req.reset(new Requester(opt.cameraMbox, uniqueName("rep")));
}

void SimTest::sendSubscription(uint8_t on) {
    uint8_t msg[ZTMSG_MAX];
    int len = buildMessage(msg, 16, "CR", {on, 0x4F}, opt.daemonMbox, opt.cameraMbox);
    ASSERT_TRUE(req->sendRaw(msg, len));
}

void SimTest::subscribe(uint8_t on) {
    sendSubscription(on);
    Event e;
    ASSERT_TRUE(daemon->next(&e, 3000));
    ASSERT_EQ(17, e.category);
}

void SimTest::TearDown() {
    req.reset();
    if (sim) sim->stop();
    sim.reset();
    daemon.reset();
}

}  // namespace camsim_test
