// The library's CRC-32, raw Inflate and raw Deflate after a neighbour in the
// process left the upper halves of the vector registers dirty, beside the same
// runs from a clean state. Before every call into the library a "neighbour"
// runs: a 256-bit write to ymm0 (ymm0), a 512-bit write to zmm0 or zmm16
// (zmm0, zmm16; with AVX-512 only), or one ISA-L CRC-32 call over 4 KiB
// (isal); in the clean run the same neighbour is followed by vzeroupper. Each
// iteration times the clean and the dirty run of the same work one after the
// other (thread CPU time) and reports both speeds and dirty_vs_clean, the
// ratio of the speeds (1.0 = no drop).
// The control "crc32/legacy-sse" runs the 128-bit folding in its legacy
// encoding, which the library takes only on processors without AVX: it shows
// the drop the other runs avoid. `dirtied` says whether the neighbour left
// set bits above the low 128 of ymm0..15 (1); zmm16 lies outside that probe.
#include <benchmark/benchmark.h>
#include <isa-l/crc.h>
#include <zlib.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "corpus.h"
#include "zarlib32.h"

namespace {

using Bytes = std::vector<uint8_t>;

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// ---- Neighbours ------------------------------------------------------------

#define ZAR_ALL_XMM                                                                                          \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", \
        "xmm13", "xmm14", "xmm15"

// Each neighbour is only its asm: nothing is clobbered that the caller keeps
// (every vector register is caller-saved), and the compiler, which sees no
// vector code here, adds no vzeroupper behind it.
__attribute__((noinline)) void clean() { asm volatile("vzeroupper"); }
__attribute__((noinline)) void ymm0() { asm volatile("vpcmpeqd %ymm0, %ymm0, %ymm0"); }
__attribute__((noinline)) void zmm0() { asm volatile("vpternlogd $0xff, %zmm0, %zmm0, %zmm0"); }
__attribute__((noinline)) void zmm16() { asm volatile("vpternlogd $0xff, %zmm16, %zmm16, %zmm16"); }
void isal() {
    static const Bytes block(4096, 0x33);
    benchmark::DoNotOptimize(crc32_gzip_refl(0, block.data(), block.size()));
}

using Neighbour = void (*)();

// The clean run calls the same neighbour and then vzeroupper, so that both
// runs pay for the neighbour's own work and differ only in the state it leaves.
template <Neighbour n>
void thenClean() {
    n();
    clean();
}

struct NeighbourCase {
    const char* name;
    Neighbour dirty;
    Neighbour cleaned;
    bool needsAvx512;
};
constexpr NeighbourCase kNeighbours[] = {
    {"ymm0", ymm0, thenClean<ymm0>, false},
    {"zmm0", zmm0, thenClean<zmm0>, true},
    {"zmm16", zmm16, thenClean<zmm16>, true},
    {"isal", isal, thenClean<isal>, false},
};

// Whether any of ymm0..15 holds a set bit above its low 128 bits.
bool upperHalvesDirty() {
    uint8_t regs[16][32] = {};  // stored unaligned: no over-aligned stack needed
#define ZAR_STORE_YMM(i) "vmovdqu %%ymm" #i ", " #i "*32(%0)\n\t"
    asm volatile(ZAR_STORE_YMM(0) ZAR_STORE_YMM(1) ZAR_STORE_YMM(2) ZAR_STORE_YMM(3) ZAR_STORE_YMM(4)
                     ZAR_STORE_YMM(5) ZAR_STORE_YMM(6) ZAR_STORE_YMM(7) ZAR_STORE_YMM(8) ZAR_STORE_YMM(9)
                         ZAR_STORE_YMM(10) ZAR_STORE_YMM(11) ZAR_STORE_YMM(12) ZAR_STORE_YMM(13)
                             ZAR_STORE_YMM(14) ZAR_STORE_YMM(15)
                 :
                 : "r"(regs)
                 : "memory");
    for (const auto& r : regs)
        for (size_t i = 16; i < sizeof r; ++i)
            if (r[i] != 0) return true;
    return false;
}

// ---- The library's work, with the neighbour before every call --------------

constexpr uint32_t kPiece = 65520;  // the engines' piece size
constexpr size_t kSampleBytes = 8u << 20;

// The first 8 MiB of the corpus, the input of every run.
const Bytes& sample() {
    static const Bytes data = [] {
        const Bytes& c = zar::bench::corpus();
        return Bytes(c.begin(), c.begin() + static_cast<ptrdiff_t>(std::min(c.size(), kSampleBytes)));
    }();
    return data;
}

size_t crcPublic(Neighbour before) {
    const Bytes& in = sample();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < in.size(); at += kPiece) {
        before();
        crc = AxCrc32A(in.data() + at, static_cast<uint32_t>(std::min<size_t>(kPiece, in.size() - at)), crc);
    }
    benchmark::DoNotOptimize(crc);
    return in.size();
}

size_t crcLegacySse(Neighbour before) {
    const Bytes& in = sample();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < in.size(); at += kPiece) {
        before();
        crc = zar::codec::crc32UpdateBy(zar::codec::CrcMethod::kClmul, in.data() + at,
                                        std::min<size_t>(kPiece, in.size() - at), crc);
    }
    benchmark::DoNotOptimize(crc);
    return in.size();
}

const Bytes& rawStream() {
    static const Bytes stream = [] {
        const Bytes& data = sample();
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        Bytes out(deflateBound(&z, data.size()));
        z.next_in = const_cast<Bytef*>(data.data());
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }();
    return stream;
}

// Raw Inflate through the export, 65520-byte input pieces and output room.
size_t inflatePublic(Neighbour before) {
    static Bytes work(AxInflateUCBufSize());
    static Bytes out(kPiece);
    const Bytes& stream = rawStream();
    AxInflateUCInit(work.data());
    size_t pos = 0, produced = 0;
    for (;;) {
        const uint32_t left = static_cast<uint32_t>(std::min<size_t>(kPiece, stream.size() - pos));
        const int16_t last = pos + left == stream.size();
        uint32_t offset = 0;
        for (;;) {
            uint32_t inCount = left - offset, outCount = kPiece;
            before();
            const int32_t r = AxInflateUC(stream.data() + pos, offset, &inCount, out.data(), 0, &outCount,
                                          work.data(), last);
            produced += outCount;
            offset += inCount;
            if (r != 0) return produced;
            if (offset == left && outCount < kPiece) break;
        }
        pos += left;
        if (left == 0) return produced;
    }
}

// Raw Deflate with dynamic blocks at chain limit 128, 65520-byte pieces.
size_t deflateCodec(Neighbour before) {
    using namespace zar::codec;
    static Bytes work(kDeflateMainSize + kDeflateChainSize + kDeflateTokenSize);
    static Bytes out(kPiece);
    const Bytes& in = sample();
    const DeflateBuffers buffers{work.data(), work.data() + kDeflateMainSize,
                                 work.data() + kDeflateMainSize + kDeflateChainSize};
    initDeflate(buffers);
    size_t pos = 0;
    for (;;) {
        const uint32_t take = static_cast<uint32_t>(std::min<size_t>(kPiece, in.size() - pos));
        DeflateIo io{in.data() + pos, take, out.data(), kPiece};
        before();
        const DeflateStatus status = runDeflate(buffers, 128, true, pos + take == in.size(), io);
        pos += io.inputCount;
        benchmark::DoNotOptimize(out.data());
        if (status == DeflateStatus::kDone) return in.size();
    }
}

using Work = size_t (*)(Neighbour);

double seconds(Work work, Neighbour before, size_t& bytes) {
    const double t0 = threadSeconds();
    bytes = work(before);
    return threadSeconds() - t0;
}

template <Work work>
void BM_CleanVsDirty(benchmark::State& state) {
    const NeighbourCase& n = kNeighbours[state.range(0)];
    if (n.needsAvx512 && !__builtin_cpu_supports("avx512f")) {
        state.SkipWithError("no AVX-512 on this processor");
        return;
    }
    if (!__builtin_cpu_supports("avx")) {
        state.SkipWithError("no AVX: no upper halves to leave dirty");
        return;
    }
    n.dirty();
    const bool dirtied = upperHalvesDirty();
    clean();
    double cleanTime = 0, dirtyTime = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        cleanTime += seconds(work, n.cleaned, bytes);
        const double t = seconds(work, n.dirty, bytes);
        dirtyTime += t;
        state.SetIterationTime(t);
    }
    clean();
    const double mb = static_cast<double>(state.iterations()) * static_cast<double>(bytes) / 1e6;
    state.counters["clean_MBps"] = mb / cleanTime;
    state.counters["dirty_MBps"] = mb / dirtyTime;
    state.counters["dirty_vs_clean"] = cleanTime / dirtyTime;
    state.counters["dirtied"] = dirtied ? 1 : 0;
    state.SetLabel(n.name);
}

void neighbours(benchmark::internal::Benchmark* b) {
    for (size_t i = 0; i < std::size(kNeighbours); ++i) b->Arg(static_cast<int64_t>(i));
    b->UseManualTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_CleanVsDirty<crcPublic>)->Name("crc32")->Apply(neighbours);
BENCHMARK(BM_CleanVsDirty<crcLegacySse>)->Name("crc32/legacy-sse")->Apply(neighbours);
BENCHMARK(BM_CleanVsDirty<inflatePublic>)->Name("inflate")->Apply(neighbours);
BENCHMARK(BM_CleanVsDirty<deflateCodec>)->Name("deflate")->Apply(neighbours);

BENCHMARK_MAIN();
