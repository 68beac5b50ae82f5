// The daemon's command table by name: a command word (short name, full name or numeric id) to its
// id and table entry.
#ifndef ZTCLIENT_COMMANDS_H
#define ZTCLIENT_COMMANDS_H

#include <stdint.h>

#include <string>

#include "ztcontrol_commands.h"

namespace ztclient {

// False when the word is neither a number nor a command's name. A number outside the table is
// still a command id (info then null): the daemon answers it.
bool resolveCommand(const std::string& word, uint32_t& id, const ZtcontrolCommandInfo*& info);
// The full name of a table entry, or "UNASSIGNED".
const char* commandName(const ZtcontrolCommandInfo* info);

}  // namespace ztclient

#endif
