// What the decoders of the older methods (unshrink, unreduce, explode) share:
// the result of one resumable step, and the history a match copies from when
// output comes in pieces: bytes of this call's output, or before it, the
// window of the last bytes of earlier calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zar::codec {

enum class LegacyStatus {
    kMore,     // call again: all offered input was taken, or all offered room was filled
    kEnd,      // the input ended (lastInput) and everything decoded was delivered
    kBadData,  // the stream holds something its format cannot mean; what came before was delivered
};

struct LegacyResult {
    LegacyStatus status;
    size_t taken;
    size_t written;
};

// Writes out[at, at + n), each byte from `distance` back: in out itself from
// its first byte on, before that in window[0, windowSize), whose last byte
// precedes out[0]. Requires distance <= windowSize.
inline void copyFromHistory(const uint8_t* window, size_t windowSize, uint8_t* out, size_t at, size_t n,
                            size_t distance) {
    const size_t end = at + n;
    for (; at < end && distance > at; ++at) out[at] = window[windowSize - (distance - at)];
    // From the output itself: pieces of at most `distance` bytes never overlap
    // their source, and a short distance repeats its bytes piece by piece.
    while (at < end) {
        const size_t piece = end - at < distance ? end - at : distance;
        std::memcpy(out + at, out + at - distance, piece);
        at += piece;
    }
}

// Keeps window[0, windowSize) the last bytes of all output once a call wrote
// out[0, written).
inline void slideWindow(uint8_t* window, size_t windowSize, const uint8_t* out, size_t written) {
    if (written >= windowSize) {
        std::memcpy(window, out + written - windowSize, windowSize);
    } else if (written != 0) {
        std::memmove(window, window + written, windowSize - written);
        std::memcpy(window + windowSize - written, out, written);
    }
}

// A match being copied, which may have to wait for room across calls.
struct PendingMatch {
    uint32_t left;      // bytes still to copy
    uint32_t distance;  // how far back each comes from

    // Copies what fits of the match to out[*written, room), from the history
    // before out in `window`. True when the whole match is out.
    bool drain(const uint8_t* window, size_t windowSize, uint8_t* out, size_t* written, size_t room) {
        const size_t n = left < room - *written ? left : room - *written;
        copyFromHistory(window, windowSize, out, *written, n, distance);
        *written += n;
        left -= static_cast<uint32_t>(n);
        return left == 0;
    }
};

}  // namespace zar::codec
