// Deflate compressor: exact bytes of small streams, the tokens every stream
// must carry (against a literal model), segment and block rules, the resumable
// protocol, and round trips through zlib.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/deflate.h"
#include "deflate_inputs.h"
#include "deflate_model.h"
#include "deflate_trace.h"
#include "zarlib32.h"

namespace {

using namespace zar::test;

// Packs the expected stream field by field.
class BitPacker {
public:
    // A header field or extra bits: least significant bit first.
    BitPacker& field(unsigned value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) put(value >> i & 1);
        return *this;
    }
    // A Huffman code: most significant bit first.
    BitPacker& code(unsigned value, unsigned length) {
        for (unsigned i = length; i-- > 0;) put(value >> i & 1);
        return *this;
    }
    std::vector<uint8_t> bytes() const { return out_; }

private:
    void put(unsigned bit) {
        if (n_ % 8 == 0) out_.push_back(0);
        out_.back() = static_cast<uint8_t>(out_.back() | bit << (n_ % 8));
        ++n_;
    }
    std::vector<uint8_t> out_;
    unsigned n_ = 0;
};

std::vector<uint8_t> bytesOf(const char* s) { return std::vector<uint8_t>(s, s + strlen(s)); }

std::vector<TraceToken> allTokens(const Trace& t) {
    std::vector<TraceToken> v;
    for (const auto& b : t.blocks) v.insert(v.end(), b.tokens.begin(), b.tokens.end());
    return v;
}

bool sameTokens(const std::vector<TraceToken>& a, const std::vector<TraceToken>& b, std::string* why) {
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i].at != b[i].at || a[i].length != b[i].length || a[i].distance != b[i].distance) {
            *why = "token " + std::to_string(i) + " at " + std::to_string(a[i].at) + ": (" +
                   std::to_string(a[i].length) + "," + std::to_string(a[i].distance) + ") instead of (" +
                   std::to_string(b[i].length) + "," + std::to_string(b[i].distance) + ") at " + std::to_string(b[i].at);
            return false;
        }
    if (a.size() != b.size()) {
        *why = std::to_string(a.size()) + " tokens instead of " + std::to_string(b.size());
        return false;
    }
    return true;
}

// ---- Exact bytes ---------------------------------------------------------------

TEST(DeflateBytes, EmptyInputFixedIsOneFinalBlockWithTheEndCode) {
    // BFINAL 1, BTYPE 1, end-of-block 0000000, padding.
    auto expected = BitPacker().field(1, 1).field(1, 2).code(0, 7).bytes();
    EXPECT_EQ(expected, (std::vector<uint8_t>{0x03, 0x00}));
    EXPECT_EQ(deflateWhole({}, 55, false), expected);
}

TEST(DeflateBytes, EmptyInputDynamicHasOnlyTheEndCodeOfLengthOne) {
    // Lengths: 256 zeros, a 1 for the end-of-block code, one zero distance
    // length. Records: 18 (127), 18 (107), 1, 0; their code gives 18 length 1
    // and the symbols 0 and 1 length 2.
    BitPacker p;
    p.field(1, 1).field(2, 2);           // BFINAL, dynamic
    p.field(0, 5).field(0, 5);           // HLIT 257, HDIST 1
    p.field(18 - 4, 4);                  // HCLEN 18: the order's last used entry is symbol 1
    const unsigned clen[18] = {0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};  // 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
    for (unsigned l : clen) p.field(l, 3);
    p.code(0b0, 1).field(127, 7);        // 18: 138 zeros
    p.code(0b0, 1).field(107, 7);        // 18: 118 zeros
    p.code(0b11, 2);                     // 1: the end-of-block length
    p.code(0b10, 2);                     // 0: the distance length
    p.code(0, 1);                        // end of block
    EXPECT_EQ(deflateWhole({}, 55, true), p.bytes());
}

TEST(DeflateBytes, ShortRepeatIsLiteralsAndOneMatchInFixedCodes) {
    // a, b, c, then a match of 6 at distance 3: the lookahead at the next
    // position finds nothing longer.
    BitPacker p;
    p.field(1, 1).field(1, 2);
    for (unsigned c : {'a', 'b', 'c'}) p.code(0x30 + c, 8);
    p.code(260 - 256, 7);                // length 6
    p.code(2, 5);                        // distance 3
    p.code(0, 7);                        // end of block
    EXPECT_EQ(deflateWhole(bytesOf("abcabcabc"), 55, false), p.bytes());
}

TEST(DeflateBytes, SingleDistanceSymbolGetsLengthOne) {
    auto t = traceDeflate(deflateWhole(bytesOf("abcabcabc"), 55, true));
    ASSERT_TRUE(t.ok) << t.error;
    ASSERT_EQ(t.blocks.size(), 1u);
    EXPECT_EQ(t.blocks[0].hdist, 3u);
    EXPECT_EQ(t.blocks[0].distLengths, (std::vector<uint8_t>{0, 0, 1}));
    EXPECT_EQ(t.output, bytesOf("abcabcabc"));
}

TEST(DeflateBytes, LiteralsOnlySendOneZeroDistanceLength) {
    auto t = traceDeflate(deflateWhole(bytesOf("zarlib"), 55, true));
    ASSERT_TRUE(t.ok) << t.error;
    EXPECT_EQ(t.blocks[0].hdist, 1u);
    EXPECT_EQ(t.blocks[0].distLengths, std::vector<uint8_t>{0});
    EXPECT_EQ(t.blocks[0].tokens.size(), 6u);
}

TEST(DeflateBytes, RunOfOneSegmentIsLiteralThenMatchesEndingAtTheSegmentEnd) {
    // A literal, fifteen matches of 258 at distance 1, and a last match of 225
    // that ends with the segment (the window beyond it holds zeros).
    auto t = traceDeflate(deflateWhole(std::vector<uint8_t>(4096, 'x'), 55, true));
    ASSERT_TRUE(t.ok) << t.error;
    std::vector<TraceToken> expected{{0, 0, 0}};
    for (uint32_t i = 0; i < 15; ++i) expected.push_back({1 + 258 * i, 258, 1});
    expected.push_back({3871, 225, 1});
    std::string why;
    EXPECT_TRUE(sameTokens(allTokens(t), expected, &why)) << why;
}

// ---- Tokens against the model ------------------------------------------------

class DeflateModel : public testing::TestWithParam<unsigned> {};

TEST_P(DeflateModel, TokensAndBlocksAreThoseOfTheModel) {
    const unsigned limit = GetParam();
    for (const auto& in : deflateInputs()) {
        auto expected = modelTokens(in.data, limit);
        for (bool dynamic : {false, true}) {
            auto t = traceDeflate(deflateWhole(in.data, static_cast<uint16_t>(limit), dynamic));
            ASSERT_TRUE(t.ok) << in.name << ": " << t.error;
            std::string why;
            EXPECT_TRUE(sameTokens(allTokens(t), expected, &why)) << in.name << " limit " << limit << ": " << why;
            // Blocks of exactly 8192 tokens, then a final block with the rest
            // (possibly none); all of the chosen kind.
            ASSERT_EQ(t.blocks.size(), expected.size() / 8192 + 1) << in.name;
            for (size_t i = 0; i < t.blocks.size(); ++i) {
                bool last = i + 1 == t.blocks.size();
                EXPECT_EQ(t.blocks[i].final, last);
                EXPECT_EQ(t.blocks[i].type, dynamic ? 2u : 1u);
                EXPECT_EQ(t.blocks[i].tokens.size(), last ? expected.size() % 8192 : 8192u) << in.name << " block " << i;
            }
            // Padding: the last byte holds the end of the final block.
            EXPECT_EQ((t.bitsUsed + 7) / 8, t.streamBytes) << in.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ChainLimits, DeflateModel, testing::Values(0u, 8u, 9u, 25u, 55u, 505u, 2048u, 5000u));

// ---- Segment and block rules ---------------------------------------------------

TEST(DeflateSegments, NoMatchCrossesOrStartsInTheLastTwoBytesOfASegment) {
    for (const auto& in : deflateInputs()) {
        for (unsigned limit : {8u, 505u}) {
            auto t = traceDeflate(deflateWhole(in.data, static_cast<uint16_t>(limit), true));
            ASSERT_TRUE(t.ok) << t.error;
            for (const auto& tok : allTokens(t)) {
                if (tok.length == 0) continue;
                EXPECT_EQ(tok.at / 4096, (tok.at + tok.length - 1) / 4096) << in.name << " match at " << tok.at;
                EXPECT_LT(tok.at % 4096, 4094u) << in.name << " match at " << tok.at;
                EXPECT_LT(tok.at + 2, in.data.size()) << in.name << " match at " << tok.at;
                EXPECT_LE(tok.distance, 32767u);
            }
        }
    }
}

TEST(DeflateBlocks, The8193rdTokenOpensTheSecondBlock) {
    // Random bytes are nearly all literals: 20000 bytes give more than two blocks.
    auto input = randomBytes(20000, 9);
    auto t = traceDeflate(deflateWhole(input, 55, true));
    ASSERT_TRUE(t.ok) << t.error;
    ASSERT_GE(t.blocks.size(), 3u);
    EXPECT_EQ(t.blocks[0].tokens.size(), 8192u);
    EXPECT_FALSE(t.blocks[0].final);
    auto tokens = modelTokens(input, 55);
    EXPECT_EQ(t.blocks[1].tokens.front().at, tokens[8192].at);
}

TEST(DeflateBlocks, ExactlyFullBlockIsFollowedByAnEmptyFinalBlock) {
    // Cut the input where its 8192nd token ends.
    auto longer = randomBytes(12000, 11);
    auto tokens = modelTokens(longer, 25);
    const auto& last = tokens[8191];
    std::vector<uint8_t> input(longer.begin(), longer.begin() + last.at + std::max<uint16_t>(last.length, 1));
    ASSERT_EQ(modelTokens(input, 25).size(), 8192u);
    for (bool dynamic : {false, true}) {
        auto t = traceDeflate(deflateWhole(input, 25, dynamic));
        ASSERT_TRUE(t.ok) << t.error;
        ASSERT_EQ(t.blocks.size(), 2u);
        EXPECT_EQ(t.blocks[0].tokens.size(), 8192u);
        EXPECT_TRUE(t.blocks[1].final);
        EXPECT_TRUE(t.blocks[1].tokens.empty());
        EXPECT_EQ(t.output, input);
    }
}

TEST(DeflateSettings, ChainLimitsOutsideTheRangeAreClamped) {
    auto input = textBytes(60000, 21);
    for (bool dynamic : {false, true}) {
        auto ten = deflateWhole(input, 10, dynamic);
        for (uint16_t low : {0, 1, 7}) EXPECT_EQ(deflateWhole(input, low, dynamic), ten) << low;
        auto top = deflateWhole(input, 2048, dynamic);
        for (uint16_t high : {2049, 5000, 65535}) EXPECT_EQ(deflateWhole(input, high, dynamic), top) << high;
    }
}

// ---- Protocol ----------------------------------------------------------------

struct Buffers {
    std::vector<uint8_t> main = std::vector<uint8_t>(57613), chain = std::vector<uint8_t>(65536),
                         tokens = std::vector<uint8_t>(25600);
    Buffers() { AxDeflateInit(main.data(), chain.data(), tokens.data()); }
    int32_t call(const std::vector<uint8_t>& in, uint32_t& taken, uint8_t* out, uint32_t& room, bool last,
                 uint16_t limit = 55, bool dynamic = true) {
        return AxDeflate(limit, dynamic, in.data(), 0, &taken, out, 0, &room, last, main.data(), chain.data(),
                         tokens.data());
    }
};

TEST(DeflateProtocol, BufferSizes) {
    uint32_t a = 0, b = 0, c = 0;
    AxDeflateBufSize(&a, &b, &c);
    EXPECT_EQ(a, 57613u);
    EXPECT_EQ(b, 65536u);
    EXPECT_EQ(c, 25600u);
}

TEST(DeflateProtocol, ShortFirstCallTakesEverythingAndWritesNothing) {
    Buffers w;
    auto in = textBytes(4095, 1);
    uint8_t out[64];
    uint32_t taken = static_cast<uint32_t>(in.size()), room = sizeof out;
    EXPECT_EQ(w.call(in, taken, out, room, false), 0);
    EXPECT_EQ(taken, in.size());
    EXPECT_EQ(room, 0u);
}

TEST(DeflateProtocol, FinishedStreamReturnsDoneAndTouchesNothing) {
    Buffers w;
    auto in = textBytes(100, 1);
    std::vector<uint8_t> out(200);
    uint32_t taken = 100, room = 200;
    ASSERT_EQ(w.call(in, taken, out.data(), room, true), -1);
    taken = 100;
    room = 200;
    EXPECT_EQ(w.call(in, taken, out.data(), room, true), -1);
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(room, 0u);
}

TEST(DeflateProtocol, RoomFilledExactlyStopsThenTheNextCallEnds) {
    auto in = textBytes(3000, 2);
    auto whole = deflateWhole(in, 55, true);
    Buffers w;
    std::vector<uint8_t> out(whole.size());
    uint32_t taken = static_cast<uint32_t>(in.size()), room = static_cast<uint32_t>(out.size());
    EXPECT_EQ(w.call(in, taken, out.data(), room, true), 0);
    EXPECT_EQ(room, whole.size());
    EXPECT_EQ(out, whole);
    uint32_t none = 0, more = 10;
    uint8_t extra[10];
    EXPECT_EQ(w.call({}, none, extra, more, true), -1);
    EXPECT_EQ(more, 0u);
}

TEST(DeflateProtocol, NoRoomOfferedStopsBeforeTheFirstByte) {
    Buffers w;
    auto in = randomBytes(30000, 3);
    uint32_t taken = static_cast<uint32_t>(in.size()), room = 0;
    EXPECT_EQ(w.call(in, taken, nullptr, room, true), 0);
    EXPECT_EQ(room, 0u);
    // The first block filled and waits; the rest of the input stays offered.
    EXPECT_LT(taken, in.size());
}

TEST(DeflateProtocol, MissingArgumentsEndTheCallAtOnce) {
    Buffers w;
    std::vector<uint8_t> in(10, 'a');
    uint8_t out[100];
    uint32_t taken = 10, room = 100;
    EXPECT_EQ(AxDeflate(55, 1, in.data(), 0, nullptr, out, 0, &room, 1, w.main.data(), w.chain.data(), w.tokens.data()), -1);
    EXPECT_EQ(AxDeflate(55, 1, in.data(), 0, &taken, out, 0, nullptr, 1, w.main.data(), w.chain.data(), w.tokens.data()), -1);
    EXPECT_EQ(AxDeflate(55, 1, in.data(), 0, &taken, out, 0, &room, 1, nullptr, w.chain.data(), w.tokens.data()), -1);
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(room, 0u);
    taken = 10;
    room = 100;
    EXPECT_EQ(AxDeflate(55, 1, nullptr, 0, &taken, out, 0, &room, 1, w.main.data(), w.chain.data(), w.tokens.data()), -1);
    taken = 10;
    room = 100;
    EXPECT_EQ(AxDeflate(55, 1, in.data(), 0, &taken, nullptr, 0, &room, 1, w.main.data(), w.chain.data(), w.tokens.data()), -1);
    uint32_t a = 1;
    AxDeflateBufSize(&a, nullptr, nullptr);
    EXPECT_EQ(a, 57613u);
    AxDeflateInit(nullptr, nullptr, nullptr);
    // The buffers were not touched: the stream still compresses.
    taken = 10;
    room = 100;
    EXPECT_EQ(w.call(in, taken, out, room, true), -1);
    EXPECT_EQ(taken, 10u);
}

TEST(DeflateProtocol, ReinitialisedBuffersGiveTheSameStreamAgain) {
    auto a = textBytes(70000, 4), b = randomBytes(5000, 4);
    Buffers w;
    auto run = [&](const std::vector<uint8_t>& in) {
        AxDeflateInit(w.main.data(), w.chain.data(), w.tokens.data());
        std::vector<uint8_t> out(in.size() + 1000);
        uint32_t taken = static_cast<uint32_t>(in.size()), room = static_cast<uint32_t>(out.size());
        EXPECT_EQ(w.call(in, taken, out.data(), room, true), -1);
        out.resize(room);
        return out;
    };
    auto first = run(a);
    run(b);
    EXPECT_EQ(run(a), first);
    EXPECT_EQ(first, deflateWhole(a, 55, true));
}

// A caller that changes its settings or takes back lastInput in the middle of
// a stream still gets a stream that decodes to the data it gave.
TEST(DeflateProtocol, BlockKeepsItsKindWhenTheFlagChangesMidway) {
    Buffers w;
    auto in = textBytes(40000, 5);
    std::vector<uint8_t> stream;
    size_t pos = 0;
    for (int call = 0;; ++call) {
        ASSERT_LT(call, 1000000);
        std::vector<uint8_t> part(in.begin() + static_cast<long>(pos), in.end());
        uint8_t out[3];
        uint32_t taken = static_cast<uint32_t>(part.size()), room = sizeof out;
        int32_t r = w.call(part, taken, out, room, true, 25, call % 2 == 0);
        stream.insert(stream.end(), out, out + room);
        pos += taken;
        if (r == -1) break;
    }
    bool ok = false;
    EXPECT_EQ(zlibInflate(stream, &ok), in);
    EXPECT_TRUE(ok);
}

TEST(DeflateProtocol, StreamEndsAfterAShortLastSegmentEvenIfMoreInputFollows) {
    Buffers w;
    auto first = textBytes(100, 6), more = textBytes(5000, 7);
    std::vector<uint8_t> stream;
    uint8_t out[1];
    uint32_t taken = 100, room = 1;
    ASSERT_EQ(w.call(first, taken, out, room, true), 0);  // the room ran out
    EXPECT_EQ(taken, 100u);
    stream.insert(stream.end(), out, out + room);
    int32_t r = 0;
    size_t takenLater = 0;
    for (int call = 0; r == 0 && call < 100000; ++call) {
        taken = static_cast<uint32_t>(more.size());
        room = 1;
        r = w.call(more, taken, out, room, false);
        takenLater += taken;
        stream.insert(stream.end(), out, out + room);
    }
    EXPECT_EQ(r, -1);
    EXPECT_EQ(takenLater, 0u);
    bool ok = false;
    EXPECT_EQ(zlibInflate(stream, &ok), first);
    EXPECT_TRUE(ok);
}

// ---- Round trips and splits ------------------------------------------------------

struct Setting {
    uint16_t limit;
    bool dynamic;
};

class DeflateRoundTrip : public testing::TestWithParam<Setting> {};

TEST_P(DeflateRoundTrip, WholeAndSplitStreamsAreIdenticalAndInflateBack) {
    const auto [limit, dynamic] = GetParam();
    std::mt19937 rng(limit * 2 + dynamic);
    for (const auto& in : deflateInputs()) {
        auto whole = deflateWhole(in.data, limit, dynamic);
        bool ok = false;
        EXPECT_EQ(zlibInflate(whole, &ok), in.data) << in.name;
        EXPECT_TRUE(ok) << in.name;
        EXPECT_EQ(ownInflate(whole, &ok), in.data) << in.name;
        EXPECT_TRUE(ok) << in.name;

        // Random pieces: mostly small, sometimes large.
        auto randomSize = [&](size_t) -> uint32_t {
            uint32_t r = rng();
            return r % 4 == 0 ? 1 + r % 70000 : 1 + r % 300;
        };
        EXPECT_EQ(deflatePieces(in.data, limit, dynamic, randomSize, randomSize), whole) << in.name << " random";
        auto one = [](size_t) -> uint32_t { return 1; };
        auto big = [](size_t) -> uint32_t { return 65520; };
        if (in.data.size() <= 70000) {
            EXPECT_EQ(deflatePieces(in.data, limit, dynamic, one, big), whole) << in.name << " 1-byte input";
            EXPECT_EQ(deflatePieces(in.data, limit, dynamic, big, one), whole) << in.name << " 1-byte room";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, DeflateRoundTrip,
                         testing::Values(Setting{8, false}, Setting{8, true}, Setting{25, false}, Setting{25, true},
                                         Setting{55, false}, Setting{55, true}, Setting{505, false},
                                         Setting{505, true}),
                         [](const testing::TestParamInfo<Setting>& info) {
                             return "Limit" + std::to_string(info.param.limit) +
                                    (info.param.dynamic ? "Dynamic" : "Fixed");
                         });

TEST(DeflateRoundTripLarge, LongInputAcrossManyWindowsInEntryWriterPieces) {
    // 1 MB of mixed data in pieces of 65520 bytes, output room of 65520.
    std::vector<uint8_t> input;
    for (uint32_t i = 0; input.size() < (1u << 20); ++i) {
        auto part = i % 3 == 0 ? textBytes(30000, i) : i % 3 == 1 ? binaryBytes(20000, i) : randomBytes(3000, i);
        input.insert(input.end(), part.begin(), part.end());
    }
    auto entryPiece = [](size_t) -> uint32_t { return 65520; };
    for (uint16_t limit : {8, 55}) {
        auto stream = deflatePieces(input, limit, true, entryPiece, entryPiece);
        EXPECT_EQ(stream, deflateWhole(input, limit, true));
        bool ok = false;
        EXPECT_EQ(zlibInflate(stream, &ok), input);
        EXPECT_TRUE(ok);
        EXPECT_EQ(ownInflate(stream, &ok), input);
        EXPECT_TRUE(ok);
    }
}

}  // namespace
