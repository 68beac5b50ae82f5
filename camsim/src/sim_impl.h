// Inside of CameraSim, shared by its source files.
#ifndef CAMSIM_SIM_IMPL_H
#define CAMSIM_SIM_IMPL_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "answer.h"
#include "camera_model.h"
#include "camsim/camera_sim.h"
#include "control_server.h"
#include "event_sink.h"
#include "faults.h"
#include "ops_log.h"
#include "outbox.h"
#include "sim_log.h"
#include "tlv_message.h"
#include "ztMbox.h"

namespace camsim {

struct CameraSim::Impl : public EventSink {
    explicit Impl(const Options& o);

    // EventSink: builds the event for the daemon mailbox and queues it. Caller may hold mu.
    int postEvent(int category, const char* cmd, const uint8_t* arg, int argLen) override;
    int presetUpdateEvent(uint8_t event, uint32_t presetId);
    int transcodeEvent(const std::string& text);

    int start();
    void stop();
    double realSeconds() const;
    void serve();
    void wakeServeThread();
    void handleMessage(int len);
    void handleSubscription(const TlvReader& r);
    void handleRequest(const TlvReader& r);
    // Fills answer_ for the operation; called with mu held.
    void dispatch(const OpId& id, const uint8_t* p, int n);
    void sendReply(const std::string& dest, const uint8_t* msg, int len, int delayMs, const char* what);
    int sendToReplyBox(const std::string& dest, const uint8_t* msg, int len);
    void recordUnanswerable(int category, const char* why);

    // Control channel (control_commands.cpp) and state document (state_json.cpp).
    std::string runCommand(const std::string& line);
    std::string stateJsonLocked() const;
    std::string opsJsonLocked(size_t max) const;

    Options opt;
    SimLog log;
    mutable std::mutex mu;  // model, faults, ops
    mutable std::condition_variable opsCv;
    CameraModel model;
    Faults faults;
    OpsLog ops;
    Outbox outbox;
    ControlServer control;

    std::chrono::steady_clock::time_point t0;
    std::atomic<bool> runningFlag{false};
    std::atomic<bool> stopping{false};
    std::thread serveThread;
    ztMboxAttr camBox{};
    int lockFd = -1;
    ztMboxAttr replyBox{(mqd_t)-1, {}, nullptr};  // serve thread only; mqd -1 when closed
    std::string replyBoxName;
    std::string error;

    // Owned by the serve thread.
    uint8_t rx[ZTMSG_MAX];
    uint8_t tx[ZTMSG_MAX];
    Answer answer_;
};

}  // namespace camsim

#endif
