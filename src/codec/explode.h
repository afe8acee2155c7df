// Imploded data (ZIP method 6: a 4 or 8 KiB sliding dictionary and two or
// three Shannon-Fano trees sent ahead of the data) decoded as a resumable
// stream filter: input and output may come in pieces of any size across
// calls, and all state, the dictionary included, lives in a caller-owned
// struct.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/legacy_stream.h"

namespace zar::codec {

struct ExplodeState {
    static constexpr uint32_t kWindow = 8192;
    static constexpr uint32_t kMaxCodeLength = 16;
    static constexpr uint32_t kTableBits = 11;
    // A tree as a table indexed by the next bits of the stream (first bit
    // lowest): the symbol in the low 9 bits, its code length above; 0 where no
    // code starts, kLongCode where a code longer than the table begins. Those
    // are found among `starts`: every code, left-aligned in 16 bits, in
    // ascending order, with its symbol and length.
    struct Tree {
        static constexpr uint16_t kLongCode = 0xFFFF;
        uint32_t bits;  // index width: the longest code's length, at most kTableBits
        uint16_t entries[1u << kTableBits];
        uint32_t codes;
        uint32_t starts[256];      // code << 16 | length << 9 | symbol
    };
    Tree literals, lengths, distances;
    uint8_t window[kWindow];         // the last kWindow bytes of output, zeros before the entry
    uint8_t descriptions[3][257];    // tree descriptions as they arrive
    uint32_t describedTrees;         // descriptions complete so far
    uint32_t descriptionFill;        // bytes of the one in hand
    uint64_t bits;                   // bit buffer, least significant bit first
    uint32_t bitCount;
    PendingMatch match;              // a match waiting for room
    uint32_t lowDistanceBits;        // 6 for 4 KiB, 7 for 8 KiB
    bool literalTree;                // three trees: literals are coded, matches are 3 bytes or more
    bool ended;
    bool bad;
};

// Prepares `state` for a new entry: `literalTree` for general-purpose flag
// bit 2 (three trees), `bigWindow` for bit 1 (8 KiB dictionary).
void explodeBegin(ExplodeState& state, bool literalTree, bool bigWindow);

// Decodes from in[0, inCount) into out[0, outRoom). kMore: all input was
// taken or all room filled; call again with fresh input or room (offer what
// was not taken again). lastInput says no input follows: the entry then ends
// where its bits end (the format has no end code; callers stop at the entry's
// declared size). Once kEnd or kBadData is returned, later calls return it again.
LegacyResult explodeStep(ExplodeState& state, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                          bool lastInput);

}  // namespace zar::codec
