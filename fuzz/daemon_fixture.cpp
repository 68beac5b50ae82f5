#include "daemon_fixture.h"

#include <fcntl.h>
#include <mqueue.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "camsim/camera_sim.h"
#include "csi_settings.h"
#include "fuzz_support.h"
#include "notify/push_client.h"
#include "notify/push_registry.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"
#include "zt_msg_classes.h"

// The daemon waits half a second after creating a custom preset for the camera to settle (the
// only fixed wait on the request path). The simulator has nothing to settle, and an input that
// creates a preset would otherwise run at two executions a second and hide everything else; so
// in the fuzz programs the wait returns at once.
extern "C" int usleep(useconds_t) { return 0; }

namespace {

camsim::CameraSim* g_sim = nullptr;
std::string g_cameraName, g_eventsName, g_replyName, g_requesterName;

mqd_t openQueue(const std::string& name, long maxMessages) {
    struct mq_attr attr;
    memset(&attr, 0, sizeof(attr));
    attr.mq_maxmsg = maxMessages;
    attr.mq_msgsize = ZT_MSG_BUFFER_SIZE;
    mq_unlink(name.c_str());
    return mq_open(name.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
}

// The private names go with the process (a crash leaves them; they carry the pid).
void removeNames() {
    if (g_sim) g_sim->stop();
    for (const std::string* name : {&g_eventsName, &g_replyName, &g_requesterName}) mq_unlink(name->c_str());
}

}  // namespace

DaemonFixture& DaemonFixture::get() {
    static DaemonFixture* fixture = new DaemonFixture();
    return *fixture;
}

DaemonFixture::DaemonFixture() {
    // With ZT_FUZZ_VERBOSE=1 the level log also goes to standard error, to see why an input
    // went where it went.
    if (!fuzzSilenceLogs()) {
        g_logLevel = UTIL_LOG_TRACE;
        ztUtilSetLogSink([](int, const char* line, void*) { fprintf(stderr, "%s\n", line); }, nullptr);
    }
    const std::string tag = std::to_string(getpid());
    g_cameraName = "/ztfz_cam_" + tag;
    g_eventsName = "/ztfz_dmn_" + tag;
    g_replyName = "/ztfz_rx_" + tag;
    g_requesterName = "/ztfz_req_" + tag;
    strncpy(requesterName_, g_requesterName.c_str(), sizeof(requesterName_) - 1);

    // The simulator's events (preset switches, transcode progress, suspend) land here and are
    // dropped: an input's outcome should depend on the input, not on the simulator's timing.
    events_ = (int)openQueue(g_eventsName, 8);
    requester_ = (int)openQueue(g_requesterName, 8);
    FUZZ_CHECK(events_ != -1 && requester_ != -1);

    camsim::Options options;
    options.cameraMbox = g_cameraName;
    options.daemonMbox = g_eventsName;
    options.verbosity = 0;
    options.model = 55;
    g_sim = new camsim::CameraSim(options);
    if (g_sim->start() != 0) {
        fprintf(stderr, "simulator: %s\n", g_sim->lastError().c_str());
        abort();
    }
    atexit(removeNames);

    resetControlContext();
    g_ztcContext.rxMqd = openQueue(g_replyName, 2);
    // The library waits for its replies; the descriptor must block.
    struct mq_attr blocking;
    memset(&blocking, 0, sizeof(blocking));
    mq_setattr(g_ztcContext.rxMqd, &blocking, nullptr);
    strncpy(g_ztcContext.rxName, g_replyName.c_str(), sizeof(g_ztcContext.rxName) - 1);
    strncpy(g_ztcContext.cameraMboxName, g_cameraName.c_str(), sizeof(g_ztcContext.cameraMboxName) - 1);
    g_ztcContext.txMqd = mq_open(g_cameraName.c_str(), O_WRONLY);
    g_ztcContext.replyTimeoutMs = 2000;
    FUZZ_CHECK(g_ztcContext.rxMqd != (mqd_t)-1 && g_ztcContext.txMqd != (mqd_t)-1);

    // What start() and the worker's first steps do, without the fixed mailbox names.
    g_modelNumber = 0;
    FUZZ_CHECK(ztc_state_get_model_number(&g_ztcContext, &g_modelNumber) == 0);
    ztc_select_protocol_adapter(g_modelNumber);
    server_ = ZtcontrolCommandServer::getInstance();
    server_->protocolAdapterSet = true;
    server_->rxBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];
    server_->txBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];
    memset(&server_->lastSnapshot, 0, sizeof(server_->lastSnapshot));
    memset(&server_->throttledSnapshot, 0, sizeof(server_->throttledSnapshot));
    memset(&server_->lastThrottledPoll, 0, sizeof(server_->lastThrottledPoll));
    server_->running = true;
    server_->initCameraState();
    request_ = new Msg(ZT_MSG_CATEGORY);
}

int DaemonFixture::route(const uint8_t* message, size_t length) {
    length = std::min(length, (size_t)ZT_MSG_BUFFER_SIZE);
    // Stale bytes of the previous input stay past the new message, as in the worker's buffer.
    memcpy(server_->rxBuffer, message, length);
    request_->clear();
    routeReceivedMessage(server_, *request_, length);
    const int answers = drainAnswers();
    drainEvents();
    // An input may stop the worker or switch the camera off; the next one starts from a camera
    // that is on and a worker that runs.
    server_->running = true;
    if (faulty_) g_sim->clearFaults();
    faulty_ = false;
    g_sim->setPower(true);
    return answers;
}

void DaemonFixture::cameraFaults(int cutBytes, int32_t error) {
    if (cutBytes >= 0) g_sim->setAnswerCut(camsim::OpMatch::any(), cutBytes);
    if (error != 0) g_sim->injectFault(camsim::OpMatch::any(), error);
    faulty_ = cutBytes >= 0 || error != 0;
}

void DaemonFixture::poll() {
    // Queue clients an input registered get notifications only when their names are this
    // process's own: on a shared machine a name like /to_ztnet belongs to someone's running test.
    std::vector<std::string> foreign;
    for (const NotificationClient* client : server_->pushClients) {
        if (client->clientType != NOTIFICATION_CLIENT_MQ) continue;
        const std::string& name = static_cast<const MQNotificationClient*>(client)->queue_name;
        if (name.compare(0, 6, "/ztfz_") != 0) foreign.push_back(name);
    }
    for (const std::string& name : foreign) removeQueueClient(server_, name.c_str());
    pollStatusSettingsAndNotify(server_);
    drainAnswers();
}

int DaemonFixture::drainAnswers() {
    static uint8_t buffer[ZT_MSG_BUFFER_SIZE];
    int n = 0;
    while (mq_receive((mqd_t)requester_, reinterpret_cast<char*>(buffer), sizeof(buffer), nullptr) >= 0) ++n;
    return n;
}

void DaemonFixture::drainEvents() {
    static uint8_t buffer[ZT_MSG_BUFFER_SIZE];
    while (mq_receive((mqd_t)events_, reinterpret_cast<char*>(buffer), sizeof(buffer), nullptr) >= 0) {
    }
}
