// The status poll that drives change notifications. Only its gate exists so far: the camera
// query, change detection and fan-out are added behind it.
#include "ztLog.h"
#include "ztPushClient.h"
#include "ztcontrol_if_server.h"

namespace {

// True when at least one registered client has not paused notifications.
bool anyClientListening(ZtcontrolCommandServer* server) {
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    for (NotificationClient* client : server->pushClients)
        if (!client->isPaused()) return true;
    return false;
}

}  // namespace

void pollStatusSettingsAndNotify(ZtcontrolCommandServer* server) {
    bool listening = anyClientListening(server);
    if (!server->protocolAdapterSet) {
        ZTLOG(UTIL_LOG_ERROR, "protocol adapter not set - throwing out command");
        return;
    }
    if (!listening) return;
    ZTLOG(UTIL_LOG_INFO, "pollStatusSettingsAndNotify:");
}
