// Constants and tables of the Deflate format (RFC 1951) that the decoder and
// the compressor share: symbol counts, length and distance bases with their
// extra bits, the code-length code's order, the fixed code lengths, and the
// bit reversal that turns a canonical code into the order it is sent in.
#pragma once

#include <array>
#include <cstdint>

namespace zar::codec {

inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 258;
inline constexpr unsigned kMaxDistance = 32768;

// Symbols 286 and 287 of the literal/length code and 30 and 31 of the
// distance code have codes in the fixed code (which they complete) but never
// appear in a valid stream.
inline constexpr unsigned kLitLenSymbols = 288;
inline constexpr unsigned kDistSymbols = 32;
inline constexpr unsigned kCodeLengthSymbols = 19;
inline constexpr unsigned kEndOfBlock = 256;
inline constexpr unsigned kMaxCodeLength = 15;
inline constexpr unsigned kMaxCodeLengthCodeLength = 7;

// Base and extra bits of length symbols 257 to 285, indexed by symbol - 257.
// 258 has a symbol of its own (285, no extra bits); 284 with all its extra
// bits set also says 258, which the decoder accepts and the compressor never
// writes.
inline constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Base and extra bits of distance symbols 0 to 29. The base table has an
// entry for every 5-bit symbol so that the decoder's fast loop can index it
// with a masked symbol; entries 30 and 31 are 0 and never read, as the decode
// tables mark those symbols invalid before any lookup.
inline constexpr std::array<uint16_t, 32> kDistBase = {1,    2,    3,    4,    5,    7,    9,     13,    17,    25,
                                                       33,   49,   65,   97,   129,  193,  257,   385,   513,   769,
                                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577,
                                                       0,    0};
inline constexpr std::array<uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Each base follows from the one before: a base plus the span its extra bits
// cover is the next base, and the last spans end at the largest values.
static_assert([] {
    for (unsigned i = 0; i + 1 < 28; ++i)
        if (kLengthBase[i] + (1u << kLengthExtra[i]) != kLengthBase[i + 1]) return false;
    for (unsigned i = 0; i + 1 < 30; ++i)
        if (kDistBase[i] + (1u << kDistExtra[i]) != kDistBase[i + 1]) return false;
    return true;
}());
static_assert(kLengthBase[0] == kMinMatch && kLengthBase[28] == kMaxMatch && kLengthExtra[28] == 0 &&
              kLengthBase[27] + (1u << kLengthExtra[27]) - 1 == kMaxMatch);
static_assert(kDistBase[0] == 1 && kDistBase[29] + (1u << kDistExtra[29]) - 1 == kMaxDistance);

// Order in which a dynamic block header sends the code-length code's lengths.
inline constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};
// Every symbol appears once.
static_assert([] {
    unsigned seen = 0;
    for (uint8_t symbol : kCodeLengthOrder) seen |= 1u << symbol;
    return seen == (1u << kCodeLengthSymbols) - 1;
}() && kCodeLengthOrder[0] == 16 && kCodeLengthOrder[18] == 15);

// Extra bits after code-length symbols 16 (repeat the previous length 3 to 6
// times), 17 (3 to 10 zeros) and 18 (11 to 138 zeros); the others have none.
constexpr unsigned codeLengthExtra(unsigned symbol) {
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

// Code lengths of the fixed codes.
constexpr uint8_t fixedLitLenLength(unsigned symbol) {
    return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}
inline constexpr uint8_t kFixedDistLength = 5;

// The fixed codes use all of their code space (a Kraft sum of exactly 1).
static_assert([] {
    unsigned sum = 0;
    for (unsigned s = 0; s < kLitLenSymbols; ++s) sum += 1u << (kMaxCodeLength - fixedLitLenLength(s));
    return sum == 1u << kMaxCodeLength && kDistSymbols << (kMaxCodeLength - kFixedDistLength) == 1u << kMaxCodeLength;
}());

// The low `count` bits of `code` in reverse order (count <= 16). Canonical
// codes count up most significant bit first, but Deflate packs them into
// bytes starting from the first bit sent, the least significant.
constexpr uint16_t reverseBits(uint16_t code, unsigned count) {
    uint16_t r = 0;
    for (unsigned i = 0; i < count; ++i) {
        r = static_cast<uint16_t>(r << 1 | (code & 1));
        code >>= 1;
    }
    return r;
}
static_assert(reverseBits(0b110, 3) == 0b011 && reverseBits(1, 5) == 0b10000 && reverseBits(0x71, 8) == 0x8E &&
              reverseBits(0x7FFF, 15) == 0x7FFF && reverseBits(5, 0) == 0);

}  // namespace zar::codec
