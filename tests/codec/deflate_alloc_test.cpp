// The compressor allocates nothing: its three work buffers are all the memory
// it uses. Every allocation of this test program is counted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "zarlib32.h"

namespace {
size_t allocations = 0;
}  // namespace

void* operator new(size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

TEST(DeflateMemory, CompressingAllocatesNothing) {
    std::vector<uint8_t> main(57613), chain(65536), tokens(25600), out(70000);
    std::vector<uint8_t> input(300000);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>((i * i) >> 7 ^ i >> 11);
    for (int16_t dynamic : {0, 1}) {
        size_t before = allocations;
        AxDeflateInit(main.data(), chain.data(), tokens.data());
        size_t pos = 0;
        int32_t r = 0;
        while (r == 0) {
            uint32_t taken = static_cast<uint32_t>(std::min<size_t>(65520, input.size() - pos));
            uint32_t room = 65520;
            r = AxDeflate(55, dynamic, input.data(), static_cast<uint32_t>(pos), &taken, out.data(), 0, &room,
                          pos + taken == input.size(), main.data(), chain.data(), tokens.data());
            pos += taken;
        }
        EXPECT_EQ(r, -1);
        EXPECT_EQ(allocations, before);
    }
}

}  // namespace
