#include "codec/unshrink.h"

#include <algorithm>
#include <cstring>

namespace zar::codec {
namespace {

constexpr uint16_t kFree = 0xFFFF;
constexpr uint32_t kEscape = 256;
constexpr uint32_t kFirstFree = 257;
constexpr uint32_t kMaxCodeSize = 13;
constexpr int kCodes = UnshrinkState::kCodes;

uint32_t lowestFreeFrom(const UnshrinkState& s, uint32_t code) {
    while (code < kCodes && s.prefix[code] != kFree) ++code;
    return code;
}

// Frees every code that is no other code's prefix.
void clearPartially(UnshrinkState& s) {
    bool isPrefix[kCodes] = {};
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        if (s.prefix[code] != kFree) isPrefix[s.prefix[code]] = true;
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        if (!isPrefix[code]) s.prefix[code] = kFree;
    s.freeCode = lowestFreeFrom(s, kFirstFree);
}

// Puts the string of `code` on the stack (the previous string and its first
// byte for a code not yet defined) and adds the new dictionary entry. False
// for a code the dictionary cannot expand.
bool expand(UnshrinkState& s, uint32_t code) {
    uint32_t top = kCodes;
    uint32_t c = code;
    if (c >= kFirstFree && s.prefix[c] == kFree) {
        s.stack[--top] = s.firstByte;
        c = static_cast<uint32_t>(s.previous);
    }
    while (c >= kFirstFree) {
        // A chain that leads to a free code, or longer than the stack (a loop),
        // comes only from damaged data.
        if (s.prefix[c] == kFree || top == 0) return false;
        s.stack[--top] = s.suffix[c];
        c = s.prefix[c];
    }
    if (c == kEscape || top == 0) return false;
    s.stack[--top] = static_cast<uint8_t>(c);
    const uint8_t first = static_cast<uint8_t>(c);
    if (s.freeCode < kCodes) {
        s.prefix[s.freeCode] = static_cast<uint16_t>(s.previous);
        s.suffix[s.freeCode] = first;
        s.freeCode = lowestFreeFrom(s, s.freeCode + 1);
    }
    s.previous = static_cast<int32_t>(code);
    s.firstByte = first;
    s.pending = top;
    return true;
}

}  // namespace

void unshrinkBegin(UnshrinkState& s) {
    for (int code = 0; code < 256; ++code) {
        s.prefix[code] = 0;
        s.suffix[code] = static_cast<uint8_t>(code);
    }
    std::fill(s.prefix + 256, s.prefix + kCodes, kFree);
    s.pending = kCodes;
    s.bits = 0;
    s.bitCount = 0;
    s.codeSize = 9;
    s.freeCode = kFirstFree;
    s.previous = -1;
    s.firstByte = 0;
    s.escaped = false;
    s.ended = false;
    s.bad = false;
}

LegacyResult unshrinkStep(UnshrinkState& s, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                            bool lastInput) {
    size_t taken = 0, written = 0;
    uint32_t bits = s.bits, bitCount = s.bitCount;
    LegacyStatus status = LegacyStatus::kMore;
    for (;;) {
        if (s.pending < kCodes) {
            const size_t n = std::min<size_t>(kCodes - s.pending, outRoom - written);
            std::memcpy(out + written, s.stack + s.pending, n);
            written += n;
            s.pending += static_cast<uint32_t>(n);
            if (s.pending < kCodes) break;  // no room left
        }
        if (s.ended) {
            status = s.bad ? LegacyStatus::kBadData : LegacyStatus::kEnd;
            break;
        }
        while (bitCount < s.codeSize && taken < inCount) {
            bits |= static_cast<uint32_t>(in[taken++]) << bitCount;
            bitCount += 8;
        }
        if (bitCount < s.codeSize) {
            // The codes end with the input; the bits left over are padding.
            if (lastInput) s.ended = true;
            if (lastInput) continue;
            break;
        }
        const uint32_t code = bits & ((1u << s.codeSize) - 1);
        bits >>= s.codeSize;
        bitCount -= s.codeSize;

        if (s.escaped) {
            s.escaped = false;
            if (code == 1) {
                if (s.codeSize == kMaxCodeSize) {
                    s.ended = s.bad = true;
                    continue;
                }
                ++s.codeSize;
            } else if (code == 2) {
                clearPartially(s);
            }
            continue;
        }
        if (code == kEscape) {
            s.escaped = true;
            continue;
        }
        if (s.previous < 0) {
            // The first code is a byte of its own.
            if (code > 0xFF) {
                s.ended = s.bad = true;
                continue;
            }
            s.previous = static_cast<int32_t>(code);
            s.firstByte = static_cast<uint8_t>(code);
            s.stack[kCodes - 1] = s.firstByte;
            s.pending = kCodes - 1;
            continue;
        }
        if (!expand(s, code)) {
            s.ended = s.bad = true;
            continue;
        }
    }
    s.bits = bits;
    s.bitCount = bitCount;
    return {status, taken, written};
}

}  // namespace zar::codec
