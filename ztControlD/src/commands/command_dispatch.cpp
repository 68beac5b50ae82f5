// The dispatch table of all command ids, the argument checks and the common tail.
#include "commands/command_dispatch.h"

#include <string.h>

#include <array>

#include "commands/command_family.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

struct CommandEntry {
    CommandHandler handler = nullptr;
    ZtArgKind kind = ZT_ARG_NONE;
    uint16_t minArgumentBytes = 0;
    const char* refusalText = nullptr;
};

using CommandTable = std::array<CommandEntry, ZTCONTROL_LAST_HANDLED_ID + 1>;

const CommandFamily* const kFamilies[] = {&kCaptureModeCommands, &kMediaSystemCommands, &kPresetCommands,
                                          &kSettingsStatusCommands, &kTranscodeCommands, &kWirelessCommands};

// Ids no family binds (reserved or retired ones) stay without a handler and answer "unhandled".
CommandTable buildTable() {
    CommandTable table{};
    for (const CommandFamily* family : kFamilies) {
        for (size_t i = 0; i < family->count; ++i) {
            const CommandBinding& binding = family->bindings[i];
            const ZtcontrolCommandInfo* info = ztcontrolCommandById(binding.id);
            if (!info || binding.id >= table.size()) continue;
            table[binding.id] = {binding.handler, info->argKind, binding.minArgumentBytes, binding.refusalText};
        }
    }
    return table;
}

const CommandEntry* entryFor(uint32_t id) {
    static const CommandTable table = buildTable();
    if (id >= table.size() || !table[id].handler) return nullptr;
    return &table[id];
}

// Checks element 66 against the command's argument kind; reads uN values into the context.
bool argumentAccepted(const CommandEntry& entry, CommandContext& c) {
    const MsgElement* arg = c.argument;
    if (entry.kind == ZT_ARG_ANY) return true;
    if (entry.kind == ZT_ARG_NONE) return arg == nullptr;
    if (!arg || !arg->getData()) return false;
    switch (entry.kind) {
        case ZT_ARG_BYTES:
            return arg->getLength() >= entry.minArgumentBytes;
        case ZT_ARG_TEXT:
            return memchr(arg->getData(), '\0', arg->getLength()) != nullptr;
        case ZT_ARG_U8: {
            uint8_t v;
            if (!arg->getValue8(v)) return false;
            c.value = v;
            return true;
        }
        case ZT_ARG_U16: {
            uint16_t v;
            if (!arg->getValue16(v)) return false;
            c.value = v;
            return true;
        }
        case ZT_ARG_U32:
            return arg->getValue32(c.value);
        default:  // protobuf: parsed by the handler
            return true;
    }
}

}  // namespace

bool handleCommand(ZtcontrolCommandServer* server, const Msg* request, uint32_t id) {
    if (!server->protocolAdapterSet) {
        ZTLOG(UTIL_LOG_ERROR, "protocol adapter not set - throwing out command");
        return false;
    }
    CommandContext c;
    c.server = server;
    c.request = request;
    c.id = id;
    c.argument = request->findElement(ZT_TAG_ARGUMENT);

    int32_t result;
    const CommandEntry* entry = entryFor(id);
    if (!entry) {
        // Ids are unsigned: %u shows an id of 2^31 and above as sent (the same text below that).
        ZTLOG(UTIL_LOG_ERROR, "Unhandled command %u", (unsigned)id);
        c.refused = true;
        result = ZT_ERR_NOT_SUPPORTED;
    } else if (!argumentAccepted(*entry, c)) {
        result = refuseArgument(c, entry->refusalText);
    } else {
        result = entry->handler(c);
    }

    server->sendResponse(request, result, c.payload, c.payloadLength);
    // The camera link timed out: from now on the poll probes the camera with a short time-out, and
    // its first answer renews the network daemon's subscription (camera_probe.h).
    if (result == ZT_ERR_MQ_FAIL) server->cameraSilent = true;
    if (c.afterResponse) c.afterResponse();
    if (result != ZT_OK)
        ZTLOG(UTIL_LOG_ERROR, "Command:%u returned ztErrno:(%d=%s)", (unsigned)id, result, ztErrno2Str(result));
    return !c.refused;
}
