// The status poll that drives change notifications: reads the camera's status and settings,
// compares them with the snapshots of earlier polls and hands the JSON texts to the clients.
#include <string.h>
#include <sys/time.h>

#include <algorithm>
#include <optional>
#include <sstream>

#include "notify/push_client.h"
#include "notify/push_registry.h"
#include "server/bounded_send.h"
#include "server/camera_probe.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

constexpr uint8_t kCameraOff = 2;
const char kShutdownBody[] = "\"state\":{\n        \"shutdown_pending\":true\n    }\n";
static_assert(sizeof(kShutdownBody) - 1 == 48, "the shutdown body is 48 characters");

// The poll's text buffers. Only the worker thread polls; clearing keeps their capacity, so a
// steady run stops allocating for them.
struct PollTexts {
    std::stringstream group2;    // A
    std::stringstream group1;    // B
    std::stringstream settings;  // C
    std::stringstream body;      // D
    std::stringstream text;      // the notification handed to the clients
};

PollTexts& pollTexts() {
    static PollTexts texts;
    return texts;
}

void reset(std::stringstream& s) {
    s.str(std::string());
    s.clear();
}

// Appends what `from` holds (inserting an empty buffer would mark `to` failed).
void append(std::stringstream& to, std::stringstream& from) {
    if (from.tellp() > 0) to << from.rdbuf();
}

// True when at least one registered client has not paused notifications.
bool anyClientListening(ZtcontrolCommandServer* server) {
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    for (NotificationClient* client : server->pushClients)
        if (!client->isPaused()) return true;
    return false;
}

bool anyClientNeedsFullState(const ZtcontrolCommandServer* server) {
    for (const NotificationClient* client : server->pushClients)
        if (client->needsFullState) return true;
    return false;
}

// Back-off of the poll after a failed camera query: the first retry after a second, then twice
// as long each time, at most four seconds; a poll that gets its answers ends it. A query that timed
// out instead marks the camera silent: it is then probed every CAMERA_PROBE_INTERVAL_MS with the
// probe's short time-out, which costs the worker little, so no growing back-off is needed.
constexpr int kFirstBackoffMs = 1000;
constexpr int kMaxBackoffMs = 4000;

void pollFailed(ZtcontrolCommandServer* server, int error) {
    if (error == ZT_ERR_MQ_FAIL) {
        server->cameraSilent = true;
        server->pollBackoffMs = CAMERA_PROBE_INTERVAL_MS;
    } else {
        server->pollBackoffMs =
            server->pollBackoffMs ? std::min(2 * server->pollBackoffMs, kMaxBackoffMs) : kFirstBackoffMs;
    }
    server->pollRetryAtMs = monotonicMs() + server->pollBackoffMs;
}

// While the camera does not answer, each query takes the camera link's whole time-out. The poll
// normally runs before every wait for a message, so a silent camera would hold every request for
// a failing poll: after a failure the poll waits for its back-off, and a request already waiting
// in the mailbox is served before the next poll.
bool pollBackingOff(ZtcontrolCommandServer* server) {
    if (server->pollBackoffMs == 0) return false;
    if (monotonicMs() < server->pollRetryAtMs) return true;
    struct mq_attr attr;
    return mq_getattr(server->daemonMqd, &attr) == 0 && attr.mq_curmsgs > 0;
}

enum class BlockRead { Copied, CameraOff, Failed };

// One of the two camera queries: 8/11 into the status block, 7/30 into the settings block.
// A failure's error goes to *error.
BlockRead readBlock(uint8_t category, uint8_t op, const char* what, uint8_t* into, uint16_t size, int* error) {
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int r = ztc_send_remote_api_for_response(&g_ztcContext, category, op, &rsp, &len);
    *error = r != 0 ? r : ZT_ERR;
    if (r != 0) {
        ZTLOG(UTIL_LOG_ERROR, "ztc_send_remote_api_for_response error, %d @ %s:%d\n", r, __FILE__, __LINE__);
        return BlockRead::Failed;
    }
    if (!rsp) len = 0;
    if (len == 1 && rsp[0] == kCameraOff) {
        ZTLOG(UTIL_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF\n");
        return BlockRead::CameraOff;
    }
    if (len != size) {
        ZTLOG(UTIL_LOG_ERROR, "ASSERT ERROR - %s size does not match rsp size=%d", what, (int)len);
        return BlockRead::Failed;
    }
    // The answer belongs to the library and is overwritten by its next call.
    memcpy(into, rsp, size);
    return BlockRead::Copied;
}

// Group 2 is compared at most once per whole second of wall-clock time. A clock set back keeps
// it throttled until the clock has passed the stored time by a whole second.
bool group2Due(const timeval& now, const timeval& last) {
    if (last.tv_sec == 0 && last.tv_usec == 0) return true;
    long seconds = (long)(now.tv_sec - last.tv_sec);
    if (now.tv_usec < last.tv_usec) --seconds;
    return seconds > 0;
}

// Writes the change body into texts.body and moves the snapshots on.
void buildChangeBody(ZtcontrolCommandServer* server, const all_status_settings_t& current, PollTexts& texts) {
    int group2 = 0;
    timeval now;
    gettimeofday(&now, nullptr);
    if (group2Due(now, server->lastThrottledPoll)) {
        server->lastThrottledPoll = now;
        group2 = camera_status_serialize_status_changes_to_json(texts.group2, 2, &current, &server->throttledSnapshot,
                                                                modelNumberOrDefault(server), server->bossCache);
        server->throttledSnapshot = current;
    }
    const int group1 = camera_status_serialize_status_changes_to_json(
        texts.group1, 1, &current, &server->lastSnapshot, modelNumberOrDefault(server), server->bossCache);
    if (group2 > 0 && group1 > 0) texts.group2 << ',';
    append(texts.group2, texts.group1);

    const char* separator = "";
    if (group1 + group2 >= 1) {
        texts.body << "\"status\":{";
        append(texts.body, texts.group2);
        texts.body << '}';
        separator = ",\n";
    }
    if (camera_status_serialize_settings_changes_to_json(texts.settings, &current, &server->lastSnapshot,
                                                         modelNumberOrDefault(server)) >= 1) {
        texts.body << separator << "\"settings\":{";
        append(texts.body, texts.settings);
        texts.body << "}\n";
    }
    server->lastSnapshot = current;
}

void buildFullState(const ZtcontrolCommandServer* server, uint8_t model, std::stringstream& text) {
    const all_status_settings_t& record = server->lastSnapshot;
    reset(text);
    text << '{';
    camera_status_serialize_status_to_json(text, &record, model);
    text << ",\n";
    camera_settings_serialize_to_json(text, &record.settings, &record.status, &record.system, model);
    text << '}' << '\0';
}

}  // namespace

void pollStatusSettingsAndNotify(ZtcontrolCommandServer* server) {
    const bool listening = anyClientListening(server);
    if (!server->protocolAdapterSet) {
        ZTLOG(UTIL_LOG_ERROR, "protocol adapter not set - throwing out command");
        return;
    }
    // A silent camera is probed even while nobody listens: its answer tells that the network
    // daemon behind the link may have restarted.
    if ((!listening && !server->cameraSilent) || pollBackingOff(server)) return;
    ZTLOG(UTIL_LOG_INFO, "pollStatusSettingsAndNotify:");

    all_status_settings_t current;
    memset(&current, 0, sizeof(current));
    int error = 0;
    std::optional<ProbeTimeout> probe;
    if (server->cameraSilent) probe.emplace(server);
    const BlockRead status = readBlock(8, 11, "status_all", current.status.bytes, CSI_STATUS_BLOCK_SIZE, &error);
    probe.reset();
    if (status == BlockRead::Failed) return pollFailed(server, error);
    if (server->cameraSilent) server->cameraAnswersAgain();
    if (!listening) {
        server->pollBackoffMs = 0;
        return;
    }
    // Read after the gate, so that a poll nobody listens to makes no camera call.
    const uint8_t entryModel = modelNumberOrDefault(server);
    bool shutdown = status == BlockRead::CameraOff;
    if (!shutdown) {
        BlockRead settings =
            readBlock(7, 30, "settings_all", current.settings.bytes, CSI_SETTINGS_BLOCK_SIZE, &error);
        if (settings == BlockRead::Failed) return pollFailed(server, error);
        shutdown = settings == BlockRead::CameraOff;
        server->fixupStatusRecord(&current);
    }
    server->pollBackoffMs = 0;

    PollTexts& texts = pollTexts();
    for (std::stringstream* s : {&texts.group2, &texts.group1, &texts.settings, &texts.body}) reset(*s);
    if (shutdown)
        texts.body << kShutdownBody;
    else
        buildChangeBody(server, current, texts);

    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    // Both fan-outs of this poll share one budget: stalled peers cannot add up.
    const int64_t deadline = monotonicMs() + NOTIFICATION_FANOUT_BUDGET_MS;
    bool passedOver = false;
    if (texts.body.tellp() > 0) {
        reset(texts.text);
        texts.text << '{';
        append(texts.text, texts.body);
        texts.text << '}' << '\0';
        if (g_logLevel >= UTIL_LOG_DEBUG) ZTLOG(UTIL_LOG_DEBUG, "%s", texts.text.str().c_str());
        passedOver = fanOut(server, shutdown ? NOTIFICATION_KIND_SHUTDOWN : NOTIFICATION_KIND_CHANGE, texts.text,
                            shutdown ? FanOutSelection::Everyone : FanOutSelection::UpToDate, deadline);
    }
    // A shutdown poll sends no full state; the snapshots it would come from are not current.
    if (shutdown) return;
    if (!passedOver && !anyClientNeedsFullState(server)) return;
    buildFullState(server, entryModel, texts.text);
    fanOut(server, NOTIFICATION_KIND_CHANGE, texts.text, FanOutSelection::NeedingFullState, deadline);
}
