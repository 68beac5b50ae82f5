// The protobuf requests and answers of the preset commands: requests built from protobuf text
// format, answers printed as text format and as JSON.
#ifndef ZTCLIENT_PRESET_MESSAGES_H
#define ZTCLIENT_PRESET_MESSAGES_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace google {
namespace protobuf {
class Descriptor;
}
}  // namespace google

namespace ztclient {

// The message a command takes or answers; null when it takes or answers none.
const google::protobuf::Descriptor* presetRequestType(uint32_t commandId);
const google::protobuf::Descriptor* presetAnswerType(uint32_t commandId);

// A request of the command in text format, for help texts ("" when it takes none).
const char* presetRequestExample(uint32_t commandId);

// Serializes the command's request from text format ("preset_id: 65537"). False with a message
// when the command takes no message or the text does not parse.
bool buildPresetRequest(uint32_t commandId, const std::string& text, std::vector<uint8_t>& out,
                        std::string& error);

// The answer of a command as text format and as one JSON object; false when the command answers
// no message or the bytes do not parse as its message.
bool decodePresetAnswer(uint32_t commandId, const uint8_t* data, size_t length, std::string& text,
                        std::string& json);

}  // namespace ztclient

#endif
