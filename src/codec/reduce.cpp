#include "codec/reduce.h"

#include <algorithm>
#include <cstring>

namespace zar::codec {
namespace {

constexpr uint8_t kDle = 144;

// Bits that index a follower set of n bytes.
uint32_t indexBits(uint32_t n) {
    if (n > 16) return 5;
    if (n > 8) return 4;
    if (n > 4) return 3;
    if (n > 2) return 2;
    return n > 0 ? 1 : 0;
}

struct Bits {
    uint64_t buffer;
    uint32_t count;
    const uint8_t* in;
    size_t inCount;
    size_t taken;

    // True when n bits are there, taking input bytes as needed.
    bool have(uint32_t n) {
        while (count < n && taken < inCount) {
            buffer |= static_cast<uint64_t>(in[taken++]) << count;
            count += 8;
        }
        return count >= n;
    }
    uint32_t take(uint32_t n) {
        const uint32_t value = static_cast<uint32_t>(buffer & ((uint64_t{1} << n) - 1));
        buffer >>= n;
        count -= n;
        return value;
    }
};

// Reads the follower sets, from byte 255 down to 0: a 6-bit count and that
// many bytes each. False while input is missing; a count over 32 is damage.
bool readFollowerSets(ReduceState& s, Bits& b) {
    while (s.setsRead < 256) {
        const int set = 255 - s.setsRead;
        if (s.followersRead < 0) {
            if (!b.have(6)) return false;
            const uint32_t n = b.take(6);
            if (n > 32) {
                s.ended = s.bad = true;
                return true;
            }
            s.followerCount[set] = static_cast<uint8_t>(n);
            s.followersRead = 0;
        }
        while (s.followersRead < s.followerCount[set]) {
            if (!b.have(8)) return false;
            s.followers[set][s.followersRead++] = static_cast<uint8_t>(b.take(8));
        }
        ++s.setsRead;
        s.followersRead = -1;
    }
    return true;
}

enum class Next { kByte, kShort, kBad };

// The next byte of the follower-coded stream, read whole or not at all.
Next readByte(ReduceState& s, Bits& b, uint8_t* byte) {
    const uint32_t n = s.followerCount[s.last];
    if (n == 0) {
        if (!b.have(8)) return Next::kShort;
        *byte = static_cast<uint8_t>(b.take(8));
        return Next::kByte;
    }
    const uint32_t width = indexBits(n);
    if (!b.have(1)) return Next::kShort;
    if (!b.have((b.buffer & 1) ? 9 : 1 + width)) return Next::kShort;
    if (b.take(1) == 1) {
        *byte = static_cast<uint8_t>(b.take(8));
        return Next::kByte;
    }
    const uint32_t index = b.take(width);
    if (index >= n) return Next::kBad;
    *byte = s.followers[s.last][index];
    return Next::kByte;
}


}  // namespace

void reduceBegin(ReduceState& s, uint16_t zipMethod) {
    std::memset(s.followerCount, 0, sizeof s.followerCount);
    std::memset(s.window, 0, sizeof s.window);
    s.bits = 0;
    s.bitCount = 0;
    s.setsRead = 0;
    s.followersRead = -1;
    s.factor = zipMethod >= 2 && zipMethod <= 5 ? zipMethod - 1u : 1u;
    s.last = 0;
    s.expandState = 0;
    s.code = 0;
    s.length = 0;
    s.match = {};
    s.ended = false;
    s.bad = false;
}

LegacyResult reduceStep(ReduceState& s, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                        bool lastInput) {
    Bits b{s.bits, s.bitCount, in, inCount, 0};
    size_t written = 0;
    const uint32_t lengthMask = 0x7Fu >> (s.factor - 1);
    const bool ready = s.ended || readFollowerSets(s, b);
    if (!ready && lastInput) s.ended = true;
    while (ready && !s.ended) {
        if (s.match.left != 0 && !s.match.drain(s.window, sizeof s.window, out, &written, outRoom)) break;
        if (written == outRoom) break;
        uint8_t c;
        const Next next = readByte(s, b, &c);
        if (next == Next::kShort) {
            if (lastInput) s.ended = true;
            break;
        }
        if (next == Next::kBad) {
            s.ended = s.bad = true;
            break;
        }
        s.last = c;
        switch (s.expandState) {
            case 0:
                if (c == kDle) s.expandState = 1;
                else out[written++] = c;
                break;
            case 1:
                if (c == 0) {
                    out[written++] = kDle;
                    s.expandState = 0;
                } else {
                    s.code = c;
                    s.length = c & lengthMask;
                    s.expandState = s.length == lengthMask ? 2 : 3;
                }
                break;
            case 2:
                s.length += c;
                s.expandState = 3;
                break;
            default:
                s.match = {s.length + 3, ((s.code >> (8 - s.factor)) << 8) + c + 1u};
                s.expandState = 0;
                break;
        }
    }
    slideWindow(s.window, sizeof s.window, out, written);
    s.bits = b.buffer;
    s.bitCount = b.count;
    LegacyStatus status = LegacyStatus::kMore;
    if (s.ended && s.match.left == 0) status = s.bad ? LegacyStatus::kBadData : LegacyStatus::kEnd;
    return {status, b.taken, written};
}

}  // namespace zar::codec
