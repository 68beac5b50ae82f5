// A test-side requester: sends control requests and TLV events to a daemon mailbox and waits for
// responses on its own private reply mailbox (unique per process and instance).
#ifndef ZTCONTROLD_TESTS_REQUESTER_H
#define ZTCONTROLD_TESTS_REQUESTER_H

#include <mqueue.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct Reply {
    bool received = false;
    uint8_t category = 0;
    uint8_t msgType = 0;
    bool hasResult = false;
    int32_t result = 0;
    bool hasPayload = false;
    Bytes payload;
};

// The CLOCK_REALTIME time ms milliseconds from now, for the timed queue calls.
timespec deadlineIn(int ms);

// Argument builders (element 66 contents).
Bytes u8Arg(uint8_t v);
Bytes u32Arg(uint32_t v);
Bytes textArg(const std::string& s);  // with its NUL
void putLe32(Bytes& b, size_t offset, uint32_t v);
inline Bytes chars(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Reading answers: a little-endian field of 1 to 4 bytes, and the name of entry n of a network
// scan page (48-byte entries after a 12-byte header; the name field is 32 bytes).
inline uint32_t readLe(const Bytes& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) v |= (uint32_t)b[at + i] << (8 * i);
    return v;
}
inline std::string scanPageName(const Bytes& page, size_t entry) {
    const char* p = reinterpret_cast<const char*>(page.data() + 12 + 48 * entry);
    return std::string(p, strnlen(p, 32));
}

// A control request as a malformed-input test wants it: element 68 is left out when replyTo is
// null, element 65 when commandBytes is an empty vector (otherwise its bytes replace the 32-bit
// id), any category. Well-formed requests (send, call) come from the client library.
Bytes buildRequest(uint32_t id, const std::optional<Bytes>& arg, const char* replyTo, uint8_t category = 20,
                   const std::optional<Bytes>& commandBytes = std::nullopt);

// A TLV event: header with the category, TLV_CMD with cmd (omitted when empty), then, when given,
// one more element of argType with arg, then TLV_SRC, TLV_DST and TLV_END.
Bytes buildTlvEvent(uint8_t category, const std::string& cmd, const std::optional<Bytes>& arg, int argType);

// A private queue (name with the pid, created afresh, removed even if the test crashes): a reply
// mailbox, a camera link's, or one a queue client is registered for.
class PrivateQueue {
public:
    explicit PrivateQueue(const std::string& tag, long maxMessages = 4);
    ~PrivateQueue();
    PrivateQueue(const PrivateQueue&) = delete;
    PrivateQueue& operator=(const PrivateQueue&) = delete;

    const std::string& name() const { return name_; }
    mqd_t descriptor() const { return mqd_; }
    // One message, or an empty vector after timeoutMs.
    std::vector<uint8_t> receive(int timeoutMs = 5000);
    // The notification texts (without their NUL) that arrive, each within waitMs of the previous.
    std::vector<std::string> texts(int waitMs);
    long queued() const;
    // Fills the queue with one-byte messages, as a client that stops reading leaves it.
    bool fill();

private:
    std::string name_;
    mqd_t mqd_;
};

struct QueueNotification {
    bool parsed = false;
    uint8_t category = 0;
    uint8_t msgType = 0;
    std::vector<uint8_t> tags;  // in message order
    int32_t result = -1;
    std::string text;           // element 69 as sent, NUL included
};

// Parses an event message back with the message classes.
QueueNotification parseQueueNotification(const std::vector<uint8_t>& bytes);

class Requester {
public:
    explicit Requester(std::string daemonMbox = "/to_ztCtlD") : daemonMbox_(std::move(daemonMbox)) {}

    const std::string& replyName() const { return replies_.name(); }

    // Timed send of raw bytes to the daemon mailbox; false when it is missing or stays full.
    bool sendRaw(const Bytes& bytes, int timeoutMs = 3000);
    bool send(uint32_t id, const std::optional<Bytes>& arg = std::nullopt);
    Reply waitReply(int timeoutMs = 5000);
    // send + waitReply.
    Reply call(uint32_t id, const std::optional<Bytes>& arg = std::nullopt, int timeoutMs = 5000);

private:
    std::string daemonMbox_;
    PrivateQueue replies_{"test"};
};

#endif
