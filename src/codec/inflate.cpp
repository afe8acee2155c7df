// Raw Deflate decoder. A table-driven fast loop decodes straight into the
// caller's output while the input and output margins rule out every bound
// check; a checked state machine finishes near the edges and suspends at any
// bit. Output goes to the caller as soon as it is decoded; the last 32 KiB of
// it are kept in a circular history window for matches that reach back
// before the current call's output.
#include "codec/inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "codec/deflate_tables.h"
#include "codec/vector_state.h"

// On x86-64 the fast loop is compiled a second time for processors with AVX2
// and BMI2: BMI2's shifts and bit extraction take any register and save
// instructions on the path from one table lookup to the next, and with AVX2
// enabled every vector instruction the compiler emits is VEX-encoded, so the
// loop pays no penalty for vector state that a caller left dirty.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZAR_INFLATE_BMI2 1
#define ZAR_FORCE_INLINE __attribute__((always_inline))
#else
#define ZAR_FORCE_INLINE
#endif

namespace zar::codec {
namespace {

// ---- Work area layout ------------------------------------------------------
//
// Every multi-byte field is read and written with memcpy, so the work area may
// sit at any address (and may even be moved between calls). Only the state
// record needs a defined value at the start (inflateBeginLazy): the decoder
// writes every table entry before it reads it, and takes output from the
// window only where the state says that the stream wrote it or it was
// cleared (word copies may read past that into bytes that are overwritten
// before they are reported).
//
//   window        32768 bytes   the last 32 KiB of output, circular
//   litlen table  1332 x 4      literal/length decode table (root 10 bits);
//                               while a dynamic header is read, its first
//                               320 bytes hold the code lengths instead
//   dist table    402 x 2       distance decode table (root 8 bits); while a
//                               dynamic header is read, it holds the
//                               code-length (precode) table instead
//   state         State         the suspension record
//
// 1332 and 402 are the largest tables that any accepted code needs with these
// root sizes (the "enough" bounds for 286 symbols at root 10 and 32 symbols at
// root 8, maximum length 15); a single code or an empty one needs fewer. The
// distance table has 16-bit entries so that both fit beside the window.

constexpr size_t kWindowSize = kMaxDistance;
constexpr size_t kWindowMask = kWindowSize - 1;
constexpr unsigned kLitLenRootBits = 10;
constexpr unsigned kDistRootBits = 8;
constexpr unsigned kPrecodeRootBits = 7;
constexpr size_t kLitLenEntries = 1332;
constexpr size_t kDistEntries = 402;
constexpr size_t kPrecodeEntries = size_t{1} << kPrecodeRootBits;
constexpr size_t kMaxLengths = 286 + 30;  // HLIT + HDIST at most

constexpr size_t kWindowOffset = 0;
constexpr size_t kLitLenOffset = kWindowOffset + kWindowSize;
constexpr size_t kLengthsOffset = kLitLenOffset;
constexpr size_t kDistOffset = kLitLenOffset + kLitLenEntries * 4;
constexpr size_t kPrecodeOffset = kDistOffset;
constexpr size_t kStateOffset = kDistOffset + kDistEntries * 2;
static_assert(kPrecodeEntries * 4 <= kDistEntries * 2);
static_assert(kMaxLengths <= kLitLenEntries * 4);
static_assert(kWindowOffset + kWindowSize + 40 <= kLitLenOffset + kLitLenEntries * 4,
              "word copies out of the window may read a little past it (kCopyOvershoot)");

// Suspension modes: each names what the decoder waits for when it stops there.
enum Mode : uint8_t {
    kStart,            // nothing read yet
    kBlockHeader,      // BFINAL and BTYPE (3 bits)
    kStoredHeader,     // byte boundary, then LEN and NLEN (32 bits)
    kStoredCopy,       // `length` stored bytes still to copy
    kTableSizes,       // HLIT, HDIST and HCLEN (14 bits)
    kPrecodeLengths,   // the HCLEN 3-bit code-length code lengths; `index` read so far
    kCodeLengths,      // the HLIT + HDIST code lengths; `index` read so far
    kSymbol,           // a literal/length code and its extra bits
    kDistance,         // a distance code and its extra bits; `length` is the match length
    kLiteral,          // room for the decoded byte `literal`
    kMatch,            // room for the rest of a match: `length` bytes at `distance`
    kTrailer,          // the final block ended; `owed` look-ahead bytes still to take
    kDone,             // the stream ended; nothing more happens
    kFailed,           // the stream was invalid; nothing more happens
};

constexpr uint32_t kMagic = 0x5A494E46;  // marks a state that decoding has begun

struct State {
    uint32_t magic;
    uint8_t mode;
    uint8_t finalBlock;  // BFINAL of the current block
    uint8_t fixedCodes;  // the current block uses the fixed codes
    uint8_t bitCount;    // valid bits in bitBuffer (the rest are zero)
    uint64_t bitBuffer;  // unread input bits, least significant first
    uint32_t windowNext; // where the next output byte goes in the window
    // Bytes of the window that hold output or zeros, at most its size. Below
    // the size they are window[0, history) (windowNext equals it): the rest
    // may hold anything until clearUnwrittenWindow sets it to zeros.
    uint32_t history;
    uint32_t length;     // stored bytes left, or the match length
    uint32_t distance;   // distance of the pending match
    uint16_t litLenCount;   // HLIT
    uint16_t distCount;     // HDIST
    uint16_t precodeCount;  // HCLEN
    uint16_t index;         // code lengths read so far
    uint8_t literal;        // the pending literal
    uint8_t owed;           // look-ahead bytes still to take at the end
};

constexpr size_t kUsedSize = kStateOffset + sizeof(State);
static_assert(kUsedSize <= kInflateWorkSize, "the decoder state must fit the work area");

// ---- Decode table entries ---------------------------------------------------
//
// One 32-bit entry per table slot:
//   bits 0-5    bits to consume: code length plus extra bits for a leaf, the
//               root bits for a subtable pointer, the index bits for a slot
//               that no code uses; bits 6-7 are zero, so the low byte is the
//               count as it stands (the fast loop relies on it)
//   bits 8-11   code length of a leaf (extra bits sit above it), or the index
//               bits of the subtable a pointer leads to
//   bit 12-15   flags
//   bits 16-31  literal byte, length base, distance base (the symbol while a
//               distance table is built), code-length symbol, or the
//               subtable's first entry
// In a subtable the code length counts only the bits after the root.

constexpr uint32_t kLiteralFlag = 0x8000;
constexpr uint32_t kExceptionalFlag = 0x4000;  // subtable pointer, end of block or unused
constexpr uint32_t kSubtableFlag = 0x2000;
constexpr uint32_t kEndOfBlockFlag = 0x1000;

constexpr uint32_t makeEntry(uint32_t value, uint32_t flags, unsigned codeLength, unsigned extraBits) {
    return value << 16 | flags | codeLength << 8 | (codeLength + extraBits);
}

constexpr unsigned entryBits(uint32_t e) { return e & 0x3F; }
constexpr unsigned entryCodeLength(uint32_t e) { return (e >> 8) & 0xF; }
constexpr uint32_t entryValue(uint32_t e) { return e >> 16; }

constexpr uint64_t lowBits(unsigned n) { return (uint64_t{1} << n) - 1; }

// Value of an entry's extra bits, given the bit buffer before the entry was consumed.
constexpr uint32_t entryExtra(uint32_t e, uint64_t bits) {
    return static_cast<uint32_t>((bits & lowBits(entryBits(e))) >> entryCodeLength(e));
}

enum class CodeKind { kLitLen, kDist, kPrecode };

// The entry of a symbol whose code has `codeLength` bits in its table.
constexpr uint32_t leafEntry(CodeKind kind, unsigned symbol, unsigned codeLength) {
    switch (kind) {
        case CodeKind::kLitLen:
            if (symbol < 256) return makeEntry(symbol, kLiteralFlag, codeLength, 0);
            if (symbol == 256) return makeEntry(0, kExceptionalFlag | kEndOfBlockFlag, codeLength, 0);
            if (symbol < 286) return makeEntry(kLengthBase[symbol - 257], 0, codeLength, kLengthExtra[symbol - 257]);
            return makeEntry(0, kExceptionalFlag, codeLength, 0);  // 286 and 287 are invalid
        case CodeKind::kDist:  // the symbol: stored tables keep it instead of the base (see packDist)
            if (symbol < 30) return makeEntry(symbol, 0, codeLength, kDistExtra[symbol]);
            return makeEntry(0, kExceptionalFlag, codeLength, 0);  // 30 and 31 are invalid
        case CodeKind::kPrecode:
            return makeEntry(symbol, 0, codeLength, codeLengthExtra(symbol));
    }
    return 0;
}

// An index that no code uses; `bits` of input select it.
constexpr uint32_t unusedEntry(unsigned bits) { return makeEntry(0, kExceptionalFlag, 0, bits); }

// Distance table entries are 16 bits:
//   leaf     bits 0-4 bits to consume, 6-9 code length, 10-14 symbol
//   unused   bit 15; bits 0-4 the index bits that select it
//   pointer  bits 15 and 14; bits 0-7 the subtable's first entry after the
//            root table, bits 8-10 its index bits
// Bit 5 of a leaf is 0, so its low 6 bits are a shift count as they stand.
constexpr uint32_t kDistUnused = 0x8000;
constexpr uint32_t kDistPointer = 0x4000;
constexpr uint32_t kDistRootSize = 1u << kDistRootBits;
static_assert(kDistEntries - kDistRootSize <= 256, "subtable starts fit 8 bits");
static_assert(kDistBase.size() == 32, "a leaf's 5-bit symbol indexes kDistBase without a check");

constexpr uint16_t packDist(uint32_t e) {
    if ((e & kSubtableFlag) != 0)
        return static_cast<uint16_t>(kDistUnused | kDistPointer | entryCodeLength(e) << 8 |
                                     (entryValue(e) - kDistRootSize));
    if ((e & kExceptionalFlag) != 0) return static_cast<uint16_t>(kDistUnused | entryBits(e));
    return static_cast<uint16_t>(entryValue(e) << 10 | entryCodeLength(e) << 6 | entryBits(e));
}

// A 16-bit distance entry as a general entry, with the distance base as its value.
constexpr uint32_t unpackDist(uint32_t d) {
    if ((d & kDistUnused) == 0) {
        const unsigned length = (d >> 6) & 0xF;
        return makeEntry(kDistBase[(d >> 10) & 31], 0, length, (d & 31) - length);
    }
    if ((d & kDistPointer) != 0) {
        const unsigned subBits = (d >> 8) & 7;
        return makeEntry(kDistRootSize + (d & 0xFF), kExceptionalFlag | kSubtableFlag, subBits,
                         kDistRootBits - subBits);
    }
    return unusedEntry(d & 31);
}

// Where buildTable writes: a table stores entries by index and copies a run
// of entries to a place that does not overlap it.
//
// An array of 32-bit entries, usable at compile time (the fixed tables).
struct EntryArray {
    uint32_t* entries;
    constexpr void put(size_t i, uint32_t e) const { entries[i] = e; }
    constexpr void copy(size_t to, size_t from, size_t n) const {
        for (size_t i = 0; i < n; ++i) entries[to + i] = entries[from + i];
    }
};

// 32-bit entries straight into the work area, at any alignment.
struct EntryArea {
    uint8_t* bytes;
    void put(size_t i, uint32_t e) const { std::memcpy(bytes + i * 4, &e, 4); }
    void copy(size_t to, size_t from, size_t n) const { std::memcpy(bytes + to * 4, bytes + from * 4, n * 4); }
};

// 16-bit distance entries (packDist) straight into the work area.
struct DistArea {
    uint8_t* bytes;
    void put(size_t i, uint32_t e) const {
        const uint16_t d = packDist(e);
        std::memcpy(bytes + i * 2, &d, 2);
    }
    void copy(size_t to, size_t from, size_t n) const { std::memcpy(bytes + to * 2, bytes + from * 2, n * 2); }
};

// Builds the decode table of `count` symbols with code lengths `lengths`
// (0 to 15; 0 means no code) into table[0, capacity): a root table indexed by
// the next `rootBits` input bits, followed by subtables for longer codes.
// Accepts a complete set of lengths, a set with exactly one code (of any
// length), and an empty set; slots that no code reaches decode as unused.
// Returns the number of entries used, or 0 for any other set. Every entry up
// to the count returned is written; the table's earlier contents never matter.
template <class Table>
constexpr size_t buildTable(const uint8_t* lengths, unsigned count, CodeKind kind, unsigned rootBits, Table table,
                            size_t capacity) {
    // Four counts per length, each over every fourth symbol: runs of equal
    // lengths then do not wait for their own increments one after another.
    unsigned counts[4][16] = {};
    unsigned i = 0;
    for (; i + 4 <= count; i += 4)
        for (unsigned j = 0; j < 4; ++j) ++counts[j][lengths[i + j]];
    for (; i < count; ++i) ++counts[0][lengths[i]];
    unsigned lengthCount[16];
    for (unsigned len = 0; len <= 15; ++len)
        lengthCount[len] = counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len];
    lengthCount[0] = 0;

    int left = 1;  // unused code space at the current length
    unsigned used = 0;
    unsigned maxLength = 0;
    for (unsigned len = 1; len <= 15; ++len) {
        left = left * 2 - static_cast<int>(lengthCount[len]);
        if (left < 0) return 0;  // over-subscribed
        used += lengthCount[len];
        if (lengthCount[len] != 0) maxLength = len;
    }
    if (left > 0 && used > 1) return 0;  // incomplete

    // Symbols sorted by code length, then by symbol; those without a code go
    // last, so that every symbol is stored without a test. Both arrays are
    // written before they are read, so neither is cleared.
    unsigned offsets[16];
    offsets[1] = 0;
    for (unsigned len = 1; len < 15; ++len) offsets[len + 1] = offsets[len] + lengthCount[len];
    offsets[0] = used;
    unsigned sorted[kLitLenSymbols];
    for (unsigned s = 0; s < count; ++s) sorted[offsets[lengths[s]]++] = s;

    const size_t rootSize = size_t{1} << rootBits;
    if (capacity < rootSize) return 0;
    const bool complete = left == 0;  // then every slot gets a code

    // The canonical code in the order it is read (first bit lowest). Codes
    // count up most significant bit first, so it is advanced by adding from
    // the top; a longer length appends zeros at the top, which changes nothing.
    unsigned reversed = 0;
    auto advance = [&reversed](unsigned len) {
        unsigned step = 1u << (len - 1);
        while ((reversed & step) != 0) step >>= 1;
        reversed = step != 0 ? (reversed & (step - 1)) + step : 0;
    };
    unsigned k = 0;

    // The root table grows by doubling: while the codes of length `len` are
    // placed, slots [0, 2^len) hold every shorter code at each of its places
    // below 2^len, and a code of this length has one place there. A copy of
    // the first half into the second then serves the next length. Slots that
    // no code of at most rootBits bits takes start unused; in a complete code
    // they are all overwritten, by a shorter code or a subtable pointer.
    table.put(0, unusedEntry(rootBits));
    table.put(1, unusedEntry(rootBits));
    size_t filled = 2;
    const unsigned rootLengths = std::min(maxLength, rootBits);
    for (unsigned len = 1; len <= rootLengths; ++len) {
        if (filled < (size_t{1} << len)) {
            table.copy(filled, 0, filled);
            filled *= 2;
        }
        for (unsigned n = 0; n < lengthCount[len]; ++n, ++k) {
            table.put(reversed, leafEntry(kind, sorted[k], len));
            advance(len);
        }
    }
    for (; filled < rootSize; filled *= 2) table.copy(filled, 0, filled);

    unsigned remaining[16];  // codes of each length not placed yet
    for (unsigned len = rootBits + 1; len <= 15; ++len) remaining[len] = lengthCount[len];

    size_t next = rootSize;  // first free entry after the root table
    size_t subStart = 0;
    unsigned subBits = 0;
    unsigned currentPrefix = ~0u;
    for (unsigned len = rootBits + 1; len <= maxLength; ++len) {
        for (unsigned n = 0; n < lengthCount[len]; ++n, ++k) {
            const unsigned prefix = reversed & static_cast<unsigned>(rootSize - 1);
            if (prefix != currentPrefix) {
                // A new subtable: wide enough for every code that shares this prefix.
                subBits = len - rootBits;
                int room = 1 << subBits;
                while (subBits + rootBits < maxLength) {
                    room -= static_cast<int>(remaining[subBits + rootBits]);
                    if (room <= 0) break;
                    ++subBits;
                    room <<= 1;
                }
                const size_t size = size_t{1} << subBits;
                if (next + size > capacity) return 0;
                subStart = next;
                next += size;
                if (!complete)
                    for (size_t i = 0; i < size; ++i) table.put(subStart + i, unusedEntry(subBits));
                table.put(prefix, makeEntry(static_cast<uint32_t>(subStart), kExceptionalFlag | kSubtableFlag,
                                            subBits, rootBits - subBits));
                currentPrefix = prefix;
            }
            const unsigned subLength = len - rootBits;
            if (subLength > subBits) return 0;
            const uint32_t e = leafEntry(kind, sorted[k], subLength);
            for (size_t i = reversed >> rootBits; i < (size_t{1} << subBits); i += size_t{1} << subLength)
                table.put(subStart + i, e);
            --remaining[len];
            advance(len);
        }
    }
    return next;
}

// The fixed codes are built once, at compile time.
constexpr size_t kLitLenRootSize = size_t{1} << kLitLenRootBits;

constexpr std::array<uint32_t, kLitLenRootSize> makeFixedLitLen() {
    std::array<uint32_t, kLitLenRootSize> table{};
    uint8_t lengths[kLitLenSymbols] = {};
    for (unsigned s = 0; s < kLitLenSymbols; ++s) lengths[s] = fixedLitLenLength(s);
    if (buildTable(lengths, kLitLenSymbols, CodeKind::kLitLen, kLitLenRootBits, EntryArray{table.data()},
                   table.size()) != table.size())
        table = {};
    return table;
}

constexpr std::array<uint16_t, kDistRootSize> makeFixedDist() {
    std::array<uint32_t, kDistRootSize> table{};
    std::array<uint16_t, kDistRootSize> packed{};
    uint8_t lengths[kDistSymbols] = {};
    for (auto& l : lengths) l = kFixedDistLength;
    if (buildTable(lengths, kDistSymbols, CodeKind::kDist, kDistRootBits, EntryArray{table.data()}, table.size()) ==
        table.size())
        for (size_t i = 0; i < table.size(); ++i) packed[i] = packDist(table[i]);
    return packed;
}

constexpr std::array<uint32_t, kLitLenRootSize> kFixedLitLen = makeFixedLitLen();
constexpr std::array<uint16_t, kDistRootSize> kFixedDist = makeFixedDist();
// 'A' (0x41) has the 8-bit code 0x71; the end of block has the 7-bit code 0.
static_assert(kFixedLitLen[reverseBits(0x71, 8)] == makeEntry('A', kLiteralFlag, 8, 0));
static_assert(kFixedLitLen[0] == makeEntry(0, kExceptionalFlag | kEndOfBlockFlag, 7, 0));
static_assert(unpackDist(kFixedDist[0]) == makeEntry(1, 0, 5, 0));
static_assert(unpackDist(kFixedDist[reverseBits(29, 5)]) == makeEntry(24577, 0, 5, 13));
static_assert(unpackDist(kFixedDist[reverseBits(30, 5)]) == unusedEntry(5));

// ---- Little helpers ---------------------------------------------------------

inline uint32_t loadEntry(const uint8_t* table, size_t index) {
    uint32_t e;
    std::memcpy(&e, table + index * 4, 4);
    return e;
}

inline uint32_t loadDist(const uint8_t* table, size_t index) {
    uint16_t d;
    std::memcpy(&d, table + index * 2, 2);
    return d;
}

inline uint64_t loadWord(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void storeWord(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Moves 8 bytes as they stand, whatever the host's byte order.
inline void copyWord(uint8_t* out, const uint8_t* src) {
    uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(out, &v, 8);
}

// Copies `length` bytes from `src` in words of 8, front to back: reads and
// writes up to kCopyOvershoot - 1 bytes past the end. The source may be the
// output itself 8 or more bytes back, since every word is read after the
// words before it were written. Five words go first without a test: most
// matches need no more.
inline uint8_t* copyWords(uint8_t* out, const uint8_t* src, size_t length) {
    uint8_t* const end = out + length;
    for (;;) {
        copyWord(out, src);
        copyWord(out + 8, src + 8);
        copyWord(out + 16, src + 16);
        copyWord(out + 24, src + 24);
        copyWord(out + 32, src + 32);
        out += 40;
        if (out >= end) return end;
        src += 40;
    }
}

// Copies a match of `length` bytes from `distance` bytes back, front to back,
// so that a distance below the length repeats the last `distance` bytes.
// Requires distance <= bytes before `out` and kCopyOvershoot bytes of room
// beyond the match: words are written past its end.
inline uint8_t* copyMatchFast(uint8_t* out, size_t distance, size_t length) {
    const uint8_t* src = out - distance;
    uint8_t* const end = out + length;
    if (distance >= 8) {
        return copyWords(out, src, length);
    } else if (distance == 1) {
        const uint64_t v = uint64_t{*src} * 0x0101010101010101u;
        do {
            storeWord(out, v);
            storeWord(out + 8, v);
            out += 16;
        } while (out < end);
    } else {
        // Each word repeats the pattern that the previous one finished.
        do {
            copyWord(out, src);
            out += distance;
            src += distance;
        } while (out < end);
    }
    return end;
}

// ---- The decoder --------------------------------------------------------------

// Bytes that copyWords and copyMatchFast may write past the end of a match.
constexpr size_t kCopyOvershoot = 40;
// Room the fast loop needs at the top of an iteration: four literals, or two
// and a match, which it copies only when the match and the overshoot fit (a
// match that does not fit is left pending for the checked path).
constexpr size_t kFastOutputMargin = 32;
// Input that the loop may read between two margin checks: three refills (the
// first pass has one more before the loop) that each read 8 bytes and advance
// by at most 7.
constexpr size_t kFastInputMargin = 24;

class Decoder {
public:
    Decoder(uint8_t* work, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom, bool lastInput)
        : work_(work),
          window_(work + kWindowOffset),
          inStart_(in),
          in_(in),
          inEnd_(in + inCount),
          outStart_(out),
          out_(out),
          outEnd_(out + outRoom),
          lastInput_(lastInput) {
        std::memcpy(&s_, work + kStateOffset, sizeof s_);
    }

    InflateResult run();

private:
    enum class Step { kGo, kNeedInput, kNeedRoom, kBad, kEnd };

    // Bit reader of the checked path: one byte at a time, exactly as needed.
    bool pullByte() {
        if (in_ < inEnd_) {
            s_.bitBuffer |= uint64_t{*in_++} << s_.bitCount;
        } else if (lastInput_) {
            phantomBits_ += 8;  // a zero byte past the end, for look-ahead only
        } else {
            return false;
        }
        s_.bitCount = static_cast<uint8_t>(s_.bitCount + 8);
        return true;
    }
    bool need(unsigned n) {
        while (s_.bitCount < n)
            if (!pullByte()) return false;
        return true;
    }
    // Drops n bits; false when they reached into the zero bytes past the end.
    bool drop(unsigned n) {
        s_.bitBuffer >>= n;
        s_.bitCount = static_cast<uint8_t>(s_.bitCount - n);
        return s_.bitCount >= phantomBits_;
    }
    uint32_t peek(unsigned n) const { return static_cast<uint32_t>(s_.bitBuffer & lowBits(n)); }

    template <bool kDistTable>
    Step decodeEntry(const uint8_t* table, unsigned rootBits, uint32_t& entry);
    Step blockHeader();
    Step storedHeader();
    Step storedCopy();
    Step tableSizes();
    Step precodeLengths();
    Step codeLengths();
    Step symbol();
    Step distance();
    Step literal();
    Step match();
    Step finishStream();
    Step trailer();
    Step fastLoop();
    ZAR_FORCE_INLINE inline Step fastLoopBody();
    Step fastLoopGeneric();
#ifdef ZAR_INFLATE_BMI2
    __attribute__((target("avx2,bmi2"))) Step fastLoopBmi2();
#endif

    const uint8_t* litLenTable() const {
        return s_.fixedCodes ? reinterpret_cast<const uint8_t*>(kFixedLitLen.data()) : work_ + kLitLenOffset;
    }
    const uint8_t* distTable() const {
        return s_.fixedCodes ? reinterpret_cast<const uint8_t*>(kFixedDist.data()) : work_ + kDistOffset;
    }

    void saveWindow();
    void clearUnwrittenWindow();
    void giveBackWholeBytes(size_t limit);

    State s_;
    uint8_t* const work_;
    uint8_t* const window_;
    const uint8_t* const inStart_;
    const uint8_t* in_;
    const uint8_t* const inEnd_;
    uint8_t* const outStart_;
    uint8_t* out_;
    uint8_t* const outEnd_;
    const bool lastInput_;
    unsigned phantomBits_ = 0;  // zero bits in the buffer that lie past the end of the input
};

// Looks up the next code of `table`, pulling bytes until the bits that decide
// it (and its extra bits) are all present. On kGo, `entry` is a leaf or an
// unused slot and the root bits of a subtable code have been dropped.
// Distance tables are read through unpackDist, so that entries of every
// table look alike here.
template <bool kDistTable>
Decoder::Step Decoder::decodeEntry(const uint8_t* table, unsigned rootBits, uint32_t& entry) {
    auto load = [table](size_t i) { return kDistTable ? unpackDist(loadDist(table, i)) : loadEntry(table, i); };
    for (;;) {
        uint32_t e = load(peek(rootBits));
        if ((e & kSubtableFlag) != 0) {
            const uint32_t sub = load(entryValue(e) + ((s_.bitBuffer >> rootBits) & lowBits(entryCodeLength(e))));
            if (s_.bitCount >= rootBits + entryBits(sub)) {
                if (!drop(rootBits)) return Step::kBad;
                entry = sub;
                return Step::kGo;
            }
        } else if (s_.bitCount >= entryBits(e)) {
            entry = e;
            return Step::kGo;
        }
        if (!pullByte()) return Step::kNeedInput;
    }
}

Decoder::Step Decoder::blockHeader() {
    if (!need(3)) return Step::kNeedInput;
    const uint32_t header = peek(3);
    if (!drop(3)) return Step::kBad;
    s_.finalBlock = header & 1;
    switch (header >> 1) {
        case 0:
            s_.mode = kStoredHeader;
            break;
        case 1:
            s_.fixedCodes = 1;
            s_.mode = kSymbol;
            break;
        case 2:
            s_.fixedCodes = 0;
            s_.mode = kTableSizes;
            break;
        default:
            return Step::kBad;  // block type 3
    }
    return Step::kGo;
}

Decoder::Step Decoder::storedHeader() {
    if (!drop(s_.bitCount & 7)) return Step::kBad;
    if (!need(32)) return Step::kNeedInput;
    const uint32_t len = peek(16);
    const uint32_t nlen = static_cast<uint32_t>(s_.bitBuffer >> 16) & 0xFFFF;
    if (!drop(32)) return Step::kBad;
    if ((len ^ nlen) != 0xFFFF) return Step::kBad;
    s_.length = len;
    s_.mode = kStoredCopy;
    return Step::kGo;
}

Decoder::Step Decoder::storedCopy() {
    // Whole bytes that the bit buffer already holds come first.
    while (s_.length > 0 && s_.bitCount >= 8) {
        if (out_ == outEnd_) return Step::kNeedRoom;
        *out_++ = static_cast<uint8_t>(s_.bitBuffer);
        if (!drop(8)) return Step::kBad;
        --s_.length;
    }
    if (s_.length > 0) {
        const size_t n = std::min({size_t{s_.length}, static_cast<size_t>(inEnd_ - in_),
                                   static_cast<size_t>(outEnd_ - out_)});
        if (n > 0) {
            std::memcpy(out_, in_, n);
            in_ += n;
            out_ += n;
            s_.length -= static_cast<uint32_t>(n);
        }
        if (s_.length > 0) {
            if (out_ == outEnd_) return Step::kNeedRoom;
            return lastInput_ ? Step::kBad : Step::kNeedInput;  // the input ends inside the block
        }
    }
    if (s_.finalBlock) return finishStream();
    s_.mode = kBlockHeader;
    return Step::kGo;
}

Decoder::Step Decoder::tableSizes() {
    if (!need(14)) return Step::kNeedInput;
    const uint32_t v = peek(14);
    if (!drop(14)) return Step::kBad;
    s_.litLenCount = static_cast<uint16_t>((v & 0x1F) + 257);
    s_.distCount = static_cast<uint16_t>(((v >> 5) & 0x1F) + 1);
    s_.precodeCount = static_cast<uint16_t>((v >> 10) + 4);
    if (s_.litLenCount > 286 || s_.distCount > 30) return Step::kBad;
    std::memset(work_ + kLengthsOffset, 0, 19);
    s_.index = 0;
    s_.mode = kPrecodeLengths;
    return Step::kGo;
}

Decoder::Step Decoder::precodeLengths() {
    uint8_t* lengths = work_ + kLengthsOffset;
    while (s_.index < s_.precodeCount) {
        if (!need(3)) return Step::kNeedInput;
        lengths[kCodeLengthOrder[s_.index++]] = static_cast<uint8_t>(peek(3));
        if (!drop(3)) return Step::kBad;
    }
    // The code lengths that follow overwrite these 19 from the start, each
    // before it is read: they need no clearing.
    if (buildTable(lengths, 19, CodeKind::kPrecode, kPrecodeRootBits, EntryArea{work_ + kPrecodeOffset},
                   kPrecodeEntries) == 0)
        return Step::kBad;
    s_.index = 0;
    s_.mode = kCodeLengths;
    return Step::kGo;
}

Decoder::Step Decoder::codeLengths() {
    uint8_t* lengths = work_ + kLengthsOffset;
    const unsigned total = s_.litLenCount + s_.distCount;
    while (s_.index < total) {
        uint32_t e;
        if (Step st = decodeEntry<false>(work_ + kPrecodeOffset, kPrecodeRootBits, e); st != Step::kGo) return st;
        if ((e & kExceptionalFlag) != 0) return Step::kBad;  // an unused code
        const unsigned symbol = entryValue(e);
        const uint32_t extra = entryExtra(e, s_.bitBuffer);
        if (!drop(entryBits(e))) return Step::kBad;
        if (symbol < 16) {
            lengths[s_.index++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 3 + extra;
        if (symbol == 16) {
            if (s_.index > 0) value = lengths[s_.index - 1];
        } else if (symbol == 18) {
            repeat = 11 + extra;
        }
        if (s_.index + repeat > total) return Step::kBad;
        std::memset(lengths + s_.index, value, repeat);
        s_.index = static_cast<uint16_t>(s_.index + repeat);
    }
    // The tables are built in place: the lengths go to the stack first, as
    // the literal/length table takes their place, and the distance table
    // takes the place of the code-length code, which is no longer needed.
    uint8_t copy[kMaxLengths];
    std::memcpy(copy, lengths, total);
    if (buildTable(copy + s_.litLenCount, s_.distCount, CodeKind::kDist, kDistRootBits, DistArea{work_ + kDistOffset},
                   kDistEntries) == 0 ||
        buildTable(copy, s_.litLenCount, CodeKind::kLitLen, kLitLenRootBits, EntryArea{work_ + kLitLenOffset},
                   kLitLenEntries) == 0)
        return Step::kBad;
    s_.mode = kSymbol;
    return Step::kGo;
}

Decoder::Step Decoder::symbol() {
    uint32_t e;
    if (Step st = decodeEntry<false>(litLenTable(), kLitLenRootBits, e); st != Step::kGo) return st;
    const uint32_t extra = entryExtra(e, s_.bitBuffer);
    if ((e & kExceptionalFlag) != 0) {
        if ((e & kEndOfBlockFlag) == 0) return Step::kBad;  // an unused code, or symbol 286 or 287
        if (!drop(entryBits(e))) return Step::kBad;
        if (s_.finalBlock) return finishStream();
        s_.mode = kBlockHeader;
        return Step::kGo;
    }
    if (!drop(entryBits(e))) return Step::kBad;
    if ((e & kLiteralFlag) != 0) {
        s_.literal = static_cast<uint8_t>(entryValue(e));
        s_.mode = kLiteral;
    } else {
        s_.length = entryValue(e) + extra;
        s_.mode = kDistance;
    }
    return Step::kGo;
}

Decoder::Step Decoder::distance() {
    uint32_t e;
    if (Step st = decodeEntry<true>(distTable(), kDistRootBits, e); st != Step::kGo) return st;
    if ((e & kExceptionalFlag) != 0) return Step::kBad;  // an unused code, or symbol 30 or 31
    s_.distance = entryValue(e) + entryExtra(e, s_.bitBuffer);
    if (!drop(entryBits(e))) return Step::kBad;
    s_.mode = kMatch;
    return Step::kGo;
}

Decoder::Step Decoder::literal() {
    if (out_ == outEnd_) return Step::kNeedRoom;
    *out_++ = s_.literal;
    s_.mode = kSymbol;
    return Step::kGo;
}

// Copies as much of the pending match as the room takes. The part that lies
// before this call's output comes from the window; a distance beyond the
// start of the stream reads the window's zeros.
Decoder::Step Decoder::match() {
    while (s_.length > 0) {
        if (out_ == outEnd_) return Step::kNeedRoom;
        const size_t produced = static_cast<size_t>(out_ - outStart_);
        size_t n = std::min(size_t{s_.length}, static_cast<size_t>(outEnd_ - out_));
        if (s_.distance > produced) {
            const size_t back = s_.distance - produced;
            if (back > s_.history) clearUnwrittenWindow();
            const size_t from = (s_.windowNext - back) & kWindowMask;
            n = std::min({n, back, kWindowSize - from});
            std::memcpy(out_, window_ + from, n);
        } else {
            const uint8_t* src = out_ - s_.distance;
            for (size_t i = 0; i < n; ++i) out_[i] = src[i];
        }
        out_ += n;
        s_.length -= static_cast<uint32_t>(n);
    }
    s_.mode = kSymbol;
    return Step::kGo;
}

// The final block has ended. The stream is taken to end where a bit reader
// that always holds 9 to 16 bits would stand: one or two bytes past the last
// bit. Whole bytes held beyond that point go back to the caller; missing ones
// are taken from the input, or waited for unless lastInput is set.
Decoder::Step Decoder::finishStream() {
    const unsigned held = s_.bitCount - phantomBits_;
    s_.bitBuffer = 0;
    s_.bitCount = 0;
    phantomBits_ = 0;
    if (held > 16) {
        const size_t surplus = (held - 9) / 8;
        in_ -= std::min(surplus, static_cast<size_t>(in_ - inStart_));
        s_.owed = 0;
    } else {
        s_.owed = static_cast<uint8_t>((16 - held) / 8);
    }
    s_.mode = kTrailer;
    return trailer();
}

Decoder::Step Decoder::trailer() {
    const size_t n = std::min(size_t{s_.owed}, static_cast<size_t>(inEnd_ - in_));
    in_ += n;
    s_.owed = static_cast<uint8_t>(s_.owed - n);
    if (s_.owed > 0 && !lastInput_) return Step::kNeedInput;
    s_.mode = kDone;
    return Step::kEnd;
}

// Appends this call's output to the circular window.
void Decoder::saveWindow() {
    size_t n = static_cast<size_t>(out_ - outStart_);
    const uint8_t* src = outStart_;
    s_.history = static_cast<uint32_t>(std::min(s_.history + n, kWindowSize));
    if (n >= kWindowSize) {
        std::memcpy(window_, out_ - kWindowSize, kWindowSize);
        s_.windowNext = 0;
        return;
    }
    const size_t first = std::min(n, kWindowSize - s_.windowNext);
    if (first > 0) std::memcpy(window_ + s_.windowNext, src, first);
    if (n > first) std::memcpy(window_, src + first, n - first);
    s_.windowNext = static_cast<uint32_t>((s_.windowNext + n) & kWindowMask);
}

// A match reaches before the start of the stream: the part of the window that
// the stream has not written yet becomes the zeros it reads there, once for
// the whole stream. Until the window is full it is written from its start, so
// that part is its tail.
void Decoder::clearUnwrittenWindow() {
    std::memset(window_ + s_.history, 0, kWindowSize - s_.history);
    s_.history = kWindowSize;
}

// Returns whole unread bytes of the bit buffer to the caller, at most `limit`
// (only bytes taken in this call can be returned).
void Decoder::giveBackWholeBytes(size_t limit) {
    const size_t n = std::min(size_t{s_.bitCount / 8u}, limit);
    in_ -= n;
    s_.bitCount = static_cast<uint8_t>(s_.bitCount - 8 * n);
    s_.bitBuffer &= lowBits(s_.bitCount);
}

// The fast loop: decodes literal/length and distance codes without any bound
// check while the margins hold. It starts and ends in mode kSymbol with no
// pending output; the bit buffer holds only real input bits.
//
// The next table entry is always looked up before the byte stores, the refill
// and the match copy of the current item, so that its load overlaps them.
// Only the low byte of `count` is meaningful: subtracting a whole entry takes
// its low byte (the bits it consumes) off and leaves junk above bit 7.
Decoder::Step Decoder::fastLoopBody() {
    const uint8_t* in = in_;
    uint8_t* out = out_;
    uint64_t bits = s_.bitBuffer;
    uint32_t count = s_.bitCount;
    const uint8_t* const inLimit = inEnd_ - kFastInputMargin;
    uint8_t* const outEnd = outEnd_;
    uint8_t* const outLimit = outEnd - kFastOutputMargin;
    const uint8_t* const litLen = litLenTable();
    const uint8_t* const dist = distTable();
    // Byte stores may alias anything, so members used inside the loop are copied.
    uint8_t* const outStart = outStart_;
    const uint8_t* const window = window_;
    const size_t windowNext = s_.windowNext;
    size_t history = s_.history;
    constexpr uint64_t litLenMask = lowBits(kLitLenRootBits);
    constexpr uint64_t distMask = lowBits(kDistRootBits);
    Step result = Step::kGo;

    // Fills the buffer to 56 to 63 bits with one unaligned load of 8 bytes.
    // Bits above the count may already hold the next bytes; the load writes
    // the same values there.
    auto refill = [&]() ZAR_FORCE_INLINE {
        bits |= loadWord(in) << static_cast<uint8_t>(count);
        in += 7 - ((count >> 3) & 7);
        count |= 56;
    };
    auto consume = [&](uint32_t e) ZAR_FORCE_INLINE {
        bits >>= static_cast<uint8_t>(e);
        count -= e;
    };
    auto extra = [](uint32_t e, uint64_t saved) ZAR_FORCE_INLINE {
        return static_cast<uint32_t>((saved & lowBits(static_cast<uint8_t>(e))) >> entryCodeLength(e));
    };

    // Bit budget after a refill (56 bits): up to four literals of at most 10
    // bits with the next lookup (10) take 50; two literals, a subtable pointer
    // (10) and a subtable length with extra bits (10) take 40, and the
    // distance lookup after them 8 more. Before the distance is consumed the
    // buffer is refilled unless it holds 38 bits: 28 for the longest distance
    // with extra bits and 10 for the next lookup.
    refill();
    uint32_t e = loadEntry(litLen, bits & litLenMask);
    do {
        uint64_t saved = bits;
        consume(e);
        if ((e & kLiteralFlag) != 0) {
            uint32_t lit = entryValue(e);
            e = loadEntry(litLen, bits & litLenMask);
            saved = bits;
            consume(e);
            *out++ = static_cast<uint8_t>(lit);
            if ((e & kLiteralFlag) != 0) {
                lit = entryValue(e);
                e = loadEntry(litLen, bits & litLenMask);
                saved = bits;
                consume(e);
                *out++ = static_cast<uint8_t>(lit);
                if ((e & kLiteralFlag) != 0) {
                    lit = entryValue(e);
                    e = loadEntry(litLen, bits & litLenMask);
                    saved = bits;
                    consume(e);
                    *out++ = static_cast<uint8_t>(lit);
                    if ((e & kLiteralFlag) != 0) {
                        lit = entryValue(e);
                        e = loadEntry(litLen, bits & litLenMask);
                        refill();
                        *out++ = static_cast<uint8_t>(lit);
                        continue;
                    }
                }
            }
        }
        if ((e & kExceptionalFlag) != 0) {
            if ((e & kSubtableFlag) == 0) {
                result = (e & kEndOfBlockFlag) != 0 ? Step::kEnd : Step::kBad;
                break;
            }
            e = loadEntry(litLen, entryValue(e) + (bits & lowBits(entryCodeLength(e))));
            saved = bits;
            consume(e);
            if ((e & kLiteralFlag) != 0) {
                const uint32_t lit = entryValue(e);
                e = loadEntry(litLen, bits & litLenMask);
                refill();
                *out++ = static_cast<uint8_t>(lit);
                continue;
            }
            if ((e & kExceptionalFlag) != 0) {
                result = (e & kEndOfBlockFlag) != 0 ? Step::kEnd : Step::kBad;
                break;
            }
        }

        // A length, then its distance.
        const size_t length = entryValue(e) + extra(e, saved);
        uint32_t d = loadDist(dist, bits & distMask);
        if (static_cast<uint8_t>(count) < 38) refill();
        if ((d & kDistUnused) != 0) {
            if ((d & kDistPointer) == 0) {
                result = Step::kBad;
                break;
            }
            bits >>= kDistRootBits;
            count -= kDistRootBits;
            d = loadDist(dist, kDistRootSize + (d & 0xFF) + (bits & lowBits((d >> 8) & 7)));
            if ((d & kDistUnused) != 0) {
                result = Step::kBad;
                break;
            }
        }
        saved = bits;
        bits >>= d & 63;
        count -= d & 63;
        const size_t distance = kDistBase[(d >> 10) & 31] + ((saved & lowBits(d & 31)) >> ((d >> 6) & 0xF));
        if (length + kCopyOvershoot > static_cast<size_t>(outEnd - out)) {
            s_.length = static_cast<uint32_t>(length);  // near the end of the room: the checked path copies it
            s_.distance = static_cast<uint32_t>(distance);
            s_.mode = kMatch;
            break;
        }
        e = loadEntry(litLen, bits & litLenMask);
        refill();

        // Within the first 32 KiB of a call's output a match may start in the
        // window or in the output, and a branch on that would often be
        // mispredicted: the source is chosen without one.
        const size_t produced = static_cast<size_t>(out - outStart);
        const size_t back = distance - produced;  // wraps when the match lies in the output
        const size_t from = (windowNext - back) & kWindowMask;
        const bool inOutput = distance <= produced;
        const bool inWindow = (length <= back) & (from + length <= kWindowSize) & (back <= history);
        const uint8_t* const src = inOutput ? out - distance : window + from;
        if (inOutput | inWindow) {
            // A source in the window never overlaps the output, so it is
            // copied in words whatever the distance. Reading past the
            // window's end stays inside the work area: the tables follow it.
            if ((distance >= 8) | !inOutput) out = copyWords(out, src, length);
            else out = copyMatchFast(out, distance, length);
        } else {
            if (back > history) {  // before the start of the stream
                clearUnwrittenWindow();
                history = kWindowSize;
            }
            // The match starts in the window: copy that part, then go on in the output.
            size_t left = length;
            const size_t n = std::min({left, back, kWindowSize - from});
            std::memcpy(out, window + from, n);
            out += n;
            left -= n;
            if (left > 0 && back > n) {  // the window wrapped around
                const size_t m = std::min(left, back - n);
                std::memcpy(out, window, m);
                out += m;
                left -= m;
            }
            if (left > 0) out = copyMatchFast(out, distance, left);
        }
    } while (in <= inLimit && out <= outLimit);

    // The entry looked up last is not consumed: its bits stay in the buffer.
    // Bytes that the last refill looked at but did not count are dropped.
    count = static_cast<uint8_t>(count);
    bits &= lowBits(count);
    in_ = in;
    out_ = out;
    s_.bitBuffer = bits;
    s_.bitCount = static_cast<uint8_t>(count);
    if (result == Step::kEnd) {
        if (s_.finalBlock) return finishStream();
        s_.mode = kBlockHeader;
        return Step::kGo;
    }
    return result;
}

Decoder::Step Decoder::fastLoopGeneric() { return fastLoopBody(); }

#ifdef ZAR_INFLATE_BMI2
Decoder::Step Decoder::fastLoopBmi2() { return fastLoopBody(); }
#endif

Decoder::Step Decoder::fastLoop() {
#ifdef ZAR_INFLATE_BMI2
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")) return fastLoopBmi2();
#endif
    return fastLoopGeneric();
}

InflateResult Decoder::run() {
    if (s_.mode == kStart) {
        s_ = State{};
        s_.magic = kMagic;
        s_.mode = kBlockHeader;
    } else if (s_.magic != kMagic || s_.mode > kFailed) {
        return {InflateStatus::kBadData, 0, 0};  // not a work area that inflateBegin prepared
    }
    if (s_.mode == kDone) return {InflateStatus::kEnd, 0, 0};
    if (s_.mode == kFailed) return {InflateStatus::kBadData, static_cast<size_t>(inEnd_ - in_), 0};

    Step step = Step::kGo;
    while (step == Step::kGo) {
        switch (s_.mode) {
            case kBlockHeader: step = blockHeader(); break;
            case kStoredHeader: step = storedHeader(); break;
            case kStoredCopy: step = storedCopy(); break;
            case kTableSizes: step = tableSizes(); break;
            case kPrecodeLengths: step = precodeLengths(); break;
            case kCodeLengths: step = codeLengths(); break;
            case kSymbol:
                if (inEnd_ - in_ >= static_cast<ptrdiff_t>(kFastInputMargin) &&
                    outEnd_ - out_ >= static_cast<ptrdiff_t>(kFastOutputMargin)) {
                    step = fastLoop();
                    if (step != Step::kGo || s_.mode != kSymbol) break;
                }
                step = symbol();
                break;
            case kDistance: step = distance(); break;
            case kLiteral: step = literal(); break;
            case kMatch: step = match(); break;
            case kTrailer: step = trailer(); break;
            default: step = Step::kBad; break;
        }
    }

    InflateResult result{InflateStatus::kMore, 0, static_cast<size_t>(out_ - outStart_)};
    switch (step) {
        case Step::kBad:
            s_.mode = kFailed;
            result.status = InflateStatus::kBadData;
            in_ = inEnd_;
            break;
        case Step::kEnd:
            result.status = InflateStatus::kEnd;
            break;
        case Step::kNeedRoom:
            // Zero bytes past the end were only looked at; unread whole bytes
            // go back to the caller, who offers them again.
            s_.bitCount = static_cast<uint8_t>(s_.bitCount - phantomBits_);
            s_.bitBuffer &= lowBits(s_.bitCount);
            phantomBits_ = 0;
            giveBackWholeBytes(static_cast<size_t>(in_ - inStart_));
            saveWindow();
            break;
        default:  // kNeedInput: every offered byte has been taken
            saveWindow();
            break;
    }
    result.taken = static_cast<size_t>(in_ - inStart_);
    std::memcpy(work_ + kStateOffset, &s_, sizeof s_);
    return result;
}

}  // namespace

void inflateBegin(void* work) { std::memset(work, 0, kInflateWorkSize); }

// A cleared state record is mode kStart, which starts every field afresh.
void inflateBeginLazy(void* work) { std::memset(static_cast<uint8_t*>(work) + kStateOffset, 0, sizeof(State)); }

InflateResult inflateStep(void* work, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                          bool lastInput) {
    clearUpperVectorState();  // compilers emit legacy-encoded 16-byte copies and fills
    if (in == nullptr) inCount = 0;
    if (out == nullptr) outRoom = 0;
    Decoder decoder(static_cast<uint8_t*>(work), in, inCount, out, outRoom, lastInput);
    return decoder.run();
}

}  // namespace zar::codec
