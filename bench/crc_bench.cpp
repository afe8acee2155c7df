// CRC-32 throughput against zlib's crc32 and libdeflate_crc32 over 64 KiB
// buffers taken in turn from the corpus. SideBySide runs all three over the
// same buffers in every iteration and reports GB/s and the ratios.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <ctime>
#include <vector>

#include "corpus.h"
#include "zarlib32.h"

namespace {

// CPU time of this thread: on a shared machine it leaves out the time that
// other processes hold the core, which wall time would charge to whoever runs.
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr size_t kBuffer = 64 * 1024;
constexpr size_t kBuffersPerRound = 64;  // 4 MiB per round

const uint8_t* buffer(size_t i) {
    const auto& c = zar::bench::corpus();
    const size_t count = c.size() / kBuffer;
    return c.data() + (i % std::min(count, kBuffersPerRound)) * kBuffer;
}

uint32_t crcOurs(const uint8_t* p, size_t n, uint32_t crc) {
    return ~AxCrc32A(p, static_cast<uint32_t>(n), ~crc);
}
uint32_t crcZlib(const uint8_t* p, size_t n, uint32_t crc) {
    return static_cast<uint32_t>(crc32(crc, p, static_cast<uInt>(n)));
}
uint32_t crcLibdeflate(const uint8_t* p, size_t n, uint32_t crc) { return libdeflate_crc32(crc, p, n); }

using Crc = uint32_t (*)(const uint8_t*, size_t, uint32_t);

template <Crc crc>
void BM_Crc(benchmark::State& state) {
    if (crcOurs(buffer(0), kBuffer, 0) != crcZlib(buffer(0), kBuffer, 0)) state.SkipWithError("wrong value");
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(crc(buffer(i++), kBuffer, 0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBuffer));
}

double seconds(Crc crc) {
    const double t0 = threadSeconds();
    for (size_t i = 0; i < kBuffersPerRound; ++i) benchmark::DoNotOptimize(crc(buffer(i), kBuffer, 0));
    return threadSeconds() - t0;
}

void BM_CrcSideBySide(benchmark::State& state) {
    double ours = 0, zlib = 0, libdeflate = 0;
    for (auto _ : state) {
        const double t = seconds(crcOurs);
        zlib += seconds(crcZlib);
        libdeflate += seconds(crcLibdeflate);
        ours += t;
        state.SetIterationTime(t);
    }
    const double gb = static_cast<double>(state.iterations()) * kBuffersPerRound * kBuffer / 1e9;
    state.counters["ours_GBps"] = gb / ours;
    state.counters["zlib_GBps"] = gb / zlib;
    state.counters["libdeflate_GBps"] = gb / libdeflate;
    state.counters["vs_zlib"] = zlib / ours;
    state.counters["vs_libdeflate"] = libdeflate / ours;
}

}  // namespace

BENCHMARK(BM_Crc<crcOurs>)->Name("Crc32/ours");
BENCHMARK(BM_Crc<crcZlib>)->Name("Crc32/zlib");
BENCHMARK(BM_Crc<crcLibdeflate>)->Name("Crc32/libdeflate");
BENCHMARK(BM_CrcSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
