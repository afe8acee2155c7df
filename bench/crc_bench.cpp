// CRC-32 throughput against zlib's crc32, libdeflate_crc32 and ISA-L's
// crc32_gzip_refl, over buffers taken in turn from the first 4 MiB of the
// corpus. Calls of 65520 bytes are how the extraction and entry writing
// engines hand their pieces over; 256 B, 4 KiB and 1 MiB show the short and
// long ends. SideBySide runs all four over the same buffers in every iteration
// (thread CPU time) and reports GB/s for each and the ratios ours/peer of the
// speeds (1.0 = as fast as the peer).
#include <benchmark/benchmark.h>
#include <isa-l/crc.h>
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

constexpr size_t kRound = 4u << 20;  // bytes per timed round, whatever the call size

// The calls of one round: `size` bytes at consecutive offsets of the corpus,
// wrapping before the end of the first kRound bytes.
struct Calls {
    size_t size;
    size_t count;
};
Calls callsOf(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    return {size, kRound / size};
}
const uint8_t* buffer(const Calls& c, size_t i) {
    const auto& corpus = zar::bench::corpus();
    const size_t span = std::min(corpus.size(), kRound);
    const size_t slots = std::max<size_t>(1, span / c.size);
    return corpus.data() + (i % slots) * c.size;
}

uint32_t crcOurs(const uint8_t* p, size_t n, uint32_t crc) {
    return ~AxCrc32A(p, static_cast<uint32_t>(n), ~crc);
}
uint32_t crcZlib(const uint8_t* p, size_t n, uint32_t crc) {
    return static_cast<uint32_t>(crc32(crc, p, static_cast<uInt>(n)));
}
uint32_t crcLibdeflate(const uint8_t* p, size_t n, uint32_t crc) { return libdeflate_crc32(crc, p, n); }
uint32_t crcIsal(const uint8_t* p, size_t n, uint32_t crc) { return crc32_gzip_refl(crc, p, n); }

using Crc = uint32_t (*)(const uint8_t*, size_t, uint32_t);

bool agree(const Calls& c) {
    for (Crc peer : {crcZlib, crcLibdeflate, crcIsal})
        for (size_t i : {size_t{0}, size_t{1}, c.count - 1})
            if (crcOurs(buffer(c, i), c.size, 0) != peer(buffer(c, i), c.size, 0)) return false;
    return true;
}

template <Crc crc>
void BM_Crc(benchmark::State& state) {
    const Calls c = callsOf(state);
    if (!agree(c)) state.SkipWithError("wrong value");
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(crc(buffer(c, i++), c.size, 0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.size));
}

double seconds(Crc crc, const Calls& c) {
    const double t0 = threadSeconds();
    for (size_t i = 0; i < c.count; ++i) benchmark::DoNotOptimize(crc(buffer(c, i), c.size, 0));
    return threadSeconds() - t0;
}

void BM_CrcSideBySide(benchmark::State& state) {
    const Calls c = callsOf(state);
    if (!agree(c)) state.SkipWithError("wrong value");
    double ours = 0, zlib = 0, libdeflate = 0, isal = 0;
    for (auto _ : state) {
        const double t = seconds(crcOurs, c);
        zlib += seconds(crcZlib, c);
        libdeflate += seconds(crcLibdeflate, c);
        isal += seconds(crcIsal, c);
        ours += t;
        state.SetIterationTime(t);
    }
    const double gb = static_cast<double>(state.iterations()) * static_cast<double>(c.count * c.size) / 1e9;
    state.counters["ours_GBps"] = gb / ours;
    state.counters["zlib_GBps"] = gb / zlib;
    state.counters["libdeflate_GBps"] = gb / libdeflate;
    state.counters["isal_GBps"] = gb / isal;
    state.counters["vs_zlib"] = zlib / ours;
    state.counters["vs_libdeflate"] = libdeflate / ours;
    state.counters["vs_isal"] = isal / ours;
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int64_t n : {256, 4096, 65520, 1 << 20}) b->Arg(n);
}

}  // namespace

BENCHMARK(BM_Crc<crcOurs>)->Name("Crc32/ours")->Apply(sizes);
BENCHMARK(BM_Crc<crcZlib>)->Name("Crc32/zlib")->Apply(sizes);
BENCHMARK(BM_Crc<crcLibdeflate>)->Name("Crc32/libdeflate")->Apply(sizes);
BENCHMARK(BM_Crc<crcIsal>)->Name("Crc32/isal")->Apply(sizes);
BENCHMARK(BM_CrcSideBySide)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
