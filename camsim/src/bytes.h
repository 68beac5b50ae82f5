// Unaligned big- and little-endian reads and writes. Everything goes through memcpy-free byte
// arithmetic so no multi-byte value is ever read through a cast pointer.
#ifndef CAMSIM_BYTES_H
#define CAMSIM_BYTES_H

#include <stdint.h>

namespace camsim {

inline uint32_t getBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t getBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint64_t getBe64(const uint8_t* p) { return (uint64_t(getBe32(p)) << 32) | getBe32(p + 4); }
inline uint32_t getLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void putBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void putBe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void putBe64(uint8_t* p, uint64_t v) {
    putBe32(p, uint32_t(v >> 32));
    putBe32(p + 4, uint32_t(v));
}
inline void putLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
// Little-endian value of width 1, 2 or 4 bytes.
inline void putLeN(uint8_t* p, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline uint32_t getLeN(const uint8_t* p, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

}  // namespace camsim

#endif
