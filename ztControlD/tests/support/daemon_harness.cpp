#include "support/daemon_harness.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "camlink_client.h"
#include "queue_cleanup.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"
#include "ztTlv.h"

constexpr uint32_t kSyncId = 90;  // unassigned: answered -104 without touching the camera
const char* const kSyncLine = "Command:90 returned ztErrno:(-104=ZT_ERR_NOT_SUPPORTED)";
const char* const kPollLine = "protocol adapter not set - throwing out command";

bool mailboxExists(const char* name) {
    mqd_t mqd = mq_open(name, O_RDONLY);
    if (mqd == (mqd_t)-1) return false;
    mq_close(mqd);
    return true;
}

InProcessDaemon::InProcessDaemon(camsim::Options options) : savedLogLevel_(g_logLevel) {
    // Leftovers of an earlier crashed run would keep their queued messages.
    for (const char* name : {ZT_DAEMON_MBOX, ZT_REPLY_MBOX, ZT_ZTNET_MBOX}) mq_unlink(zt_cleanup::removeAtCrash(name).c_str());
    options.verbosity = 0;
    sim_.reset(new camsim::CameraSim(options));
}

InProcessDaemon::~InProcessDaemon() {
    stopServer();
    sim_->stop();
}

::testing::AssertionResult InProcessDaemon::startSimulator() {
    if (sim_->start() == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "simulator: " << sim_->lastError();
}

int InProcessDaemon::startServer(int logLevel) {
    g_modelNumber = 0;
    g_logLevel = logLevel;
    server_ = ZtcontrolCommandServer::getInstance();
    int r = server_->start();
    if (r != 0) return r;
    for (int i = 0; i < 500 && !server_->isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server_->isRunning() ? 0 : -1;
}

void InProcessDaemon::stopServer() {
    if (!server_) return;
    server_->stop();
    ZtcontrolCommandServer::destroyInstance();
    server_ = nullptr;
    g_logLevel = savedLogLevel_;
}

bool InProcessDaemon::sendEvent(const Bytes& message) {
    log_.barrier();
    return requester_.sendRaw(message);
}

bool InProcessDaemon::sync() {
    size_t seen = log_.count(kSyncLine);  // also the barrier of sendEvent
    if (!requester_.send(kSyncId)) return false;
    bool answered = requester_.waitReply(10000).received;
    return answered && log_.waitFor(kSyncLine, 5000, seen + 1);
}

::testing::AssertionResult InProcessDaemon::startClean() {
    ::testing::AssertionResult simulator = startSimulator();
    if (!simulator) return simulator;
    if (int r = startServer(); r != 0) return ::testing::AssertionFailure() << "server start returned " << r;
    if (!sync()) return ::testing::AssertionFailure() << "the worker did not answer";
    sim_->clearOps();
    log_.clear();
    return ::testing::AssertionSuccess();
}

bool InProcessDaemon::syncWithoutAdapter() { return log_.waitFor(kPollLine, 5000, log_.count(kPollLine) + 2); }

PrivateCameraLink::PrivateCameraLink() {
    strncpy(context_.rxName, replies_.name().c_str(), sizeof(context_.rxName) - 1);
    context_.rxMqd = replies_.descriptor();
    context_.txMqd = mq_open(ZT_ZTNET_MBOX, O_WRONLY);
    previous_ = camlink_attached_context();
}

// The library remembers the last context used for the calls that take none (the adapter
// selection): it must not be left pointing at this one once it is gone.
PrivateCameraLink::~PrivateCameraLink() {
    camlink_attach_context(previous_);
    if (context_.txMqd != (mqd_t)-1) mq_close(context_.txMqd);
}
