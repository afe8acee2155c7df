// Deflate block coder: writes a collected block of tokens as one Deflate block
// (fixed or dynamic codes), owns the bit writer and pads the end of a stream.
// Writing can stop whenever the caller's output room runs out and continue
// later exactly where it stopped; all its state lives in a BlockCoder that the
// compressor keeps in its work buffer.
#pragma once

#include <array>
#include <cstdint>

#include "codec/deflate_huffman.h"
#include "codec/deflate_tables.h"

namespace zar::codec {

// ---- Token buffer ---------------------------------------------------------
//
// One block collects up to kBlockTokens tokens. The token buffer holds their
// kind bits first (token i is bit i % 8 of byte i / 8; 1 marks a match), then
// from kTokenDataOffset the token data in order: a literal is its byte; a match
// is three bytes, length - 3 and then the distance (1 to 32767) as a
// little-endian 16-bit value.
inline constexpr unsigned kBlockTokens = 8192;
inline constexpr unsigned kTokenDataOffset = kBlockTokens / 8;
inline constexpr unsigned kTokenBufferSize = kTokenDataOffset + 3 * kBlockTokens;
static_assert(kTokenBufferSize == 25600);

// ---- Length and distance symbols -----------------------------------------

// Length symbol (0 to 28, to be added to 257) of each length - 3. A length
// of 258 is symbol 285, not the last value of symbol 284.
inline constexpr std::array<uint8_t, 256> kLengthSymbol = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned sym = 0; sym < 28; ++sym)
        for (unsigned v = 0; v < (1u << kLengthExtra[sym]); ++v)
            if (kLengthBase[sym] + v - 3 < 256) t[kLengthBase[sym] + v - 3] = static_cast<uint8_t>(sym);
    t[255] = 28;
    return t;
}();
static_assert(kLengthSymbol[0] == 0 && kLengthSymbol[8] == 8 && kLengthSymbol[9] == 8 &&
              kLengthSymbol[254] == 27 && kLengthSymbol[255] == 28);

// Distance symbol of distance d: [d - 1] below 257, else [256 + ((d - 1) >> 7)].
inline constexpr std::array<uint8_t, 512> kDistSymbol = [] {
    std::array<uint8_t, 512> t{};
    for (unsigned sym = 0; sym < 30; ++sym)
        for (unsigned v = 0; v < (1u << kDistExtra[sym]); ++v) {
            unsigned d = kDistBase[sym] + v - 1;
            if (d < 256) t[d] = static_cast<uint8_t>(sym);
            else t[256 + (d >> 7)] = static_cast<uint8_t>(sym);
        }
    return t;
}();
static_assert(kDistSymbol[0] == 0 && kDistSymbol[4] == 4 && kDistSymbol[255] == 15 &&
              kDistSymbol[256 + 2] == 16 && kDistSymbol[511] == 29);

constexpr unsigned distSymbol(unsigned distance) {
    return distance <= 256 ? kDistSymbol[distance - 1] : kDistSymbol[256 + ((distance - 1) >> 7)];
}

// ---- Output ---------------------------------------------------------------

// The caller's output room of one call.
struct OutputCursor {
    uint8_t* next;
    uint32_t room;
};

// ---- Block coder ----------------------------------------------------------

// Everything the coder keeps between calls. Trivial, so that it can live in a
// caller's work buffer; zero-filled it is a fresh coder with no pending bits.
struct BlockCoder {
    // Codes of the block being written, bit-reversed, with their lengths.
    uint16_t litCode[kLitLenSymbols];
    uint16_t distCode[kDistSymbols];
    uint16_t codeLengthCode[kCodeLengthSymbols];
    uint8_t litLength[kLitLenSymbols];
    uint8_t distLength[kDistSymbols];
    uint8_t codeLengthLength[kCodeLengthSymbols];

    uint32_t litFreq[kLitLenSymbols];
    uint32_t distFreq[kDistSymbols];
    uint32_t codeLengthFreq[kCodeLengthSymbols];

    // The code builds need their scratch only until the block's codes are
    // known; the token codes ready for writing take its place then. A packed
    // code is the bit-reversed code in the low 24 bits and its length in the
    // high 8; a length's code carries its extra bits already.
    struct PackedCodes {
        uint32_t lit[kLitLenSymbols];
        uint32_t length[256];  // by length - 3
        uint32_t dist[kDistSymbols];
    };
    union {
        HuffmanScratch scratch;
        PackedCodes packed;
    };

    // The run-length coded code lengths of a dynamic block: one byte per
    // record, and after a 16, 17 or 18 one byte of its repeat value.
    uint8_t records[2 * (286 + 30)];
    uint16_t recordBytes;
    uint16_t hlit, hdist, hclen;

    // Progress through the block being written.
    uint16_t tokenCount;
    uint16_t item;        // next header item or token
    uint16_t dataOffset;  // token data offset of token `item`
    uint8_t phase;
    uint8_t dynamic;
    uint8_t last;

    // Bits not yet written, least significant first; never more than 7 at a
    // point where a block is done or started.
    uint64_t bits;
    uint32_t bitCount;
};

// Prepares writing a block of `count` tokens (count <= kBlockTokens): takes the
// codes (fixed, or built from the block's frequencies) and the code
// description. Writes nothing.
void startBlock(BlockCoder& coder, const uint8_t* tokens, unsigned count, bool dynamic, bool last);

// Writes the started block, from where it stopped last. Returns true when the
// whole block has been written (fewer than 8 bits remain pending), false when
// the call has to stop for output room: either the room ran out by this call's
// writing or a complete byte waits and no room was offered.
bool continueBlock(BlockCoder& coder, const uint8_t* tokens, OutputCursor& out);

// Completes the last byte with zero bits and writes it. Returns true when no
// bits remain, false when it has to stop for room as continueBlock does.
bool finishStream(BlockCoder& coder, OutputCursor& out);

}  // namespace zar::codec
