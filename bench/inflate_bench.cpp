// Inflate throughput against zlib and libdeflate on the same raw streams
// (zlib at levels 1, 6 and 9 over the whole corpus). Ours and zlib are driven
// the way the extraction engines drive a decoder: 65520-byte input pieces and
// 65520 bytes of output room per call. libdeflate has no streaming interface
// and decodes the whole stream into one buffer.
//
// The SideBySide benchmarks time the three decoders one after the other in
// every iteration (thread CPU time), so that a busy machine slows all of them
// alike, and report
// MB/s of decoded bytes for each plus the ratios ours/zlib and ours/libdeflate.
// SmallStreams does the same over thousands of small streams, each started
// afresh, as the extraction of a tree of small files does.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "codec/inflate.h"
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

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlock = 65520;

const Bytes& rawStream(int level) {
    static std::map<int, Bytes> cache;
    auto it = cache.find(level);
    if (it != cache.end()) return it->second;
    const Bytes& data = zar::bench::corpus();
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    out.resize(z.total_out);
    deflateEnd(&z);
    return cache.emplace(level, std::move(out)).first->second;
}

// Each decoder hands every produced block to `sink`, which checks the output
// once (outside the timed runs) and otherwise only touches it.
struct Sink {
    const Bytes* expect = nullptr;
    size_t at = 0;
    bool ok = true;
    void take(const uint8_t* p, size_t n) {
        if (expect != nullptr) {
            ok = ok && at + n <= expect->size() && std::equal(p, p + n, expect->begin() + at);
        }
        at += n;
        benchmark::DoNotOptimize(p);
    }
};

size_t decodeOurs(const Bytes& stream, Sink& sink) {
    static Bytes work(AxInflateUCBufSize());
    static Bytes out(kBlock);
    AxInflateUCInit(work.data());
    size_t pos = 0;
    for (;;) {
        const uint32_t left = static_cast<uint32_t>(std::min<size_t>(kBlock, stream.size() - pos));
        const int16_t last = pos + left == stream.size();
        uint32_t offset = 0;
        for (;;) {
            uint32_t inCount = left - offset, outCount = kBlock;
            const int32_t r = AxInflateUC(stream.data() + pos, offset, &inCount, out.data(), 0, &outCount,
                                          work.data(), last);
            sink.take(out.data(), outCount);
            offset += inCount;
            if (r != 0) return sink.at;
            if (offset == left && outCount < kBlock) break;  // the piece is used up
        }
        pos += left;
        if (left == 0) return sink.at;
    }
}

size_t decodeZlib(const Bytes& stream, Sink& sink) {
    static Bytes out(kBlock);
    z_stream z{};
    inflateInit2(&z, -15);
    size_t pos = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(kBlock, stream.size() - pos));
        z.next_in = const_cast<Bytef*>(stream.data() + pos);
        z.avail_in = piece;
        do {
            z.next_out = out.data();
            z.avail_out = kBlock;
            rc = inflate(&z, Z_NO_FLUSH);
            sink.take(out.data(), kBlock - z.avail_out);
        } while (rc == Z_OK && z.avail_out == 0);
        pos += piece - z.avail_in;
        if (rc == Z_BUF_ERROR && piece == 0) break;
        if (rc == Z_BUF_ERROR) rc = Z_OK;
    }
    inflateEnd(&z);
    return sink.at;
}

size_t decodeLibdeflate(const Bytes& stream, Sink& sink) {
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    static Bytes out(zar::bench::corpus().size());
    size_t n = 0;
    if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &n) !=
        LIBDEFLATE_SUCCESS)
        return 0;
    sink.take(out.data(), n);
    return n;
}

using Decoder = size_t (*)(const Bytes&, Sink&);

void verify(Decoder decode, const Bytes& stream, benchmark::State& state) {
    Sink check;
    check.expect = &zar::bench::corpus();
    if (decode(stream, check) != zar::bench::corpus().size() || !check.ok) state.SkipWithError("wrong output");
}

template <Decoder decode>
void BM_Inflate(benchmark::State& state) {
    const Bytes& stream = rawStream(static_cast<int>(state.range(0)));
    verify(decode, stream, state);
    for (auto _ : state) {
        Sink sink;
        benchmark::DoNotOptimize(decode(stream, sink));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * zar::bench::corpus().size()));
    state.counters["ratio%"] = 100.0 * static_cast<double>(stream.size()) / zar::bench::corpus().size();
}

double seconds(Decoder decode, const Bytes& stream) {
    const double t0 = threadSeconds();
    Sink sink;
    benchmark::DoNotOptimize(decode(stream, sink));
    return threadSeconds() - t0;
}

// MB/s of decoded bytes for each decoder (seconds summed over the
// iterations), and the ratios ours/zlib and ours/libdeflate.
void setRates(benchmark::State& state, double mb, double ours, double zlib, double libdeflate) {
    state.counters["ours_MBps"] = mb / ours;
    state.counters["zlib_MBps"] = mb / zlib;
    state.counters["libdeflate_MBps"] = mb / libdeflate;
    state.counters["vs_zlib"] = zlib / ours;
    state.counters["vs_libdeflate"] = libdeflate / ours;
}

void BM_InflateSideBySide(benchmark::State& state) {
    const Bytes& stream = rawStream(static_cast<int>(state.range(0)));
    verify(decodeOurs, stream, state);
    double ours = 0, zlib = 0, libdeflate = 0;
    for (auto _ : state) {
        const double t = seconds(decodeOurs, stream);
        zlib += seconds(decodeZlib, stream);
        libdeflate += seconds(decodeLibdeflate, stream);
        ours += t;
        state.SetIterationTime(t);
    }
    setRates(state, static_cast<double>(state.iterations()) * zar::bench::corpus().size() / 1e6, ours, zlib,
             libdeflate);
}

// ---- Many small streams ------------------------------------------------------
//
// Extracting a tree of small files starts a stream per entry: the corpus in
// pieces of 2400 bytes, each deflated on its own, decoded one after the other
// with a fresh start each, in one call per stream. The start, the block
// header and its tables then weigh as much as the decoding loop.

constexpr size_t kSmallSize = 2400;
constexpr size_t kSmallCount = 4000;

struct SmallStreams {
    std::vector<Bytes> streams;
    size_t bytes = 0;  // decoded bytes of all of them
};

const SmallStreams& smallStreams() {
    static const SmallStreams s = [] {
        SmallStreams out;
        const Bytes& data = zar::bench::corpus();
        for (size_t at = 0; at + kSmallSize <= data.size() && out.streams.size() < kSmallCount; at += kSmallSize) {
            z_stream z{};
            deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            Bytes stream(deflateBound(&z, kSmallSize));
            z.next_in = const_cast<Bytef*>(data.data() + at);
            z.avail_in = kSmallSize;
            z.next_out = stream.data();
            z.avail_out = static_cast<uInt>(stream.size());
            if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
            stream.resize(z.total_out);
            deflateEnd(&z);
            out.streams.push_back(std::move(stream));
            out.bytes += kSmallSize;
        }
        return out;
    }();
    return s;
}

// The library's own start (only the state record is cleared) or the exported
// one (the whole work area); one call per stream.
template <bool kLazy>
size_t decodeSmallOurs() {
    static Bytes work(zar::codec::kInflateWorkSize);
    static Bytes out(kSmallSize);
    size_t total = 0;
    for (const Bytes& stream : smallStreams().streams) {
        if (kLazy) zar::codec::inflateBeginLazy(work.data());
        else zar::codec::inflateBegin(work.data());
        const auto r = zar::codec::inflateStep(work.data(), stream.data(), stream.size(), out.data(), out.size(), true);
        if (r.status != zar::codec::InflateStatus::kEnd) return 0;
        benchmark::DoNotOptimize(out.data());
        total += r.written;
    }
    return total;
}

size_t decodeSmallZlib() {
    static Bytes out(kSmallSize);
    static z_stream z = [] {
        z_stream s{};
        inflateInit2(&s, -15);
        return s;
    }();
    size_t total = 0;
    for (const Bytes& stream : smallStreams().streams) {
        inflateReset(&z);
        z.next_in = const_cast<Bytef*>(stream.data());
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) return 0;
        benchmark::DoNotOptimize(out.data());
        total += out.size() - z.avail_out;
    }
    return total;
}

size_t decodeSmallLibdeflate() {
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    static Bytes out(kSmallSize);
    size_t total = 0;
    for (const Bytes& stream : smallStreams().streams) {
        size_t n = 0;
        if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &n) !=
            LIBDEFLATE_SUCCESS)
            return 0;
        benchmark::DoNotOptimize(out.data());
        total += n;
    }
    return total;
}

using SmallDecoder = size_t (*)();

double smallSeconds(SmallDecoder decode) {
    const double t0 = threadSeconds();
    benchmark::DoNotOptimize(decode());
    return threadSeconds() - t0;
}

void BM_InflateSmallStreams(benchmark::State& state) {
    const size_t bytes = smallStreams().bytes;
    for (SmallDecoder decode : {decodeSmallOurs<true>, decodeSmallOurs<false>, decodeSmallZlib, decodeSmallLibdeflate})
        if (decode() != bytes) state.SkipWithError("wrong output size");
    double lazy = 0, cleared = 0, zlib = 0, libdeflate = 0;
    for (auto _ : state) {
        const double t = smallSeconds(decodeSmallOurs<true>);
        cleared += smallSeconds(decodeSmallOurs<false>);
        zlib += smallSeconds(decodeSmallZlib);
        libdeflate += smallSeconds(decodeSmallLibdeflate);
        lazy += t;
        state.SetIterationTime(t);
    }
    const double mb = static_cast<double>(state.iterations()) * static_cast<double>(bytes) / 1e6;
    setRates(state, mb, lazy, zlib, libdeflate);
    state.counters["cleared_MBps"] = mb / cleared;
}

}  // namespace

BENCHMARK(BM_InflateSmallStreams)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate<decodeOurs>)->Name("Inflate/ours")->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate<decodeZlib>)->Name("Inflate/zlib")->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate<decodeLibdeflate>)
    ->Name("Inflate/libdeflate")
    ->Arg(1)
    ->Arg(6)
    ->Arg(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateSideBySide)->Arg(1)->Arg(6)->Arg(9)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
