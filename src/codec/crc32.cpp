// CRC-32 in several ways that give the same values. On x86 processors with
// carry-less multiplication the bulk of a buffer is folded: four 512-bit
// registers at a time where the processor multiplies 512 bits at once, four
// 128-bit lanes at a time elsewhere, and every fold ends in a Barrett step.
// Everywhere else, and for the last bytes, eight table lookups fold eight bytes
// per step. The slicing tables and the folding constants are derived at compile
// time from the polynomial.
//
// Vector state: the 128-bit folding is built twice, with the legacy encoding
// for processors without AVX and with the VEX encoding for those with it, so
// that dirty upper halves left in the registers by other code of the process
// never cost it a transition. The 512-bit folding ends with vzeroupper, which
// the compiler places at the exit of every function built for AVX that
// touches a 256- or 512-bit register, so the registers are clean on return.
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

// x^n mod P in the bit order of the data (x^0 in the top bit), shifted left by
// one: carry-less products of bit-reflected operands come out one bit short,
// and the shift puts them back in place.
constexpr uint64_t xPowerModP(unsigned n) {
    uint32_t r = 0x80000000u;  // x^0
    for (unsigned i = 0; i < n; ++i) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    return uint64_t{r} << 1;
}

// Moving a 128-bit lane `bits` forward multiplies its low half (the earlier,
// higher-order 64 bits) by x^(bits+32) and its high half by x^(bits-32); the
// products are 96 bits wide and land on the lane `bits` further on.
struct FoldPair {
    uint64_t low, high;
};
constexpr FoldPair foldPair(unsigned bits) { return {xPowerModP(bits + 32), xPowerModP(bits - 32)}; }

// The constants as the published tables give them.
static_assert(xPowerModP(4 * 128 + 32) == 0x0154442bd4 && xPowerModP(4 * 128 - 32) == 0x01c6e41596);
static_assert(xPowerModP(128 + 32) == 0x01751997d0 && xPowerModP(128 - 32) == 0x00ccaa009e);
static_assert(xPowerModP(64) == 0x0163cd6124);

// floor(x^64 / P) and P itself (both bit-reflected, with their x^32 terms) for
// the Barrett reduction.
constexpr uint64_t kPoly = 0x01db710641;
constexpr uint64_t kMu = 0x01f7011641;

#define ZAR_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#define ZAR_CLMUL_AVX_TARGET __attribute__((target("avx,pclmul,sse4.1")))
#define ZAR_CLMUL_WIDE_TARGET __attribute__((target("avx512f,avx512vl,avx512bw,vpclmulqdq,pclmul,sse4.1")))
// The 128-bit steps are written once for the baseline target and inlined into
// each variant, whose own target then decides their encoding.
#define ZAR_CLMUL_STEP ZAR_CLMUL_TARGET __attribute__((always_inline)) inline

ZAR_CLMUL_STEP __m128i constant(FoldPair k) {
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

ZAR_CLMUL_STEP __m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Folds lane x forward (by the distance that k was made for) and adds the next data.
ZAR_CLMUL_STEP __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// The running value that one 128-bit lane stands for.
ZAR_CLMUL_STEP uint32_t reduce(__m128i x) {
    // 128 bits to 64, then to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, constant(foldPair(128)), 0x10));
    const __m128i k64 = constant({xPowerModP(64), 0});
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k64, 0x00), _mm_srli_si128(x, 4));

    // Barrett reduction to the 32-bit remainder.
    const __m128i polyMu = _mm_set_epi64x(static_cast<long long>(kMu), static_cast<long long>(kPoly));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), polyMu, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}

// Folds the 16-byte blocks left after a wider loop into x and reduces it.
ZAR_CLMUL_STEP uint32_t finish(__m128i x, const uint8_t* data, size_t count) {
    const __m128i k128 = constant(foldPair(128));
    while (count >= 16) {
        x = fold(x, k128, load(data));
        data += 16;
        count -= 16;
    }
    return reduce(x);
}

// The running value after `count` bytes; count is at least 64 and a multiple of 16.
ZAR_CLMUL_STEP uint32_t clmulBlocks(const uint8_t* data, size_t count, uint32_t crc) {
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    data += 64;
    count -= 64;

    const __m128i k512 = constant(foldPair(512));
    while (count >= 64) {
        x1 = fold(x1, k512, load(data));
        x2 = fold(x2, k512, load(data + 16));
        x3 = fold(x3, k512, load(data + 32));
        x4 = fold(x4, k512, load(data + 48));
        data += 64;
        count -= 64;
    }

    // Four lanes into one.
    const __m128i k128 = constant(foldPair(128));
    x1 = fold(x1, k128, x2);
    x1 = fold(x1, k128, x3);
    x1 = fold(x1, k128, x4);
    return finish(x1, data, count);
}

ZAR_CLMUL_TARGET uint32_t clmulLegacy(const uint8_t* data, size_t count, uint32_t crc) {
    return clmulBlocks(data, count, crc);
}

ZAR_CLMUL_AVX_TARGET uint32_t clmulVex(const uint8_t* data, size_t count, uint32_t crc) {
    return clmulBlocks(data, count, crc);
}

// GCC 12 warns that its own intrinsic headers read an "undefined" vector in
// the broadcasts and extracts below (its bug 105593); nothing of ours is read.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

ZAR_CLMUL_WIDE_TARGET inline __m512i wideConstant(FoldPair k) {
    return _mm512_broadcast_i32x4(constant(k));
}

ZAR_CLMUL_WIDE_TARGET inline __m512i wideLoad(const uint8_t* p) { return _mm512_loadu_si512(p); }

// Folds four lanes at once and adds the next 64 bytes (one three-way xor).
ZAR_CLMUL_WIDE_TARGET inline __m512i wideFold(__m512i x, __m512i k, __m512i next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11),
                                     next, 0x96);
}

// The running value after `count` bytes; count is at least 64 and a multiple of 16.
ZAR_CLMUL_WIDE_TARGET uint32_t clmulWide(const uint8_t* data, size_t count, uint32_t crc) {
    __m512i x0 = _mm512_xor_si512(wideLoad(data), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    const __m512i k512 = wideConstant(foldPair(512));
    if (count >= 256) {
        // Four registers of four lanes: each register moves 2048 bits forward.
        __m512i x1 = wideLoad(data + 64);
        __m512i x2 = wideLoad(data + 128);
        __m512i x3 = wideLoad(data + 192);
        data += 256;
        count -= 256;
        const __m512i k2048 = wideConstant(foldPair(2048));
        while (count >= 256) {
            x0 = wideFold(x0, k2048, wideLoad(data));
            x1 = wideFold(x1, k2048, wideLoad(data + 64));
            x2 = wideFold(x2, k2048, wideLoad(data + 128));
            x3 = wideFold(x3, k2048, wideLoad(data + 192));
            data += 256;
            count -= 256;
        }
        // Into one register as a tree: two folds side by side, then one.
        const __m512i k1024 = wideConstant(foldPair(1024));
        x0 = wideFold(x0, k1024, x2);
        x1 = wideFold(x1, k1024, x3);
        x0 = wideFold(x0, k512, x1);
    } else {
        data += 64;
        count -= 64;
    }
    while (count >= 64) {
        x0 = wideFold(x0, k512, wideLoad(data));
        data += 64;
        count -= 64;
    }

    // The four lanes into one: lanes 0, 1 and 2 move forward by 384, 256 and
    // 128 bits onto lane 3, which stays as it is.
    const FoldPair f384 = foldPair(384), f256 = foldPair(256), f128 = foldPair(128);
    const __m512i kLanes = _mm512_setr_epi64(
        static_cast<long long>(f384.low), static_cast<long long>(f384.high), static_cast<long long>(f256.low),
        static_cast<long long>(f256.high), static_cast<long long>(f128.low), static_cast<long long>(f128.high), 0, 0);
    const __m512i moved =
        _mm512_xor_si512(_mm512_clmulepi64_epi128(x0, kLanes, 0x00), _mm512_clmulepi64_epi128(x0, kLanes, 0x11));
    const __m256i half = _mm256_xor_si256(_mm512_castsi512_si256(moved), _mm512_extracti64x4_epi64(moved, 1));
    const __m128i x = _mm_ternarylogic_epi64(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1),
                                             _mm512_extracti32x4_epi32(x0, 3), 0x96);
    return finish(x, data, count);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

bool have(CrcMethod method) {
    switch (method) {
        case CrcMethod::kTable: return true;
        case CrcMethod::kClmul:
            return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
        case CrcMethod::kClmulVex:
            return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("avx");
        case CrcMethod::kClmulWide:
            return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("pclmul");
    }
    return false;
}

#endif  // ZAR_CRC32_CLMUL

// Folds the bulk of the buffer by `method`, the rest by the tables.
uint32_t crc32By(CrcMethod method, const uint8_t* data, size_t count, uint32_t crc) {
    if (count == 0) return crc;
#ifdef ZAR_CRC32_CLMUL
    if (count >= 64 && method != CrcMethod::kTable) {
        const size_t bulk = count & ~size_t{15};
        switch (method) {
            case CrcMethod::kClmulWide: crc = clmulWide(data, bulk, crc); break;
            case CrcMethod::kClmulVex: crc = clmulVex(data, bulk, crc); break;
            default: crc = clmulLegacy(data, bulk, crc); break;
        }
        data += bulk;
        count -= bulk;
    }
#endif
    return crc32Slice8(data, count, crc);
}

}  // namespace

bool crcMethodAvailable(CrcMethod method) {
#ifdef ZAR_CRC32_CLMUL
    return have(method);
#else
    return method == CrcMethod::kTable;
#endif
}

CrcMethod crcBestMethod() {
    for (CrcMethod m : {CrcMethod::kClmulWide, CrcMethod::kClmulVex, CrcMethod::kClmul})
        if (crcMethodAvailable(m)) return m;
    return CrcMethod::kTable;
}

uint32_t crc32UpdateBy(CrcMethod method, const uint8_t* data, size_t count, uint32_t crc) {
    return crc32By(crcMethodAvailable(method) ? method : CrcMethod::kTable, data, count, crc);
}

uint32_t crc32UpdatePortable(const uint8_t* data, size_t count, uint32_t crc) {
    return crc32By(CrcMethod::kTable, data, count, crc);
}

uint32_t crc32Update(const uint8_t* data, size_t count, uint32_t crc) {
    // Short pieces never reach the folding, so they skip the processor checks.
    return crc32By(count >= 64 ? crcBestMethod() : CrcMethod::kTable, data, count, crc);
}

}  // namespace zar::codec
