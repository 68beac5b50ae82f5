// Test-side peers of the simulator: a camera-link requester with its own reply mailbox, a
// daemon-side mailbox that collects events, unique names, byte helpers and a started simulator.
#ifndef CAMSIM_TEST_SUPPORT_H
#define CAMSIM_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "camsim/camera_sim.h"
#include "ztMbox.h"

namespace camsim_test {

// "/camsim_<pid>_<n>_<what>": unique per process and call.
std::string uniqueName(const char* what);
std::string uniqueSocketPath();
bool mailboxExists(const std::string& name);

// One received message, its elements copied out.
struct Event {
    int category = -1;
    std::string cmd;
    std::vector<uint8_t> cmdarg;
    std::vector<uint8_t> rsparg;
    std::string src;
    std::string dst;
};

// A mailbox of two messages, like the daemon's; removed again on destruction.
class EventBox {
public:
    explicit EventBox(const std::string& name);
    ~EventBox();
    bool next(Event* e, int timeoutMs);
    const std::string& name() const { return name_; }

private:
    std::string name_;
    ztMboxAttr box_{};
};

struct Reply {
    bool got = false;
    std::string code;
    uint32_t seq = 0;
    int32_t result = 0;
    int8_t nak = 0;
    std::vector<uint8_t> answer;
};

class Requester {
public:
    Requester(const std::string& cameraMbox, const std::string& replyMbox) : camera_(cameraMbox), rx_(replyMbox) {}

    // Sends one request with the next sequence number and waits for its reply; replies for other
    // sequence numbers are discarded on the way.
    Reply call(const char* code, const std::vector<uint8_t>& args, int timeoutMs = 3000);
    Reply remote(uint8_t category, uint8_t op, const std::vector<uint8_t>& payload = {});
    Reply satchel(const char* code, const std::vector<uint8_t>& payload = {});
    Reply direct(uint16_t op, std::initializer_list<int32_t> ints = {});
    Reply directBytes(uint16_t op, const std::vector<uint8_t>& args);
    Reply setValue(int32_t id, uint32_t block, uint32_t offset, int32_t value, uint32_t width);

    // Sends a request without waiting; returns its sequence number (0 on failure).
    uint32_t send(const char* code, const std::vector<uint8_t>& args);
    // The next reply of any sequence number.
    Reply receive(int timeoutMs);
    bool sendRaw(const uint8_t* msg, int len);
    const std::string& replyName() const { return rx_.name(); }

private:
    std::string camera_;
    EventBox rx_;
    uint32_t seq_ = 0;
};

// Builds a complete TLV message (CMD, CMDARG, SRC, DST, END); returns its length.
int buildMessage(uint8_t* buf, int category, const char* cmd, const std::vector<uint8_t>& arg, const std::string& src,
                 const std::string& dst);

std::vector<uint8_t> le32(uint32_t v);
std::vector<uint8_t> be32(uint32_t v);
uint32_t readLe32(const std::vector<uint8_t>& b, size_t at);
uint32_t readBe32(const std::vector<uint8_t>& b, size_t at);
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b);

// A started simulator with its own mailbox names, a requester and a daemon-side event box.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Options of the simulator to start; tests adjust them in their own SetUp before calling this.
    virtual void adjust(camsim::Options&) {}
    // The next event on the daemon mailbox, which must come and be of the category and command.
    Event expectEvent(int category, const char* cmd);
    // Sends the daemon's transcode subscription (1) or unsubscription (0) from the daemon mailbox.
    void sendSubscription(uint8_t on);
    // The same, then takes the category-17 answer off the daemon mailbox.
    void subscribe(uint8_t on);

    camsim::Options opt;
    std::unique_ptr<camsim::CameraSim> sim;
    std::unique_ptr<EventBox> daemon;
    std::unique_ptr<Requester> req;
};

}  // namespace camsim_test

#endif
