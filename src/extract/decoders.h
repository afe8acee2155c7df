// The decoders an entry's data goes through, behind one small interface: each
// is offered a piece of input and room for output, and says how much of each
// it used and whether the entry's data is complete.
#pragma once

#include <cstdint>
#include <memory>

#include "frame/result.h"

namespace zar::extract {

// The library's method code of an entry, its small number for the entry's
// compression that hosts see in the status record.
inline constexpr int16_t kCodeStored = 0;
inline constexpr int16_t kCodeDeflatedFirst = 1;  // 1 to 4: deflated, by the flags' deflate setting
inline constexpr int16_t kCodeDeflatedLast = 4;
inline constexpr int16_t kCodeLibraryImploded = 5;
inline constexpr int16_t kCodeImploded = 6;
inline constexpr int16_t kCodeMethod11 = 7;
inline constexpr int16_t kCodeBzip2 = 8;
inline constexpr int16_t kCodeShrunk = 9;

// The method code of a ZIP method and its general-purpose flags; methods
// without a code of their own show as kCodeStored.
int16_t methodCode(uint16_t zipMethod, uint16_t flags);

// True for the ZIP methods that the drivers take to the pipeline: stored,
// shrunk, reduced, imploded, deflated and methods 10, 11 and 12. Entries of
// every other method are passed over before any output exists.
bool acceptedMethod(uint16_t zipMethod);

// True when the ZIP method has a decoder in this library: stored, shrunk,
// reduced (2 to 5), imploded and deflated.
bool hasDecoder(uint16_t zipMethod);

class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes from `in` into `out`. `*consumed` and `*produced` receive what
    // was used. `last` says no input follows this piece. Returns true when the
    // data is complete (or found invalid: the CRC comparison tells which).
    virtual bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
                      uint32_t* produced, bool last) = 0;
};

// The decoder of a ZIP method, ready for a new entry; null with kUnknownMethod
// for methods without one, or kNoMemory. `flags` are the entry's
// general-purpose flags, which choose the variant of imploded data.
// With `privateOutput` the caller's output room is its own buffer, of which it
// reads only the bytes a step reports: the inflater may then start lazily (a
// word copy may leave bytes of an earlier stream past those, inside the room).
std::unique_ptr<Decoder> makeDecoder(uint16_t zipMethod, uint16_t flags, Result* result, bool privateOutput = false);

}  // namespace zar::extract
