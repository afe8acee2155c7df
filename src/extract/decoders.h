// The decoders an entry's data goes through, behind one small interface: each
// is offered a piece of input and room for output, and says how much of each
// it used and whether the entry's data is complete.
#pragma once

#include <cstdint>
#include <memory>

#include "frame/result.h"

namespace zar::extract {

// The library's method code of an entry: 0 stored, 1 to 4 deflated (by flag
// bits 1-2), 5, 7 and 8 for ZIP methods 10, 11 and 12, 6 imploded, 9 shrunk;
// any other method shows as 0.
int16_t methodCode(uint16_t zipMethod, uint16_t flags);

// True when the method code has a decoder in this library.
bool hasDecoder(int16_t methodCode);

class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes from `in` into `out`. `*consumed` and `*produced` receive what
    // was used. `last` says no input follows this piece. Returns true when the
    // data is complete (or found invalid: the CRC comparison tells which).
    virtual bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
                      uint32_t* produced, bool last) = 0;
};

// The decoder of a method code, ready for a new entry; null with kUnknownMethod
// for codes without one, or kNoMemory. `flags` are the entry's general-purpose
// flags (the imploded variants read them).
std::unique_ptr<Decoder> makeDecoder(int16_t methodCode, uint16_t flags, Result* result);

}  // namespace zar::extract
