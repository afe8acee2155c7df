// Inflate: every raw stream that zlib writes decodes to zlib's input, whole
// and in pieces of any size; the calling protocol's counts and results; the
// look-ahead at the end of the stream; and every kind of invalid stream.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <tuple>

#include "codec/inflate.h"
#include "codec/inflate_support.h"

namespace {

using namespace inflate_test;

const std::vector<Sample>& samples() {
    static const std::vector<Sample> s = corpus();
    return s;
}

std::string describe(const Outcome& o) {
    return "result " + std::to_string(o.result) + ", " + std::to_string(o.output.size()) + " bytes out, " +
           std::to_string(o.taken) + " taken, " + std::to_string(o.calls) + " calls" +
           (o.fault.empty() ? "" : ", fault: " + o.fault);
}

// ---- Differential: zlib's raw streams ------------------------------------------

struct Strategy {
    const char* name;
    int value;
};
const Strategy kStrategies[] = {{"Default", Z_DEFAULT_STRATEGY},
                                {"Filtered", Z_FILTERED},
                                {"HuffmanOnly", Z_HUFFMAN_ONLY},
                                {"Rle", Z_RLE},
                                {"Fixed", Z_FIXED}};

void PrintTo(const Strategy& s, std::ostream* os) { *os << s.name; }

class ZlibStreams : public testing::TestWithParam<std::tuple<Strategy, int>> {};

TEST_P(ZlibStreams, DecodeToZlibsInputWholeBytewiseAndInRandomPieces) {
    const auto [strategy, windowBits] = GetParam();
    uint32_t seed = static_cast<uint32_t>(windowBits * 31 + strategy.value);
    for (int level = 0; level <= 9; ++level) {
        for (const Sample& sample : samples()) {
            const Bytes stream = zlibDeflate(sample.data, level, strategy.value, windowBits);
            ASSERT_FALSE(stream.empty() && !sample.data.empty());
            SCOPED_TRACE(sample.name + " at level " + std::to_string(level));

            Outcome whole = drive(stream, wholeFeed());
            ASSERT_EQ(whole.result, -1) << describe(whole);
            ASSERT_TRUE(whole.fault.empty()) << describe(whole);
            ASSERT_EQ(whole.output, sample.data);
            ASSERT_EQ(whole.taken, stream.size());
            ASSERT_EQ(whole.calls, 1u);

            for (const Feed& feed : {randomFeed(++seed), randomFeed(++seed)}) {
                Outcome o = drive(stream, feed);
                ASSERT_TRUE(o.fault.empty()) << describe(o);
                ASSERT_EQ(o.result, -1) << describe(o);
                ASSERT_EQ(o.output, sample.data);
            }
            // One byte at a time costs a call per byte: the larger samples go
            // through it at the default level only.
            if (sample.data.size() <= 10000 || level == 6) {
                for (const Feed& feed : {bytewiseFeed(true, false), bytewiseFeed(false, true)}) {
                    Outcome o = drive(stream, feed);
                    ASSERT_TRUE(o.fault.empty()) << describe(o);
                    ASSERT_EQ(o.result, -1) << describe(o);
                    ASSERT_EQ(o.output, sample.data);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllStrategiesAndWindows, ZlibStreams,
                         testing::Combine(testing::ValuesIn(kStrategies), testing::Range(9, 16)),
                         [](const testing::TestParamInfo<ZlibStreams::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + "Window" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(Inflate, FlushesBetweenBlocksGiveStoredAndEmptyBlocks) {
    const Bytes data = makeText(60000, 9);
    for (int flush : {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK}) {
        for (size_t every : {1u, 7u, 1000u, 20000u}) {
            const Bytes stream = zlibDeflate(data, 6, Z_DEFAULT_STRATEGY, 15, every, flush);
            SCOPED_TRACE("flush " + std::to_string(flush) + " every " + std::to_string(every));
            for (const Feed& feed : {wholeFeed(), randomFeed(every), bytewiseFeed(true, true)}) {
                Outcome o = drive(stream, feed);
                ASSERT_TRUE(o.fault.empty()) << describe(o);
                ASSERT_EQ(o.result, -1) << describe(o);
                ASSERT_EQ(o.output, data);
            }
        }
    }
}

// The extraction engines offer 65520-byte blocks of input and output; a long
// stream crosses many of them, with matches that reach back across calls.
TEST(Inflate, LongStreamInExtractionBlocks) {
    Bytes data = makeFarRepeats(600000, 11);
    const Bytes text = makeText(400000, 12);
    data.insert(data.end(), text.begin(), text.end());
    for (int level : {1, 6, 9}) {
        const Bytes stream = zlibDeflate(data, level);
        Feed feed{[] { return size_t{65520}; }, [] { return size_t{65520}; }};
        Outcome o = drive(stream, feed);
        ASSERT_TRUE(o.fault.empty()) << describe(o);
        ASSERT_EQ(o.result, -1);
        ASSERT_EQ(o.output, data) << "level " << level;
        ASSERT_EQ(o.taken, stream.size());
    }
}

// A match at the start of a call's output may lie wholly in the window, partly
// in it, or in the output, whatever its distance. A small alphabet gives many
// short matches at distances below 8; with every room from 32 bytes (the fast
// loop's least) to 120, each kind meets the start of a call at every offset,
// whole or against a guard page behind the room.
TEST(Inflate, ShortDistancesMeetTheStartOfEveryCall) {
    std::mt19937 rng(21);
    Bytes data(30000);
    for (auto& b : data) b = static_cast<uint8_t>("abc"[rng() % 3]);
    const Bytes text = makeText(20000, 22);
    data.insert(data.end(), text.begin(), text.end());
    GuardedBuffer guard(1u << 17);
    for (int level : {1, 9}) {
        const Bytes stream = zlibDeflate(data, level);
        for (size_t room = 32; room <= 120; ++room) {
            SCOPED_TRACE("level " + std::to_string(level) + ", room " + std::to_string(room));
            Feed feed{[] { return SIZE_MAX; }, [room] { return room; }};
            for (GuardedBuffer* g : {static_cast<GuardedBuffer*>(nullptr), &guard}) {
                feed.outputGuard = g;
                Outcome o = drive(stream, feed);
                ASSERT_TRUE(o.fault.empty()) << describe(o);
                ASSERT_EQ(o.result, -1) << describe(o);
                ASSERT_EQ(o.output, data);
            }
        }
    }
}

// ---- The end of the stream ---------------------------------------------------------

// Without lastInput the decoder takes the one or two bytes that follow the
// stream before it reports the end; with lastInput it does not wait for them.
TEST(Inflate, LookAheadAtTheEnd) {
    for (const Sample& sample : samples()) {
        for (int level : {0, 1, 6, 9}) {
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
                Bytes stream = zlibDeflate(sample.data, level, strategy);
                const size_t end = lookAheadEnd(stream);
                ASSERT_GT(end, stream.size());
                ASSERT_LE(end, stream.size() + 2);
                SCOPED_TRACE(sample.name + " level " + std::to_string(level));

                Outcome exact = drive(stream, wholeFeed());
                EXPECT_EQ(exact.result, -1);
                EXPECT_EQ(exact.taken, stream.size());

                Bytes padded = stream;
                padded.insert(padded.end(), {0xA5, 0x5A, 0xA5, 0x5A});
                for (Feed feed : {wholeFeed(), bytewiseFeed(true, false), randomFeed(level)}) {
                    feed.lastInput = false;
                    Outcome o = drive(padded, feed);
                    ASSERT_EQ(o.result, -1) << describe(o);
                    EXPECT_EQ(o.taken, end);
                    EXPECT_EQ(o.output, sample.data);
                }

                // Without lastInput and without the look-ahead bytes the call
                // takes everything and waits.
                Feed waiting = wholeFeed();
                waiting.lastInput = false;
                Outcome o = drive(stream, waiting);
                EXPECT_EQ(o.result, 0);
                EXPECT_EQ(o.taken, stream.size());
                EXPECT_EQ(o.output, sample.data);
            }
        }
    }
}

TEST(Inflate, EmptyFinalStoredBlock) {
    const Bytes stream = {0x01, 0x00, 0x00, 0xFF, 0xFF};  // BFINAL 1, stored, LEN 0, NLEN 0xFFFF
    std::vector<uint8_t> work(AxInflateUCBufSize());
    uint8_t out[4];

    AxInflateUCInit(work.data());
    uint32_t inCount = 5, outCount = sizeof out;
    EXPECT_EQ(AxInflateUC(stream.data(), 0, &inCount, out, 0, &outCount, work.data(), 1), -1);
    EXPECT_EQ(inCount, 5u);
    EXPECT_EQ(outCount, 0u);

    // Without lastInput it waits for the two look-ahead bytes.
    AxInflateUCInit(work.data());
    inCount = 5;
    outCount = sizeof out;
    EXPECT_EQ(AxInflateUC(stream.data(), 0, &inCount, out, 0, &outCount, work.data(), 0), 0);
    EXPECT_EQ(inCount, 5u);
    EXPECT_EQ(outCount, 0u);
    const uint8_t next[3] = {0x11, 0x22, 0x33};
    inCount = 3;
    outCount = sizeof out;
    EXPECT_EQ(AxInflateUC(next, 0, &inCount, out, 0, &outCount, work.data(), 0), -1);
    EXPECT_EQ(inCount, 2u);
    EXPECT_EQ(outCount, 0u);

    // A finished stream stays finished.
    inCount = 3;
    outCount = sizeof out;
    EXPECT_EQ(AxInflateUC(next, 0, &inCount, out, 0, &outCount, work.data(), 1), -1);
    EXPECT_EQ(inCount, 0u);
    EXPECT_EQ(outCount, 0u);
}

TEST(Inflate, ZeroRoomStillReachesTheEndOfAnEmptyStream) {
    const Bytes stream = zlibDeflate({}, 6);
    std::vector<uint8_t> work(AxInflateUCBufSize());
    AxInflateUCInit(work.data());
    uint32_t inCount = static_cast<uint32_t>(stream.size()), outCount = 0;
    EXPECT_EQ(AxInflateUC(stream.data(), 0, &inCount, nullptr, 0, &outCount, work.data(), 1), -1);
    EXPECT_EQ(inCount, stream.size());
}

// ---- The protocol around the calls ----------------------------------------------------

TEST(Inflate, BufferSizeAndOffsets) {
    EXPECT_EQ(AxInflateUCBufSize(), 39028u);
    EXPECT_EQ(zar::codec::kInflateWorkSize, 39028u);

    const Bytes data = makeText(5000, 21);
    const Bytes stream = zlibDeflate(data, 9);
    Bytes input(100 + stream.size());
    std::copy(stream.begin(), stream.end(), input.begin() + 100);
    Bytes output(300 + data.size(), 0xCC);
    std::vector<uint8_t> work(AxInflateUCBufSize());
    AxInflateUCInit(work.data());
    uint32_t inCount = static_cast<uint32_t>(stream.size()), outCount = static_cast<uint32_t>(data.size());
    EXPECT_EQ(AxInflateUC(input.data(), 100, &inCount, output.data(), 300, &outCount, work.data(), 1), -1);
    EXPECT_EQ(inCount, stream.size());
    EXPECT_EQ(outCount, data.size());
    EXPECT_TRUE(std::all_of(output.begin(), output.begin() + 300, [](uint8_t b) { return b == 0xCC; }));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), output.begin() + 300));
}

TEST(Inflate, BadArgumentsAreRefused) {
    std::vector<uint8_t> work(AxInflateUCBufSize());
    AxInflateUCInit(work.data());
    uint8_t byte = 0;
    uint32_t inCount = 1, outCount = 1;
    EXPECT_EQ(AxInflateUC(&byte, 0, &inCount, &byte, 0, &outCount, nullptr, 1), -1);
    EXPECT_EQ(inCount, 0u);
    inCount = 1;
    EXPECT_EQ(AxInflateUC(nullptr, 0, &inCount, &byte, 0, &outCount, work.data(), 1), -1);
    EXPECT_EQ(AxInflateUC(&byte, 0, nullptr, &byte, 0, &outCount, work.data(), 1), -1);
    EXPECT_EQ(AxInflateUC(&byte, 0, &inCount, &byte, 0, nullptr, work.data(), 1), -1);
    AxInflateUCInit(nullptr);  // does nothing

    // A work buffer that was never prepared is refused, not trusted.
    std::vector<uint8_t> garbage(AxInflateUCBufSize(), 0x5A);
    inCount = 1;
    outCount = 1;
    EXPECT_EQ(AxInflateUC(&byte, 0, &inCount, &byte, 0, &outCount, garbage.data(), 1), -1);
}

// The state holds no addresses: a work buffer at any alignment, even moved
// between calls, carries the stream on.
TEST(Inflate, WorkBufferAtAnyAlignmentAndMovedBetweenCalls) {
    const Bytes data = makeFarRepeats(100000, 31);
    const Bytes stream = zlibDeflate(data, 6);
    Bytes storage(AxInflateUCBufSize() + 64);
    size_t at = 1;
    AxInflateUCInit(storage.data() + at);
    Bytes output;
    size_t pos = 0;
    std::mt19937 rng(5);
    for (int32_t r = 0; r == 0;) {
        uint32_t inCount = static_cast<uint32_t>(std::min<size_t>(1 + rng() % 3000, stream.size() - pos));
        Bytes room(1 + rng() % 5000);
        uint32_t outCount = static_cast<uint32_t>(room.size());
        const int16_t last = pos + inCount == stream.size();
        r = AxInflateUC(stream.data(), static_cast<uint32_t>(pos), &inCount, room.data(), 0, &outCount,
                        storage.data() + at, last);
        pos += inCount;
        output.insert(output.end(), room.begin(), room.begin() + outCount);
        const size_t to = 1 + rng() % 63;
        std::memmove(storage.data() + to, storage.data() + at, AxInflateUCBufSize());
        at = to;
    }
    EXPECT_EQ(output, data);
}

TEST(Inflate, SeparateStreamsOnSeparateThreads) {
    const Bytes a = makeText(300000, 41), b = makeBinary(300000, 42);
    const Bytes sa = zlibDeflate(a, 6), sb = zlibDeflate(b, 1);
    Outcome oa, ob;
    std::thread ta([&] { oa = drive(sa, randomFeed(1)); });
    std::thread tb([&] { ob = drive(sb, randomFeed(2)); });
    ta.join();
    tb.join();
    EXPECT_EQ(oa.output, a);
    EXPECT_EQ(ob.output, b);
}

// ---- Hand-built streams: what is accepted -------------------------------------------------

TEST(Inflate, DistanceBeforeTheStartCopiesZeros) {
    BitWriter w;
    w.bits(1, 1).bits(1, 2);               // BFINAL, BTYPE = fixed
    fixedLitLen().put(w, 'A');             // literal 'A'
    fixedLitLen().put(w, 257);             // length 3
    fixedDist().put(w, 4);                 // distance 5 + 1 extra bit
    w.bits(0, 1);
    fixedLitLen().put(w, 256);             // end of block
    Outcome o = drive(w.finish(), wholeFeed());
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.output, (Bytes{'A', 0, 0, 0}));
}

TEST(Inflate, EmptyDistanceCodeIsFineWithoutMatches) {
    std::vector<uint8_t> litLen(257);
    litLen['A'] = 1;
    litLen[256] = 1;
    std::vector<uint8_t> lengths = litLen;
    lengths.push_back(0);  // the one distance length: no code at all
    BitWriter w;
    writeDynamicHeader(w, true, 257, 1, plainTokens(lengths));
    const Code code = canonical(litLen);
    code.put(w, 'A');
    code.put(w, 'A');
    code.put(w, 256);
    Outcome o = drive(w.finish(), wholeFeed());
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.output, (Bytes{'A', 'A'}));
}

// A repeat code 16 with no length before it in the block repeats 0; repeats
// may run from the literal/length lengths into the distance lengths.
TEST(Inflate, RepeatCodesAtTheStartAndAcrossTheTwoCodes) {
    std::vector<uint8_t> litLen(260);
    litLen['B'] = 2;
    litLen['C'] = 2;
    litLen[256] = 2;
    litLen[257] = 2;  // length 3
    const std::vector<LengthToken> tokens = {
        {16, 0},             // 3 x the previous length: there is none yet, so 0 (symbols 0-2)
        {18, 'B' - 3 - 11},  // zeros for 3 to 'B' - 1
        {2},                 // 'B'
        {2},                 // 'C'
        {18, 127},           // 138 zeros: 68 to 205
        {18, 39},            // 50 zeros: 206 to 255
        {2},                 // 256
        {2},                 // 257
        {17, 0},             // 3 zeros: 258, 259 and the first distance length
        {1},                 // distance symbol 1 (distance 2)
    };
    BitWriter w;
    writeDynamicHeader(w, true, 260, 2, tokens);
    const Code code = canonical(litLen);
    const Code dist = canonical({0, 1});
    code.put(w, 'B');
    code.put(w, 'C');
    code.put(w, 257);
    dist.put(w, 1);
    code.put(w, 256);
    Outcome o = drive(w.finish(), wholeFeed());
    EXPECT_EQ(o.result, -1) << describe(o);
    EXPECT_EQ(o.output, (Bytes{'B', 'C', 'B', 'C', 'B'}));
}

TEST(Inflate, SingleCodeLiteralCodeAndSingleCodeDistanceCode) {
    // Literal/length code: only 'Z'; distance code: only distance 1. Both are
    // incomplete single codes, which are allowed. Here the block never ends,
    // so the data simply runs out with lastInput set.
    std::vector<uint8_t> litLen(257);
    litLen['Z'] = 1;
    std::vector<uint8_t> lengths = litLen;
    lengths.push_back(1);
    BitWriter w;
    writeDynamicHeader(w, true, 257, 1, plainTokens(lengths));
    for (int i = 0; i < 5; ++i) w.bits(0, 1);  // 'Z' x 5
    Bytes stream = w.finish();
    Feed feed = wholeFeed();
    feed.lastInput = false;
    Outcome o = drive(stream, feed);
    EXPECT_EQ(o.result, 0);
    EXPECT_GE(o.output.size(), 5u);
    EXPECT_TRUE(std::all_of(o.output.begin(), o.output.end(), [](uint8_t b) { return b == 'Z'; }));
}

// Random complete codes up to 15 bits deep for all 286 literal/length and 30
// distance symbols, so that both tables need many and deep subtables; the
// data uses every kind of symbol and the decoder must return it exactly.
std::vector<uint8_t> randomCompleteLengths(size_t symbols, std::mt19937& rng, bool chain) {
    std::vector<uint8_t> depths = {0};
    while (depths.size() < symbols) {
        size_t pick = rng() % depths.size();
        if (chain) pick = std::max_element(depths.begin(), depths.end()) - depths.begin();
        if (depths[pick] >= 15) pick = std::min_element(depths.begin(), depths.end()) - depths.begin();
        const uint8_t d = static_cast<uint8_t>(depths[pick] + 1);
        depths[pick] = d;
        depths.push_back(d);
    }
    std::shuffle(depths.begin(), depths.end(), rng);
    return depths;
}

TEST(Inflate, RandomDeepCodesInBothTables) {
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        const bool chain = round % 4 == 0;  // a long chain down to 15 bits
        std::vector<uint8_t> litLen = randomCompleteLengths(286, rng, chain);
        std::vector<uint8_t> dist = randomCompleteLengths(30, rng, round % 3 == 0);
        std::vector<uint8_t> lengths = litLen;
        lengths.insert(lengths.end(), dist.begin(), dist.end());
        const Code lc = canonical(litLen), dc = canonical(dist);

        BitWriter w;
        writeDynamicHeader(w, true, 286, 30, plainTokens(lengths));
        Bytes expect;
        for (int i = 0; i < 3000; ++i) {
            if (expect.size() < 1 || rng() % 3 == 0) {
                const unsigned lit = rng() % 256;
                lc.put(w, lit);
                expect.push_back(static_cast<uint8_t>(lit));
                continue;
            }
            const unsigned ls = rng() % 29;
            const unsigned lextra = kLengthExtra[ls] ? rng() % (1u << kLengthExtra[ls]) : 0;
            const unsigned length = std::min(258u, kLengthBase[ls] + lextra);
            unsigned ds;
            do ds = rng() % 30;
            while (kDistBase[ds] > expect.size());
            const unsigned dmax = std::min<size_t>((1u << kDistExtra[ds]) - 1, expect.size() - kDistBase[ds]);
            const unsigned dextra = dmax ? rng() % (dmax + 1) : 0;
            const size_t distance = kDistBase[ds] + dextra;
            lc.put(w, 257 + ls);
            w.bits(length - kLengthBase[ls], kLengthExtra[ls]);
            dc.put(w, ds);
            w.bits(dextra, kDistExtra[ds]);
            for (unsigned k = 0; k < length; ++k) expect.push_back(expect[expect.size() - distance]);
        }
        lc.put(w, 256);
        const Bytes stream = w.finish();
        for (const Feed& feed : {wholeFeed(), randomFeed(static_cast<uint32_t>(round)), bytewiseFeed(true, false)}) {
            Outcome o = drive(stream, feed);
            ASSERT_TRUE(o.fault.empty()) << describe(o);
            ASSERT_EQ(o.result, -1) << "round " << round;
            ASSERT_EQ(o.output, expect) << "round " << round;
        }
    }
}

// ---- Starting without clearing the work area ------------------------------------------------
//
// The library's own callers start a stream with inflateBeginLazy, which leaves
// the window as it finds it. Matches that reach before the start of the
// stream must still copy zeros, in the fast loop and in the checked path,
// whether nothing or part of the window was written by earlier calls.

// A literal (distance 0), or a match of `length` bytes from `distance` back.
struct Token {
    unsigned length;
    unsigned distance;
    uint8_t literal = 0;
};

std::vector<Token> literals(size_t count, uint8_t first) {
    std::vector<Token> t;
    for (size_t i = 0; i < count; ++i) t.push_back({1, 0, static_cast<uint8_t>(first + i)});
    return t;
}

// The symbol and extra-bit value of `value` in a table of bases and extra bits.
template <size_t N>
std::pair<unsigned, unsigned> symbolOf(unsigned value, const uint16_t (&base)[N]) {
    unsigned s = 0;
    while (s + 1 < N && base[s + 1] <= value) ++s;
    return {s, value - base[s]};
}

// One final block with the fixed codes, and the output it decodes to: bytes
// before the start of the stream read as zeros.
std::pair<Bytes, Bytes> fixedBlock(const std::vector<Token>& tokens) {
    BitWriter w;
    w.bits(1, 1).bits(1, 2);  // BFINAL, BTYPE = fixed
    Bytes expect;
    for (const Token& t : tokens) {
        if (t.distance == 0) {
            fixedLitLen().put(w, t.literal);
            expect.push_back(t.literal);
            continue;
        }
        const auto [ls, lextra] = symbolOf(t.length, kLengthBase);
        const auto [ds, dextra] = symbolOf(t.distance, kDistBase);
        fixedLitLen().put(w, 257 + ls);
        w.bits(lextra, kLengthExtra[ls]);
        fixedDist().put(w, ds);
        w.bits(dextra, kDistExtra[ds]);
        for (unsigned k = 0; k < t.length; ++k) {
            const size_t at = expect.size();
            expect.push_back(at >= t.distance ? expect[at - t.distance] : 0);
        }
    }
    fixedLitLen().put(w, 256);  // end of block
    return {w.finish(), expect};
}

std::vector<Token> concat(std::initializer_list<std::vector<Token>> parts) {
    std::vector<Token> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct LazyStartStream {
    const char* name;
    std::vector<Token> tokens;
};

const LazyStartStream kLazyStartStreams[] = {
    // Far matches before anything is written: wholly before the start, and
    // partly before it and then in the call's own output.
    {"FarAtTheStart", concat({{{5, 1000}}, literals(40, 'a'), {{50, 60}, {258, 32768}}, literals(40, 'A')})},
    // 120 bytes written before a match reaches 200 back: small rooms have
    // saved part of them in the window by then. A second far match after the
    // window was cleared reads zeros again.
    {"FarAfterAPartlyWrittenWindow",
     concat({literals(60, 'a'), literals(60, 'A'), {{100, 200}}, literals(30, '0'), {{40, 500}, {3, 1}},
             literals(30, '0')})},
};

struct LazyStartFeed {
    const char* name;
    std::function<Feed()> make;
};

Feed roomsOf(size_t first, size_t then) {
    auto calls = std::make_shared<size_t>(0);
    return {[] { return SIZE_MAX; }, [calls, first, then] { return (*calls)++ == 0 ? first : then; }};
}

const LazyStartFeed kLazyStartFeeds[] = {
    {"Whole", [] { return wholeFeed(); }},
    {"Bytewise", [] { return bytewiseFeed(true, true); }},
    {"RoomsOf7", [] { return roomsOf(7, 7); }},
    {"RoomsOf40", [] { return roomsOf(40, 40); }},                 // the fast loop's least room and a little
    {"FirstRoom50ThenTheRest", [] { return roomsOf(50, 1 << 20); }},  // the fast loop after a partial window
    {"FirstRoom130ThenTheRest", [] { return roomsOf(130, 1 << 20); }},
    {"InputOf9", [] { return Feed{[] { return size_t{9}; }, [] { return size_t{1} << 20; }}; }},
    {"Random1", [] { return randomFeed(1); }},
    {"Random2", [] { return randomFeed(2); }},
};

// What the work area holds before the lazy start: a fill, or what another
// stream left there (a full window and its tables).
struct Leftover {
    const char* name;
    std::function<void(Bytes&)> fill;
};

const Leftover kLeftovers[] = {
    {"Fill0xAA", [](Bytes& work) { std::fill(work.begin(), work.end(), 0xAA); }},
    {"AnotherStream",
     [](Bytes& work) {
         const Bytes other = makeText(50000, 71);
         Outcome o = drive(zlibDeflate(other, 6), wholeFeed(), work.data());
         ASSERT_EQ(o.output, other);
     }},
};

TEST(InflateLazyStart, FarMatchesCopyZerosAsAfterTheFullClear) {
    for (const LazyStartStream& s : kLazyStartStreams) {
        const auto [stream, expect] = fixedBlock(s.tokens);
        for (const LazyStartFeed& f : kLazyStartFeeds) {
            SCOPED_TRACE(std::string(s.name) + " with feed " + f.name);
            const Outcome cleared = drive(stream, f.make());
            ASSERT_TRUE(cleared.fault.empty()) << describe(cleared);
            ASSERT_EQ(cleared.result, -1) << describe(cleared);
            ASSERT_EQ(cleared.output, expect);
            for (const Leftover& left : kLeftovers) {
                SCOPED_TRACE(left.name);
                Bytes work(AxInflateUCBufSize());
                left.fill(work);
                const Outcome lazy = drive(stream, f.make(), work.data(), zar::codec::inflateBeginLazy);
                ASSERT_TRUE(lazy.fault.empty()) << describe(lazy);
                ASSERT_EQ(lazy.result, -1) << describe(lazy);
                ASSERT_EQ(lazy.output, expect);
                ASSERT_EQ(lazy.taken, cleared.taken);
                ASSERT_EQ(lazy.calls, cleared.calls);
            }
        }
    }
}

// Real streams, valid and cut short, come out the same after either start.
TEST(InflateLazyStart, ZlibStreamsAsAfterTheFullClear) {
    Bytes work(AxInflateUCBufSize());
    for (const Sample& sample : samples()) {
        for (int level : {0, 1, 9}) {
            const Bytes stream = zlibDeflate(sample.data, level);
            const Bytes cut(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(stream.size() / 2));
            for (const Bytes& s : {stream, cut}) {
                for (uint32_t seed : {0u, 1u + static_cast<uint32_t>(level)}) {  // 0: whole
                    SCOPED_TRACE(sample.name + " level " + std::to_string(level) + ", " + std::to_string(s.size()) +
                                 " bytes, seed " + std::to_string(seed));
                    const Outcome cleared = drive(s, seed == 0 ? wholeFeed() : randomFeed(seed));
                    std::fill(work.begin(), work.end(), 0xAA);
                    const Outcome lazy = drive(s, seed == 0 ? wholeFeed() : randomFeed(seed), work.data(),
                                               zar::codec::inflateBeginLazy);
                    ASSERT_TRUE(lazy.fault.empty()) << describe(lazy);
                    ASSERT_EQ(lazy.result, cleared.result);
                    ASSERT_EQ(lazy.output, cleared.output);
                    ASSERT_EQ(lazy.taken, cleared.taken);
                }
            }
        }
    }
}

// ---- Hand-built streams: every data error --------------------------------------------------

struct BadStream {
    const char* name;
    std::function<Bytes()> build;
    Bytes decodedFirst;  // what comes out before the fault
};

// Stream prefixes shared by several cases.
Bytes dynamicWith(const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& dist,
                  const std::function<void(BitWriter&)>& body = {}) {
    std::vector<uint8_t> lengths = litLen;
    lengths.insert(lengths.end(), dist.begin(), dist.end());
    BitWriter w;
    writeDynamicHeader(w, true, static_cast<unsigned>(litLen.size()), static_cast<unsigned>(dist.size()),
                       plainTokens(lengths));
    if (body) body(w);
    return w.finish();
}

std::vector<uint8_t> completeLitLen() {
    std::vector<uint8_t> l(257, 0);
    l['a'] = 1;
    l[256] = 1;
    return l;
}

const BadStream kBadStreams[] = {
    {"BlockType3", [] { return BitWriter().bits(1, 1).bits(3, 2).finish(); }, {}},
    {"BlockType3AfterAStoredBlock",
     [] {
         BitWriter w;
         w.bits(0, 1).bits(0, 2).align();                      // stored, not final
         w.byte(2).byte(0).byte(0xFD).byte(0xFF);              // LEN 2, NLEN
         w.byte('o').byte('k');
         w.bits(1, 1).bits(3, 2);                              // final, type 3
         return w.finish();
     },
     {'o', 'k'}},
    {"HlitAbove286", [] { return BitWriter().bits(1, 1).bits(2, 2).bits(30, 5).bits(0, 5).bits(0, 4).finish(); }, {}},
    {"HdistAbove30", [] { return BitWriter().bits(1, 1).bits(2, 2).bits(0, 5).bits(30, 5).bits(0, 4).finish(); }, {}},
    {"CodeLengthCodeOverSubscribed",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4);  // HLIT 257, HDIST 1, HCLEN 4
         w.bits(1, 3).bits(1, 3).bits(1, 3).bits(0, 3);             // 16, 17, 18 of length 1
         return w.bits(0, 32).finish();
     },
     {}},
    {"CodeLengthCodeIncomplete",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4);
         w.bits(1, 3).bits(2, 3).bits(0, 3).bits(0, 3);             // 16 of length 1, 17 of length 2
         return w.bits(0, 32).finish();
     },
     {}},
    {"RepeatPastTheEndOfTheLengths",
     [] {
         BitWriter w;
         writeDynamicHeader(w, true, 257, 1, {{18, 127}, {18, 127}});  // 276 zeros for 258 lengths
         return w.bits(0, 32).finish();
     },
     {}},
    {"RepeatOfAPreviousLengthPastTheEnd",
     [] {
         BitWriter w;
         std::vector<LengthToken> t(256, LengthToken{0});
         t.push_back({8});
         t.push_back({16, 0});  // 3 more where only 1 remains
         writeDynamicHeader(w, true, 257, 1, t);
         return w.bits(0, 32).finish();
     },
     {}},
    {"LiteralCodeOverSubscribed",
     [] {
         std::vector<uint8_t> l = completeLitLen();
         l['b'] = 2;  // 1/2 + 1/2 + 1/4
         return dynamicWith(l, {1});
     },
     {}},
    {"LiteralCodeWithAHole",
     [] {
         std::vector<uint8_t> l(257, 0);
         l['a'] = 1;
         l['b'] = 2;
         l[256] = 3;  // 1/2 + 1/4 + 1/8: incomplete with more than one code
         return dynamicWith(l, {1});
     },
     {}},
    {"DistanceCodeIncomplete", [] { return dynamicWith(completeLitLen(), {1, 2}); }, {}},
    {"StoredLengthNotComplemented",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(0, 2).align();
         w.byte(5).byte(0).byte(0xFA).byte(0xFE);  // LEN 5, NLEN 0xFEFA instead of 0xFFFA
         for (int i = 0; i < 5; ++i) w.byte('x');
         return w.finish();
     },
     {}},
    {"LengthSymbol286",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(1, 2);
         fixedLitLen().put(w, 'A');
         fixedLitLen().put(w, 286);
         return w.bits(0, 16).finish();
     },
     {'A'}},
    {"LengthSymbol287",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(1, 2);
         fixedLitLen().put(w, 'A');
         fixedLitLen().put(w, 287);
         return w.bits(0, 16).finish();
     },
     {'A'}},
    {"DistanceSymbol30",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(1, 2);
         fixedLitLen().put(w, 'A');
         fixedLitLen().put(w, 257);
         fixedDist().put(w, 30);
         return w.bits(0, 16).finish();
     },
     {'A'}},
    {"DistanceSymbol31",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(1, 2);
         fixedLitLen().put(w, 'A');
         fixedLitLen().put(w, 'B');
         fixedLitLen().put(w, 260);
         fixedDist().put(w, 31);
         return w.bits(0, 16).finish();
     },
     {'A', 'B'}},
    // A code that the table has no symbol for: here the half of an
    // incomplete single code that no symbol uses, and a match with no distance code.
    {"UnusedLiteralCode",
     [] {
         std::vector<uint8_t> l(257, 0);
         l['q'] = 1;
         return dynamicWith(l, {0}, [](BitWriter& w) { w.bits(0, 1).bits(0, 1).bits(1, 1).bits(0, 16); });
     },
     {'q', 'q'}},
    {"MatchWithoutADistanceCode",
     [] {
         std::vector<uint8_t> l(258, 0);
         l['m'] = 1;
         l[257] = 1;
         return dynamicWith(l, {0}, [](BitWriter& w) { w.code(0, 1).code(1, 1).bits(0, 16); });
     },
     {'m'}},
    // The input ends inside the data while lastInput says nothing follows.
    {"TruncatedInsideAStoredBlock",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(0, 2).align();
         w.byte(10).byte(0).byte(0xF5).byte(0xFF);
         for (int i = 0; i < 4; ++i) w.byte('s');
         return w.finish();
     },
     {'s', 's', 's', 's'}},
    {"TruncatedAfterTheLastCode",
     [] {
         BitWriter w;
         w.bits(1, 1).bits(1, 2);
         for (char c : std::string("abc")) fixedLitLen().put(w, static_cast<unsigned>(c));
         fixedLitLen().put(w, 'd');
         Bytes b = w.finish();
         return b;  // no end of block: the missing bits would have to come from nowhere
     },
     {'a', 'b', 'c', 'd'}},
};

void PrintTo(const BadStream& c, std::ostream* os) { *os << c.name; }

class BadStreams : public testing::TestWithParam<BadStream> {};

TEST_P(BadStreams, EndWithMinusOneAfterDeliveringWhatWasDecoded) {
    const BadStream& c = GetParam();
    const Bytes stream = c.build();
    Outcome whole = drive(stream, wholeFeed());
    EXPECT_EQ(whole.result, -1) << describe(whole);
    EXPECT_EQ(whole.output, c.decodedFirst) << describe(whole);
    EXPECT_EQ(whole.taken, stream.size()) << describe(whole);
    for (const Feed& feed : {bytewiseFeed(true, false), bytewiseFeed(false, true), bytewiseFeed(true, true),
                             randomFeed(7)}) {
        Outcome o = drive(stream, feed);
        EXPECT_TRUE(o.fault.empty()) << describe(o);
        EXPECT_EQ(o.result, -1) << describe(o);
        EXPECT_EQ(o.output, c.decodedFirst) << describe(o);
        EXPECT_LE(o.taken, stream.size()) << describe(o);
    }
    // The call that finds the fault reports the whole input as taken.
    Bytes padded = stream;
    padded.resize(stream.size() + 9, 0);
    std::vector<uint8_t> work(AxInflateUCBufSize());
    AxInflateUCInit(work.data());
    Bytes out(1000);
    uint32_t inCount = static_cast<uint32_t>(padded.size()), outCount = static_cast<uint32_t>(out.size());
    const int32_t r = AxInflateUC(padded.data(), 0, &inCount, out.data(), 0, &outCount, work.data(), 1);
    if (std::string(c.name).rfind("Truncated", 0) != 0) {  // padding completes the truncated ones
        EXPECT_EQ(r, -1);
        EXPECT_EQ(inCount, padded.size());
        // And the stream stays over.
        inCount = 4;
        outCount = static_cast<uint32_t>(out.size());
        EXPECT_EQ(AxInflateUC(padded.data(), 0, &inCount, out.data(), 0, &outCount, work.data(), 1), -1);
        EXPECT_EQ(outCount, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(DataErrors, BadStreams, testing::ValuesIn(kBadStreams),
                         [](const testing::TestParamInfo<BadStream>& info) { return info.param.name; });

// The code-length code may be a single code of length 1: the decoder goes on
// reading lengths (and waits for more input) instead of failing.
TEST(Inflate, SingleCodeLengthCodeIsAccepted) {
    BitWriter single, over;
    for (BitWriter* w : {&single, &over}) w->bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4);
    single.bits(0, 3).bits(0, 3).bits(1, 3).bits(0, 3);  // only 18, of length 1
    over.bits(0, 3).bits(1, 3).bits(1, 3).bits(1, 3);    // 17, 18, 0 of length 1
    for (BitWriter* w : {&single, &over}) w->bits(0, 8);  // the first code-length symbol and its extra bits
    Feed feed = wholeFeed();
    feed.lastInput = false;
    EXPECT_EQ(drive(single.finish(), feed).result, 0);
    EXPECT_EQ(drive(over.finish(), feed).result, -1);
}

// A truncated real stream under lastInput ends with -1 after a prefix of the data.
TEST(Inflate, TruncatedStreamUnderLastInputEndsWithAPrefix) {
    const Bytes data = makeText(50000, 51);
    const Bytes stream = zlibDeflate(data, 6);
    for (size_t cut : {size_t{1}, size_t{2}, stream.size() / 3, stream.size() - 3, stream.size() - 1}) {
        Bytes part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
        for (const Feed& feed : {wholeFeed(), bytewiseFeed(true, false), randomFeed(static_cast<uint32_t>(cut))}) {
            Outcome o = drive(part, feed);
            ASSERT_TRUE(o.fault.empty()) << describe(o);
            ASSERT_EQ(o.result, -1);
            ASSERT_LE(o.output.size(), data.size());
            ASSERT_TRUE(std::equal(o.output.begin(), o.output.end(), data.begin())) << "cut " << cut;
        }
    }
}

}  // namespace

// ---- Guard pages ------------------------------------------------------------------
//
// Input pieces, output room and the work buffer each sit flush against an
// inaccessible page, behind them and then in front of them: a read or write
// one byte outside faults.

namespace guarded {

using namespace inflate_test;

struct Guards {
    GuardedBuffer input{1 << 18};
    GuardedBuffer output{1 << 18};
    GuardedBuffer work{AxInflateUCBufSize()};

    Outcome drive(const Bytes& stream, Feed feed, bool atFront) {
        feed.inputGuard = &input;
        feed.outputGuard = &output;
        feed.atFront = atFront;
        return inflate_test::drive(stream, feed, work.place(AxInflateUCBufSize(), atFront));
    }
};

TEST(InflateGuardPages, ValidStreams) {
    Guards g;
    for (const Sample& sample : samples()) {
        for (auto [level, strategy] : {std::pair{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY},
                                       {6, Z_DEFAULT_STRATEGY}, {9, Z_FIXED}, {6, Z_HUFFMAN_ONLY}}) {
            const Bytes stream = zlibDeflate(sample.data, level, strategy);
            ASSERT_LE(stream.size(), g.input.capacity());
            SCOPED_TRACE(sample.name + " level " + std::to_string(level));
            for (bool atFront : {false, true}) {
                for (const Feed& feed : {wholeFeed(), randomFeed(static_cast<uint32_t>(level)),
                                         bytewiseFeed(true, false), bytewiseFeed(false, true)}) {
                    Outcome o = g.drive(stream, feed, atFront);
                    ASSERT_TRUE(o.fault.empty()) << describe(o);
                    ASSERT_EQ(o.result, -1);
                    ASSERT_EQ(o.output, sample.data);
                }
            }
        }
    }
}

TEST(InflateGuardPages, BadStreams) {
    Guards g;
    for (const BadStream& c : kBadStreams) {
        const Bytes stream = c.build();
        for (bool atFront : {false, true}) {
            for (const Feed& feed : {wholeFeed(), bytewiseFeed(true, true), randomFeed(3)}) {
                Outcome o = g.drive(stream, feed, atFront);
                ASSERT_EQ(o.result, -1) << c.name;
                ASSERT_EQ(o.output, c.decodedFirst) << c.name;
            }
        }
    }
}

// Every prefix of a stream: with lastInput it ends with -1 and a prefix of the
// data; without it the decoder takes everything and asks for more.
TEST(InflateGuardPages, EveryTruncation) {
    Guards g;
    const Bytes data = makeText(3000, 61);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        Bytes stream = zlibDeflate(data, 6, strategy);
        const Bytes stored = zlibDeflate(makeRandom(300, 62), 0);
        for (const Bytes& s : {stream, stored}) {
            for (size_t cut = 0; cut < s.size(); ++cut) {
                const Bytes part(s.begin(), s.begin() + static_cast<ptrdiff_t>(cut));
                Outcome ended = g.drive(part, wholeFeed(), cut % 2 == 0);
                ASSERT_EQ(ended.result, -1) << "cut " << cut;
                ASSERT_TRUE(ended.fault.empty()) << describe(ended);
                Feed open = bytewiseFeed(true, false);
                open.lastInput = false;
                Outcome waiting = g.drive(part, open, cut % 2 != 0);
                ASSERT_EQ(waiting.result, 0) << "cut " << cut;
                ASSERT_EQ(waiting.taken, part.size());
            }
        }
    }
}

}  // namespace guarded
