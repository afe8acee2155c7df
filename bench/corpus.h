// The benchmark corpus: one large file of mixed data. The path comes from the
// environment variable ZARLIB_BENCH_CORPUS (a file, or a folder holding big.bin);
// without it a corpus is assembled from text and binaries found on the machine.
#pragma once

#include <cstdint>
#include <vector>

namespace zar::bench {

// The corpus bytes, loaded once.
const std::vector<uint8_t>& corpus();

}  // namespace zar::bench
