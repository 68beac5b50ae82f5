// Big-endian argument encoding of camera-link requests.
#include <string.h>

#include "camlink_client.h"

CamlinkArgs& CamlinkArgs::bytes(const void* data, size_t length)
{
    if (length == 0)
        return *this;
    if (overflowed_ || data == nullptr || length > sizeof buffer_ - length_) {
        overflowed_ = true;
        return *this;
    }
    memcpy(buffer_ + length_, data, length);
    length_ += length;
    return *this;
}

CamlinkArgs& CamlinkArgs::u8(uint8_t value) { return bytes(&value, 1); }

CamlinkArgs& CamlinkArgs::u16(uint16_t value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return bytes(b, sizeof b);
}

CamlinkArgs& CamlinkArgs::u32(uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return bytes(b, sizeof b);
}
