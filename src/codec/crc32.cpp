// CRC-32 in two ways that give the same values. On x86 processors with
// carry-less multiplication the bulk of a buffer is folded 64 bytes at a time
// (four 128-bit lanes, reduced at the end with a Barrett step); everywhere
// else, and for the tail, eight table lookups fold eight bytes per step. The
// slicing tables are derived at compile time from the shared 256-entry table.
#include "codec/crc32.h"

#include "common/bytes.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZAR_CRC32_CLMUL 1
#include <immintrin.h>
#endif

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

uint32_t crc32Slice8(const uint8_t* data, size_t count, uint32_t crc) {
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

#ifdef ZAR_CRC32_CLMUL

// Folding constants of the reflected polynomial, as powers of x modulo P
// (bit-reflected and shifted left by one, as carry-less products of reflected
// operands come out one bit short):
//   k1 = x^(4*128+32) mod P, k2 = x^(4*128-32) mod P  fold 512 bits ahead
//   k3 = x^(128+32) mod P,   k4 = x^(128-32) mod P    fold 128 bits ahead
//   k5 = x^64 mod P                                   fold 64 bits to 32
//   mu = floor(x^64 / P), and P itself, for the Barrett reduction.
alignas(16) constexpr uint64_t kK1K2[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) constexpr uint64_t kK3K4[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) constexpr uint64_t kK5[2] = {0x0163cd6124, 0};
alignas(16) constexpr uint64_t kPolyMu[2] = {0x01db710641, 0x01f7011641};

#define ZAR_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

ZAR_CLMUL_TARGET inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds lane x forward over 128 bits (or 512 with k1k2) and adds the next data.
ZAR_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// The running value after `count` bytes; count is at least 64 and a multiple of 16.
ZAR_CLMUL_TARGET uint32_t crc32Clmul(const uint8_t* data, size_t count, uint32_t crc) {

    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    data += 64;
    count -= 64;

    const __m128i k1k2 = _mm_load_si128(reinterpret_cast<const __m128i*>(kK1K2));
    while (count >= 64) {
        x1 = fold(x1, k1k2, load(data));
        x2 = fold(x2, k1k2, load(data + 16));
        x3 = fold(x3, k1k2, load(data + 32));
        x4 = fold(x4, k1k2, load(data + 48));
        data += 64;
        count -= 64;
    }

    // Four lanes into one, then the remaining 16-byte blocks.
    const __m128i k3k4 = _mm_load_si128(reinterpret_cast<const __m128i*>(kK3K4));
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (count >= 16) {
        x1 = fold(x1, k3k4, load(data));
        data += 16;
        count -= 16;
    }

    // 128 bits to 64, then to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    const __m128i k5 = _mm_load_si128(reinterpret_cast<const __m128i*>(kK5));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));

    // Barrett reduction to the 32-bit remainder.
    const __m128i polyMu = _mm_load_si128(reinterpret_cast<const __m128i*>(kPolyMu));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), polyMu, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool haveClmul() { return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }

#endif  // ZAR_CRC32_CLMUL

}  // namespace

uint32_t crc32UpdatePortable(const uint8_t* data, size_t count, uint32_t crc) {
    return count == 0 ? crc : crc32Slice8(data, count, crc);
}

uint32_t crc32Update(const uint8_t* data, size_t count, uint32_t crc) {
    if (count == 0) return crc;
#ifdef ZAR_CRC32_CLMUL
    if (count >= 64 && haveClmul()) {
        const size_t bulk = count & ~size_t{15};
        crc = crc32Clmul(data, bulk, crc);
        data += bulk;
        count -= bulk;
    }
#endif
    return crc32Slice8(data, count, crc);
}

}  // namespace zar::codec
