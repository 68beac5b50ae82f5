#include "test_support.h"

#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <unistd.h>

#include <atomic>

#include "camlink_client.h"
#include "ztErrno.h"

namespace camsim_test {

namespace {

std::atomic<int> g_counter{0};

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

std::string uniqueSocketPath() {
    return "/tmp/camsim_" + std::to_string(getpid()) + "_" + std::to_string(++g_counter) + ".sock";
}

bool mailboxExists(const std::string& name) {
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q == mqd_t(-1)) return errno != ENOENT;
    mq_close(q);
    return true;
}

EventBox::EventBox(const std::string& name) : name_(name), mqd_(createMailbox(name)) {
    if (mqd_ == mqd_t(-1)) ADD_FAILURE() << "mailbox " << name_;
}

EventBox::~EventBox() {
    mq_close(mqd_);
    mq_unlink(name_.c_str());
}

bool EventBox::next(Event* e, int timeoutMs) {
    const timespec until = realtimeIn(timeoutMs);
    uint8_t msg[ZTMSG_MAX];
    const ssize_t n = mq_timedreceive(mqd_, reinterpret_cast<char*>(msg), ZTMSG_MAX, nullptr, &until);
    if (n < 0) return false;
    EXPECT_TRUE(parseWireMessage(msg, size_t(n), e)) << "not a valid TLV message";
    return true;
}

Reply Requester::call(const char* code, const std::vector<uint8_t>& args, int timeoutMs) {
    CamlinkArgs a;
    a.bytes(args.data(), args.size());
    uint8_t answer[ZTMSG_MAX];
    uint16_t length = 0;
    link_.ctx.replyTimeoutMs = timeoutMs;
    const int32_t result = camlink_exchange(&link_.ctx, CamlinkRequest{code, &a}, answer, sizeof answer, &length);
    // Results the simulator is made to give in these tests never equal the link's own failure.
    return Reply{result != ZT_ERR_MQ_FAIL, result, link_.ctx.lastNakReason, Bytes(answer, answer + length)};
}

Reply Requester::remote(uint8_t category, uint8_t op, const std::vector<uint8_t>& payload) {
    return call(CAMLINK_OP_REMOTE, std::vector<uint8_t>{category, op} + payload);
}

Reply Requester::satchel(const char* code, const std::vector<uint8_t>& payload) {
    return call(CAMLINK_OP_SATCHEL, std::vector<uint8_t>{uint8_t(code[0]), uint8_t(code[1])} + payload);
}

Reply Requester::direct(uint16_t op, std::initializer_list<int32_t> ints) {
    return call(CAMLINK_OP_DIRECT, directArgs(op, ints));
}

std::vector<uint8_t> directArgs(uint16_t op, std::initializer_list<int32_t> ints) {
    std::vector<uint8_t> args{uint8_t(op >> 8), uint8_t(op)};
    for (int32_t v : ints) args = args + be32(uint32_t(v));
    return args;
}

void expectResults(Requester& req, const std::vector<ResultRow>& rows) {
    for (const ResultRow& row : rows) EXPECT_EQ(row.result, req.call(row.code, row.args).result) << row.what;
}

Reply Requester::setValue(int32_t id, uint32_t block, uint32_t offset, int32_t value, uint32_t width) {
    return call(CAMLINK_OP_SET_VALUE,
                be32(uint32_t(id)) + be32(block) + be32(offset) + be32(uint32_t(value)) + be32(width));
}

uint32_t readLe32(const std::vector<uint8_t>& b, size_t at) { return readWord(b, at, false); }
uint32_t readBe32(const std::vector<uint8_t>& b, size_t at) { return readWord(b, at, true); }

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void SimTest::SetUp() {
    opt.cameraMbox = uniqueMboxName("cam");
    opt.daemonMbox = uniqueMboxName("dmn");
    opt.verbosity = 0;
    opt.timeScale = 20;
    adjust(opt);
    daemon.reset(new EventBox(opt.daemonMbox));
    sim.reset(new camsim::CameraSim(opt));
    ASSERT_EQ(0, sim->start()) << sim->lastError();
    req.reset(new Requester(opt.cameraMbox, uniqueMboxName("rep")));
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
    ASSERT_TRUE(postMessage(opt.cameraMbox,
                            buildWireMessage({16, "CR", {on, 0x4F}, {}, opt.daemonMbox, opt.cameraMbox})));
}

void SimTest::subscribe(uint8_t on) {
    sendSubscription(on);
    expectEvent(17, "CR");
}

}  // namespace camsim_test
