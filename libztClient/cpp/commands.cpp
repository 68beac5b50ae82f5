#include "commands.h"

#include "arg_builder.h"

namespace ztclient {

bool resolveCommand(const std::string& word, uint32_t& id, const ZtcontrolCommandInfo*& info) {
    unsigned long long v = 0;
    if (!word.empty() && word[0] != '-' && parseInteger(word, 0, UINT32_MAX, v)) {
        id = (uint32_t)v;
        info = ztcontrolCommandById(id);
        return true;
    }
    info = ztcontrolCommandByName(word.c_str());
    if (!info) return false;
    id = info->id;
    return true;
}

const char* commandName(const ZtcontrolCommandInfo* info) { return info ? info->name : "UNASSIGNED"; }

}  // namespace ztclient
