// What ztctl prints: a response as text or as one JSON object, an exchange that failed, and the
// command table.
#ifndef ZTCTL_OUTPUT_H
#define ZTCTL_OUTPUT_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "commands.h"
#include "json.h"
#include "transport.h"
#include "ztcontrol_commands.h"

namespace ztctl {

using namespace ztclient;

std::string renderResultText(uint32_t id, const ZtcontrolCommandInfo* info, const Response& response);
std::string renderResultJson(uint32_t id, const ZtcontrolCommandInfo* info, const Response& response);
// An exchange without a usable response; `error` is a short code ("no_response"...).
std::string renderFailureJson(uint32_t id, const ZtcontrolCommandInfo* info, const char* error,
                              const std::string& detail);

std::string renderCommandTableText();
std::string renderCommandTableJson();

// Lower-case hex digits without separators.
std::string hexString(const uint8_t* data, size_t length);
// Offset, hex and text columns, 16 bytes a line; repeated lines are folded.
std::string hexDump(const uint8_t* data, size_t length, const char* prefix);

}  // namespace ztctl

#endif
