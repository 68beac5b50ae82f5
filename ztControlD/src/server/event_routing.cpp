// Suspend/resume, CSI subscription answers and CSI state events.
#include <string>

#include "server/event_routing.h"
#include "server/ztcontrol_if_server.h"
#include "transcode/transcode_job.h"
#include "util/log_text.h"
#include "ztLog.h"
#include "ztTlv.h"

namespace {
constexpr size_t kLogValueText = 64;
// The notification text follows one byte and a 32-bit word in the CN argument.
constexpr size_t kCsiTextOffset = 5;
}  // namespace

void handleCsiStateEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg) {
    ZTLOG(UTIL_LOG_INFO, "Processing CAT_ZTNET_CMD state event from CSI");
    TlvValue cmd = findReceivedElement(msg, TLV_CMD);
    if (!valueStartsWith(cmd, "CN")) {
        char text[kLogValueText];
        ZTLOG(UTIL_LOG_ERROR, "Unexpected Response type on CSI notification [%s]", valueAsText(cmd, text, sizeof(text)));
        return;
    }
    const char* notification = textInValue(msg, findReceivedElement(msg, TLV_CMDARG), kCsiTextOffset);
    if (!notification) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to find TLV_CMDARG in message from ztNet");
        return;
    }
    ZTLOG(UTIL_LOG_DEBUG, "Got CSI notification string %s", LogText(notification).c_str());
    if (!handleTranscodeNotification(server, std::string(notification)))
        ZTLOG(UTIL_LOG_WARN, "Notification [%s] does not match any active transcode!", LogText(notification).c_str());
}

void handleSubscribeAnswer(const ReceivedTlv& msg) {
    TlvValue cmd = findReceivedElement(msg, TLV_CMD);
    if (!valueStartsWith(cmd, "CR")) {
        char text[kLogValueText];
        ZTLOG(UTIL_LOG_ERROR, "Unexpected Response type on CSI subscribe response [%s]",
              valueAsText(cmd, text, sizeof(text)));
        return;
    }
    TlvValue status = findReceivedElement(msg, TLV_RSPARG);
    if (!status.data || status.length < 1) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to find TLV_CMDARG in message from ztNet");
        return;
    }
    if (status.data[0] != 0)
        ZTLOG(UTIL_LOG_ERROR, "CSI Subscribe/unsubscribe failed");
    else
        ZTLOG(UTIL_LOG_DEBUG, "Got success response to CSI subscribe/unsubscribe");
}

void handlePowerEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg) {
    TlvValue cmd = findReceivedElement(msg, TLV_CMD);
    if (valueStartsWith(cmd, "JR")) {
        // Selected again on every resume: the camera may have changed the protocol meanwhile.
        uint8_t model = 0;
        int e = server->readModelNumber(&model);
        if (e != 0) {
            ZTLOG(UTIL_LOG_ERROR,
                  "Unable to set protocol adapter - Cannot get CSI_MODEL_NUMBER, err %d - try again on next resume", e);
            return;
        }
        ztc_select_protocol_adapter(model);
        server->protocolAdapterSet = true;
    } else if (valueStartsWith(cmd, "JS")) {
        server->needLenses = true;
        server->presetRefreshPending = true;
    } else {
        char text[kLogValueText];
        ZTLOG(UTIL_LOG_ERROR, "Unexpected Response type on CSI subscribe response [%s]",
              valueAsText(cmd, text, sizeof(text)));
    }
}
