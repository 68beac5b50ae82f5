// Handlers of the TLV events that reach the daemon mailbox, by category (header byte 3).
#ifndef EVENT_ROUTING_H
#define EVENT_ROUTING_H

#include "server/received_tlv.h"

class ZtcontrolCommandServer;

enum EventCategory : uint8_t {
    CAT_RTOS_CMD = 10,      // preset update from the camera
    CAT_POWER_EVENT = 16,   // suspend / resume
    CAT_CSI_RESPONSE = 17,  // answer to a CSI subscribe or unsubscribe request
    CAT_ZTNET_CMD = 18      // CSI state event (transcode progress)
};

void handlePresetUpdateEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg);
void handlePowerEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg);
void handleSubscribeAnswer(const ReceivedTlv& msg);
void handleCsiStateEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg);

#endif
