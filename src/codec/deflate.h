// Deflate compressor: turns bytes into a raw Deflate stream (no zlib or gzip
// wrapper) through a resumable protocol. The caller owns three work buffers and
// hands over input and output room in pieces of any size across any number of
// calls; the stream depends on the input bytes and the two settings alone,
// never on how the input or the output room was split.
//
// How the stream is made:
// - the 32 KiB window is filled and searched in segments of 4096 bytes; every
//   position of a filled segment but its last two enters the hash chains before
//   any matching, and the chains of those last two count as empty;
// - a search walks the chain of its position under a budget of `chainLimit`
//   steps, tested before every group of three steps and after every candidate
//   that went to a full comparison; a candidate is compared in full only when
//   the two bytes at the current best length - 1 and best length agree;
// - matching is lazy: a match is deferred while the next position has a
//   strictly longer one; matches are at most 258 bytes and are cut at the end
//   of their segment (one shorter than 3 becomes a literal);
// - a block is closed after 8192 tokens and at the end of the input; all blocks
//   use fixed codes or all use dynamic codes.
#pragma once

#include <cstdint>

namespace zar::codec {

// Sizes of the three work buffers; each may lie at any address.
inline constexpr uint32_t kDeflateMainSize = 57613;
inline constexpr uint32_t kDeflateChainSize = 65536;
inline constexpr uint32_t kDeflateTokenSize = 25600;

// Chain limits below 8 become 10 and those above 2048 become 2048.
constexpr uint16_t clampChainLimit(uint16_t limit) {
    return limit < 8 ? 10 : limit > 2048 ? 2048 : limit;
}

// The work buffers of one stream. They must stay in place, and be used by one
// call at a time, from initDeflate to the end of the stream.
struct DeflateBuffers {
    void* main;    // kDeflateMainSize bytes: window, hash heads, state, code tables
    void* chain;   // kDeflateChainSize bytes: the hash chains
    void* tokens;  // kDeflateTokenSize bytes: the tokens of the block being collected
};

// Prepares the buffers for a new stream: clears the state, zeroes the window
// and sets every hash head to "none". The chain and token buffers are not
// touched; nothing is read from them before it has been written.
void initDeflate(const DeflateBuffers& buffers);

// One call's input and output. On return the counts say how much was taken
// and how much was written.
struct DeflateIo {
    const uint8_t* input;
    uint32_t inputCount;  // in: bytes available at input; out: bytes taken
    uint8_t* output;
    uint32_t outputCount;  // in: room at output; out: bytes written
};

enum class DeflateStatus : int32_t {
    kMore = 0,   // all input was taken and more may follow, or the room ran out
    kDone = -1,  // the stream is complete, its last byte padded with zero bits
};

// Compresses as far as the input and the output room allow. The call stops
// when it needs input that was not offered (lastInput false and all offered
// input taken) or when its output room runs out (the last byte of room has
// been filled, or a byte waits and no room was offered); the next call with
// fresh input or room continues exactly there. Once lastInput is set and all
// input is compressed, the final block is written and kDone returned; later
// calls return kDone again and take and write nothing.
//
// chainLimit is clamped by clampChainLimit. Both settings are read on every
// call; callers keep them for the whole stream. A block that has started to be
// written keeps the code kind it started with, and once lastInput has ended the
// data short of a full segment, the stream ends there: input offered by later
// calls is not taken.
DeflateStatus runDeflate(const DeflateBuffers& buffers, uint16_t chainLimit, bool dynamicBlocks, bool lastInput,
                         DeflateIo& io);

}  // namespace zar::codec
