#include "codec/explode.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

namespace zar::codec {
namespace {

using Tree = ExplodeState::Tree;
constexpr uint32_t kLengthShift = 9;
constexpr uint32_t kSymbolMask = (1u << kLengthShift) - 1;
constexpr uint32_t kLongLengthCode = 63;

uint32_t reversed(uint32_t code, uint32_t length) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < length; ++i) r = (r << 1) | ((code >> i) & 1);
    return r;
}

// Builds a tree from its description: runs of (count, bit length) pairs give
// the symbols 0, 1, 2, ... their lengths; codes are handed out from the
// longest, highest-numbered symbol down, each the top bits of a 16-bit
// register that grows by 2^(16 - length). False for a description that names
// more or fewer symbols than the tree holds, or codes that overflow.
bool buildTree(const uint8_t* description, uint32_t symbols, Tree& tree) {
    uint8_t lengthOf[256];
    const uint32_t pairs = description[0] + 1u;
    uint32_t count = 0;
    for (uint32_t i = 1; i <= pairs; ++i) {
        const uint32_t run = (description[i] >> 4) + 1u, length = (description[i] & 0x0F) + 1u;
        if (count + run > symbols) return false;
        std::fill(lengthOf + count, lengthOf + count + run, static_cast<uint8_t>(length));
        count += run;
    }
    if (count != symbols) return false;

    // Symbols by length, then by number: a counting sort over the 16 lengths.
    uint16_t order[256];
    uint32_t start[ExplodeState::kMaxCodeLength + 2] = {};
    for (uint32_t s = 0; s < symbols; ++s) ++start[lengthOf[s] + 1];
    for (uint32_t l = 1; l <= ExplodeState::kMaxCodeLength + 1; ++l) start[l] += start[l - 1];
    for (uint32_t s = 0; s < symbols; ++s) order[start[lengthOf[s]]++] = static_cast<uint16_t>(s);

    uint32_t longest = 0;
    for (uint32_t s = 0; s < symbols; ++s) longest = std::max<uint32_t>(longest, lengthOf[s]);
    tree.bits = std::min(longest, ExplodeState::kTableBits);
    const uint32_t size = 1u << tree.bits;
    std::fill(tree.entries, tree.entries + size, uint16_t{0});
    tree.codes = 0;
    uint32_t code = 0;  // 16-bit register, one bit beyond it marks an overflow
    for (uint32_t i = symbols; i-- > 0;) {
        const uint32_t symbol = order[i], length = lengthOf[symbol];
        if (code >= (1u << 16)) return false;
        const uint32_t entry = symbol | (length << kLengthShift);
        tree.starts[tree.codes++] = code << 16 | entry;
        // The code's first bit in the stream is its most significant one.
        if (length <= tree.bits) {
            const uint32_t first = reversed(code >> (16 - length), length);
            for (uint32_t at = first; at < size; at += 1u << length) tree.entries[at] = static_cast<uint16_t>(entry);
        } else {
            tree.entries[reversed(code >> (16 - tree.bits), tree.bits)] = Tree::kLongCode;
        }
        code += 1u << (16 - length);
    }
    return true;
}

// The bit reader of one call: a 64-bit buffer in locals, refilled a byte at a
// time from the offered input.
struct Bits {
    uint64_t buffer;
    uint32_t count;
    const uint8_t* in;
    size_t inCount;
    size_t taken;

    void fill() {
        if (inCount - taken >= 8) {
            buffer |= loadLe64(in + taken) << count;
            taken += (63 - count) >> 3;
            count |= 56;
            return;
        }
        while (count <= 56 && taken < inCount) {
            buffer |= static_cast<uint64_t>(in[taken++]) << count;
            count += 8;
        }
    }
    uint32_t peek(uint32_t n) const { return static_cast<uint32_t>(buffer & ((uint64_t{1} << n) - 1)); }
    void drop(uint32_t n) {
        buffer >>= n;
        count -= n;
    }
};

enum class Decode { kOk, kShort, kBad };

// The next symbol of `tree` at bit `at` of the buffer, without taking it.
Decode peekSymbol(const Bits& b, uint32_t at, const Tree& tree, uint32_t* symbol, uint32_t* length) {
    const uint32_t available = b.count - at;
    const uint32_t index = static_cast<uint32_t>(b.buffer >> at) & ((1u << tree.bits) - 1);
    uint32_t entry = tree.entries[index];
    if (entry == Tree::kLongCode) {
        // Codes longer than the table: the last code that starts at or below
        // the next 16 bits, taken most significant bit first. The first code
        // handed out is 0, so there always is one.
        const uint32_t next = reversed(static_cast<uint32_t>(b.buffer >> at) & 0xFFFF, 16);
        const uint32_t* end = tree.starts + tree.codes;
        const uint32_t* found = std::upper_bound(tree.starts, end, next << 16 | 0xFFFF) - 1;
        entry = *found & 0xFFFF;
        if ((next - (*found >> 16)) >> (16 - (entry >> kLengthShift)) != 0) return Decode::kBad;  // past the last code
    }
    const uint32_t codeLength = entry >> kLengthShift;
    if (codeLength == 0) return available >= tree.bits ? Decode::kBad : Decode::kShort;
    if (codeLength > available) return Decode::kShort;
    *symbol = entry & kSymbolMask;
    *length = codeLength;
    return Decode::kOk;
}

// One token, a literal or a match, read whole or not at all. A literal goes
// to *literal; a match to *distance and *matchLength.
Decode readToken(const ExplodeState& s, Bits& b, int* literal, uint32_t* distance, uint32_t* matchLength) {
    if (b.count < 1) return Decode::kShort;
    uint32_t at = 1;
    if (b.buffer & 1) {
        uint32_t symbol, length;
        if (s.literalTree) {
            if (Decode d = peekSymbol(b, at, s.literals, &symbol, &length); d != Decode::kOk) return d;
        } else {
            if (b.count < at + 8) return Decode::kShort;
            symbol = static_cast<uint32_t>(b.buffer >> at) & 0xFF;
            length = 8;
        }
        b.drop(at + length);
        *literal = static_cast<int>(symbol);
        return Decode::kOk;
    }
    if (b.count < at + s.lowDistanceBits) return Decode::kShort;
    const uint32_t low = static_cast<uint32_t>(b.buffer >> at) & ((1u << s.lowDistanceBits) - 1);
    at += s.lowDistanceBits;
    uint32_t high, highLength, code, codeLength;
    if (Decode d = peekSymbol(b, at, s.distances, &high, &highLength); d != Decode::kOk) return d;
    at += highLength;
    if (Decode d = peekSymbol(b, at, s.lengths, &code, &codeLength); d != Decode::kOk) return d;
    at += codeLength;
    if (code == kLongLengthCode) {
        if (b.count < at + 8) return Decode::kShort;
        code += static_cast<uint32_t>(b.buffer >> at) & 0xFF;
        at += 8;
    }
    b.drop(at);
    *literal = -1;
    *distance = ((high << s.lowDistanceBits) | low) + 1;
    *matchLength = code + (s.literalTree ? 3 : 2);
    return Decode::kOk;
}


// Gathers the tree descriptions, which come byte-aligned ahead of the codes:
// the literal tree's (with three trees), the length tree's, the distance tree's.
// True when all are in and built.
bool readDescriptions(ExplodeState& s, Bits& b) {
    const uint32_t trees = s.literalTree ? 3 : 2;
    while (s.describedTrees < trees) {
        uint8_t* description = s.descriptions[s.describedTrees];
        while (b.taken < b.inCount && (s.descriptionFill == 0 || s.descriptionFill < description[0] + 2u))
            description[s.descriptionFill++] = b.in[b.taken++];
        if (s.descriptionFill == 0 || s.descriptionFill < description[0] + 2u) return false;
        ++s.describedTrees;
        s.descriptionFill = 0;
    }
    uint32_t next = 0;
    bool ok = true;
    if (s.literalTree) ok = buildTree(s.descriptions[next++], 256, s.literals);
    ok = ok && buildTree(s.descriptions[next++], 64, s.lengths);
    ok = ok && buildTree(s.descriptions[next], 64, s.distances);
    if (!ok) s.ended = s.bad = true;
    ++s.describedTrees;  // one past the count: the trees are built
    return true;
}

}  // namespace

void explodeBegin(ExplodeState& s, bool literalTree, bool bigWindow) {
    std::memset(s.window, 0, sizeof s.window);
    s.describedTrees = 0;
    s.descriptionFill = 0;
    s.bits = 0;
    s.bitCount = 0;
    s.match = {};
    s.lowDistanceBits = bigWindow ? 7 : 6;
    s.literalTree = literalTree;
    s.ended = false;
    s.bad = false;
}

LegacyResult explodeStep(ExplodeState& s, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                          bool lastInput) {
    Bits b{s.bits, s.bitCount, in, inCount, 0};
    size_t written = 0;
    const uint32_t trees = s.literalTree ? 3 : 2;
    if (!s.ended && s.describedTrees <= trees && !readDescriptions(s, b)) {
        if (lastInput) s.ended = true;
        s.bits = b.buffer, s.bitCount = b.count;
        return {lastInput ? LegacyStatus::kEnd : LegacyStatus::kMore, b.taken, 0};
    }

    while (!s.ended) {
        if (s.match.left != 0 && !s.match.drain(s.window, sizeof s.window, out, &written, outRoom)) break;
        if (written == outRoom) break;
        b.fill();
        int literal = -1;
        uint32_t distance = 0, length = 0;
        const Decode d = readToken(s, b, &literal, &distance, &length);
        if (d == Decode::kBad) {
            s.ended = s.bad = true;
        } else if (d == Decode::kShort) {
            // The buffer took all the input there was (a token never needs
            // more bits than a full buffer holds).
            if (lastInput) s.ended = true;
            break;
        } else if (literal >= 0) {
            out[written++] = static_cast<uint8_t>(literal);
        } else {
            s.match = {length, distance};
        }
    }
    slideWindow(s.window, sizeof s.window, out, written);
    s.bits = b.buffer;
    s.bitCount = b.count;
    LegacyStatus status = LegacyStatus::kMore;
    if (s.ended && s.match.left == 0) status = s.bad ? LegacyStatus::kBadData : LegacyStatus::kEnd;
    if (s.bad) status = LegacyStatus::kBadData;
    return {status, b.taken, written};
}

}  // namespace zar::codec
