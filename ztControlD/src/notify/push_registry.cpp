// The notification client registry: at most ten clients, guarded by pushClientsLock.
#include "notify/push_registry.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "csi_settings.h"
#include "notify/push_client.h"
#include "server/bounded_send.h"
#include "server/ztcontrol_if_server.h"
#include "util/log_text.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

constexpr size_t kMaxPushClients = 10;

// Position of the first queue client with the name, or the list's size. Caller holds the lock.
size_t findQueueClient(const ZtcontrolCommandServer* server, const char* name) {
    size_t i = 0;
    for (; i < server->pushClients.size(); ++i) {
        const NotificationClient* client = server->pushClients[i];
        if (client->clientType == NOTIFICATION_CLIENT_MQ &&
            static_cast<const MQNotificationClient*>(client)->queue_name == name)
            break;
    }
    return i;
}

// A whole decimal integer, nothing else; false for an empty text, other characters or overflow.
bool readDecimal(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = strtol(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size();
}

bool selected(const NotificationClient* client, FanOutSelection selection) {
    switch (selection) {
        case FanOutSelection::UpToDate: return !client->needsFullState;
        case FanOutSelection::NeedingFullState: return client->needsFullState;
        default: return true;
    }
}

}  // namespace

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

int32_t registerQueueClient(ZtcontrolCommandServer* server, const char* name) {
    // Notifications into the daemon's own mailboxes or the network daemon's would fill queues
    // that expect other messages: refused like an answer to them.
    if (isReservedMailbox(name)) {
        ZTLOG(UTIL_LOG_ERROR, "Refusing to notify on reserved mailbox '%s'", LogText(name).c_str());
        return ZT_ERR_INVALID_PARAM;
    }
    {
        ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
        if (findQueueClient(server, name) < server->pushClients.size()) return ZT_OK;
    }
    // The acceptor may add a client meanwhile; addPushClient applies the limit again.
    MQNotificationClient* client = new MQNotificationClient(name);
    if (!server->addPushClient(client)) {
        ZTLOG(UTIL_LOG_ERROR, "Unable to add client");
        delete client;
        return ZT_ERR;
    }
    // Only the worker thread calls into registered clients, so this needs no lock.
    client->setPaused(false);
    return ZT_OK;
}

int32_t removeQueueClient(ZtcontrolCommandServer* server, const char* name) {
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    const size_t at = findQueueClient(server, name);
    if (at < server->pushClients.size()) {
        delete server->pushClients[at];
        server->pushClients.erase(server->pushClients.begin() + (long)at);
    }
    return ZT_OK;
}

int32_t setPushNotificationStatus(ZtcontrolCommandServer* server, const char* text) {
    std::string value;
    if (!parseParam(text, "status=", value)) return ZT_ERR_INVALID_PARAM;
    long status = 0;
    if (!readDecimal(value, &status) || (status != 0 && status != 1)) return ZT_ERR_INVALID_PARAM;
    ZtcontrolCommandServer::Lock lock(&server->pushClientsLock);
    for (NotificationClient* client : server->pushClients)
        if (client->clientType == NOTIFICATION_CLIENT_SOCKET) client->setPaused(status == 0);
    return ZT_OK;
}

bool fanOut(ZtcontrolCommandServer* server, int kind, std::stringstream& text, FanOutSelection selection,
            int64_t deadlineMs) {
    std::vector<NotificationClient*>& clients = server->pushClients;
    bool passedOver = false;
    size_t i = 0;
    while (i < clients.size()) {
        NotificationClient* client = clients[i];
        if (!selected(client, selection)) {
            passedOver = true;
            ++i;
            continue;
        }
        client->sendDeadlineMs = deadlineMs;
        if (client->send(kind, text)) {
            ++i;
            continue;
        }
        ZTLOG(UTIL_LOG_WARN, "Failed to send notifications to client, removing client! [%s]", strerror(errno));
        delete client;
        clients.erase(clients.begin() + (long)i);
    }
    return passedOver;
}
