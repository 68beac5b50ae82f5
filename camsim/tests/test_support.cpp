#include "test_support.h"

#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <unistd.h>

#include <atomic>

#include "camlink_protocol.h"
#include "ztTlv.h"
#include "queue_cleanup.h"

namespace camsim_test {

namespace {

std::atomic<int> g_counter{0};

// The element's value; false when it is missing or runs past the message.
bool element(const uint8_t* msg, int type, std::vector<uint8_t>* out) {
    const unsigned char* e = tlv_find(msg, type);
    if (!e) return false;
    int len = (e[1] << 8) | e[2];
    if ((e - msg) + 4 + len > ((msg[0] << 8) | msg[1])) return false;
    out->assign(e + 4, e + 4 + len);
    return true;
}

std::string elementText(const uint8_t* msg, int type) {
    std::vector<uint8_t> v;
    element(msg, type, &v);
    return std::string(v.begin(), v.end());
}

uint32_t readWord(const std::vector<uint8_t>& b, size_t at, bool bigEndian) {
    if (at + 4 > b.size()) {
        ADD_FAILURE() << "read past " << b.size() << " bytes";
        return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(b[at + size_t(i)]) << (bigEndian ? 24 - 8 * i : 8 * i);
    return v;
}

}  // namespace

std::string uniqueName(const char* what) {
    return zt_cleanup::removeAtCrash("/camsim_" + std::to_string(getpid()) + "_" + std::to_string(++g_counter) + "_" + what);
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

EventBox::EventBox(const std::string& name) : name_(name) {
    if (ztMbox_rxopen_ext(name_.c_str(), 2, ZTMSG_MAX, &box_) != 0) ADD_FAILURE() << "mailbox " << name_;
}

EventBox::~EventBox() {
    ztMbox_close(&box_);
    ztMbox_unlink(name_.c_str());
}

bool EventBox::next(Event* e, int timeoutMs) {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    long ns = until.tv_nsec + long(timeoutMs % 1000) * 1000000L;
    until.tv_sec += timeoutMs / 1000 + ns / 1000000000L;
    until.tv_nsec = ns % 1000000000L;
    uint8_t msg[ZTMSG_MAX];
    if (mq_timedreceive(box_.mqd, reinterpret_cast<char*>(msg), ZTMSG_MAX, nullptr, &until) < 4) return false;
    EXPECT_EQ(0, tlv_validate(msg)) << "not a valid TLV message";
    *e = Event();
    e->category = msg[3];
    e->cmd = elementText(msg, TLV_CMD);
    element(msg, TLV_CMDARG, &e->cmdarg);
    element(msg, TLV_RSPARG, &e->rsparg);
    e->src = elementText(msg, TLV_SRC);
    e->dst = elementText(msg, TLV_DST);
    return true;
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
    int len = buildMessage(msg, CAMLINK_CAT_REQUEST, code, be32(seq) + args, replyName(), camera_);
    return sendRaw(msg, len) ? seq : 0;
}

Reply Requester::receive(int timeoutMs) {
    Reply r;
    Event e;
    if (!rx_.next(&e, timeoutMs)) return r;
    EXPECT_EQ(CAMLINK_CAT_REPLY, e.category);
    EXPECT_EQ(camera_, e.src);
    EXPECT_EQ(replyName(), e.dst);
    if (e.cmdarg.size() != 4 || e.rsparg.size() < 5) {
        ADD_FAILURE() << "reply without sequence number or result";
        return r;
    }
    r.got = true;
    r.code = e.cmd;
    r.seq = readBe32(e.cmdarg, 0);
    r.result = int32_t(readBe32(e.rsparg, 0));
    r.nak = int8_t(e.rsparg[4]);
    r.answer.assign(e.rsparg.begin() + 5, e.rsparg.end());
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

std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
std::vector<uint8_t> be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
uint32_t readLe32(const std::vector<uint8_t>& b, size_t at) { return readWord(b, at, false); }
uint32_t readBe32(const std::vector<uint8_t>& b, size_t at) { return readWord(b, at, true); }

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

void SimTest::TearDown() {
    req.reset();
    if (sim) sim->stop();
    sim.reset();
    daemon.reset();
}

Event SimTest::expectEvent(int category, const char* cmd) {
    Event e;
    if (!daemon->next(&e, 3000)) {
        ADD_FAILURE() << "no event " << cmd;
        return e;
    }
    EXPECT_EQ(category, e.category);
    EXPECT_EQ(cmd, e.cmd);
    return e;
}

void SimTest::sendSubscription(uint8_t on) {
    uint8_t msg[ZTMSG_MAX];
    int len = buildMessage(msg, 16, "CR", {on, 0x4F}, opt.daemonMbox, opt.cameraMbox);
    ASSERT_TRUE(req->sendRaw(msg, len));
}

void SimTest::subscribe(uint8_t on) {
    sendSubscription(on);
    expectEvent(17, "CR");
}

}  // namespace camsim_test
