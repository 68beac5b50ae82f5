// The notification client registry: at most ten clients, guarded by pushClientsLock.
#include "ztLog.h"
#include "ztPushClient.h"
#include "ztcontrol_if_server.h"

namespace {
constexpr size_t kMaxPushClients = 10;
}

bool ZtcontrolCommandServer::addPushClient(NotificationClient* client) {
    Lock lock(&pushClientsLock);
    if (pushClients.size() >= kMaxPushClients) {
        ZTLOG(UTIL_LOG_ERROR, "Too many push clients connected, rejecting!");
        return false;
    }
    pushClients.push_back(client);
    ZTLOG(UTIL_LOG_DEBUG, "Total PUSH_NOTIFICATION clients connected:%d", (int)pushClients.size());
    return true;
}

// Runs after the worker has ended; the acceptor has stopped too, so no lock is needed.
void ZtcontrolCommandServer::destroyPushClients() {
    for (NotificationClient* client : pushClients) delete client;
    pushClients.clear();
}
