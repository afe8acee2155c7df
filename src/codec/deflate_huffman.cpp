// Code lengths by heap merging with a length limit. (Canonical codes are built
// in the header, where the fixed codes also use them at compile time.)
#include "codec/deflate_huffman.h"

namespace zar::codec {
namespace {

constexpr uint16_t kEndOfGroup = 0xFFFF;

// Moves heap[at] down until neither child is strictly less frequent than it.
void siftDown(uint16_t* heap, unsigned size, unsigned at, const uint32_t* freq) {
    uint16_t symbol = heap[at];
    uint32_t f = freq[symbol];
    for (;;) {
        unsigned child = 2 * at;
        if (child > size) break;
        if (child < size && freq[heap[child + 1]] < freq[heap[child]]) ++child;
        if (f <= freq[heap[child]]) break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = symbol;
}

}  // namespace

void buildCodeLengths(uint32_t* freq, unsigned n, unsigned maxLength, uint8_t* lengths,
                      HuffmanScratch& s) {
    unsigned size = 0;
    for (unsigned i = 0; i < n; ++i) {
        lengths[i] = 0;
        s.depth[i] = 0;
        s.link[i] = kEndOfGroup;
        if (freq[i] != 0) s.heap[++size] = static_cast<uint16_t>(i);
    }
    if (size == 0) return;
    if (size == 1) {
        lengths[s.heap[1]] = 1;
        return;
    }

    for (unsigned at = size / 2; at >= 1; --at) siftDown(s.heap, size, at, freq);

    while (size > 1) {
        uint16_t first = s.heap[1];
        s.heap[1] = s.heap[size--];
        siftDown(s.heap, size, 1, freq);
        uint16_t second = s.heap[1];
        freq[second] += freq[first];
        siftDown(s.heap, size, 1, freq);

        uint16_t tail = second;
        for (uint16_t k = second;; k = s.link[k]) {
            ++s.depth[k];
            tail = k;
            if (s.link[k] == kEndOfGroup) break;
        }
        s.link[tail] = first;
        for (uint16_t k = first; k != kEndOfGroup; k = s.link[k]) ++s.depth[k];
    }

    // Symbols by unlimited length, then by symbol number (a counting sort).
    // A depth never reaches the symbol count, so it indexes countByLength.
    unsigned deepest = 0;
    for (unsigned len = 0; len < n; ++len) s.countByLength[len] = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (s.depth[i] == 0) continue;
        ++s.countByLength[s.depth[i]];
        if (s.depth[i] > deepest) deepest = s.depth[i];
    }
    {
        uint16_t offset[kMaxHuffmanSymbols];
        unsigned at = 0;
        for (unsigned len = 1; len <= deepest; ++len) {
            offset[len] = static_cast<uint16_t>(at);
            at += s.countByLength[len];
        }
        for (unsigned i = 0; i < n; ++i)
            if (s.depth[i] != 0) s.sorted[offset[s.depth[i]]++] = static_cast<uint16_t>(i);
    }

    // Fold everything deeper than the limit into it; then, while the code is
    // over-subscribed, take a leaf off the last level and split the deepest
    // shorter leaf into two one level down. Each round lowers the Kraft sum
    // (in units of 2^-maxLength) by one.
    if (deepest > maxLength) {
        for (unsigned len = maxLength + 1; len <= deepest; ++len) {
            s.countByLength[maxLength] = static_cast<uint16_t>(s.countByLength[maxLength] + s.countByLength[len]);
            s.countByLength[len] = 0;
        }
        uint32_t sum = 0;
        for (unsigned len = 1; len <= maxLength; ++len) sum += uint32_t{s.countByLength[len]} << (maxLength - len);
        while (sum != (1u << maxLength)) {
            --s.countByLength[maxLength];
            unsigned len = maxLength - 1;
            while (s.countByLength[len] == 0) --len;
            --s.countByLength[len];
            s.countByLength[len + 1] = static_cast<uint16_t>(s.countByLength[len + 1] + 2);
            --sum;
        }
        deepest = maxLength;
    }

    unsigned at = 0;
    for (unsigned len = 1; len <= deepest; ++len)
        for (unsigned k = 0; k < s.countByLength[len]; ++k) lengths[s.sorted[at++]] = static_cast<uint8_t>(len);
}

}  // namespace zar::codec
