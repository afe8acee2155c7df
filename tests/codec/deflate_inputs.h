// Inputs for the compressor's tests: sizes and kinds of data that reach the
// segment, window, block and code-building edges.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zar::test {

struct NamedInput {
    std::string name;
    std::vector<uint8_t> data;
};

// Deterministic pseudo-random bytes.
std::vector<uint8_t> randomBytes(size_t n, uint32_t seed);

// Pseudo-English text of n bytes.
std::vector<uint8_t> textBytes(size_t n, uint32_t seed);

// Binary-looking records of n bytes: small integers, offsets, padding.
std::vector<uint8_t> binaryBytes(size_t n, uint32_t seed);

// The varied set every round-trip test runs over.
const std::vector<NamedInput>& deflateInputs();

}  // namespace zar::test
