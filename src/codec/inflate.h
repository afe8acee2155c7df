// Raw Deflate decoder as a resumable stream filter. Every byte of its state,
// the 32 KiB history included, lives in a work area that the caller owns, so
// input and output can be handed over in pieces of any size across any number
// of calls, and separate streams can run on separate threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zar::codec {

// Size in bytes of the work area of one stream. The area may have any
// alignment; its layout is private to the decoder.
inline constexpr uint32_t kInflateWorkSize = 39028;

enum class InflateStatus {
    kMore,     // call again: all offered input was taken, or all offered room was filled
    kEnd,      // the final block was decoded and all of its output delivered
    kBadData,  // the stream is invalid; what was decoded before the fault was delivered
};

struct InflateResult {
    InflateStatus status;
    size_t taken;    // input bytes consumed by this call (see inflateStep)
    size_t written;  // output bytes produced by this call
};

// Prepares `work` (kInflateWorkSize bytes) for a new stream by clearing all
// of it.
void inflateBegin(void* work);

// Prepares `work` for a new stream like inflateBegin but clears only the
// decoder's state record: the rest may hold anything, such as a previous
// stream or bytes never written. The output is the same as after inflateBegin
// for every stream; a distance that reaches before the start of the stream
// still copies zeros, as the window is cleared the first time a match reads
// a part of it that the stream has not written yet.
void inflateBeginLazy(void* work);

// Decodes from in[0, inCount) into out[0, outRoom) and reports how much was
// taken and written. Either pointer may be null when its count is 0.
//
// - kMore: the decoder needs more input (then all of in[0, inCount) was
//   taken) or more room (then all of the room was filled). Offer the input
//   that was not taken again, with fresh input or room, and call again; the
//   decoder continues exactly where it stopped, mid-symbol or mid-header.
//   A call that fills the room may also have taken all of its input: call
//   again with room even when no input is left.
// - kEnd: `taken` counts the stream's last byte plus the one or two bytes
//   after it that the bit reader looks ahead by (fewer when the input ends
//   first under lastInput). Because of that look-ahead the end is reported
//   only once those bytes were offered or lastInput is set.
// - kBadData: `taken` is inCount. Every later call returns kBadData too.
//
// lastInput says that no input follows what is offered: the decoder then
// treats missing look-ahead bytes as absent instead of waiting for them, and
// a stream that needs bits beyond the end is invalid.
//
// Writes may touch the whole offered room, also beyond the bytes reported
// written; the reported bytes are the output. After kEnd or kBadData the
// work area needs inflateBegin or inflateBeginLazy before it serves another
// stream.
InflateResult inflateStep(void* work, const uint8_t* in, size_t inCount, uint8_t* out, size_t outRoom,
                          bool lastInput);

}  // namespace zar::codec
