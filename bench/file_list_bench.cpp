// The file list of a zip run over generated trees of 5,000, 20,000 and 50,000
// files: the time per file must stay flat as the tree grows (no rescans of the
// index file, one hash chain per lookup). Two figures: the whole build (disk
// walk, selection, index) and the index alone; beside them, as the floor that
// no list builder can go below, a plain recursive walk that reads each
// entry's status and nothing else. "per_file" is process time
// (user and system) per file, which other processes on the machine do not
// disturb; "per_file_wall" is the wall-clock time per file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frame/options.h"
#include "fs/dir_walk.h"
#include "fs/file_list.h"

namespace {

namespace stdfs = std::filesystem;

// Generated trees, made once per size and removed when the program ends:
// 100 directories in two levels, the files spread evenly over them.
class Trees {
public:
    ~Trees() {
        std::error_code ec;
        if (!base_.empty()) stdfs::remove_all(base_, ec);
    }
    const std::string& tree(int files) {
        auto it = trees_.find(files);
        if (it != trees_.end()) return it->second;
        if (base_.empty()) {
            const char* tmp = getenv("TMPDIR");
            std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zarbench-XXXXXX";
            std::vector<char> name(pattern.begin(), pattern.end());
            name.push_back('\0');
            base_ = mkdtemp(name.data()) ? name.data() : "";
        }
        std::string root = base_ + "/tree" + std::to_string(files);
        for (int i = 0; i < files; ++i) {
            int dir = i % 100;
            std::string path = root + "/group" + std::to_string(dir / 10) + "/dir" + std::to_string(dir);
            if (i < 100) stdfs::create_directories(path);
            path += "/file-" + std::to_string(i) + ".dat";
            int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd >= 0) {
                (void)!::write(fd, "x", 1);
                ::close(fd);
            }
        }
        return trees_[files] = root;
    }

private:
    std::string base_;
    std::map<int, std::string> trees_;
};

Trees trees;

void perFile(benchmark::State& state, int files, std::chrono::steady_clock::duration wall) {
    state.counters["files"] = files;
    state.counters["per_file"] =
        benchmark::Counter(files, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    double seconds = std::chrono::duration<double>(wall).count();
    state.counters["per_file_wall"] = seconds / (static_cast<double>(state.iterations()) * files);
}

void BM_BuildFileList(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    std::string include = trees.tree(files) + "/*";
    zar::frame::OptionSet options;
    options.flags = zar::frame::kZipRecurse | zar::frame::kZipRelativePaths;
    zar::fs::FileList list;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (zar::fs::buildFileList(include.c_str(), nullptr, options, list) != zar::kOk) {
            state.SkipWithError("build failed");
            break;
        }
        // The 110 directories are entries as well, with -P.
        if (list.count() != files + 110) {
            state.SkipWithError("wrong count");
            break;
        }
        list.free();
    }
    perFile(state, files, std::chrono::steady_clock::now() - start);
}

void BM_IndexOnly(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i)
        names.push_back("group" + std::to_string(i % 10) + "/dir" + std::to_string(i % 100) + "/file-" +
                        std::to_string(i) + ".dat");
    zar::fs::FileList list;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (list.open() != zar::kOk) {
            state.SkipWithError("open failed");
            break;
        }
        for (const std::string& name : names) {
            std::string path = "/data/" + name;
            if (list.add(path.c_str(), name.c_str(), 0x20, 0, 1, 0) != zar::kOk) {
                state.SkipWithError("add failed");
                break;
            }
        }
        list.free();
    }
    perFile(state, files, std::chrono::steady_clock::now() - start);
}

void BM_PlainWalk(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const std::string& root = trees.tree(files);
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        int seen = 0;
        for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
            benchmark::DoNotOptimize(entry.status());
            benchmark::DoNotOptimize(entry.last_write_time());
            ++seen;
        }
        if (seen != files + 110) {
            state.SkipWithError("wrong count");
            break;
        }
    }
    perFile(state, files, std::chrono::steady_clock::now() - start);
}

}  // namespace

BENCHMARK(BM_PlainWalk)->Arg(5000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildFileList)->Arg(5000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOnly)->Arg(5000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
