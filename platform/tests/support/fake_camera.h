// A stand-in for the camera simulator in tests: serves camlink_protocol.h requests on its own
// mailbox (a unique name per process and instance) from a thread, answering through a handler.
#ifndef PLATFORM_TEST_FAKE_CAMERA_H
#define PLATFORM_TEST_FAKE_CAMERA_H

#include <mqueue.h>
#include <stdint.h>
#include <time.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ztc_control.h"

struct CamRequest {
    std::string op;  // two-character code
    uint32_t sequence = 0;
    std::vector<uint8_t> args;  // after the sequence number
    std::string replyTo;        // TLV_SRC
};

struct CamReply {
    int32_t result = 0;
    int8_t nakReason = 0;
    std::vector<uint8_t> answer;
    int delayMs = 0;  // wait before replying (the next request waits too)
};

// One camera-link message, its elements copied out.
struct WireMessage {
    int category = -1;
    std::string cmd;
    std::vector<uint8_t> cmdarg;
    std::vector<uint8_t> rsparg;  // left out of a built message when empty
    std::string src;
    std::string dst;
};

// The elements of a received message of `length` bytes; false unless it is one whole valid message
// with a command element.
bool parseWireMessage(const uint8_t* msg, size_t length, WireMessage* out);
std::vector<uint8_t> buildWireMessage(const WireMessage& m);

// Puts a complete message into the mailbox, waiting at most a second for room.
bool postMessage(const std::string& mbox, const std::vector<uint8_t>& msg);

// A 32-bit word in the link's byte order (big-endian) and in the blocks' (little-endian).
std::vector<uint8_t> be32(uint32_t v);
std::vector<uint8_t> le32(uint32_t v);

// A unique mailbox name for this process ("/zt_pt_<tag>_<pid>_<n>").
std::string uniqueMboxName(const char* tag);
// A mailbox of two messages, like the daemon's and the camera's.
mqd_t createMailbox(const std::string& name);
timespec realtimeIn(int ms);

// A complete reply message as the simulator would send it.
std::vector<uint8_t> buildCamReply(const std::string& op, uint32_t sequence, const CamReply& reply);

class FakeCamera {
  public:
    using Handler = std::function<CamReply(const CamRequest&)>;

    // Creates (or takes over) the mailbox `name`, or a fresh unique one when name is empty.
    explicit FakeCamera(Handler handler, std::string name = "");
    ~FakeCamera();  // stops the thread and unlinks the mailbox

    const std::string& name() const { return name_; }
    std::vector<CamRequest> requests() const;
    CamRequest last() const;  // the latest request, or an empty one
    void setHandler(Handler handler);

  private:
    void serve();
    void answer(const CamRequest& request);

    std::string name_;
    mqd_t mqd_;
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<CamRequest> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A context wired to a fresh private reply mailbox and to the camera's mailbox.
class LinkContext {
  public:
    // The reply mailbox gets a fresh unique name when rxName is empty.
    explicit LinkContext(const std::string& cameraName, int replyTimeoutMs = 300,
                         const std::string& rxName = "");
    ~LinkContext();  // closes both descriptors, unlinks the reply mailbox

    ztc_msg_q_context_t ctx{};
    long queuedReplies() const;  // messages waiting in the reply mailbox
};

#endif
