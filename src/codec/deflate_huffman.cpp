// Code lengths by heap merging with a length limit. (Canonical codes are built
// in the header, where the fixed codes also use them at compile time.)
#include "codec/deflate_huffman.h"

namespace zar::codec {
namespace {

// A heap entry holds a frequency above the node it stands for and the
// symbol that heads its group. Entries are ordered by the frequency alone, so
// equal frequencies stay where the sifts leave them; the entry after the last
// is a sentinel no entry is more frequent than.
constexpr uint64_t kSentinel = ~uint64_t{0};
constexpr uint64_t entryOf(uint32_t frequency, unsigned node, unsigned symbol) {
    return uint64_t{frequency} << 32 | node << 16 | symbol;
}
constexpr uint32_t frequencyOf(uint64_t entry) { return static_cast<uint32_t>(entry >> 32); }
constexpr uint16_t nodeOf(uint64_t entry) { return static_cast<uint16_t>(entry >> 16); }
constexpr uint16_t symbolOf(uint64_t entry) { return static_cast<uint16_t>(entry); }

// Moves heap[at] down until neither child is strictly less frequent than it.
void siftDown(uint64_t* heap, unsigned size, unsigned at) {
    const uint64_t entry = heap[at];
    const uint32_t f = frequencyOf(entry);
    for (;;) {
        unsigned child = 2 * at;
        if (child > size) break;
        // The sentinel keeps a lone left child from losing to the entry after it.
        child += frequencyOf(heap[child + 1]) < frequencyOf(heap[child]);
        if (f <= frequencyOf(heap[child])) break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = entry;
}

}  // namespace

void buildCodeLengths(uint32_t* freq, unsigned n, unsigned maxLength, uint8_t* lengths,
                      HuffmanScratch& s) {
    // The tree's nodes: the symbols are its leaves, and the merge nodes are
    // numbered from n on in the order they are made, so a node's number is
    // below its parent's. A symbol without a code keeps depth 0.
    uint16_t* tree = s.tree;
    unsigned size = 0;
    for (unsigned i = 0; i < n; ++i) {
        lengths[i] = 0;
        tree[i] = 0;
        if (freq[i] != 0) s.heap[++size] = entryOf(freq[i], i, i);
    }
    if (size == 0) return;
    if (size == 1) {
        lengths[symbolOf(s.heap[1])] = 1;
        return;
    }
    s.heap[size + 1] = kSentinel;

    for (unsigned at = size / 2; at >= 1; --at) siftDown(s.heap, size, at);

    unsigned merge = n;
    while (size > 1) {
        const uint64_t first = s.heap[1];
        s.heap[1] = s.heap[size];
        s.heap[size--] = kSentinel;
        siftDown(s.heap, size, 1);
        const uint64_t second = s.heap[1];
        freq[symbolOf(second)] += freq[symbolOf(first)];
        s.heap[1] = entryOf(freq[symbolOf(second)], merge, symbolOf(second));
        siftDown(s.heap, size, 1);
        tree[nodeOf(first)] = tree[nodeOf(second)] = static_cast<uint16_t>(merge++);
    }

    // Parent links become depths from the root, the last merge, down: each
    // node's parent is turned before the node itself. A symbol's depth is the
    // number of merges its group went through.
    const unsigned root = merge - 1;
    tree[root] = 0;
    for (unsigned node = root; node-- > n;) tree[node] = static_cast<uint16_t>(tree[tree[node]] + 1);
    for (unsigned i = 0; i < n; ++i)
        if (freq[i] != 0) tree[i] = static_cast<uint16_t>(tree[tree[i]] + 1);
    const uint16_t* depth = tree;

    // Symbols by unlimited length, then by symbol number (a counting sort).
    // A depth never reaches the symbol count, so it indexes countByLength.
    unsigned deepest = 0;
    for (unsigned len = 0; len < n; ++len) s.countByLength[len] = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (depth[i] == 0) continue;
        ++s.countByLength[depth[i]];
        if (depth[i] > deepest) deepest = depth[i];
    }
    {
        uint16_t offset[kMaxHuffmanSymbols];
        unsigned at = 0;
        for (unsigned len = 1; len <= deepest; ++len) {
            offset[len] = static_cast<uint16_t>(at);
            at += s.countByLength[len];
        }
        for (unsigned i = 0; i < n; ++i)
            if (depth[i] != 0) s.sorted[offset[depth[i]]++] = static_cast<uint16_t>(i);
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
