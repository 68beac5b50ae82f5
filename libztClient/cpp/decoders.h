// Payload decoders: turn a response payload into a small tree of named values that the text and
// JSON printers render. Each decoder checks the exact size it needs and never reads past the
// payload; a payload it does not know is left to the hex dump.
#ifndef ZTCLIENT_DECODERS_H
#define ZTCLIENT_DECODERS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace ztclient {

struct Node {
    enum class Kind { Int, Uint, Text, Bool, Object, Array };
    std::string key;  // empty for array items
    Kind kind = Kind::Object;
    long long i = 0;
    unsigned long long u = 0;
    std::string text;
    std::vector<Node> items;

    static Node integer(std::string key, long long v);
    static Node unsignedInt(std::string key, unsigned long long v);
    static Node string(std::string key, std::string v);
    static Node boolean(std::string key, bool v);
    static Node object(std::string key);
    static Node array(std::string key);
    Node& add(Node child);
};

struct Decoded {
    bool known = false;   // false: nothing decoded, the printers show a hex dump only
    std::string kind;     // short description of the payload ("scan page", "transcode record"...)
    Node fields;          // object of decoded members
    std::string note;     // why a payload of a known command was not decoded (wrong size)
    // A protobuf answer, decoded: its text format and its JSON object (fields stays empty).
    std::string messageText;
    std::string messageJson;
};

Decoded decodePayload(uint32_t commandId, const uint8_t* data, size_t length);
// One line saying what a command's answer payload is, for help texts.
const char* payloadDescription(uint32_t commandId);

// The individual decoders, exposed for tests. Each returns false (and leaves `out` empty) when the
// size is not the one it decodes.
bool decodeId(const char* name, const uint8_t* data, size_t length, Node& out);
bool decodeScanPage(const uint8_t* data, size_t length, Node& out);
bool decodeTranscodeRecord(const uint8_t* data, size_t length, Node& out);
bool decodeTranscodeHistory(const uint8_t* data, size_t length, Node& out);
bool decodeStatusBlock(const uint8_t* data, size_t length, Node& out);
bool decodeSettingsBlock(const uint8_t* data, size_t length, Node& out);
bool decodeStatusRecord(const uint8_t* data, size_t length, Node& out);
bool decodeFixedText(const char* name, const uint8_t* data, size_t length, size_t fieldSize, Node& out);
// Printable text, optionally followed by NUL bytes only.
bool decodePrintableText(const uint8_t* data, size_t length, Node& out);

// Sizes of the fixed payloads.
constexpr size_t kIdPayloadSize = 4;
constexpr size_t kScanPageSize = 492;
constexpr size_t kTranscodeRecordSize = 552;
constexpr size_t kTranscodeHistorySize = 2 * kTranscodeRecordSize;
constexpr size_t kStatusBlockSize = 384;
constexpr size_t kSettingsBlockSize = 238;
constexpr size_t kStatusRecordSize = 624;
constexpr size_t kCalibrationPathSize = 257;

}  // namespace ztclient

#endif
