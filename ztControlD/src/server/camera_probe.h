// A camera that has stopped answering is probed with a short time-out instead of the camera link's
// whole one (about 3 s), so that the worker, the only reader of the daemon's mailbox, keeps
// serving requests and events while the camera is silent.
#ifndef CAMERA_PROBE_H
#define CAMERA_PROBE_H

#include <stdint.h>

class ZtcontrolCommandServer;

// How long a probe waits for the camera's answer, and how often a silent camera is probed.
constexpr int CAMERA_PROBE_TIMEOUT_MS = 50;
constexpr int CAMERA_PROBE_INTERVAL_MS = 500;
// How often an unreadable model number is read again.
constexpr int MODEL_RETRY_INTERVAL_MS = 1000;

// Gives the worker's camera exchanges the probe time-out while it lives. The context is shared
// with the preset-edit timer thread, whose calls run under the timer's mutex: the time-out is
// changed under it too.
class ProbeTimeout {
public:
    explicit ProbeTimeout(ZtcontrolCommandServer* server);
    ~ProbeTimeout();
    ProbeTimeout(const ProbeTimeout&) = delete;
    ProbeTimeout& operator=(const ProbeTimeout&) = delete;

private:
    void set(int timeoutMs);

    ZtcontrolCommandServer* server_;
    int saved_;
};

#endif
