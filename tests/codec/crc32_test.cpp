// CRC-32: the published check value, conditioning left to the caller, and
// independence from how the data is split.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "codec/crc32.h"
#include "zarlib32.h"

namespace {

using zar::codec::crc32Update;

TEST(Crc32, CheckValueOfTheDigits) {
    const char* digits = "123456789";
    uint32_t crc = AxCrc32A(reinterpret_cast<const uint8_t*>(digits), 9, 0xFFFFFFFFu);
    EXPECT_EQ(~crc, 0xCBF43926u);
}

TEST(Crc32, ZeroCountReturnsTheRunningValueWithoutReading) {
    EXPECT_EQ(AxCrc32A(nullptr, 0, 0x12345678u), 0x12345678u);
    EXPECT_EQ(~AxCrc32A(nullptr, 0, 0xFFFFFFFFu), 0u);  // the empty entry
}

TEST(Crc32, SplitsGiveTheSameValue) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 3));
    uint32_t whole = crc32Update(data.data(), data.size(), 0xFFFFFFFFu);
    // Byte by byte through the reference step.
    uint32_t reference = 0xFFFFFFFFu;
    for (uint8_t b : data) reference = zar::codec::crc32Byte(reference, b);
    EXPECT_EQ(whole, reference);
    for (size_t piece : {1u, 3u, 7u, 8u, 9u, 64u, 333u}) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t at = 0; at < data.size(); at += piece)
            crc = crc32Update(data.data() + at, std::min(piece, data.size() - at), crc);
        EXPECT_EQ(crc, whole) << "piece " << piece;
    }
}

}  // namespace
