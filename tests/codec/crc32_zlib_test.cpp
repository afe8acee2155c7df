// CRC-32 against zlib's crc32 and the table method, through every folding
// method this processor has: every length up to 600 at every alignment, large
// and odd sizes, buffers flush against guard pages, and chains of pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "codec/crc32.h"
#include "guarded_buffer.h"
#include "zarlib32.h"

namespace {

using zar::codec::CrcMethod;

struct Method {
    CrcMethod method;
    const char* name;
};
constexpr Method kMethods[] = {
    {CrcMethod::kTable, "table"},
    {CrcMethod::kClmul, "clmul"},
    {CrcMethod::kClmulVex, "clmul-vex"},
    {CrcMethod::kClmulWide, "clmul-wide"},
};

// The methods this processor runs; the others would only repeat the tables.
std::vector<Method> availableMethods() {
    std::vector<Method> out;
    for (const Method& m : kMethods)
        if (zar::codec::crcMethodAvailable(m.method)) out.push_back(m);
    return out;
}

uint32_t zlibUpdate(const uint8_t* p, size_t n, uint32_t running) {
    // zlib conditions on both sides; the library leaves that to its callers.
    return ~static_cast<uint32_t>(crc32(~running, p, static_cast<uInt>(n)));
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

TEST(Crc32, MethodsReportedByTheProcessor) {
    std::string names;
    for (const Method& m : availableMethods()) names += std::string(" ") + m.name;
    RecordProperty("methods", names);
    EXPECT_TRUE(zar::codec::crcMethodAvailable(CrcMethod::kTable));
    EXPECT_TRUE(zar::codec::crcMethodAvailable(zar::codec::crcBestMethod()));
}

TEST(Crc32, EveryLengthAndAlignmentMatchesZlib) {
    const auto data = randomBytes(600 + 64, 1234);
    std::mt19937 rng(5);
    for (const Method& m : availableMethods()) {
        for (size_t n = 0; n <= 600; ++n) {
            for (size_t at = 0; at < 64; ++at) {
                const uint32_t start = rng();  // any running value, not only the initial one
                const uint32_t expect = zlibUpdate(data.data() + at, n, start);
                ASSERT_EQ(zar::codec::crc32UpdateBy(m.method, data.data() + at, n, start), expect)
                    << m.name << " length " << n << " at " << at;
            }
        }
    }
}

TEST(Crc32, LargeAndOddSizesMatchZlib) {
    const auto data = randomBytes((1u << 20) + 8192, 77);  // room for the largest size at every offset
    const size_t sizes[] = {65520, 65536, 65537, 1u << 20, (1u << 20) + 4095, 255, 256, 257, 319, 320, 4097, 99991};
    for (const Method& m : availableMethods()) {
        for (size_t n : sizes) {
            for (size_t at : {0u, 1u, 15u, 63u}) {
                const uint32_t expect = zlibUpdate(data.data() + at, n, 0xFFFFFFFFu);
                EXPECT_EQ(zar::codec::crc32UpdateBy(m.method, data.data() + at, n, 0xFFFFFFFFu), expect)
                    << m.name << " size " << n << " at " << at;
            }
        }
        // Data whose folds cancel: all zeros and all ones.
        for (uint8_t fill : {uint8_t{0}, uint8_t{0xFF}}) {
            const std::vector<uint8_t> flat(70000, fill);
            EXPECT_EQ(zar::codec::crc32UpdateBy(m.method, flat.data(), flat.size(), 0xFFFFFFFFu),
                      zlibUpdate(flat.data(), flat.size(), 0xFFFFFFFFu))
                << m.name << " fill " << int{fill};
        }
    }
    // The public export takes the best method.
    EXPECT_EQ(AxCrc32A(data.data() + 3, 1u << 20, 0xFFFFFFFFu), zlibUpdate(data.data() + 3, 1u << 20, 0xFFFFFFFFu));
}

// Every vector load stays inside the buffer: the buffer sits flush against an
// inaccessible page behind it, then against one in front of it.
TEST(Crc32, ReadsNothingOutsideTheBuffer) {
    const auto data = randomBytes(1200, 9);
    GuardedBuffer guarded(1200);
    for (const Method& m : availableMethods()) {
        for (size_t n = 0; n <= 1200; n += (n < 600 ? 1 : 37)) {
            for (bool atFront : {false, true}) {
                uint8_t* p = guarded.place(n, atFront);
                std::copy(data.begin(), data.begin() + static_cast<ptrdiff_t>(n), p);
                ASSERT_EQ(zar::codec::crc32UpdateBy(m.method, p, n, 0u), zlibUpdate(data.data(), n, 0u))
                    << m.name << " length " << n;
            }
        }
    }
}

TEST(Crc32, PiecesOfAnySizeChainToTheWhole) {
    std::mt19937 rng(99);
    std::vector<uint8_t> data(200000);
    for (auto& b : data) b = static_cast<uint8_t>(rng() % 7);
    const uint32_t expect = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    for (const Method& m : availableMethods()) {
        for (size_t maxPiece : {17u, 100u, 700u, 5000u, 70000u}) {
            uint32_t crc = 0xFFFFFFFFu;
            for (size_t at = 0; at < data.size();) {
                const size_t n = std::min<size_t>(rng() % (maxPiece + 1), data.size() - at);
                crc = zar::codec::crc32UpdateBy(m.method, data.data() + at, n, crc);
                at += n;
            }
            ASSERT_EQ(~crc, expect) << m.name << " pieces up to " << maxPiece;
        }
    }
    // And through the export, as hosts call it.
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min<size_t>(rng() % 3000, data.size() - at);
        crc = AxCrc32A(data.data() + at, static_cast<uint32_t>(n), crc);
        at += n;
    }
    EXPECT_EQ(~crc, expect);
}

}  // namespace
