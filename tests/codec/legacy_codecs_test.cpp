// The decoders of the older methods on streams built bit by bit: the code-size
// escape and the partial clear of shrunk data, all four variants of imploded
// data, matches that reach back across calls and before the first byte, and
// the same output whatever the pieces of input and room.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codec/explode.h"
#include "codec/reduce.h"
#include "codec/unshrink.h"

namespace {

using namespace zar::codec;

// Writes values of any width, least significant bit first, or codes most
// significant bit first as the implode trees send them.
class BitWriter {
public:
    void put(uint32_t value, uint32_t width) {
        for (uint32_t i = 0; i < width; ++i) bit((value >> i) & 1);
    }
    void putCode(uint32_t code, uint32_t width) {
        for (uint32_t i = width; i-- > 0;) bit((code >> i) & 1);
    }
    void byte(uint8_t b) {
        flush();
        bytes_.push_back(b);
    }
    std::vector<uint8_t> bytes() {
        flush();
        return bytes_;
    }

private:
    void bit(uint32_t b) {
        pending_ |= b << count_;
        if (++count_ == 8) flush();
    }
    void flush() {
        if (count_ == 0) return;
        bytes_.push_back(static_cast<uint8_t>(pending_));
        pending_ = count_ = 0;
    }
    std::vector<uint8_t> bytes_;
    uint32_t pending_ = 0, count_ = 0;
};

// Runs a resumable decoder over `in` offered `inPiece` bytes at a time with
// `room` bytes of output per call, until it ends or `limit` bytes are out.
template <class State, class Step>
std::string decode(State& state, Step step, const std::vector<uint8_t>& in, size_t inPiece, size_t room,
                   size_t limit, LegacyStatus* status = nullptr) {
    std::string out;
    size_t at = 0;
    std::vector<uint8_t> buffer(room);
    for (int calls = 0; calls < 1000000; ++calls) {
        const size_t offer = std::min(inPiece, in.size() - at);
        const bool last = at + offer == in.size();
        LegacyResult r = step(state, in.data() + at, offer, buffer.data(), room, last);
        at += r.taken;
        out.append(reinterpret_cast<const char*>(buffer.data()), r.written);
        if (status) *status = r.status;
        if (r.status != LegacyStatus::kMore || out.size() >= limit) break;
    }
    return out.substr(0, std::min(out.size(), limit));
}

// ---- Unshrink -----------------------------------------------------------

std::string unshrink(const std::vector<uint8_t>& in, size_t inPiece = 1 << 20, size_t room = 65520,
                     LegacyStatus* status = nullptr) {
    auto state = std::make_unique<UnshrinkState>();
    unshrinkBegin(*state);
    return decode(*state, unshrinkStep, in, inPiece, room, 1 << 20, status);
}

TEST(Unshrink, CodesStringsAndTheStringThatRepeatsItsFirstByte) {
    BitWriter w;
    // a b 257("ab") 259 (not yet defined: "ab" + 'a') c
    for (uint32_t code : std::initializer_list<uint32_t>{'a', 'b', 257, 259, 'c'}) w.put(code, 9);
    const std::string expected = "ab" "ab" "aba" "c";
    for (size_t piece : {1, 2, 1000})
        for (size_t room : {1, 3, 65520}) EXPECT_EQ(unshrink(w.bytes(), piece, room), expected) << piece << " " << room;
}

TEST(Unshrink, TheEscapeGrowsTheCodeSize) {
    BitWriter w;
    w.put('x', 9);
    w.put(256, 9);
    w.put(1, 9);
    w.put('y', 10);
    w.put(257, 10);  // "xy"
    EXPECT_EQ(unshrink(w.bytes()), "xyxy");
}

TEST(Unshrink, APartialClearFreesLeavesForReuseInOrder) {
    BitWriter w;
    // 257 = "ab", 258 = "bc", 259 = "ca", 260 = "abc" (its prefix 257 stays).
    for (uint32_t code : std::initializer_list<uint32_t>{'a', 'b', 'c', 257, 'c'}) w.put(code, 9);
    w.put(256, 9);
    w.put(2, 9);  // frees 258, 259, 260: none of them is a prefix; 257 is
    // New entries take the freed codes from the lowest: 'x' adds "cx" as 258,
    // 'y' adds "xy" as 259; 257 kept its "ab".
    for (uint32_t code : std::initializer_list<uint32_t>{'x', 'y', 258, 257}) w.put(code, 9);
    EXPECT_EQ(unshrink(w.bytes()), "abcabc" "xy" "cx" "ab");
}

TEST(Unshrink, DamageEndsTheEntry) {
    struct Case {
        const char* what;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"a first code that is no byte", {300}},
        // The partial clear frees 257 while it is the previous code; an
        // undefined code then leads through it to nothing.
        {"a string through a freed code", {'a', 'b', 257, 256, 2, 300}},
        {"the escape pushed past 13 bits", {'a', 256, 1, 256, 1, 256, 1, 256, 1, 256, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitWriter w;
        uint32_t width = 9;
        for (size_t i = 0; i < c.codes.size(); ++i) {
            w.put(c.codes[i], width);
            if (i > 0 && c.codes[i] == 1 && c.codes[i - 1] == 256 && width < 13) ++width;
        }
        LegacyStatus status;
        unshrink(w.bytes(), 1 << 20, 65520, &status);
        EXPECT_EQ(status, LegacyStatus::kBadData);
    }
    LegacyStatus status;
    EXPECT_EQ(unshrink({}, 1, 16, &status), "");
    EXPECT_EQ(status, LegacyStatus::kEnd);
}

// ---- Explode ------------------------------------------------------------

// An imploded stream of tokens with flat trees: every literal 8 bits long,
// every length and distance symbol 6 bits, so that symbol s of a tree of n
// has the code n - 1 - s.
struct Token {
    int literal;  // -1 for a match
    uint32_t distance, length;
};

std::vector<uint8_t> implode(const std::vector<Token>& tokens, bool threeTrees, bool bigWindow) {
    BitWriter w;
    auto flatTree = [&](uint32_t symbols, uint32_t length) {
        const uint32_t runs = symbols / 16;
        w.byte(static_cast<uint8_t>(runs - 1));
        for (uint32_t i = 0; i < runs; ++i) w.byte(static_cast<uint8_t>(0xF0 | (length - 1)));
    };
    if (threeTrees) flatTree(256, 8);
    flatTree(64, 6);  // lengths
    flatTree(64, 6);  // distances
    const uint32_t lowBits = bigWindow ? 7 : 6, shortest = threeTrees ? 3 : 2;
    for (const Token& t : tokens) {
        if (t.literal >= 0) {
            w.put(1, 1);
            if (threeTrees) w.putCode(255 - static_cast<uint32_t>(t.literal), 8);
            else w.put(static_cast<uint32_t>(t.literal), 8);
            continue;
        }
        w.put(0, 1);
        const uint32_t d = t.distance - 1;
        w.put(d & ((1u << lowBits) - 1), lowBits);
        w.putCode(63 - (d >> lowBits), 6);
        const uint32_t l = t.length - shortest;
        w.putCode(63 - std::min<uint32_t>(l, 63), 6);
        if (l >= 63) w.put(l - 63, 8);
    }
    return w.bytes();
}

std::string explode(const std::vector<uint8_t>& in, bool threeTrees, bool bigWindow, size_t limit,
                    size_t inPiece = 1 << 20, size_t room = 65520, LegacyStatus* status = nullptr) {
    auto state = std::make_unique<ExplodeState>();
    explodeBegin(*state, threeTrees, bigWindow);
    return decode(*state, explodeStep, in, inPiece, room, limit, status);
}

TEST(Explode, EveryVariantInPiecesOfAnySize) {
    for (bool threeTrees : {false, true})
        for (bool bigWindow : {false, true}) {
            SCOPED_TRACE(std::string(threeTrees ? "three trees, " : "two trees, ") + (bigWindow ? "8K" : "4K"));
            const uint32_t far = bigWindow ? 8000 : 4000;
            std::vector<Token> tokens = {{'a', 0, 0}, {'b', 0, 0}, {-1, 1, 200}};  // 'b' repeated 200 times
            std::string expected = "ab" + std::string(200, 'b');
            for (int i = 0; i < 20; ++i) tokens.push_back({'0' + i % 10, 0, 0}), expected += char('0' + i % 10);
            // Long matches: the length code 63 and its extra byte, and one from far back.
            tokens.push_back({-1, 20, 320 + (threeTrees ? 1u : 0u)});
            for (uint32_t i = 0; i < 320 + (threeTrees ? 1u : 0u); ++i) expected += expected[expected.size() - 20];
            while (expected.size() < far + 10) {
                tokens.push_back({static_cast<int>('A' + expected.size() % 26), 0, 0});
                expected += static_cast<char>('A' + expected.size() % 26);
            }
            tokens.push_back({-1, far, 5});
            for (int i = 0; i < 5; ++i) expected += expected[expected.size() - far];
            const auto stream = implode(tokens, threeTrees, bigWindow);
            for (size_t piece : {size_t{1}, size_t{7}, stream.size()})
                for (size_t room : {size_t{1}, size_t{100}, size_t{65520}})
                    EXPECT_EQ(explode(stream, threeTrees, bigWindow, expected.size(), piece, room), expected)
                        << "piece " << piece << ", room " << room;
        }
}

TEST(Explode, MatchesBeforeTheFirstByteCopyZeros) {
    const auto stream = implode({{-1, 3, 4}, {'z', 0, 0}}, false, false);
    EXPECT_EQ(explode(stream, false, false, 5), std::string(4, '\0') + "z");
}

TEST(Explode, DamagedDescriptionsAndCodesAreBadData) {
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
    } cases[] = {
        // A length tree that names 16 symbols of 64, and one that names 80.
        {"too few symbols", {0, 0xF5, 3, 0xF5, 0xF5, 0xF5, 0xF5, 0xFF}},
        {"too many symbols", {4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5, 3, 0xF5, 0xF5, 0xF5, 0xF5, 0xFF}},
        // Lengths of one bit for all 64 symbols: the codes overflow.
        {"codes that overflow", {3, 0xF0, 0xF0, 0xF0, 0xF0, 3, 0xF5, 0xF5, 0xF5, 0xF5, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LegacyStatus status;
        explode(c.stream, false, false, 100, 1 << 20, 65520, &status);
        EXPECT_EQ(status, LegacyStatus::kBadData);
    }
}

TEST(Explode, TruncatedStreamsEndQuietly) {
    const auto stream = implode({{'a', 0, 0}, {-1, 1, 100}, {'b', 0, 0}}, true, true);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        std::vector<uint8_t> part(stream.begin(), stream.begin() + static_cast<long>(cut));
        LegacyStatus status;
        const std::string out = explode(part, true, true, 1000, 3, 50, &status);
        EXPECT_EQ(status, LegacyStatus::kEnd) << cut;
        EXPECT_EQ(out, (std::string("a") + std::string(100, 'a') + "b").substr(0, out.size())) << cut;
    }
}

// ---- Reduce -------------------------------------------------------------

// A reduced stream with empty follower sets, so every byte is sent plain.
std::vector<uint8_t> reduceStream(const std::vector<uint8_t>& bytes) {
    BitWriter w;
    for (int set = 255; set >= 0; --set) w.put(0, 6);
    for (uint8_t b : bytes) w.put(b, 8);
    return w.bytes();
}

std::string unreduce(const std::vector<uint8_t>& in, uint16_t method, size_t limit, size_t inPiece = 1 << 20,
                     size_t room = 65520, LegacyStatus* status = nullptr) {
    auto state = std::make_unique<ReduceState>();
    reduceBegin(*state, method);
    return decode(*state, reduceStep, in, inPiece, room, limit, status);
}

TEST(Unreduce, DleIntroducesMatchesAndLiteralDles) {
    // Factor 1 (method 2): seven length bits, one distance bit over the next byte.
    // "abc", DLE 0 (a literal DLE), DLE (length 2, distance 4) -> 5 bytes from 4 back.
    const std::vector<uint8_t> plain = {'a', 'b', 'c', 144, 0, 144, 2, 3};
    const std::string expected = std::string("abc") + char(144) + "abc" + char(144) + "a";
    for (size_t piece : {1, 100})
        for (size_t room : {1, 65520})
            EXPECT_EQ(unreduce(reduceStream(plain), 2, expected.size(), piece, room), expected);
    // Factor 4 (method 5): the long length form, 15 + the next byte.
    const std::vector<uint8_t> longMatch = {'x', 144, 0x0F, 10, 0};
    EXPECT_EQ(unreduce(reduceStream(longMatch), 5, 100), std::string(1 + 15 + 10 + 3, 'x'));
}

TEST(Unreduce, FollowerSetsCodeLikelyBytes) {
    BitWriter w;
    // Byte 0 (the start) is followed by 'h' or 'i'; 'h' by 'i'; others empty.
    for (int set = 255; set >= 0; --set) {
        if (set == 0) w.put(2, 6), w.put('h', 8), w.put('i', 8);
        else if (set == 'h') w.put(1, 6), w.put('i', 8);
        else w.put(0, 6);
    }
    w.put(0, 1), w.put(0, 1);  // 'h': index 0 of the start's set
    w.put(0, 1), w.put(0, 1);  // 'i': index 0 of 'h's set
    w.put('!', 8);             // 'i' has no set: plain
    EXPECT_EQ(unreduce(w.bytes(), 3, 3), "hi!");

    // An index past its set is damage.
    BitWriter bad;
    for (int set = 255; set >= 0; --set) bad.put(set == 0 ? 3 : 0, 6);
    for (int i = 0; i < 3; ++i) bad.put('a' + i, 8);
    bad.put(0, 1), bad.put(3, 2);
    LegacyStatus status;
    unreduce(bad.bytes(), 2, 10, 1 << 20, 65520, &status);
    EXPECT_EQ(status, LegacyStatus::kBadData);
}

}  // namespace
