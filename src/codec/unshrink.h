// Shrunk data (ZIP method 1: LZW with codes of 9 to 13 bits, an 8192-entry
// dictionary, and code 256 as the escape that grows the code size or clears
// the dictionary partially) decoded as a resumable stream filter: input and
// output may come in pieces of any size across calls, and all state lives in
// a caller-owned struct.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/legacy_stream.h"

namespace zar::codec {

struct UnshrinkState {
    static constexpr int kCodes = 8192;
    uint16_t prefix[kCodes];  // 0xFFFF: the code is free
    uint8_t suffix[kCodes];
    uint8_t stack[kCodes];    // a string being delivered, from `pending` to the end
    uint32_t pending;
    uint32_t bits;            // bit buffer, least significant bit first
    uint32_t bitCount;
    uint32_t codeSize;
    uint32_t freeCode;        // the lowest free code, kCodes when the dictionary is full
    int32_t previous;         // the last code, -1 before the first
    uint8_t firstByte;        // first byte of the previous code's string
    bool escaped;             // a 256 was read: the next code says what to do
    bool ended;
    bool bad;                 // ended on damaged data
};

// Prepares `state` for a new entry.
void unshrinkBegin(UnshrinkState& state);

// Decodes from in[0, inCount) into out[0, outRoom). kMore: all input was
// taken or all room filled; call again with fresh input or room (offer what
// was not taken again). lastInput says no input follows: the entry then ends
// where its codes end (the format has no end code; callers also stop at the
// entry's declared size). Once kEnd or kBadData is returned, later calls
// return it again.
LegacyResult unshrinkStep(UnshrinkState& state, const uint8_t* in, size_t inCount, uint8_t* out,
                            size_t outRoom, bool lastInput);

}  // namespace zar::codec
