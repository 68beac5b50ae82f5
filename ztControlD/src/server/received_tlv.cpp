#include "server/received_tlv.h"

#include <string.h>

#include "util/log_text.h"
#include "ztTlv.h"

namespace {
constexpr size_t kElementHeader = 4;
}

TlvValue findReceivedElement(const ReceivedTlv& msg, int type) {
    TlvValue value;
    const uint8_t* element = tlv_find(msg.message, type);
    if (!element || element < msg.message) return value;
    size_t offset = (size_t)(element - msg.message);
    if (offset + kElementHeader > msg.length) return value;
    uint16_t length = (uint16_t)((element[1] << 8) | element[2]);
    if (offset + kElementHeader + length > msg.length) return value;
    value.data = element + kElementHeader;
    value.length = length;
    return value;
}

bool valueStartsWith(const TlvValue& value, const char code[2]) {
    return value.data && value.length >= 2 && memcmp(value.data, code, 2) == 0;
}

const char* valueAsText(const TlvValue& value, char* out, size_t outSize) {
    if (outSize == 0) return "";
    const LogText text(reinterpret_cast<const char*>(value.data), value.data ? value.length : 0);
    const size_t n = strnlen(text.c_str(), outSize - 1);
    memcpy(out, text.c_str(), n);
    out[n] = '\0';
    return out;
}

const char* textInValue(const ReceivedTlv& msg, const TlvValue& value, size_t offset) {
    if (!value.data || value.length < offset) return nullptr;
    const uint8_t* text = value.data + offset;
    const uint8_t* end = msg.message + msg.length;
    if (text >= end || !memchr(text, '\0', (size_t)(end - text))) return nullptr;
    return reinterpret_cast<const char*>(text);
}
