// The daemon's bounded reads of TLV events on arbitrary bytes. The receive buffer is as large as
// a mailbox message and holds stale non-zero bytes past what was received, so a read that trusts
// the message's own length fields instead of the received length shows up as a check failure or
// a sanitizer report. The reads are used as the event handlers use them.
#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "fuzz_support.h"
#include "server/received_tlv.h"
#include "ztTlv.h"

namespace {

uint8_t g_rxBuffer[ZTMSG_MAX];

bool insideReceived(const ReceivedTlv& msg, const uint8_t* p, size_t n)
{
    return p >= msg.message && p + n <= msg.message + msg.length;
}

void checkText(const ReceivedTlv& msg, const TlvValue& value, size_t offset)
{
    const char* text = textInValue(msg, value, offset);
    if (text == nullptr)
        return;
    const uint8_t* at = reinterpret_cast<const uint8_t*>(text);
    FUZZ_CHECK(value.data != nullptr && at == value.data + offset);
    FUZZ_CHECK(insideReceived(msg, at, strlen(text) + 1));
}

void checkValue(const ReceivedTlv& msg, int type)
{
    const TlvValue value = findReceivedElement(msg, type);
    if (value.data == nullptr) {
        FUZZ_CHECK(value.length == 0);
    } else {
        FUZZ_CHECK(insideReceived(msg, value.data - 4, 4u + value.length));
        FUZZ_CHECK(value.data[-1] == (uint8_t)type);
        FUZZ_CHECK(((value.data[-3] << 8) | value.data[-2]) == value.length);
    }
    for (const char* code : {"CN", "CR", "PU", "JR", "JS"}) {
        if (valueStartsWith(value, code))
            FUZZ_CHECK(value.length >= 2 && memcmp(value.data, code, 2) == 0);
    }
    for (size_t size : {1, 2, 8, 64}) {
        char text[64];
        const char* shown = valueAsText(value, text, size);
        // Control characters are escaped as \xNN: up to four characters for a byte, none left.
        FUZZ_CHECK(shown == text && strlen(text) < size && strlen(text) <= 4u * value.length);
        for (const char* c = text; *c; ++c) FUZZ_CHECK((unsigned char)*c >= 0x20 && *c != 0x7F);
    }
    // 5: where a CSI notification text starts in a CN argument.
    for (size_t offset : {(size_t)0, (size_t)1, (size_t)5, (size_t)value.length, (size_t)value.length + 1})
        checkText(msg, value, offset);
}

void checkMessage(const ReceivedTlv& msg)
{
    const int types[] = {TLV_CMD, TLV_CMDARG, TLV_RSPARG, TLV_SRC, TLV_DST, TLV_END, TLV_VOID, 0};
    for (int type : types)
        checkValue(msg, type);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = fuzzSilenceLogs();
    (void)silenced;
    const size_t received = std::min(size, (size_t)ZTMSG_MAX);
    memset(g_rxBuffer, 'A', sizeof g_rxBuffer);
    if (received > 0)
        memcpy(g_rxBuffer, data, received);

    checkMessage(ReceivedTlv{g_rxBuffer, received});
    // The same bytes cut short, as if fewer had arrived than the header announces.
    checkMessage(ReceivedTlv{g_rxBuffer, received / 2});
    return 0;
}
