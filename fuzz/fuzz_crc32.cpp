// CRC-32 by every method the processor has, against the table method, on
// arbitrary bytes. The first two bytes choose a split point; the rest is the
// data, copied into a heap block of exactly its size so that any read past
// either end is caught. Each method must give the table's value over the
// whole, and over the two pieces chained.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "codec/crc32.h"

namespace {

using zar::codec::CrcMethod;

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < 2) return 0;
    const size_t n = size - 2;
    const size_t split = n == 0 ? 0 : (size_t{input[0]} | size_t{input[1]} << 8) % (n + 1);
    auto data = std::make_unique<uint8_t[]>(n);
    std::copy(input + 2, input + size, data.get());

    const uint32_t start = 0xFFFFFFFFu;
    const uint32_t expect = zar::codec::crc32UpdatePortable(data.get(), n, start);
    check(zar::codec::crc32UpdatePortable(data.get() + split, n - split,
                                          zar::codec::crc32UpdatePortable(data.get(), split, start)) == expect);
    for (CrcMethod m : {CrcMethod::kClmul, CrcMethod::kClmulVex, CrcMethod::kClmulWide}) {
        if (!zar::codec::crcMethodAvailable(m)) continue;
        check(zar::codec::crc32UpdateBy(m, data.get(), n, start) == expect);
        const uint32_t head = zar::codec::crc32UpdateBy(m, data.get(), split, start);
        check(zar::codec::crc32UpdateBy(m, data.get() + split, n - split, head) == expect);
    }
    check(zar::codec::crc32Update(data.get(), n, start) == expect);
    return 0;
}
