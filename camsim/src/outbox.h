// The sender thread: messages that must not hold up the request loop (events and subscription
// answers to the daemon's 2-message mailbox, delayed replies). Each waits for its due time, is
// tried with a short timed send, and retried until its deadline; then it is dropped with a log
// line. Messages to one mailbox leave in the order they were posted.
#ifndef CAMSIM_OUTBOX_H
#define CAMSIM_OUTBOX_H

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_log.h"
#include "ztTlv.h"

namespace camsim {

class Outbox {
public:
    static constexpr size_t kSlots = 32;

    explicit Outbox(const SimLog& log);
    ~Outbox();
    void start();
    void stop();  // pending messages are dropped

    // Queues a copy of the message for dest, sent no earlier than delayMs from now and tried
    // until timeoutMs after that. 0, or -1 when the queue is full or the arguments are bad.
    int post(const std::string& dest, const uint8_t* msg, int len, int delayMs, int timeoutMs, const char* what);
    size_t pending() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Slot {
        enum State { Free, Queued, Sending } state = Free;
        uint64_t order = 0;
        Clock::time_point due;
        Clock::time_point deadline;
        char dest[64] = {};
        char what[32] = {};
        uint8_t buf[ZTMSG_MAX];
        int len = 0;
    };
    void run();
    Slot* nextDue(Clock::time_point now, Clock::time_point* wake);

    const SimLog& log_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Slot> slots_;
    uint64_t order_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

// One timed send of a complete message to a mailbox (opened and closed around it). 0 or -1.
int timedSend(const char* dest, const uint8_t* msg, int len, int timeoutMs);

}  // namespace camsim

#endif
