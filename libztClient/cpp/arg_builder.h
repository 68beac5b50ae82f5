// Element-66 bytes of a request: scalars, text, raw hex, and the packed little-endian structures
// of the command families, built from readable flags.
#ifndef ZTCLIENT_ARG_BUILDER_H
#define ZTCLIENT_ARG_BUILDER_H

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "ztcontrol_commands.h"

namespace ztclient {

// The packed argument structures that have readable flags.
enum class ArgFamily {
    None,
    SettingId,     // 30: id, value
    ModeSubMode,   // 5: mode, sub mode
    Button,        // 88: button type, value
    GlintTag,      // 8: tag type, file name, offset
    Liveview,      // 51: exposure mode, x, y, extra
    ApSsidConfig,  // 17: ssid, password, flag
    SsidEntry,     // 21, 22: ssid, password, auth type
    MqPush,        // 0: register flag, queue name
    TranscodeVideo,  // 46: file name, eleven words
    TranscodeShort,  // 47, 48: file name, three words
    TranscodeJob   // 49, 50: job id
};

ArgFamily argFamilyOf(uint32_t commandId);
// One line per flag of the family, for help texts; empty for ArgFamily::None.
const char* argFamilyHelp(ArgFamily family);
// True when `flag` (without the leading dashes) is a structure flag of any family.
bool isStructureFlag(const std::string& flag);

// Structure flags as given on the command line, in order ("word" may repeat).
using FlagList = std::vector<std::pair<std::string, std::string>>;

// Builds the packed structure of `family` from the flags. False with a message in `error` when
// a flag does not belong to the family, a required flag is missing, a number is out of range, or
// a text does not fit its field.
bool buildStructure(ArgFamily family, const FlagList& flags, std::vector<uint8_t>& out, std::string& error);

// Scalars: little-endian, width 1, 2 or 4. Accepts decimal, 0x-hex, and for width 4 negative
// values down to INT32_MIN (sent as their two's complement).
bool buildScalar(const std::string& text, int width, std::vector<uint8_t>& out, std::string& error);
// Text with its NUL.
void buildText(const std::string& text, std::vector<uint8_t>& out);
// Hex digits, optionally separated by blanks, colons or dashes; an odd digit count is refused.
bool parseHexBytes(const std::string& text, std::vector<uint8_t>& out, std::string& error);

// The argument as given on the command line: at most one of a scalar option ("u8", "u16",
// "u32", "text", "hex"), a set of structure flags, or one positional value (read by the
// command's argument kind).
struct ArgumentOptions {
    FlagList scalars;
    FlagList structure;
    std::vector<std::string> positionals;
};

// Element-66 bytes for a command; hasArgument stays false when nothing was given (the request
// then goes without element 66). A plain value or --proto of a protobuf command is its request
// in text format.
bool buildArgument(uint32_t commandId, ZtArgKind kind, const ArgumentOptions& options, bool& hasArgument,
                   std::vector<uint8_t>& bytes, std::string& error);

// Number parsing shared by the flags: decimal or 0x-hex, within [min, max].
bool parseInteger(const std::string& text, long long min, unsigned long long max, unsigned long long& out);

}  // namespace ztclient

#endif
