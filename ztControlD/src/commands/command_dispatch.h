// The command handler: runs one control request and answers it.
#ifndef COMMAND_DISPATCH_H
#define COMMAND_DISPATCH_H

#include <stdint.h>

class Msg;
class ZtcontrolCommandServer;

// Sends exactly one response, except when the protocol adapter is not set (then none). False on
// the refusal paths (not ready, unhandled id, refused argument), true otherwise.
bool handleCommand(ZtcontrolCommandServer* server, const Msg* request, uint32_t id);

#endif
