// The answer of one camera operation: result, NAK reason and answer bytes, in a fixed buffer.
#ifndef CAMSIM_ANSWER_H
#define CAMSIM_ANSWER_H

#include <stdint.h>
#include <string.h>

#include "bytes.h"
#include "camlink_protocol.h"

namespace camsim {

struct Answer {
    int32_t result = 0;
    int8_t nak = 0;
    uint16_t len = 0;
    uint8_t bytes[CAMLINK_MAX_ANSWER];

    void reset() {
        result = 0;
        nak = 0;
        len = 0;
    }
    void fail(int32_t err, int8_t reason = 0) {
        result = err;
        nak = reason;
        len = 0;
    }
    // Appends; false (nothing appended) when it would not fit.
    bool put(const void* data, size_t n) {
        if (n > sizeof bytes - len) return false;
        if (n) memcpy(bytes + len, data, n);
        len = uint16_t(len + n);
        return true;
    }
    bool putByte(uint8_t b) { return put(&b, 1); }
    bool putBe32(int32_t v) {
        uint8_t b[4];
        camsim::putBe32(b, uint32_t(v));
        return put(b, 4);
    }
};

}  // namespace camsim

#endif
