// The daemon's command server for the fuzz targets that run whole messages: set up once per
// process, never started (no worker, no acceptor), wired to the camera simulator running on its
// own threads on private mailbox names, so a fuzz run never touches the fixed names and can run
// beside the daemon's tests. The fuzz thread plays the worker: it puts a message into the
// receive buffer and routes it as the worker does.
#ifndef ZT_FUZZ_DAEMON_FIXTURE_H
#define ZT_FUZZ_DAEMON_FIXTURE_H

#include <stddef.h>
#include <stdint.h>

class Msg;
class ZtcontrolCommandServer;

class DaemonFixture {
public:
    // The one fixture of the process, set up on first use; aborts when the simulator cannot run.
    static DaemonFixture& get();

    ZtcontrolCommandServer* server() { return server_; }
    // The reply mailbox name of the fuzz requester (with its NUL when given as element 68).
    const char* requesterName() const { return requesterName_; }

    // Routes the first length bytes (at most the receive buffer) as a received message, then
    // restores what one input may break for the next (camera power, the worker's running flag)
    // and drops the simulator's events. The number of answers that reached the requester.
    int route(const uint8_t* message, size_t length);
    // Camera faults for the next route() only: every successful answer cut to cutBytes (when
    // >= 0), every operation failing with error (when non-zero).
    void cameraFaults(int cutBytes, int32_t error);
    // One status poll of the worker loop (notification clients registered by requests included).
    void poll();

private:
    DaemonFixture();
    int drainAnswers();
    void drainEvents();

    ZtcontrolCommandServer* server_ = nullptr;
    Msg* request_ = nullptr;
    char requesterName_[48] = {};
    int requester_ = -1;
    int events_ = -1;
    bool faulty_ = false;
};

#endif
