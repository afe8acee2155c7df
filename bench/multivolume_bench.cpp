// Writing a set over several volumes against writing one archive of the same
// tree: a 100 MB tree (25 files of 4 MB, slices of the benchmark corpus)
// written as the numbered kind with 10 MB volumes, and as one ordinary
// archive, at the same level, in the same temporary directory. The ratio of
// the two is the figure: the set should cost no more than the archive plus
// its volume changes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corpus.h"
#include "zarlib32.h"

namespace {

namespace stdfs = std::filesystem;

constexpr size_t kFiles = 25, kFileSize = 4 << 20;
constexpr uint32_t kVolumeSize = 10u << 20;

struct Tree {
    std::string base, tree;
    Tree() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zarbench-mv-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        base = mkdtemp(name.data()) ? name.data() : "";
        tree = base + "/tree";
        stdfs::create_directories(tree);
        const std::vector<uint8_t>& corpus = zar::bench::corpus();
        for (size_t i = 0; i < kFiles; ++i) {
            std::ofstream out(tree + "/f" + std::to_string(i) + ".bin", std::ios::binary);
            for (size_t done = 0; done < kFileSize;) {
                const size_t from = (i * 7919 * 4096 + done) % corpus.size();
                const size_t n = std::min(kFileSize - done, corpus.size() - from);
                out.write(reinterpret_cast<const char*>(corpus.data() + from), static_cast<std::streamsize>(n));
                done += n;
            }
        }
    }
    ~Tree() {
        std::error_code ec;
        stdfs::remove_all(base, ec);
    }
    void clearOutputs() const {
        for (const auto& item : stdfs::directory_iterator(base))
            if (item.path().filename() != "tree") stdfs::remove(item.path());
    }
};

const Tree& tree() {
    static Tree t;
    return t;
}

void BM_OneArchive(benchmark::State& state) {
    const Tree& t = tree();
    for (auto _ : state) {
        t.clearOutputs();
        if (Ax4QZip((t.base + "/one.zip").c_str(), (t.tree + "/*.*").c_str(), "-ED2") != 0)
            state.SkipWithError("zip failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFiles * kFileSize));
}

void BM_NumberedSet(benchmark::State& state) {
    const Tree& t = tree();
    for (auto _ : state) {
        t.clearOutputs();
        AxHandle h = AX_NO_ARCHIVE;
        if (Ax4ZipCreateMV((t.base + "/set").c_str(), AX_KIND_OWN_MULTI_VOLUME, kVolumeSize, kVolumeSize, &h) != 0 ||
            Ax4Zip(&h, (t.tree + "/*.*").c_str(), nullptr, "-ED2") != 0)
            state.SkipWithError("set failed");
        Ax4ZipClose(&h);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFiles * kFileSize));
}

BENCHMARK(BM_OneArchive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NumberedSet)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
