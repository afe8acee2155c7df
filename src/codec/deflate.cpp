// Deflate compressor: segment filling, hash chains, the budgeted chain search,
// lazy matching and the stream loop that hands full blocks to the block coder.
#include "codec/deflate.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <new>

#include "codec/deflate_blocks.h"
#include "codec/vector_state.h"

// On x86-64 the sweep that forgets a refilled segment has an AVX2 form, chosen
// at run time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZAR_DEFLATE_AVX2 1
#include <immintrin.h>
#endif

namespace zar::codec {
namespace {

constexpr unsigned kWindowSize = 32768;
constexpr unsigned kSegmentSize = 4096;
// After the window, a copy of its first bytes: a comparison at any window
// position reads at most 258 bytes and never wraps.
constexpr unsigned kMirrorSize = kMaxMatch - 1;
constexpr unsigned kHashBits = 13;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr uint16_t kNone = 0xFFFF;  // no position; ends a chain

// Where the stream loop stands between calls.
enum Mode : uint8_t {
    kModeFill,    // copying input into the segment at segmentStart
    kModeMatch,   // matching the filled segment from `position`
    kModeBlock,   // the block coder is writing a block; afterwards `afterBlock`
    kModeFinish,  // padding and writing the last byte
    kModeDone,
};

// The main work buffer. Zero-filled it is a fresh stream, apart from the hash
// heads, which start as kNone.
struct DeflateState {
    uint8_t window[kWindowSize + kMirrorSize];
    uint16_t head[kHashSize];
    BlockCoder coder;

    uint16_t segmentStart;  // 0, 4096, ..., 28672
    uint16_t segmentEnd;    // end of the filled part of the segment being matched
    uint16_t fill;          // bytes in the segment being filled
    uint16_t position;      // next window position to match
    uint16_t matchLength;   // the match in hand while lazyStep is 1
    uint16_t matchPos;
    uint16_t tokenCount;    // tokens of the block being collected
    uint16_t tokenData;     // token data offset of the next token
    uint8_t tokenFlags;     // kind bits of the tokens since the last multiple of 8
    uint8_t lazyStep;       // 0: search afresh at `position`; 1: a match is in hand there
    uint8_t mode;
    uint8_t afterBlock;
    uint8_t wrapped;        // the window has been filled once
    uint8_t removalDone;    // references into the segment being filled are gone
};

static_assert(sizeof(DeflateState) + alignof(DeflateState) - 1 <= kDeflateMainSize,
              "the compressor state must fit the main work buffer at any alignment");
static_assert(kBlockTokens * 3 + kTokenDataOffset <= kDeflateTokenSize);
static_assert(kWindowSize * 2 == kDeflateChainSize);

DeflateState& stateOf(void* main) {
    auto at = reinterpret_cast<uintptr_t>(main);
    at = (at + alignof(DeflateState) - 1) & ~uintptr_t{alignof(DeflateState) - 1};
    return *std::launder(reinterpret_cast<DeflateState*>(at));
}

// The chain buffer may lie at any address; its entries are read and written
// through memcpy, which compiles to plain loads and stores. Positions are
// size_t in the hot paths so that an address is one base-plus-index operand.
inline size_t chainAt(const uint8_t* chain, size_t pos) {
    uint16_t v;
    std::memcpy(&v, chain + 2 * pos, 2);
    return v;
}

inline void setChain(uint8_t* chain, size_t pos, size_t value) {
    uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(chain + 2 * pos, &v, 2);
}

inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most 258.
inline unsigned commonLength(const uint8_t* a, const uint8_t* b) {
    for (unsigned i = 0; i < 256; i += 8) {
        uint64_t x = load64(a + i) ^ load64(b + i);
        if (x != 0) {
            if constexpr (std::endian::native == std::endian::little) return i + (std::countr_zero(x) >> 3);
            else return i + (std::countl_zero(x) >> 3);
        }
    }
    if (a[256] != b[256]) return 256;
    if (a[257] != b[257]) return 257;
    return kMaxMatch;
}

// Longest match at window position p that is longer than t (2 to 257). Returns
// its length, or 0 when no candidate beats t; the position goes to matchPos.
//
// The budget starts at the limit and each chain step costs one unit. The walk
// runs in groups of three steps with the budget tested at the head of each
// group; a step whose candidate goes to a full comparison ends its group, so
// the budget is tested again right after it. A candidate is compared in full
// only when the two bytes at t - 1 and t agree.
inline unsigned longestMatch(const uint8_t* window, const uint8_t* chain, size_t p, unsigned t, int limit,
                             unsigned& matchPos) {
    const uint8_t* scan = window + p;
    const uint8_t* tested = window + t - 1;  // a candidate's two pre-test bytes are at tested + c
    uint16_t scanEnd = load16(scan + t - 1);
    unsigned best = 0;
    size_t c = chainAt(chain, p);
    int budget = limit;
    while (budget > 0) {
        // Steps one to three of a group; a passed pre-test ends the group.
        if (c == kNone) return best;
        if (load16(tested + c) == scanEnd) {
            budget -= 1;
        } else {
            c = chainAt(chain, c);
            if (c == kNone) return best;
            if (load16(tested + c) == scanEnd) {
                budget -= 2;
            } else {
                c = chainAt(chain, c);
                if (c == kNone) return best;
                budget -= 3;
                if (load16(tested + c) != scanEnd) {
                    c = chainAt(chain, c);
                    continue;
                }
            }
        }
        unsigned len = commonLength(scan, window + c);
        if (len > t) {
            best = t = len;
            matchPos = static_cast<unsigned>(c);
            if (len == kMaxMatch) return best;
            tested = window + t - 1;
            scanEnd = load16(scan + t - 1);
        }
        c = chainAt(chain, c);
    }
    return best;
}

// Enters every position of the freshly filled segment but its last two into
// the hash chains, in order; the chains of the last two are empty.
void insertSegment(DeflateState& s, uint8_t* chain) {
    const uint8_t* w = s.window;
    uint16_t* head = s.head;
    size_t start = s.segmentStart, n = s.fill;
    if (n >= 3) {
        unsigned h = (unsigned{w[start]} << 5 ^ w[start + 1]) & kHashMask;
        for (size_t q = start, end = start + n - 2; q < end; ++q) {
            h = (h << 5 ^ w[q + 2]) & kHashMask;
            setChain(chain, q, head[h]);
            head[h] = static_cast<uint16_t>(q);
        }
    }
    for (size_t q = start + (n >= 2 ? n - 2 : 0); q < start + n; ++q) setChain(chain, q, kNone);
}

#ifdef ZAR_DEFLATE_AVX2
// Sets every 16-bit entry of p[0, bytes) whose top four bits name `segment` to
// kNone; bytes is a multiple of 64. kNone is all ones, so an entry becomes
// itself ORed with its comparison mask.
__attribute__((target("avx2"))) void forgetSegmentAvx2(uint8_t* p, size_t bytes, unsigned segment) {
    const __m256i top = _mm256_set1_epi16(static_cast<short>(0xF000));
    const __m256i seg = _mm256_set1_epi16(static_cast<short>(segment));
    for (size_t i = 0; i < bytes; i += 64) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
        a = _mm256_or_si256(a, _mm256_cmpeq_epi16(_mm256_and_si256(a, top), seg));
        b = _mm256_or_si256(b, _mm256_cmpeq_epi16(_mm256_and_si256(b, top), seg));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 32), b);
    }
}
#endif

// Before a segment is refilled, forgets every position in it: each chain entry
// and hash head that points into it becomes kNone. (Entries of the segment's
// own positions are cleared too; they are rewritten before they are read.)
// With AVX2 the sweep runs 16 entries at a time in VEX-encoded instructions;
// otherwise the compiler's own vectorisation of the plain loop serves.
void removeReferences(DeflateState& s, uint8_t* chain) {
    const unsigned segment = s.segmentStart;
#ifdef ZAR_DEFLATE_AVX2
    if (__builtin_cpu_supports("avx2")) {
        static_assert(2 * kWindowSize % 64 == 0 && sizeof s.head % 64 == 0);
        forgetSegmentAvx2(chain, 2 * kWindowSize, segment);
        forgetSegmentAvx2(reinterpret_cast<uint8_t*>(s.head), sizeof s.head, segment);
        return;
    }
#endif
    for (size_t i = 0; i < kWindowSize; ++i) {
        size_t v = chainAt(chain, i);
        setChain(chain, i, (v & 0xF000) == segment ? kNone : v);
    }
    for (unsigned i = 0; i < kHashSize; ++i) {
        unsigned v = s.head[i];
        s.head[i] = static_cast<uint16_t>((v & 0xF000) == segment ? kNone : v);
    }
}

// Matches the filled segment from where it stopped. Returns true when the
// block became full (the state is saved just after its last token), false
// when the segment is done.
bool matchSegment(DeflateState& s, const uint8_t* chain, uint8_t* tokens, int limit) {
    const uint8_t* w = s.window;
    const unsigned end = s.segmentEnd;
    unsigned p = s.position;
    unsigned count = s.tokenCount;
    unsigned flags = s.tokenFlags;
    uint8_t* data = tokens + kTokenDataOffset + s.tokenData;
    unsigned m = s.matchLength, c = s.matchPos;
    bool inHand = s.lazyStep != 0;

    // Appends a token's kind bit; true when the block is full.
    auto pushKind = [&](unsigned isMatch) {
        flags |= isMatch << (count & 7);
        if ((count & 7) == 7) {
            tokens[count >> 3] = static_cast<uint8_t>(flags);
            flags = 0;
        }
        return ++count == kBlockTokens;
    };
    auto save = [&] {
        s.position = static_cast<uint16_t>(p);
        s.tokenCount = static_cast<uint16_t>(count);
        s.tokenFlags = static_cast<uint8_t>(flags);
        s.tokenData = static_cast<uint16_t>(data - (tokens + kTokenDataOffset));
        s.matchLength = static_cast<uint16_t>(m);
        s.matchPos = static_cast<uint16_t>(c);
        s.lazyStep = inHand;
    };

    for (;;) {
        if (!inHand) {
            if (p >= end) break;
            m = longestMatch(w, chain, p, 2, limit, c);
            if (m == 0) {
                *data++ = w[p++];
                if (pushKind(0)) break;
                continue;
            }
            inHand = true;
        }
        // A match (m, c) is in hand at p. Look one position ahead, unless that
        // is past the segment or nothing can beat the match.
        if (p + 1 < end && m < kMaxMatch) {
            unsigned next;
            unsigned longer = longestMatch(w, chain, p + 1, m, limit, next);
            if (longer != 0) {
                *data++ = w[p++];
                m = longer;
                c = next;
                if (pushKind(0)) break;
                continue;
            }
        }
        inHand = false;
        unsigned len = m < end - p ? m : end - p;
        if (len < kMinMatch) {
            *data++ = w[p++];
            if (pushKind(0)) break;
        } else {
            unsigned distance = (p - c) & (kWindowSize - 1);
            data[0] = static_cast<uint8_t>(len - kMinMatch);
            data[1] = static_cast<uint8_t>(distance);
            data[2] = static_cast<uint8_t>(distance >> 8);
            data += 3;
            p += len;
            if (pushKind(1)) break;
        }
    }
    save();
    return count == kBlockTokens;
}

// Stores the kind bits of a partial last byte of flags.
void flushKinds(DeflateState& s, uint8_t* tokens) {
    if ((s.tokenCount & 7) != 0) tokens[s.tokenCount >> 3] = s.tokenFlags;
}

void resetTokens(DeflateState& s) {
    s.tokenCount = 0;
    s.tokenData = 0;
    s.tokenFlags = 0;
}

}  // namespace

void initDeflate(const DeflateBuffers& buffers) {
    DeflateState& s = stateOf(buffers.main);
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    for (auto& h : s.head) h = kNone;
}

DeflateStatus runDeflate(const DeflateBuffers& buffers, uint16_t chainLimit, bool dynamicBlocks, bool lastInput,
                         DeflateIo& io) {
    clearUpperVectorState();  // compilers emit legacy-encoded 16-byte copies and fills
    DeflateState& s = stateOf(buffers.main);
    auto* chain = static_cast<uint8_t*>(buffers.chain);
    auto* tokens = static_cast<uint8_t*>(buffers.tokens);
    const int limit = clampChainLimit(chainLimit);

    const uint8_t* in = io.input;
    uint32_t inLeft = io.inputCount;
    OutputCursor out{io.output, io.outputCount};
    DeflateStatus status = DeflateStatus::kMore;

    for (bool running = true; running;) {
        switch (s.mode) {
        case kModeFill: {
            if (s.wrapped && !s.removalDone) {
                removeReferences(s, chain);
                s.removalDone = 1;
            }
            uint32_t take = kSegmentSize - s.fill;
            if (take > inLeft) take = inLeft;
            if (take != 0) std::memcpy(s.window + s.segmentStart + s.fill, in, take);
            in += take;
            inLeft -= take;
            s.fill = static_cast<uint16_t>(s.fill + take);
            if (s.fill < kSegmentSize && !lastInput) {
                running = false;
                break;
            }
            insertSegment(s, chain);
            if (s.segmentStart == 0) std::memcpy(s.window + kWindowSize, s.window, kMirrorSize);
            s.position = s.segmentStart;
            s.segmentEnd = static_cast<uint16_t>(s.segmentStart + s.fill);
            s.lazyStep = 0;
            s.mode = kModeMatch;
            break;
        }
        case kModeMatch: {
            if (matchSegment(s, chain, tokens, limit)) {
                flushKinds(s, tokens);
                startBlock(s.coder, tokens, s.tokenCount, dynamicBlocks, false);
                s.mode = kModeBlock;
                s.afterBlock = kModeMatch;
                break;
            }
            // A short segment is only ever filled as the end of the data; the
            // stream ends with it even if a later call takes lastInput back,
            // since data after it would not follow its bytes in the window.
            bool shortSegment = s.fill < kSegmentSize;
            s.segmentStart = static_cast<uint16_t>(s.segmentStart + kSegmentSize);
            if (s.segmentStart == kWindowSize) {
                s.segmentStart = 0;
                s.wrapped = 1;
            }
            s.fill = 0;
            s.removalDone = 0;
            if (!shortSegment && (inLeft != 0 || !lastInput)) {
                s.mode = kModeFill;
            } else {
                flushKinds(s, tokens);
                startBlock(s.coder, tokens, s.tokenCount, dynamicBlocks, true);
                s.mode = kModeBlock;
                s.afterBlock = kModeFinish;
            }
            break;
        }
        case kModeBlock:
            if (!continueBlock(s.coder, tokens, out)) {
                running = false;
                break;
            }
            resetTokens(s);
            s.mode = s.afterBlock;
            break;
        case kModeFinish:
            if (!finishStream(s.coder, out)) {
                running = false;
                break;
            }
            s.mode = kModeDone;
            break;
        default:
            status = DeflateStatus::kDone;
            running = false;
            break;
        }
    }

    io.inputCount = static_cast<uint32_t>(in - io.input);
    io.outputCount = static_cast<uint32_t>(out.next - io.output);
    return status;
}

}  // namespace zar::codec
