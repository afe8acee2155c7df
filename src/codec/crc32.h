// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320), with the
// 256-entry table that the traditional encryption keys share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zar::codec {

constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[n] = c;
    }
    return table;
}

// The table lives in static data; it is never built at run time.
inline constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();
static_assert(kCrcTable[1] == 0x77073096u && kCrcTable[2] == 0xEE0E612Cu &&
              kCrcTable[3] == 0x990951BAu && kCrcTable[255] == 0x2D02EF8Du);

// One byte of the running register, as the encryption key update uses it.
constexpr uint32_t crc32Byte(uint32_t crc, uint8_t b) {
    return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Folds `count` bytes into the running value without conditioning: callers
// start at 0xFFFFFFFF and complement the result. A count of 0 returns `crc`
// and does not touch `data`. Takes the fastest method the processor has.
uint32_t crc32Update(const uint8_t* data, size_t count, uint32_t crc);

// The same values by table lookups alone, on every processor.
uint32_t crc32UpdatePortable(const uint8_t* data, size_t count, uint32_t crc);

// The ways of folding the bulk of a buffer; every one gives the same values.
enum class CrcMethod {
    kTable,      // eight table lookups per eight bytes, on every processor
    kClmul,      // 128-bit carry-less multiplication, legacy SSE encoding
    kClmulVex,   // the same folding in the VEX encoding, for processors with AVX
    kClmulWide,  // 512-bit carry-less multiplication (VPCLMULQDQ, AVX-512)
};

// Whether this processor (and its operating system) can run `method`.
bool crcMethodAvailable(CrcMethod method);

// The method crc32Update takes for pieces of 64 bytes and more.
CrcMethod crcBestMethod();

// crc32Update by one method; one this processor lacks falls back to the tables.
uint32_t crc32UpdateBy(CrcMethod method, const uint8_t* data, size_t count, uint32_t crc);

}  // namespace zar::codec
