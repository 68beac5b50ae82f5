#include "outbox.h"

#include <stdio.h>
#include <string.h>

#include "ztMbox.h"

namespace camsim {

namespace {

constexpr int kTryMs = 100;    // one send attempt
constexpr int kRetryMs = 50;   // pause before the next attempt

}  // namespace

int timedSend(const char* dest, const uint8_t* msg, int len, int timeoutMs) {
    ztMboxAttr box;
    if (ztMbox_txopen(dest, &box) != 0) return -1;
    int r = ztMbox_timedsend(msg, len, &box, timeoutMs);
    ztMbox_close(&box);
    return r;
}

Outbox::Outbox(const SimLog& log) : log_(log), slots_(kSlots) {}

Outbox::~Outbox() { stop(); }

void Outbox::start() {
    std::lock_guard<std::mutex> lock(mu_);
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread(&Outbox::run, this);
}

void Outbox::stop() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mu_);
    size_t dropped = 0;
    for (Slot& s : slots_) {
        if (s.state != Slot::Free) ++dropped;
        s.state = Slot::Free;
    }
    if (dropped) log_.write(SIMLOG_INFO, "%zu unsent message(s) dropped at stop", dropped);
}

int Outbox::post(const std::string& dest, const uint8_t* msg, int len, int delayMs, int timeoutMs,
                 const char* what) {
    if (len <= 0 || len > ZTMSG_MAX || dest.empty() || dest.size() >= sizeof(Slot::dest)) return -1;
    std::lock_guard<std::mutex> lock(mu_);
    if (!thread_.joinable() || stopping_) return -1;
    for (Slot& s : slots_) {
        if (s.state != Slot::Free) continue;
        s.state = Slot::Queued;
        s.order = ++order_;
        s.due = Clock::now() + std::chrono::milliseconds(delayMs > 0 ? delayMs : 0);
        s.deadline = s.due + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
        memcpy(s.dest, dest.c_str(), dest.size() + 1);
        snprintf(s.what, sizeof s.what, "%s", what);
        memcpy(s.buf, msg, size_t(len));
        s.len = len;
        cv_.notify_all();
        return 0;
    }
    log_.write(SIMLOG_ERROR, "send queue full: %s to %s dropped", what, dest.c_str());
    return -1;
}

size_t Outbox::pending() const {
    std::lock_guard<std::mutex> lock(mu_);
    size_t n = 0;
    for (const Slot& s : slots_)
        if (s.state != Slot::Free) ++n;
    return n;
}

// The oldest queued message whose time has come and that no older message to the same mailbox
// is still waiting for; *wake is when to look again otherwise.
Outbox::Slot* Outbox::nextDue(Clock::time_point now, Clock::time_point* wake) {
    Slot* best = nullptr;
    *wake = now + std::chrono::seconds(1);
    for (Slot& s : slots_) {
        if (s.state != Slot::Queued) continue;
        bool blocked = false;
        for (const Slot& o : slots_)
            if (&o != &s && o.state != Slot::Free && o.order < s.order && !strcmp(o.dest, s.dest)) blocked = true;
        if (blocked) continue;
        if (s.due <= now) {
            if (!best || s.order < best->order) best = &s;
        } else if (s.due < *wake) {
            *wake = s.due;
        }
    }
    return best;
}

void Outbox::run() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!stopping_) {
        Clock::time_point wake;
        Slot* s = nextDue(Clock::now(), &wake);
        if (!s) {
            cv_.wait_until(lock, wake);
            continue;
        }
        s->state = Slot::Sending;
        lock.unlock();
        // Only this thread touches a slot while it is being sent.
        int r = timedSend(s->dest, s->buf, s->len, kTryMs);
        lock.lock();
        Clock::time_point now = Clock::now();
        if (r == 0) {
            log_.write(SIMLOG_TRACE, "sent %s to %s", s->what, s->dest);
            s->state = Slot::Free;
        } else if (now >= s->deadline) {
            log_.write(SIMLOG_ERROR, "%s to %s dropped: mailbox full or missing", s->what, s->dest);
            s->state = Slot::Free;
        } else {
            s->state = Slot::Queued;
            s->due = now + std::chrono::milliseconds(kRetryMs);
        }
    }
}

}  // namespace camsim
