// Test helpers for the Deflate compressor: a small decoder that records every
// block header, code description and token of a raw Deflate stream, and
// wrappers that compress through the exported functions, whole or in pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zar::test {

struct TraceToken {
    uint32_t at;        // output position where the token starts
    uint16_t length;    // 0 for a literal
    uint16_t distance;  // 0 for a literal
};

// A code-length record of a dynamic block: symbol 0 to 18 and its repeat value.
struct TraceRecord {
    uint8_t symbol;
    uint8_t extra;
    bool operator==(const TraceRecord&) const = default;
};

struct TraceBlock {
    bool final = false;
    unsigned type = 0;  // 0 stored, 1 fixed, 2 dynamic
    unsigned hlit = 0, hdist = 0, hclen = 0;
    std::vector<uint8_t> codeLengthLengths;  // 19, by symbol
    std::vector<TraceRecord> records;
    std::vector<uint8_t> litLengths;   // HLIT entries
    std::vector<uint8_t> distLengths;  // HDIST entries
    std::vector<TraceToken> tokens;
};

struct Trace {
    bool ok = false;
    std::string error;
    std::vector<TraceBlock> blocks;
    std::vector<uint8_t> output;
    size_t bitsUsed = 0;        // bits up to the end of the final block
    size_t streamBytes = 0;     // bytes of the stream given
};

// Decodes a raw Deflate stream, recording its structure. Codes must be
// complete, except a single code of length 1 or no code at all.
Trace traceDeflate(const std::vector<uint8_t>& stream);

// True when the lengths form a complete prefix code (Kraft sum exactly 1).
bool isCompleteCode(const std::vector<uint8_t>& lengths);

// ---- Compressing through the exports ---------------------------------------

// Raw inflate with zlib; `ok` false unless the stream ends exactly at its end.
std::vector<uint8_t> zlibInflate(const std::vector<uint8_t>& stream, bool* ok);

// The same through the library's own inflater, in pieces of 65520 bytes;
// `ok` when the stream ended without an error.
std::vector<uint8_t> ownInflate(const std::vector<uint8_t>& stream, bool* ok);

// Whole input in one call with ample room.
std::vector<uint8_t> deflateWhole(const std::vector<uint8_t>& input, uint16_t chainLimit, bool dynamicBlocks);

// Input in pieces and output room in pieces whose sizes the two functions give
// (called with the index of the piece); lastInput is set with the last piece.
// Every work buffer is placed at an odd address.
std::vector<uint8_t> deflatePieces(const std::vector<uint8_t>& input, uint16_t chainLimit, bool dynamicBlocks,
                                   const std::function<uint32_t(size_t)>& inputPiece,
                                   const std::function<uint32_t(size_t)>& outputRoom);

}  // namespace zar::test
