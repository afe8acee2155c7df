// Huffman code construction for the Deflate block coder: code lengths from
// symbol frequencies (a binary heap with fixed tie rules, then a length limit),
// and canonical codes from lengths. Every rule here decides bits of the output
// stream, so the order of every step is part of the contract.
#pragma once

#include <cstdint>

#include "codec/deflate_tables.h"

namespace zar::codec {

inline constexpr unsigned kMaxHuffmanSymbols = 288;

// Scratch of one code-length build. It lives in the compressor's work buffer;
// its contents mean nothing between builds.
struct HuffmanScratch {
    uint64_t heap[kMaxHuffmanSymbols + 2];      // 1-based entries of frequency, node and symbol; a sentinel
    uint16_t tree[2 * kMaxHuffmanSymbols];      // of each node its parent, then its depth
    uint16_t countByLength[kMaxHuffmanSymbols]; // symbols per length; a depth is below the symbol count
    uint16_t sorted[kMaxHuffmanSymbols];        // coded symbols by length, then by symbol
};

// Builds code lengths of at most maxLength bits for n symbols (n <= 288,
// 1 <= maxLength <= 15) from their frequencies.
//
// The frequencies are consumed: merged groups accumulate their sums in the
// array, so callers count afresh for the next build. The frequencies of one
// build must sum to less than 2^32.
//
// Rules, in order:
// - symbols of nonzero frequency enter the heap in ascending symbol order; none
//   gives no code, exactly one gets length 1;
// - the heap is made by sifting down every element from count/2 to 1; a sift
//   takes the left child unless the right one is strictly less frequent, and
//   stops as soon as the element is not more frequent than that child;
// - each merge removes the top (first minimum; the last element moves to the
//   top and sifts down), then the new top (second minimum) takes the sum and
//   sifts down; both groups deepen by one and the first group is appended to
//   the second, whose heap entry now stands for both;
// - lengths above maxLength are folded into maxLength and the code is made
//   complete again by moving leaves down from the longest shorter length;
// - the final lengths are handed out along the symbols ordered by their
//   unlimited length, then by symbol number.
void buildCodeLengths(uint32_t* freq, unsigned n, unsigned maxLength, uint8_t* lengths,
                      HuffmanScratch& scratch);

// Canonical codes for the given lengths (0 = unused symbol, at most 15 bits):
// codes ascend with the length, and within one length with the symbol number.
// Each code is returned bit-reversed, ready to be written least significant
// bit first. Also builds the fixed codes at compile time.
constexpr void assignCanonicalCodes(const uint8_t* lengths, unsigned n, uint16_t* codes) {
    uint16_t count[16] = {};
    for (unsigned i = 0; i < n; ++i) ++count[lengths[i]];
    uint16_t next[16] = {};
    for (unsigned len = 1; len < 15; ++len) next[len + 1] = static_cast<uint16_t>((next[len] + count[len]) << 1);
    for (unsigned i = 0; i < n; ++i) {
        unsigned len = lengths[i];
        codes[i] = len == 0 ? 0 : reverseBits(next[len]++, len);
    }
}

}  // namespace zar::codec
