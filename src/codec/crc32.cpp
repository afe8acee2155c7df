// CRC-32 by slicing: eight table lookups fold eight bytes per step; the
// derived tables are built at compile time from the shared 256-entry table.
#include "codec/crc32.h"

#include "common/bytes.h"

namespace zar::codec {
namespace {

constexpr std::array<std::array<uint32_t, 256>, 8> makeSliceTables() {
    std::array<std::array<uint32_t, 256>, 8> t{};
    t[0] = kCrcTable;
    for (int k = 1; k < 8; ++k)
        for (int n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ kCrcTable[t[k - 1][n] & 0xFF];
    return t;
}

constexpr auto kSlice = makeSliceTables();

}  // namespace

uint32_t crc32Update(const uint8_t* data, size_t count, uint32_t crc) {
    if (count == 0) return crc;
    while (count >= 8) {
        uint32_t lo = loadLe32(data) ^ crc;
        uint32_t hi = loadLe32(data + 4);
        crc = kSlice[7][lo & 0xFF] ^ kSlice[6][(lo >> 8) & 0xFF] ^ kSlice[5][(lo >> 16) & 0xFF] ^
              kSlice[4][lo >> 24] ^ kSlice[3][hi & 0xFF] ^ kSlice[2][(hi >> 8) & 0xFF] ^
              kSlice[1][(hi >> 16) & 0xFF] ^ kSlice[0][hi >> 24];
        data += 8;
        count -= 8;
    }
    while (count-- > 0) crc = crc32Byte(crc, *data++);
    return crc;
}

}  // namespace zar::codec
