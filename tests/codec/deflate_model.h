// A slow, literal model of the compressor's match finding, written for tests
// from the description of the stream rather than from the library's code: the
// tokens it gives are the tokens every stream must carry.
#pragma once

#include <cstdint>
#include <vector>

#include "deflate_trace.h"

namespace zar::test {

// The tokens of the whole stream for `input` at the given chain limit (clamped
// as the compressor clamps it), with `at` the input offset of each token.
std::vector<TraceToken> modelTokens(const std::vector<uint8_t>& input, unsigned chainLimit);

}  // namespace zar::test
