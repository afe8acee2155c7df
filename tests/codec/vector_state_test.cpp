// The codecs return with the upper halves of the vector registers clean, also
// when their caller arrived with them dirty: the CRC-32 folding that uses
// 512-bit registers, and the inflater and the deflater, which clear them on
// entry so that their legacy-encoded copies pay no merge with those halves.
// The registers are set and read with inline assembly, right around each call.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "codec/inflate.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

bool haveAvx512() { return __builtin_cpu_supports("avx512f"); }

#define ZAR_ALL_XMM                                                                                          \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", \
        "xmm13", "xmm14", "xmm15"
#define ZAR_EACH_REG(op) op(0) op(1) op(2) op(3) op(4) op(5) op(6) op(7) op(8) op(9) op(10) op(11) op(12) op(13) op(14) op(15)

// Every bit of registers 0..15 set, at their full width.
void dirtyUpperHalves() {
    if (haveAvx512()) {
#define ZAR_ONES_ZMM(i) "vpternlogd $0xff, %%zmm" #i ", %%zmm" #i ", %%zmm" #i "\n\t"
        asm volatile(ZAR_EACH_REG(ZAR_ONES_ZMM)::: ZAR_ALL_XMM);
    } else {
#define ZAR_ONES_YMM(i) "vpcmpeqd %%ymm" #i ", %%ymm" #i ", %%ymm" #i "\n\t"
        asm volatile(ZAR_EACH_REG(ZAR_ONES_YMM)::: ZAR_ALL_XMM);
    }
}

// Whether any of registers 0..15 holds a set bit above its low 128 bits.
bool upperHalvesDirty() {
    uint8_t regs[16][64] = {};  // stored unaligned: no over-aligned stack needed
    if (haveAvx512()) {
#define ZAR_STORE_ZMM(i) "vmovdqu64 %%zmm" #i ", " #i "*64(%0)\n\t"
        asm volatile(ZAR_EACH_REG(ZAR_STORE_ZMM) : : "r"(regs) : "memory");
    } else {
#define ZAR_STORE_YMM(i) "vmovdqu %%ymm" #i ", " #i "*64(%0)\n\t"
        asm volatile(ZAR_EACH_REG(ZAR_STORE_YMM) : : "r"(regs) : "memory");
    }
    for (const auto& r : regs)
        for (size_t i = 16; i < sizeof r; ++i)
            if (r[i] != 0) return true;
    return false;
}

// Runs `call` with dirty upper halves and tells whether they are still dirty.
// The call is prepared beforehand, so nothing of the test runs in between.
template <typename Call>
bool dirtyAfter(Call&& call) {
    dirtyUpperHalves();
    call();
    return upperHalvesDirty();
}

class VectorState : public ::testing::Test {
protected:
    void SetUp() override {
        if (!__builtin_cpu_supports("avx")) GTEST_SKIP() << "no AVX: the processor has no upper halves";
        // The probe itself works: dirty halves are seen as dirty.
        ASSERT_TRUE(dirtyAfter([] {}));
    }
};

TEST_F(VectorState, Crc32ReturnsClean) {
    std::vector<uint8_t> data(70000, 0x5A);
    volatile uint32_t sink = 0;
    for (size_t n : {64u, 1000u, 70000u}) {
        EXPECT_FALSE(dirtyAfter([&] { sink = zar::codec::crc32Update(data.data(), n, sink); })) << n;
    }
}

TEST_F(VectorState, InflateReturnsClean) {
    // A stored block of 300 bytes: the decoder copies it out.
    std::vector<uint8_t> stream = {0x01, 0x2C, 0x01, 0xD3, 0xFE};
    stream.resize(stream.size() + 300, 0x41);
    std::vector<uint8_t> work(zar::codec::kInflateWorkSize), out(400);
    zar::codec::inflateBegin(work.data());
    zar::codec::InflateResult r{};
    EXPECT_FALSE(dirtyAfter([&] {
        r = zar::codec::inflateStep(work.data(), stream.data(), stream.size(), out.data(), out.size(), true);
    }));
    EXPECT_EQ(r.status, zar::codec::InflateStatus::kEnd);
    EXPECT_EQ(r.written, 300u);
}

TEST_F(VectorState, DeflateReturnsClean) {
    std::vector<uint8_t> input(20000);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7 % 251);
    std::vector<uint8_t> main(zar::codec::kDeflateMainSize), chain(zar::codec::kDeflateChainSize),
        tokens(zar::codec::kDeflateTokenSize), out(30000);
    const zar::codec::DeflateBuffers buffers{main.data(), chain.data(), tokens.data()};
    zar::codec::initDeflate(buffers);
    zar::codec::DeflateIo io{input.data(), static_cast<uint32_t>(input.size()), out.data(),
                             static_cast<uint32_t>(out.size())};
    zar::codec::DeflateStatus status{};
    EXPECT_FALSE(dirtyAfter([&] { status = zar::codec::runDeflate(buffers, 64, true, true, io); }));
    EXPECT_EQ(status, zar::codec::DeflateStatus::kDone);
}

}  // namespace

#endif
