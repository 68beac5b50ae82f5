// Test-side peers of the simulator: a camera-link requester (the control library's own exchange,
// over its own reply mailbox), a daemon-side mailbox that collects events, unique names, byte
// helpers and a started simulator.
#ifndef CAMSIM_TEST_SUPPORT_H
#define CAMSIM_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "camsim/camera_sim.h"
#include "support/fake_camera.h"

namespace camsim_test {

std::string uniqueSocketPath();
bool mailboxExists(const std::string& name);

using Event = WireMessage;
using Bytes = std::vector<uint8_t>;

// A mailbox of two messages, like the daemon's; removed again on destruction.
class EventBox {
  public:
    explicit EventBox(const std::string& name);
    ~EventBox();
    bool next(Event* e, int timeoutMs);

  private:
    std::string name_;
    mqd_t mqd_;
};

struct Reply {
    bool got = false;  // false when no reply came in time
    int32_t result = 0;
    int8_t nak = 0;
    std::vector<uint8_t> answer;
};

class Requester {
  public:
    Requester(const std::string& cameraMbox, const std::string& replyMbox)
        : link_(cameraMbox, 3000, replyMbox) {}

    // One request and its reply; replies of earlier requests are discarded on the way.
    Reply call(const char* code, const std::vector<uint8_t>& args, int timeoutMs = 3000);
    Reply remote(uint8_t category, uint8_t op, const std::vector<uint8_t>& payload = {});
    Reply satchel(const char* code, const std::vector<uint8_t>& payload = {});
    Reply direct(uint16_t op, std::initializer_list<int32_t> ints = {});
    Reply setValue(int32_t id, uint32_t block, uint32_t offset, int32_t value, uint32_t width);

    std::string replyName() const { return link_.ctx.rxName; }
    long queuedReplies() const { return link_.queuedReplies(); }

  private:
    LinkContext link_;
};

// The arguments of a direct operation: its number, then the values big-endian.
std::vector<uint8_t> directArgs(uint16_t op, std::initializer_list<int32_t> ints = {});

// One request and the result it must get.
struct ResultRow {
    const char* what;
    const char* code;
    std::vector<uint8_t> args;
    int32_t result;
};
void expectResults(Requester& req, const std::vector<ResultRow>& rows);

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
