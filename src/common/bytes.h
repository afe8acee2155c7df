// Little-endian loads and stores over byte buffers. Every on-disk record is
// read and written through these; no byte pointer is ever cast to a struct.
// Header-only and below every layer, so codecs and records share it.
#pragma once

#include <cstdint>
#include <cstring>

namespace zar {

inline uint16_t loadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t loadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t loadLe64(const uint8_t* p) {
    return static_cast<uint64_t>(loadLe32(p)) | static_cast<uint64_t>(loadLe32(p + 4)) << 32;
}

inline void storeLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void storeLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void storeLe64(uint8_t* p, uint64_t v) {
    storeLe32(p, static_cast<uint32_t>(v));
    storeLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace zar
