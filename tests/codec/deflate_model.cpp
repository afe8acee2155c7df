// The model keeps the window as the description has it: 32768 bytes filled in
// segments of 4096, a 257-byte copy of the window's start behind it, chains of
// window positions with 0xFFFF for "none". Everything is a plain loop.
#include "deflate_model.h"

#include <algorithm>

namespace zar::test {
namespace {

constexpr unsigned kNone = 0xFFFF;

struct Model {
    std::vector<uint8_t> window = std::vector<uint8_t>(32768 + 257, 0);
    std::vector<unsigned> chain = std::vector<unsigned>(32768, kNone);
    std::vector<unsigned> head = std::vector<unsigned>(8192, kNone);
    unsigned limit;

    unsigned hash(unsigned p) const {
        return ((unsigned{window[p]} << 10) ^ (unsigned{window[p + 1]} << 5) ^ window[p + 2]) & 0x1FFF;
    }

    // Longest match above t at p; 0 when none. The budget is tested before
    // the first step, before every third step of a run without full
    // comparisons, and after every step that made a full comparison.
    unsigned search(unsigned p, unsigned t, unsigned& pos) const {
        int budget = static_cast<int>(limit);
        unsigned best = 0, stepsSinceTest = 0;
        bool testNow = true;
        for (unsigned c = chain[p];;) {
            if (testNow) {
                if (budget <= 0) break;
                testNow = false;
                stepsSinceTest = 0;
            }
            if (c == kNone) break;
            --budget;
            ++stepsSinceTest;
            bool full = window[c + t - 1] == window[p + t - 1] && window[c + t] == window[p + t];
            if (full) {
                unsigned len = 0;
                while (len < 258 && window[p + len] == window[c + len]) ++len;
                if (len > t) {
                    best = t = len;
                    pos = c;
                    if (len == 258) break;
                }
            }
            c = chain[c];
            if (full || stepsSinceTest == 3) testNow = true;
        }
        return best;
    }
};

}  // namespace

std::vector<TraceToken> modelTokens(const std::vector<uint8_t>& input, unsigned chainLimit) {
    Model m;
    m.limit = chainLimit < 8 ? 10 : std::min(chainLimit, 2048u);
    std::vector<TraceToken> tokens;
    size_t base = 0;
    do {
        unsigned seg = static_cast<unsigned>((base / 4096) % 8) * 4096;
        if (base >= 32768) {
            for (unsigned& c : m.chain)
                if (c != kNone && c / 4096 * 4096 == seg) c = kNone;
            for (unsigned& h : m.head)
                if (h != kNone && h / 4096 * 4096 == seg) h = kNone;
        }
        unsigned n = static_cast<unsigned>(std::min<size_t>(4096, input.size() - base));
        std::copy(input.begin() + base, input.begin() + base + n, m.window.begin() + seg);
        for (unsigned q = seg; q + 2 < seg + n; ++q) {
            unsigned h = m.hash(q);
            m.chain[q] = m.head[h];
            m.head[h] = q;
        }
        for (unsigned q = seg + (n >= 2 ? n - 2 : 0); q < seg + n; ++q) m.chain[q] = kNone;
        if (seg == 0) std::copy(m.window.begin(), m.window.begin() + 257, m.window.begin() + 32768);

        auto emitLiteral = [&](unsigned p) { tokens.push_back({static_cast<uint32_t>(base + p - seg), 0, 0}); };
        unsigned end = seg + n, p = seg;
        while (p < end) {
            unsigned c = 0, len = m.search(p, 2, c);
            if (len == 0) {
                emitLiteral(p++);
                continue;
            }
            for (;;) {
                unsigned c2 = 0, len2 = 0;
                if (p + 1 < end && len < 258) len2 = m.search(p + 1, len, c2);
                if (len2 == 0) break;
                emitLiteral(p++);
                len = len2;
                c = c2;
            }
            unsigned cut = std::min(len, end - p);
            if (cut < 3) {
                emitLiteral(p++);
            } else {
                tokens.push_back({static_cast<uint32_t>(base + p - seg), static_cast<uint16_t>(cut),
                                  static_cast<uint16_t>((p - c + 32768) % 32768)});
                p += cut;
            }
        }
        base += n;
    } while (base < input.size());
    return tokens;
}

}  // namespace zar::test
