// Helpers shared by the inflate tests: sample data, zlib as the reference
// encoder, a driver that feeds the decoder in pieces while checking the
// calling protocol, and a bit writer for hand-built streams.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codec/guarded_buffer.h"
#include "zarlib32.h"

namespace inflate_test {

using Bytes = std::vector<uint8_t>;

// ---- Sample data ----------------------------------------------------------------

// English-like text: words from a small vocabulary with punctuation and lines.
inline Bytes makeText(size_t size, uint32_t seed) {
    static const char* const words[] = {"the",     "inflate", "window", "of",      "and",    "archive", "entry",
                                        "to",      "block",   "code",   "length",  "a",      "distance",
                                        "header",  "stream",  "bytes",  "decoder", "table",  "is",
                                        "Huffman", "literal", "match",  "output",  "input",  "zip"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const char* w = words[rng() % (sizeof words / sizeof *words)];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
        const uint32_t r = rng() % 20;
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(size);
    return out;
}

// Record-like binary: little-endian counters, small integers and sparse noise.
inline Bytes makeBinary(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) {
        const uint32_t kind = (i / 64) % 4;
        out[i] = kind == 0   ? static_cast<uint8_t>((i / 4) >> (8 * (i % 4)))
                 : kind == 1 ? static_cast<uint8_t>(rng() % 4)
                 : kind == 2 ? static_cast<uint8_t>(rng())
                             : 0;
    }
    return out;
}

inline Bytes makeRandom(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// Long runs of one byte with short random stretches between them.
inline Bytes makeRuns(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        out.insert(out.end(), 1 + rng() % 600, static_cast<uint8_t>(rng() % 3));
        for (uint32_t n = rng() % 8; n > 0; --n) out.push_back(static_cast<uint8_t>(rng()));
    }
    out.resize(size);
    return out;
}

// Random blocks that come back at distances close to 32 KiB, so that matches
// reach to the far end of the window.
inline Bytes makeFarRepeats(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        if (out.size() > 32768 && rng() % 2 == 0) {
            const size_t back = 32768 - rng() % 64;
            const size_t len = 3 + rng() % 300;
            for (size_t i = 0; i < len; ++i) out.push_back(out[out.size() - back]);
        } else {
            for (uint32_t n = 1 + rng() % 200; n > 0; --n) out.push_back(static_cast<uint8_t>(rng()));
        }
    }
    out.resize(size);
    return out;
}

struct Sample {
    std::string name;
    Bytes data;
};

inline std::vector<Sample> corpus() {
    return {{"empty", {}},
            {"one byte", {0x41}},
            {"three bytes", {1, 2, 3}},
            {"text", makeText(70000, 1)},
            {"binary", makeBinary(40000, 2)},
            {"random", makeRandom(9000, 3)},
            {"runs", makeRuns(50000, 4)},
            {"far repeats", makeFarRepeats(80000, 5)}};
}

// ---- zlib as the encoder ---------------------------------------------------------

// Raw Deflate of `data`; a nonzero `flushEvery` adds a flush of that kind after
// every so many input bytes (stored, empty fixed or empty blocks in between).
inline Bytes zlibDeflate(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY, int windowBits = 15,
                         size_t flushEvery = 0, int flushKind = Z_SYNC_FLUSH) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, 8, strategy) != Z_OK) return {};
    Bytes out(deflateBound(&z, data.size()) + 64 + (flushEvery ? 16 * (data.size() / flushEvery + 1) : 0));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    size_t pos = 0;
    int rc = Z_OK;
    do {
        const size_t n = flushEvery ? std::min(flushEvery, data.size() - pos) : data.size() - pos;
        z.next_in = const_cast<Bytef*>(data.data() + pos);
        z.avail_in = static_cast<uInt>(n);
        pos += n;
        const int flush = pos == data.size() ? Z_FINISH : flushKind;
        rc = deflate(&z, flush);
    } while (rc == Z_OK && pos < data.size());
    while (rc == Z_OK) rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : Bytes{};
}

// Where a reader that keeps 9 to 16 bits in hand stops after `stream`: the
// stream's last byte plus one or two bytes of look-ahead.
inline size_t lookAheadEnd(const Bytes& stream) {
    // zlib drops the bits after the last block once it reaches the end, so it
    // is stopped at the block boundary instead (Z_BLOCK), where data_type holds
    // the bits still unused plus 64 (in the last block) and 128 (between blocks).
    z_stream z{};
    inflateInit2(&z, -15);
    Bytes sink(1 << 16);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int rc;
    do {
        z.next_out = sink.data();
        z.avail_out = static_cast<uInt>(sink.size());
        rc = inflate(&z, Z_BLOCK);
    } while (rc == Z_OK && (z.data_type & 192) != 192);
    const size_t bits = 8 * z.total_in - (z.data_type & 63);
    inflateEnd(&z);
    return rc == Z_OK ? (bits + 16) / 8 : 0;
}

// ---- Driving the decoder ---------------------------------------------------------

struct Outcome {
    int32_t result = 0;  // of the last call
    Bytes output;
    size_t taken = 0;    // input bytes taken over all calls
    size_t calls = 0;
    std::string fault;   // a breach of the calling protocol, if any
};

struct Feed {
    std::function<size_t()> inputPiece;  // bytes offered per call (clipped to what is left)
    std::function<size_t()> room;        // output room per call
    bool lastInput = true;               // set lastInput with the piece that holds the end
    size_t maxOutput = size_t{1} << 26;  // stop there: a guard against runaway output
    // With these, every piece of input and every room is placed flush against
    // a guard page (behind it, or in front with atFront).
    GuardedBuffer* inputGuard = nullptr;
    GuardedBuffer* outputGuard = nullptr;
    bool atFront = false;
};

inline Feed wholeFeed() { return {[] { return SIZE_MAX; }, [] { return size_t{1} << 20; }}; }
inline Feed bytewiseFeed(bool input, bool output) {
    return {[input] { return input ? size_t{1} : SIZE_MAX; }, [output] { return output ? size_t{1} : size_t{65520}; }};
}
inline Feed randomFeed(uint32_t seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    auto pick = [rng] {
        const uint32_t r = (*rng)() % 10;
        return r < 3 ? size_t{1} + (*rng)() % 4 : r < 7 ? size_t{1} + (*rng)() % 700 : size_t{1} + (*rng)() % 70000;
    };
    return {pick, pick};
}

// Prepares a work area for a stream; without one, AxInflateUCInit does.
using Begin = std::function<void(void*)>;

// Calls AxInflateUC until it returns -1, offering the input that was not taken
// again (as the protocol asks) and checking every count it writes back.
inline Outcome drive(const Bytes& stream, const Feed& feed, void* work = nullptr, const Begin& begin = {}) {
    Bytes ownWork;
    if (work == nullptr) {
        ownWork.resize(AxInflateUCBufSize());
        work = ownWork.data();
    }
    if (begin) {
        begin(work);
    } else {
        AxInflateUCInit(work);
    }
    Outcome o;
    size_t pos = 0;
    size_t idle = 0;
    Bytes room;
    for (;;) {
        const size_t left = stream.size() - pos;
        const size_t piece = std::min(feed.inputPiece(), left);
        size_t roomSize = std::min<size_t>(feed.room(), 1u << 24);
        const uint8_t* inBase = stream.data();
        uint32_t inOffset = static_cast<uint32_t>(pos);
        if (feed.inputGuard != nullptr) {
            uint8_t* p = feed.inputGuard->place(piece, feed.atFront);
            std::copy(stream.begin() + static_cast<ptrdiff_t>(pos),
                      stream.begin() + static_cast<ptrdiff_t>(pos + piece), p);
            inBase = p;
            inOffset = 0;
        }
        uint8_t* outBase;
        if (feed.outputGuard != nullptr) {
            roomSize = std::min(roomSize, feed.outputGuard->capacity());
            outBase = feed.outputGuard->place(roomSize, feed.atFront);
        } else {
            room.assign(roomSize + 1, 0xEE);
            outBase = room.data();
        }
        uint32_t inCount = static_cast<uint32_t>(piece);
        uint32_t outCount = static_cast<uint32_t>(roomSize);
        const int16_t last = feed.lastInput && piece == left ? 1 : 0;
        o.result = AxInflateUC(inBase, inOffset, &inCount, outBase, 0, &outCount, work, last);
        ++o.calls;
        if (inCount > piece || outCount > roomSize) {
            o.fault = "a count grew";
            return o;
        }
        if (feed.outputGuard == nullptr && room[roomSize] != 0xEE) {
            o.fault = "wrote past the room";
            return o;
        }
        if (o.result == 0 && inCount != piece && outCount != roomSize) {
            o.fault = "returned 0 with input left and room left";
            return o;
        }
        if (o.result != 0 && o.result != -1) {
            o.fault = "result " + std::to_string(o.result);
            return o;
        }
        o.output.insert(o.output.end(), outBase, outBase + outCount);
        pos += inCount;
        o.taken += inCount;
        if (o.result == -1) return o;
        idle = (inCount == 0 && outCount == 0) ? idle + 1 : 0;
        if (idle > 2 && left == 0 && !feed.lastInput) return o;  // waits for input that will not come
        if (idle > 1000) {
            o.fault = "no progress";
            return o;
        }
        if (o.output.size() > feed.maxOutput) {
            o.fault = "runaway output";
            return o;
        }
    }
}

// ---- Hand-built streams ------------------------------------------------------------

// Writes Deflate's bit order: fields least significant bit first, Huffman codes
// most significant bit first.
class BitWriter {
public:
    BitWriter& bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) put((value >> i) & 1);
        return *this;
    }
    BitWriter& code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) put((code >> i) & 1);
        return *this;
    }
    BitWriter& align() {
        while (count_ % 8 != 0) put(0);
        return *this;
    }
    BitWriter& byte(uint8_t b) { return bits(b, 8); }
    Bytes finish() {
        align();
        return bytes_;
    }
    size_t bitCount() const { return count_; }

private:
    void put(uint32_t bit) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(bit << (count_ % 8));
        ++count_;
    }
    Bytes bytes_;
    size_t count_ = 0;
};

// Canonical codes for a list of code lengths (0 = no code).
struct Code {
    std::vector<uint32_t> codes;
    std::vector<uint8_t> lengths;
    void put(BitWriter& w, unsigned symbol) const { w.code(codes.at(symbol), lengths.at(symbol)); }
};

inline Code canonical(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {}, next[16] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    for (unsigned len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    Code c{std::vector<uint32_t>(lengths.size()), lengths};
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) c.codes[s] = next[lengths[s]]++;
    return c;
}

// The fixed literal/length and distance codes.
inline const Code& fixedLitLen() {
    static const Code c = [] {
        std::vector<uint8_t> l(288);
        for (unsigned s = 0; s < 288; ++s) l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        return canonical(l);
    }();
    return c;
}
inline const Code& fixedDist() {
    static const Code c = canonical(std::vector<uint8_t>(32, 5));
    return c;
}

// Bases and extra bits of the length symbols (257 to 285) and distance symbols.
inline constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                          33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                          1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                          6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A token of the code-length alphabet: 0-15 a length, 16-18 a repeat with its extra bits.
struct LengthToken {
    unsigned symbol;
    unsigned extra = 0;
};

inline std::vector<LengthToken> plainTokens(const std::vector<uint8_t>& lengths) {
    std::vector<LengthToken> t;
    for (uint8_t l : lengths) t.push_back({l});
    return t;
}

// The code-length code used by writeDynamicHeader: symbols 0-12 get 4 bits and
// 13-18 get 5 bits, a complete code in which every symbol can be sent.
inline const Code& headerPrecode() {
    static const Code c = [] {
        std::vector<uint8_t> l(19);
        for (unsigned s = 0; s < 19; ++s) l[s] = s < 13 ? 4 : 5;
        return canonical(l);
    }();
    return c;
}

// Writes BFINAL, BTYPE 2 and a dynamic header: HLIT, HDIST, HCLEN = 19, the
// code-length code above, then `tokens` through it.
inline void writeDynamicHeader(BitWriter& w, bool final, unsigned hlit, unsigned hdist,
                               const std::vector<LengthToken>& tokens) {
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(final ? 1 : 0, 1).bits(2, 2);  // BFINAL, BTYPE = dynamic
    w.bits(hlit - 257, 5).bits(hdist - 1, 5).bits(19 - 4, 4);  // HLIT, HDIST, HCLEN
    for (unsigned s : order) w.bits(headerPrecode().lengths[s], 3);
    for (const LengthToken& t : tokens) {
        headerPrecode().put(w, t.symbol);
        if (t.symbol == 16) w.bits(t.extra, 2);
        if (t.symbol == 17) w.bits(t.extra, 3);
        if (t.symbol == 18) w.bits(t.extra, 7);
    }
}

}  // namespace inflate_test
