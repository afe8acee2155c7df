// Reduced data (ZIP methods 2 to 5, compression factors 1 to 4) decoded as a
// resumable stream filter: bytes are read through follower sets (for each
// previous byte, up to 32 likely successors coded in a few bits), and the
// byte stream that gives is expanded, a DLE byte (144) introducing a match of
// up to 4 KiB back or a literal DLE. All state lives in a caller-owned struct.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/legacy_stream.h"

namespace zar::codec {

struct ReduceState {
    static constexpr uint32_t kWindow = 4096;
    uint8_t followers[256][32];
    uint8_t followerCount[256];
    uint8_t window[kWindow];  // the last kWindow bytes of output, zeros before the entry
    uint64_t bits;            // bit buffer, least significant bit first
    uint32_t bitCount;
    int32_t setsRead;         // follower sets read so far, from byte 255 down; 256 when all are in
    int32_t followersRead;    // followers of the set in hand, -1 before its count
    uint32_t factor;          // 1 to 4
    uint8_t last;             // the previous byte of the follower-coded stream
    uint8_t expandState;      // 0 plain, 1 after DLE, 2 reading the long length, 3 reading the distance
    uint8_t code;             // the byte after DLE
    uint32_t length;
    PendingMatch match;              // a match waiting for room
    bool ended;
    bool bad;
};

// Prepares `state` for an entry of ZIP method 2, 3, 4 or 5 (factors 1 to 4).
void reduceBegin(ReduceState& state, uint16_t zipMethod);

// Decodes from in[0, inCount) into out[0, outRoom), with the same contract as
// the other resumable decoders: kMore asks for more input or room; lastInput
// says no input follows (the format has no end code: callers stop at the
// entry's declared size). Once kEnd or kBadData is returned, later calls
// return it again.
LegacyResult reduceStep(ReduceState& state, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                        bool lastInput);

}  // namespace zar::codec
