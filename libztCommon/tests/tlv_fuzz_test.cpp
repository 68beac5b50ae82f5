// Random bytes into the TLV readers: results stay in range and nothing reads out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "ztTestUtil.h"

namespace {

TEST(TlvFuzz, RandomMessagesAreHandledSafely)
{
    zttest::GlobalsGuard guard;
    g_debug_level = 0;  // no trace output for thousands of rejections
    std::mt19937 rng(20240611u);
    const int types[] = {0, TLV_CMD, TLV_CMDARG, TLV_DST, TLV_SRC, TLV_RSPARG, TLV_VOID, TLV_END};
    int accepted = 0;
    for (int round = 0; round < 20000; round++) {
        // A heap buffer of exactly ZTMSG_MAX bytes, so that ASan sees any overrun.
        std::unique_ptr<unsigned char[]> buf(new unsigned char[ZTMSG_MAX]);
        for (int i = 0; i < ZTMSG_MAX; i++)
            buf[i] = static_cast<unsigned char>(rng());
        // Mostly plausible totals and short elements, so that walks go deep.
        unsigned total = (round % 4 == 0) ? rng() & 0xFFFF : rng() % (ZTMSG_MAX + 8);
        buf[0] = static_cast<unsigned char>(total >> 8);
        buf[1] = static_cast<unsigned char>(total);
        if (round % 2 == 0) {
            for (unsigned pos = 4; pos + 4 <= ZTMSG_MAX; pos += 4 + buf[pos + 2]) {
                buf[pos] = 0;
                buf[pos + 1] = 0;
                buf[pos + 2] = static_cast<unsigned char>(rng() % 24);
                buf[pos + 3] = static_cast<unsigned char>(types[rng() % 8]);
            }
        }
        int rc = tlv_validate(buf.get());
        ASSERT_TRUE(rc == 0 || rc == -1 || rc == -2 || rc == -3) << rc;
        accepted += rc == 0;
        int extent = sntlv_msg_len(buf.get());
        for (int type : types) {
            unsigned char* at = tlv_find(buf.get(), type);
            if (at != nullptr) {
                ASSERT_GE(at, buf.get() + 4);
                ASSERT_LE(at + 4, buf.get() + std::min(extent, ZTMSG_MAX));
                ASSERT_EQ(at[3], type);
            }
            unsigned char dst[64];
            int n = sntlv_find(dst, sizeof dst, type, buf.get());
            ASSERT_GE(n, 0);
            ASSERT_LT(n, 64);
        }
        ztMsgIobuf io;
        io.size = ZTMSG_MAX;
        memcpy(io.buf, buf.get(), ZTMSG_MAX);
        unsigned char* val = nullptr;
        uint16_t vlen = 0;
        ztmsg_response(&io, &val, &vlen);
        if (val != nullptr) {
            ASSERT_LE(val + vlen, io.buf + ZTMSG_MAX);
        }
    }
    RecordProperty("accepted", accepted);
}

}  // namespace
