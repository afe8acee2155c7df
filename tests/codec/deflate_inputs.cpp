// Test inputs for the compressor (see deflate_inputs.h).
#include "deflate_inputs.h"

namespace zar::test {
namespace {

uint32_t next(uint32_t& s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t s = seed * 2654435761u + 1;
    for (auto& b : out) b = static_cast<uint8_t>(next(s) >> 24);
    return out;
}

std::vector<uint8_t> textBytes(size_t n, uint32_t seed) {
    static const char* const words[] = {
        "the", "archive", "of", "and", "entry", "is", "compressed", "with", "a", "window", "data",
        "to", "in", "that", "header", "file", "for", "stream", "block", "each", "byte", "as",
        "length", "distance", "code", "table", "when", "it", "not", "directory", "central", "record"};
    std::vector<uint8_t> out;
    uint32_t s = seed * 2246822519u + 7;
    while (out.size() < n) {
        const char* w = words[next(s) % 32];
        for (const char* c = w; *c && out.size() < n; ++c) out.push_back(static_cast<uint8_t>(*c));
        if (out.size() < n) {
            uint32_t r = next(s) % 16;
            out.push_back(static_cast<uint8_t>(r == 0 ? '.' : r == 1 ? ',' : r == 2 ? '\n' : ' '));
        }
    }
    return out;
}

std::vector<uint8_t> binaryBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out;
    uint32_t s = seed * 3266489917u + 3;
    uint32_t offset = 0x1000;
    while (out.size() < n) {
        uint32_t kind = next(s) % 4;
        uint32_t fields[4] = {kind, offset, next(s) % 64, kind == 3 ? next(s) : 0};
        offset += 16 + next(s) % 48;
        for (uint32_t f : fields)
            for (int i = 0; i < 4 && out.size() < n; ++i) out.push_back(static_cast<uint8_t>(f >> (8 * i)));
    }
    return out;
}

const std::vector<NamedInput>& deflateInputs() {
    static const std::vector<NamedInput> inputs = [] {
        std::vector<NamedInput> v;
        v.push_back({"empty", {}});
        for (size_t n = 1; n <= 6; ++n) v.push_back({"text" + std::to_string(n), textBytes(n, 1)});
        v.push_back({"zeros3", std::vector<uint8_t>(3, 0)});
        v.push_back({"text96", textBytes(96, 2)});
        v.push_back({"text97", textBytes(97, 2)});
        v.push_back({"run4096", std::vector<uint8_t>(4096, 'x')});
        v.push_back({"run5000", std::vector<uint8_t>(5000, 0)});
        v.push_back({"run70000", std::vector<uint8_t>(70000, 0xFF)});
        v.push_back({"random1000", randomBytes(1000, 3)});
        v.push_back({"random40000", randomBytes(40000, 4)});
        v.push_back({"text50000", textBytes(50000, 5)});
        v.push_back({"binary60000", binaryBytes(60000, 6)});
        for (size_t n : {4095u, 4096u, 4097u, 8191u, 8193u, 32767u, 32768u, 32769u, 65535u, 65536u, 65537u})
            v.push_back({"text" + std::to_string(n), textBytes(n, static_cast<uint32_t>(n))});
        // Repeats at distances near the window size, across the wrap.
        auto block = textBytes(20000, 7);
        v.push_back({"repeat-far", concat(concat(block, randomBytes(12760, 8)), block)});
        // Random literals give far more than 8192 tokens per block of input.
        v.push_back({"random20000", randomBytes(20000, 9)});
        // Mixed: text, runs, random and binary in turns, 200 KB.
        std::vector<uint8_t> mixed;
        for (uint32_t i = 0; mixed.size() < 200000; ++i) {
            switch (i % 4) {
            case 0: mixed = concat(mixed, textBytes(9000 + i * 37, i)); break;
            case 1: mixed.insert(mixed.end(), 300 + i * 11, static_cast<uint8_t>(i)); break;
            case 2: mixed = concat(mixed, randomBytes(2000 + i * 13, i)); break;
            default: mixed = concat(mixed, binaryBytes(7000 + i * 29, i)); break;
            }
        }
        v.push_back({"mixed", mixed});
        return v;
    }();
    return inputs;
}

}  // namespace zar::test
