// The notification-client registry beyond addPushClient: queue clients by name, the socket
// clients' on/off switch, and the fan-out of one notification text.
#ifndef PUSH_REGISTRY_H
#define PUSH_REGISTRY_H

#include <poll.h>
#include <stddef.h>
#include <stdint.h>

#include <sstream>

class NotificationClient;
class ZtcontrolCommandServer;

// Adds a queue client for the name unless one is registered already, and resumes it. 0, or -1
// when the registry is full.
int32_t registerQueueClient(ZtcontrolCommandServer* server, const char* name);
// Destroys the first queue client with the name; 0 whether or not there was one.
int32_t removeQueueClient(ZtcontrolCommandServer* server, const char* name);
// "status=1" resumes every socket client, "status=0" pauses them all; anything else is -3.
int32_t setPushNotificationStatus(ZtcontrolCommandServer* server, const char* text);

// Which clients a fan-out sends to.
enum class FanOutSelection { Everyone, UpToDate, NeedingFullState };

// Sends the text to the selected clients in list order; a client whose send fails is logged,
// destroyed and removed, and the one that moves into its slot is examined next. The caller holds
// pushClientsLock. Every send must be done by deadlineMs (monotonicMs), so that one poll costs at
// most one budget however many peers stall. True when a client was passed over.
bool fanOut(ZtcontrolCommandServer* server, int kind, std::stringstream& text, FanOutSelection selection,
            int64_t deadlineMs);

// The accept loop's watch over the socket clients (client_watch.cpp). Fills fds with the sockets
// of the socket clients, at most max of them; the number filled.
size_t watchedSocketClients(ZtcontrolCommandServer* server, struct pollfd* fds, size_t max);
// The client on fd became readable: what it sent is read and discarded (bounded); when its peer
// closed or reset the connection it is destroyed and removed at once.
void serviceSocketClient(ZtcontrolCommandServer* server, int fd);

#endif
