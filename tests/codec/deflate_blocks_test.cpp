// Block coder: code lengths from the heap and the length limit, canonical
// codes, the code description of dynamic blocks, and resumable writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

#include "codec/deflate_blocks.h"
#include "codec/deflate_huffman.h"
#include "codec/deflate_tables.h"
#include "deflate_trace.h"

namespace {

using namespace zar::codec;
using zar::test::isCompleteCode;
using zar::test::traceDeflate;
using zar::test::TraceRecord;

std::vector<uint8_t> lengthsFor(std::vector<uint32_t> freq, unsigned maxLength) {
    HuffmanScratch scratch;
    std::vector<uint8_t> lengths(freq.size(), 0xEE);
    buildCodeLengths(freq.data(), static_cast<unsigned>(freq.size()), maxLength, lengths.data(), scratch);
    return lengths;
}

// ---- Code lengths -------------------------------------------------------------

struct LengthCase {
    const char* name;
    std::vector<uint32_t> freq;
    unsigned maxLength;
    std::vector<uint8_t> lengths;
};

class CodeLengths : public testing::TestWithParam<LengthCase> {};

TEST_P(CodeLengths, FollowTheHeapAndLimitRules) {
    EXPECT_EQ(lengthsFor(GetParam().freq, GetParam().maxLength), GetParam().lengths);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeLengths,
    testing::Values(
        LengthCase{"NoSymbol", {0, 0, 0}, 15, {0, 0, 0}},
        LengthCase{"OneSymbolGetsLengthOne", {0, 0, 9, 0}, 15, {0, 0, 1, 0}},
        LengthCase{"TwoSymbols", {5, 0, 1}, 15, {1, 0, 1}},
        // Ties: the first minimum is the heap's top, the left child wins a tie
        // in a sift, and a sift stops at an equal child. Another order of
        // merging would give 2, 2, 2, 2.
        LengthCase{"TiesDecideTheShape", {2, 1, 1, 2}, 15, {1, 3, 3, 2}},
        LengthCase{"Unlimited", {1, 1, 2, 4, 8}, 15, {4, 4, 3, 2, 1}},
        // Depths 4, 4, 3, 2, 1 limited to 3: both 4s fold into 3, which is one
        // too many; a leaf moves from length 2 to 3 and the list is handed out
        // again in order of the unlimited lengths.
        LengthCase{"LimitedToThree", {1, 1, 2, 4, 8}, 3, {3, 3, 3, 3, 1}},
        LengthCase{"EqualFrequenciesBalance", {3, 3, 3, 3, 3, 3, 3, 3}, 15, {3, 3, 3, 3, 3, 3, 3, 3}}),
    [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

// Fibonacci frequencies make a tree one level deeper per symbol (up to the
// cap, which keeps the sum of 288 frequencies below 2^32).
TEST(CodeLengthsLimit, DeepTreeIsLimitedAndStaysComplete) {
    struct Case {
        unsigned symbols, used, maxLength;
    };
    for (Case c : {Case{288, 30, 15}, Case{32, 30, 15}, Case{19, 19, 7}, Case{288, 288, 15}}) {
        std::vector<uint32_t> freq(c.symbols, 0);
        uint32_t a = 1, b = 1;
        for (unsigned i = 0; i < c.used; ++i) {
            freq[(i * 7) % c.symbols] = a;
            uint32_t n = a + b;
            a = b;
            b = n > 1000000 ? 1000000 : n;
        }
        auto limited = lengthsFor(freq, c.maxLength);
        unsigned used = 0;
        for (unsigned s = 0; s < c.symbols; ++s) {
            EXPECT_LE(limited[s], c.maxLength);
            EXPECT_EQ(limited[s] != 0, freq[s] != 0) << "symbol " << s;
            used += limited[s] != 0;
        }
        EXPECT_EQ(used, c.used);
        EXPECT_TRUE(isCompleteCode(limited)) << c.symbols << " symbols, limit " << c.maxLength;
    }
}

TEST(CanonicalCodes, AscendByLengthThenSymbolAndAreBitReversed) {
    // The eight-symbol example of the format's definition: lengths 3,3,3,3,3,2,4,4
    // give 010, 011, 100, 101, 110, 00, 1110, 1111.
    const uint8_t lengths[8] = {3, 3, 3, 3, 3, 2, 4, 4};
    const uint16_t msbFirst[8] = {0b010, 0b011, 0b100, 0b101, 0b110, 0b00, 0b1110, 0b1111};
    uint16_t codes[8];
    assignCanonicalCodes(lengths, 8, codes);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(codes[i], reverseBits(msbFirst[i], lengths[i])) << i;
}

// ---- Writing blocks -----------------------------------------------------------

class Tokens {
public:
    Tokens() : buf_(kTokenBufferSize, 0) {}
    Tokens& literal(uint8_t b) {
        buf_[kTokenDataOffset + offset_++] = b;
        ++count_;
        return *this;
    }
    Tokens& match(unsigned length, unsigned distance) {
        buf_[count_ >> 3] = static_cast<uint8_t>(buf_[count_ >> 3] | 1u << (count_ & 7));
        buf_[kTokenDataOffset + offset_++] = static_cast<uint8_t>(length - 3);
        buf_[kTokenDataOffset + offset_++] = static_cast<uint8_t>(distance);
        buf_[kTokenDataOffset + offset_++] = static_cast<uint8_t>(distance >> 8);
        ++count_;
        return *this;
    }
    const uint8_t* data() const { return buf_.data(); }
    unsigned count() const { return count_; }

private:
    std::vector<uint8_t> buf_;
    unsigned count_ = 0, offset_ = 0;
};

// Writes the blocks as one stream (the last one final), `room` bytes of
// output per call.
std::vector<uint8_t> writeStream(const std::vector<Tokens>& blocks, bool dynamic, uint32_t room = 1u << 20) {
    auto coder = std::make_unique<BlockCoder>();
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(room);
    auto drain = [&](auto step) {
        for (int guard = 0; guard < 1000000; ++guard) {
            OutputCursor cursor{buffer.data(), room};
            bool done = step(cursor);
            out.insert(out.end(), buffer.data(), cursor.next);
            if (done) return;
            EXPECT_EQ(cursor.room, 0u) << "stopped with room left";
        }
        ADD_FAILURE() << "no progress";
    };
    for (size_t i = 0; i < blocks.size(); ++i) {
        startBlock(*coder, blocks[i].data(), blocks[i].count(), dynamic, i + 1 == blocks.size());
        drain([&](OutputCursor& c) { return continueBlock(*coder, blocks[i].data(), c); });
    }
    drain([&](OutputCursor& c) { return finishStream(*coder, c); });
    return out;
}

std::vector<uint8_t> decoded(const std::vector<uint8_t>& stream) {
    bool ok = false;
    auto out = zar::test::zlibInflate(stream, &ok);
    EXPECT_TRUE(ok);
    return out;
}

struct RecordCase {
    const char* name;
    std::vector<uint8_t> literals;  // each once, with the end-of-block code: eight equal lengths of 3
    std::vector<TraceRecord> records;
};

class CodeLengthRecords : public testing::TestWithParam<RecordCase> {};

TEST_P(CodeLengthRecords, RunLengthCodingOfTheLengths) {
    Tokens t;
    for (uint8_t b : GetParam().literals) t.literal(b);
    auto stream = writeStream({t}, true);
    auto trace = traceDeflate(stream);
    ASSERT_TRUE(trace.ok) << trace.error;
    ASSERT_EQ(trace.blocks.size(), 1u);
    const auto& b = trace.blocks[0];
    EXPECT_EQ(b.type, 2u);
    EXPECT_EQ(b.hlit, 257u);
    // Literals only: one distance length, and it is zero.
    EXPECT_EQ(b.hdist, 1u);
    EXPECT_EQ(b.distLengths, std::vector<uint8_t>{0});
    EXPECT_EQ(b.records, GetParam().records);
    EXPECT_EQ(decoded(stream), GetParam().literals);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeLengthRecords,
    testing::Values(
        // 97 zeros, then seven 3s: the length, then 16 with 3 (six repeats);
        // 152 zeros: 138 flush as 18 with 127, 14 as 18 with 3; end of block; one zero distance length.
        RecordCase{"SevenEqualLengths",
                   {97, 98, 99, 100, 101, 102, 103},
                   {{18, 86}, {3, 0}, {16, 3}, {18, 127}, {18, 3}, {3, 0}, {0, 0}}},
        // Four equal lengths: the length, then 16 with 0; nine zeros are 17 with 6.
        RecordCase{"FourEqualLengths",
                   {97, 98, 99, 100, 110, 120, 130},
                   {{18, 86}, {3, 0}, {16, 0}, {17, 6}, {3, 0}, {17, 6}, {3, 0}, {17, 6}, {3, 0}, {18, 114}, {3, 0}, {0, 0}}},
        // Three equal lengths are sent as three lengths.
        RecordCase{"ThreeEqualLengths",
                   {97, 98, 99, 110, 120, 130, 140},
                   {{18, 86}, {3, 0}, {3, 0}, {3, 0}, {17, 7}, {3, 0}, {17, 6}, {3, 0}, {17, 6}, {3, 0}, {17, 6}, {3, 0},
                    {18, 104}, {3, 0}, {0, 0}}}),
    [](const testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

TEST(DynamicBlock, SingleDistanceSymbolGetsLengthOne) {
    Tokens t;
    t.literal('a').literal('b').match(4, 2).match(10, 2).literal('c');
    auto stream = writeStream({t}, true);
    auto trace = traceDeflate(stream);
    ASSERT_TRUE(trace.ok) << trace.error;
    EXPECT_EQ(trace.blocks[0].hdist, 2u);  // distance 2 is symbol 1
    EXPECT_EQ(trace.blocks[0].distLengths, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(decoded(stream), std::vector<uint8_t>({'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b',
                                                     'a', 'b', 'a', 'b', 'c'}));
}

TEST(DynamicBlock, DeepLiteralTreeIsLimitedToFifteenBits) {
    // With the end-of-block code's single occurrence, literals occurring 1, 2,
    // 3, 5, 8, ... times make the weights a Fibonacci sequence: unlimited, the
    // code would be 17 deep.
    Tokens t;
    uint32_t a = 1, b = 2;
    std::vector<uint8_t> expected;
    for (uint8_t sym = 0; sym < 17; ++sym) {
        for (uint32_t k = 0; k < a; ++k) {
            t.literal(static_cast<uint8_t>('A' + sym));
            expected.push_back(static_cast<uint8_t>('A' + sym));
        }
        uint32_t n = a + b;
        a = b;
        b = n;
    }
    ASSERT_LE(t.count(), kBlockTokens);
    auto stream = writeStream({t}, true);
    auto trace = traceDeflate(stream);
    ASSERT_TRUE(trace.ok) << trace.error;
    const auto& lens = trace.blocks[0].litLengths;
    EXPECT_EQ(*std::max_element(lens.begin(), lens.end()), 15);
    EXPECT_TRUE(isCompleteCode(lens));
    EXPECT_EQ(decoded(stream), expected);
}

TEST(Blocks, EveryLengthAndDistanceSymbolRoundTrips) {
    for (bool dynamic : {false, true}) {
        std::vector<Tokens> blocks(3);
        std::vector<uint8_t> expected;
        for (unsigned i = 0; i < 300; ++i) {
            blocks[0].literal(static_cast<uint8_t>(i));
            expected.push_back(static_cast<uint8_t>(i));
        }
        // Lengths 3 to 258 at distance 1, then distances across every symbol.
        for (unsigned len = 3; len <= 258; ++len) {
            blocks[1].match(len, 1);
            for (unsigned k = 0; k < len; ++k) expected.push_back(expected.back());
        }
        // The first and last distance of every distance symbol.
        for (unsigned d : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u, 13u, 16u, 17u, 24u, 25u, 32u, 33u, 48u, 49u, 64u,
                           65u, 96u, 97u, 128u, 129u, 192u, 193u, 256u, 257u, 384u, 385u, 512u, 513u, 768u, 769u,
                           1024u, 1025u, 1536u, 1537u, 2048u, 2049u, 3072u, 3073u, 4096u, 4097u, 6144u, 6145u, 8192u,
                           8193u, 12288u, 12289u, 16384u, 16385u, 24576u, 24577u, 32767u}) {
            ASSERT_LE(d, expected.size());
            blocks[2].match(3 + d % 256, d);
            for (unsigned k = 0; k < 3 + d % 256; ++k) expected.push_back(expected[expected.size() - d]);
        }
        auto stream = writeStream(blocks, dynamic);
        EXPECT_EQ(decoded(stream), expected) << "dynamic " << dynamic;
    }
}

TEST(Blocks, OneByteOfRoomPerCallGivesTheSameBytes) {
    Tokens t1, t2;
    for (unsigned i = 0; i < 5000; ++i) t1.literal(static_cast<uint8_t>(i * 7 % 251));
    for (unsigned i = 0; i < 3000; ++i) t2.match(3 + i % 256, 1 + i % 4000);
    for (bool dynamic : {false, true}) {
        auto whole = writeStream({t1, t2}, dynamic);
        for (uint32_t room : {1u, 2u, 7u, 8u, 9u}) EXPECT_EQ(writeStream({t1, t2}, dynamic, room), whole) << room;
    }
}

TEST(Blocks, FixedEmptyFinalBlockIsThreeThenZero) {
    EXPECT_EQ(writeStream({Tokens{}}, false), (std::vector<uint8_t>{0x03, 0x00}));
}

}  // namespace
