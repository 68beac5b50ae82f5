#include "server/camera_probe.h"

#include "server/bounded_send.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"

ProbeTimeout::ProbeTimeout(ZtcontrolCommandServer* server) : server_(server), saved_(g_ztcContext.replyTimeoutMs) {
    set(CAMERA_PROBE_TIMEOUT_MS);
}

ProbeTimeout::~ProbeTimeout() { set(saved_); }

void ProbeTimeout::set(int timeoutMs) {
    ZtcontrolCommandServer::Lock lock(server_->presetEditTimer.mutex());
    g_ztcContext.replyTimeoutMs = timeoutMs;
}

bool ZtcontrolCommandServer::selectProtocolAdapter() {
    uint8_t model = 0;
    const int e = readModelNumber(&model);
    if (e != 0) {
        ZTLOG(UTIL_LOG_ERROR, "Unable to set protocol adapter - Cannot get CSI_MODEL_NUMBER, err %d", e);
        return false;
    }
    ztc_select_protocol_adapter(model);
    protocolAdapterSet = true;
    return true;
}

// Before the adapter is set the daemon cannot serve commands: it answers them with an error (the
// original dropped them, stop included, until a resume event came) and reads the model again.
bool ZtcontrolCommandServer::retryProtocolAdapter() {
    if (protocolAdapterSet) return true;
    const int64_t now = monotonicMs();
    if (now < modelRetryAtMs) return false;
    modelRetryAtMs = now + MODEL_RETRY_INTERVAL_MS;
    ProbeTimeout probe(this);
    if (!selectProtocolAdapter()) return false;
    ZTLOG(UTIL_LOG_WARN, "Model %d read, protocol adapter set", (int)g_modelNumber);
    // The JSON tables follow the model; they were set up for the default one.
    camera_status_init_bossCache(g_modelNumber, bossCache);
    return true;
}

void ZtcontrolCommandServer::cameraAnswersAgain() {
    cameraSilent = false;
    ZTLOG(UTIL_LOG_WARN, "Camera link answers again, renewing the transcode subscription");
    subscribeTranscodeEvents();
}
