// In-process test harness: the camera simulator on its own threads (default mailbox names) and
// the command server started without daemon_init, with the level log captured. Tests that use it
// take the CTest resource lock of the fixed mailbox names.
//
//   InProcessDaemon d;
//   ASSERT_TRUE(d.startSimulator());      // prepare d.sim() state here if needed
//   ASSERT_EQ(d.startServer(), 0);
//   Reply r = d.requester().call(ZTCONTROL_DELETE_LAST);
//   d.sendEvent(buildTlvEvent(16, "JS", std::nullopt, TLV_CMDARG));
//   ASSERT_TRUE(d.sync());                 // now server fields may be read
//   d.stopServer();                        // also done by the destructor
#ifndef ZTCONTROLD_TESTS_DAEMON_HARNESS_H
#define ZTCONTROLD_TESTS_DAEMON_HARNESS_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "camsim/camera_sim.h"
#include "support/log_capture.h"
#include "support/requester.h"
#include "ztc_control.h"

class ZtcontrolCommandServer;

class InProcessDaemon {
public:
    explicit InProcessDaemon(camsim::Options options = camsim::Options());
    ~InProcessDaemon();
    InProcessDaemon(const InProcessDaemon&) = delete;
    InProcessDaemon& operator=(const InProcessDaemon&) = delete;

    camsim::CameraSim& sim() { return *sim_; }
    LogCapture& log() { return log_; }
    Requester& requester() { return requester_; }
    ZtcontrolCommandServer* server() { return server_; }

    ::testing::AssertionResult startSimulator();
    // Clears the model number cache, sets the log level (before any server thread exists), starts
    // the server and waits until its worker runs. The start() result.
    int startServer(int logLevel = 6);
    // stop() and destroyInstance(); the log level is restored.
    void stopServer();

    // Puts a raw message on the daemon mailbox (in order with the requester's requests). What the
    // test did before is ordered before the worker handles it (through the worker's "received"
    // log line, logged at level 5 and above).
    bool sendEvent(const Bytes& message);
    // Returns once the worker has handled everything sent to it so far, so that server fields can
    // be read: a round trip of an unhandled id, waited for in the captured log. Needs the protocol
    // adapter to be set.
    bool sync();
    // The same while the adapter is not set: waits for two more status polls.
    bool syncWithoutAdapter();
    // Simulator and server started and idle, with the operations log and the captured log empty:
    // the common start of a test that checks what one command does.
    ::testing::AssertionResult startClean();

private:
    std::unique_ptr<camsim::CameraSim> sim_;
    LogCapture log_;
    Requester requester_;
    ZtcontrolCommandServer* server_ = nullptr;
    int savedLogLevel_;
};

// A camera link of the test's own (private reply mailbox), to prepare the simulated camera
// through the control library before the server runs.
class PrivateCameraLink {
public:
    PrivateCameraLink();
    ~PrivateCameraLink();
    PrivateCameraLink(const PrivateCameraLink&) = delete;
    PrivateCameraLink& operator=(const PrivateCameraLink&) = delete;
    bool open() const { return context_.rxMqd != (mqd_t)-1 && context_.txMqd != (mqd_t)-1; }
    ztc_msg_q_context_t* context() { return &context_; }

private:
    PrivateQueue replies_{"link", 2};
    ztc_msg_q_context_t context_{};
    ztc_msg_q_context_t* previous_;  // the library's context before this link was used
};

// True when the named mailbox exists.
bool mailboxExists(const char* name);

#endif
