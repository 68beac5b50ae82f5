// Bounded reads of the TLV events that arrive on the daemon mailbox: an element is used only when
// it lies completely inside the bytes actually received.
#ifndef RECEIVED_TLV_H
#define RECEIVED_TLV_H

#include <stddef.h>
#include <stdint.h>

struct ReceivedTlv {
    const uint8_t* message;  // the receive buffer
    size_t length;           // bytes received
};

struct TlvValue {
    const uint8_t* data = nullptr;  // null when the element is missing or runs past the message
    uint16_t length = 0;
};

// The first element of the type whose header and value lie inside the received bytes.
TlvValue findReceivedElement(const ReceivedTlv& msg, int type);

// True when the value holds at least the two characters of code.
bool valueStartsWith(const TlvValue& value, const char code[2]);

// The value as log text: its bytes up to the first NUL, control characters escaped (LogText), cut
// to fit out (always terminated).
const char* valueAsText(const TlvValue& value, char* out, size_t outSize);

// The NUL-terminated text starting offset bytes into the value, read in place; null when the
// value is shorter than offset or no NUL follows inside the received bytes.
const char* textInValue(const ReceivedTlv& msg, const TlvValue& value, size_t offset);

#endif
