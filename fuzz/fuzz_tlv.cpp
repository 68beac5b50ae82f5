// TLV readers on arbitrary bytes, laid in a mailbox-sized buffer as a receive would leave them:
// validation never writes and never reads past ZTMSG_MAX, every element found lies inside the
// message and has the type asked for, and a message that validates has what validation promises.
#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "fuzz_support.h"
#include "ztMsg.h"
#include "ztTlv.h"

namespace {

unsigned rd16(const unsigned char* p) { return ((unsigned)p[0] << 8) | p[1]; }

// Global, so that ASan puts red zones right after its 1500 bytes.
unsigned char g_message[ZTMSG_MAX];
unsigned char g_before[ZTMSG_MAX];

void checkValidated(const unsigned char* buf)
{
    const int total = sntlv_msg_len(buf);
    FUZZ_CHECK(total >= 18 && total <= ZTMSG_MAX);
    FUZZ_CHECK(buf[total - 1] == TLV_END);
    FUZZ_CHECK(buf[3] <= 0xEF);
    FUZZ_CHECK(tlv_find(buf, TLV_CMD) != nullptr);
    FUZZ_CHECK(tlv_find(buf, TLV_SRC) != nullptr);
    FUZZ_CHECK(tlv_find(buf, TLV_DST) != nullptr);
    FUZZ_CHECK(tlv_find(buf, TLV_END) == buf + total - 4);
}

void checkElement(const unsigned char* buf, int type)
{
    const unsigned char* at = tlv_find(buf, type);
    unsigned char small[64];
    unsigned char large[ZTMSG_MAX];
    const int nSmall = sntlv_find(small, sizeof small, type, buf);
    const int nLarge = sntlv_find(large, sizeof large, type, buf);
    FUZZ_CHECK(nSmall >= 0 && nSmall < (int)sizeof small);
    FUZZ_CHECK(nLarge >= 0 && nLarge < (int)sizeof large);
    if (at == nullptr) {
        FUZZ_CHECK(nSmall == 0 && nLarge == 0);
        return;
    }
    const int extent = std::min(sntlv_msg_len(buf), ZTMSG_MAX);
    FUZZ_CHECK(at >= buf + 4 && at + 4 <= buf + extent);
    FUZZ_CHECK(at[3] == (unsigned char)type);
    const int vlen = (int)rd16(at + 1);
    const bool inside = (at - buf) + 4 + vlen <= extent;
    // A value is copied whole or not at all, and only when it lies inside the message.
    FUZZ_CHECK(nLarge == (inside ? vlen : 0));
    FUZZ_CHECK(nSmall == (inside && vlen < (int)sizeof small ? vlen : 0));
    FUZZ_CHECK(memcmp(large, at + 4, (size_t)nLarge) == 0);
}

void checkResponse(const unsigned char* buf)
{
    static ztMsgIobuf io;
    io.size = ZTMSG_MAX;
    memcpy(io.buf, buf, ZTMSG_MAX);
    unsigned char* val = nullptr;
    uint16_t len = 0;
    ztmsg_response(&io, &val, &len);
    if (val != nullptr) {
        const int extent = std::min(sntlv_msg_len(io.buf), ZTMSG_MAX);
        FUZZ_CHECK(val >= io.buf + 8 && val + len <= io.buf + extent);
        FUZZ_CHECK(val[-1] == TLV_RSPARG);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = fuzzSilenceLogs();
    (void)silenced;
    const size_t n = std::min(size, (size_t)ZTMSG_MAX);
    memset(g_message, 0, sizeof g_message);
    if (n > 0)
        memcpy(g_message, data, n);
    memcpy(g_before, g_message, sizeof g_before);

    const int rc = tlv_validate(g_message);
    FUZZ_CHECK(rc == 0 || rc == -1 || rc == -2 || rc == -3);
    FUZZ_CHECK(memcmp(g_before, g_message, sizeof g_message) == 0);
    if (rc == 0)
        checkValidated(g_message);

    const int types[] = {0, TLV_CMD, TLV_CMDARG, TLV_DST, TLV_SRC, TLV_RSPARG, TLV_VOID, TLV_END};
    for (int type : types)
        checkElement(g_message, type);
    if (n > 4)
        checkElement(g_message, g_message[n - 1]);  // a type the input chose
    checkResponse(g_message);
    return 0;
}
