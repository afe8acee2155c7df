// CRC-32 against zlib's crc32 over random data of random lengths and
// alignments, through both the accelerated and the portable routine.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "codec/crc32.h"
#include "zarlib32.h"

namespace {

TEST(Crc32, MatchesZlibOnRandomDataLengthsAndAlignments) {
    std::mt19937 rng(1234);
    std::vector<uint8_t> data(300000);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);  // every length around the 16- and 64-byte steps
    for (int i = 0; i < 200; ++i) lengths.push_back(rng() % data.size());
    lengths.push_back(data.size() - 64);
    for (size_t n : lengths) {
        const size_t at = rng() % 64;
        if (at + n > data.size()) continue;
        const uint32_t start = rng();  // any running value, not only the initial one
        const uint32_t expect = ~static_cast<uint32_t>(crc32(~start, data.data() + at, static_cast<uInt>(n)));
        ASSERT_EQ(zar::codec::crc32Update(data.data() + at, n, start), expect) << "length " << n;
        ASSERT_EQ(zar::codec::crc32UpdatePortable(data.data() + at, n, start), expect) << "length " << n;
        ASSERT_EQ(AxCrc32A(data.data() + at, static_cast<uint32_t>(n), start), expect) << "length " << n;
    }
}

TEST(Crc32, RandomSplitsMatchZlib) {
    std::mt19937 rng(99);
    std::vector<uint8_t> data(100000);
    for (auto& b : data) b = static_cast<uint8_t>(rng() % 7);
    const uint32_t expect = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    for (int round = 0; round < 20; ++round) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t at = 0; at < data.size();) {
            const size_t n = std::min<size_t>(rng() % (round < 10 ? 100 : 5000), data.size() - at);
            crc = AxCrc32A(data.data() + at, static_cast<uint32_t>(n), crc);
            at += n;
        }
        ASSERT_EQ(~crc, expect);
    }
}

}  // namespace
