// What a command family provides to the dispatcher, and the helpers shared by all families.
#ifndef COMMAND_FAMILY_H
#define COMMAND_FAMILY_H

#include <stddef.h>
#include <stdint.h>

#include "presets/preset_loader.h"
#include "util/le_bytes.h"

class Msg;
class MsgElement;
class ZtcontrolCommandServer;

constexpr size_t COMMAND_SCRATCH_SIZE = 1500;

// One command being handled. The dispatcher has checked the argument against the command's kind
// before the handler runs; the handler leaves its result's payload in payload/payloadLength.
struct CommandContext {
    ZtcontrolCommandServer* server;
    const Msg* request;
    uint32_t id;
    const MsgElement* argument;  // element 66, or null
    uint32_t value = 0;          // u8, u16 and u32 arguments
    const uint8_t* payload = nullptr;
    uint16_t payloadLength = 0;
    bool refused = false;  // ended in the refusal tail: handleCommand returns false
    void (*afterResponse)() = nullptr;  // work that must follow the answer
    uint8_t scratch[COMMAND_SCRATCH_SIZE];
};

typedef int32_t (*CommandHandler)(CommandContext& c);

struct CommandBinding {
    uint32_t id;
    CommandHandler handler;
    uint16_t minArgumentBytes;  // bytes arguments: the size of the structure the handler reads
    const char* refusalText;    // logged when the argument is refused; null: "Invalid parameter"
};

struct CommandFamily {
    const CommandBinding* bindings;
    size_t count;
};

// The families built so far (one file each).
extern const CommandFamily kCaptureModeCommands;
extern const CommandFamily kMediaSystemCommands;
extern const CommandFamily kPresetCommands;
extern const CommandFamily kSettingsStatusCommands;
extern const CommandFamily kWirelessCommands;
extern const CommandFamily kTranscodeCommands;

// Refuses the argument: logs the text (default "Invalid parameter") and answers -3.
int32_t refuseArgument(CommandContext& c, const char* text = nullptr);

// Argument accessors; the dispatcher has already checked presence, size and termination.
const uint8_t* argumentBytes(const CommandContext& c);
const char* argumentText(const CommandContext& c);

// Remote operations answered as the library answered them.
int32_t answerSimpleRemote(const char* trace, uint8_t category, uint8_t op);
int32_t sendRemoteByte(uint8_t category, uint8_t op, uint8_t byte);
// Asks for an answer (pointer and length cleared first); the answer belongs to the library.
int32_t remoteQuery(uint8_t category, uint8_t op, const uint8_t** answer, uint16_t* length);
// The same with a payload sent along.
int32_t remoteQueryWithPayload(uint8_t category, uint8_t op, const void* data, uint16_t dataLength,
                               const uint8_t** answer, uint16_t* length);
// Makes a copy of camera bytes the response payload; -1 when they do not fit the scratch area.
int32_t answerWithBytes(CommandContext& c, int32_t result, const uint8_t* bytes, uint16_t length);

// A failed precondition: logs the text and ends in the refusal tail with -1.
int32_t refusePrecondition(CommandContext& c, const char* text);
// The one of a preset edit that cannot be started: "Failed to start preset edit!".
int32_t refusePresetEdit(CommandContext& c);

// One camera change inside a preset edit: the edit is begun for the setting (-1: none in
// particular; refused with -1 when it cannot be begun), the change made and the edit stored. The
// change's result is the answer.
template <typename Change>
int32_t changeInPresetEdit(CommandContext& c, int settingId, Change change) {
    if (!beginPresetEdit(settingId)) return refusePresetEdit(c);
    const int32_t result = change();
    storePresetEdit(settingId);
    return result;
}

// The camera refuses with one byte 2 when it is off.
bool isCameraOffAnswer(const uint8_t* answer, uint16_t length);
// Logs the camera-off line (the get-all-settings command has its own spelling) and answers -103.
int32_t answerCameraOff(bool getAllSettings);

#endif
