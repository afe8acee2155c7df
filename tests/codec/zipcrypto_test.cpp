// The traditional encryption: key schedule, round trips in any pieces, and the
// encryption header's generator and check bytes.
#include <gtest/gtest.h>

#include <vector>

#include "codec/zipcrypto.h"
#include "zarlib32.h"

namespace {

TEST(ZipCrypto, InitialKeysGiveTheFirstKeystreamByte) {
    AxInitKeys(nullptr, 0);
    uint8_t byte = 0;
    AxEncryptData(&byte, 1);
    uint32_t t = (0x34567890u & 0xFFFF) | 2;
    EXPECT_EQ(byte, static_cast<uint8_t>((t * (t ^ 1)) >> 8));
}

TEST(ZipCrypto, RoundTripInAnyPieces) {
    std::vector<uint8_t> plain(5000);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 31 + 7);
    const uint8_t password[] = "s3cret";
    auto cipher = plain;
    AxInitKeys(password, 6);
    AxEncryptData(cipher.data(), static_cast<uint32_t>(cipher.size()));
    EXPECT_NE(cipher, plain);
    for (size_t piece : {1u, 7u, 4096u, 5000u}) {
        auto back = cipher;
        AxInitKeys(password, 6);
        for (size_t at = 0; at < back.size(); at += piece)
            AxDecryptData(back.data() + at, static_cast<uint32_t>(std::min(piece, back.size() - at)));
        EXPECT_EQ(back, plain) << piece;
    }
    auto again = plain;
    AxInitKeys(password, 6);
    AxEncryptData(again.data(), 0);  // nothing, and the keys stay
    AxEncryptData(again.data(), static_cast<uint32_t>(again.size()));
    EXPECT_EQ(again, cipher);
}

TEST(ZipCrypto, HeaderGeneratorAndCheckBytes) {
    uint8_t header[12];
    zar::codec::makeEncryptionHeader(header, 0xAABBCCDD, 0);
    const uint8_t expected[] = {0x46, 0xA7, 0xA6, 0x99, 0xA8, 0xB7, 0xB8, 0x33, 0xE4, 0x7F, 0xBB, 0xAA};
    EXPECT_EQ(std::vector<uint8_t>(header, header + 12), std::vector<uint8_t>(expected, expected + 12));
    uint8_t other[12];
    zar::codec::makeEncryptionHeader(other, 0x11223344, 0);
    EXPECT_EQ(std::vector<uint8_t>(header, header + 10), std::vector<uint8_t>(other, other + 10));
    AxInitHeader(other, 0x11223344);  // from the clock: only the check bytes are known
    EXPECT_EQ(other[10], 0x22);
    EXPECT_EQ(other[11], 0x11);
}

}  // namespace
