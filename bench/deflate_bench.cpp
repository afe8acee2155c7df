// Deflate compression on the corpus: our compressor at its four chain limits
// (dynamic blocks, input and output in pieces of 65520 bytes as the entry
// writer passes them) side by side with zlib levels 1, 6 and 9 (raw Deflate)
// and libdeflate levels 1, 6 and 9. Each run reports MB/s and the compressed
// size in percent of the input; a closing table gives every speed as a ratio
// to zlib level 6 and libdeflate level 6. Speeds are per CPU second, which a
// shared machine disturbs less than wall time. Run, for example:
//   ZARLIB_BENCH_CORPUS=<corpus dir> deflate_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "codec/deflate.h"
#include "corpus.h"

namespace {

using zar::bench::corpus;

void report(benchmark::State& state, size_t compressed) {
    const auto& in = corpus();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["size%"] = 100.0 * static_cast<double>(compressed) / static_cast<double>(in.size());
}

size_t zarDeflate(const std::vector<uint8_t>& in, uint16_t limit, bool dynamic, std::vector<uint8_t>& work,
                  std::vector<uint8_t>& out) {
    using namespace zar::codec;
    zar::codec::DeflateBuffers buffers{work.data(), work.data() + kDeflateMainSize,
                                       work.data() + kDeflateMainSize + kDeflateChainSize};
    initDeflate(buffers);
    constexpr uint32_t kPiece = 65520;
    size_t pos = 0, total = 0;
    for (;;) {
        uint32_t take = static_cast<uint32_t>(std::min<size_t>(kPiece, in.size() - pos));
        DeflateIo io{in.data() + pos, take, out.data(), kPiece};
        DeflateStatus status = runDeflate(buffers, limit, dynamic, pos + take == in.size(), io);
        pos += io.inputCount;
        total += io.outputCount;
        benchmark::DoNotOptimize(out.data());
        if (status == DeflateStatus::kDone) return total;
    }
}

void BM_Zar(benchmark::State& state, bool dynamic) {
    const auto& in = corpus();
    std::vector<uint8_t> work(zar::codec::kDeflateMainSize + zar::codec::kDeflateChainSize +
                              zar::codec::kDeflateTokenSize);
    std::vector<uint8_t> out(65520);
    size_t size = 0;
    for (auto _ : state) size = zarDeflate(in, static_cast<uint16_t>(state.range(0)), dynamic, work, out);
    report(state, size);
}

void BM_ZarDynamic(benchmark::State& state) { BM_Zar(state, true); }
void BM_ZarFixed(benchmark::State& state) { BM_Zar(state, false); }

void BM_Zlib(benchmark::State& state) {
    const auto& in = corpus();
    std::vector<uint8_t> out(deflateBound(nullptr, static_cast<uLong>(in.size())) + 1024);
    size_t size = 0;
    for (auto _ : state) {
        z_stream z{};
        deflateInit2(&z, static_cast<int>(state.range(0)), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        z.next_in = const_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib did not finish");
        size = z.total_out;
        deflateEnd(&z);
    }
    report(state, size);
}

void BM_Libdeflate(benchmark::State& state) {
    const auto& in = corpus();
    libdeflate_compressor* c = libdeflate_alloc_compressor(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, in.size()));
    size_t size = 0;
    for (auto _ : state) {
        size = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
        if (size == 0) state.SkipWithError("libdeflate did not finish");
    }
    libdeflate_free_compressor(c);
    report(state, size);
}

BENCHMARK(BM_ZarDynamic)->Arg(8)->Arg(25)->Arg(55)->Arg(505)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZarFixed)->Arg(55)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libdeflate)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

// Console output plus a closing table of speed ratios to the two level-6 peers.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            if (r.error_occurred || (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")) continue;
            auto it = r.counters.find("bytes_per_second");
            auto size = r.counters.find("size%");
            if (it == r.counters.end()) continue;
            std::string name = r.run_name.function_name + "/" + r.run_name.args;
            results_[name] = {it->second.value / 1e6, size == r.counters.end() ? 0.0 : size->second.value};
            order_.push_back(name);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto ref = [&](const char* name) { return results_.count(name) ? results_[name].first : 0.0; };
        double zlib6 = ref("BM_Zlib/6"), libdeflate6 = ref("BM_Libdeflate/6");
        std::printf("\n%-22s %9s %8s %12s %18s\n", "compressor", "MB/s", "size%", "x zlib -6", "x libdeflate -6");
        std::map<std::string, bool> seen;
        for (const auto& name : order_) {
            if (seen[name]) continue;
            seen[name] = true;
            auto [mbs, size] = results_[name];
            std::printf("%-22s %9.1f %8.2f %12.2f %18.2f\n", name.c_str(), mbs, size, zlib6 > 0 ? mbs / zlib6 : 0.0,
                        libdeflate6 > 0 ? mbs / libdeflate6 : 0.0);
        }
    }

private:
    std::map<std::string, std::pair<double, double>> results_;
    std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("corpus: %zu bytes\n", corpus().size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
