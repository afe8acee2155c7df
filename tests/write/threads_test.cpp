// Writing runs on several threads: with files compressed ahead on worker
// threads, a run writes the same archive, byte for byte, and makes the same
// reports to the host, in the same order and all on the host's thread, as a
// run on one thread; a cancel ends it with the archive as it was, no
// temporary file and no worker left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/scratch.h"
#include "write/compress_ahead.h"
#include "zarlib32.h"

namespace {

using zar::test::readBytes;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::writeText;
namespace fsys = std::filesystem;

// What the hook was told, and on which thread.
struct Report {
    int16_t kind, operation, code;
    std::string entry;
    uint32_t total, done, packed;
    uint16_t method;
    bool onHostThread;
    bool operator==(const Report&) const = default;
};

std::vector<Report> reports;
std::thread::id hostThread;
int cancelAtProgress = 0;  // 0: never; n: Ax4Cancel at the n-th progress report

int16_t AXAPI recordReport(StatusRecord record) {
    reports.push_back({record.kind, record.operation, record.code, record.entryName, record.totalBytes,
                       record.doneBytes, record.packedBytes, record.method,
                       std::this_thread::get_id() == hostThread});
    if (record.kind == AX_STATUS_PROGRESS && cancelAtProgress != 0 && --cancelAtProgress == 0) Ax4Cancel();
    return 1;
}

// Deterministic bytes: text-like when `text`, otherwise noise that does not
// deflate (those files are stored after a given-up attempt).
std::string bytesOf(size_t size, uint32_t seed, bool text) {
    std::string out(size, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = text ? "the quick brown fox jumps\n"[(x >> 16) % 26] : static_cast<char>(x >> 24);
    }
    return out;
}

// The number of threads of this process, where the system tells it.
int threadCount() {
#ifdef __linux__
    int n = 0;
    for ([[maybe_unused]] auto& task : fsys::directory_iterator("/proc/self/task")) ++n;
    return n;
#else
    return 0;
#endif
}

class WritingThreads : public ::testing::Test {
protected:
    void SetUp() override {
        hostThread = std::this_thread::get_id();
        reports.clear();
        cancelAtProgress = 0;
        fsys::create_directories(s / "tmp");
        src = s / "src";
        // Files of every path through the writer: empty, below the stored
        // minimum, one piece, several pieces, noise that is stored after all,
        // directories, and one file too large to be compressed ahead.
        for (int d = 0; d < 6; ++d) {
            const std::string dir = src + "/dir" + std::to_string(d);
            fsys::create_directories(dir + "/empty");
            for (int f = 0; f < 40; ++f) {
                const uint32_t seed = static_cast<uint32_t>(d * 100 + f);
                const size_t size = f % 10 == 0 ? f % 3 : (seed * 7919u) % (f % 4 == 0 ? 400000 : 9000);
                writeText(dir + "/f" + std::to_string(f) + ".txt", bytesOf(size, seed, f % 5 != 1));
            }
        }
        writeText(src + "/big.txt",
                  bytesOf(static_cast<size_t>(zar::write::CompressAhead::kLargestTaken) + 1, 7, true));
    }

    // The result of a zip run of the whole tree into `archive` on `threads`
    // threads, with the reports recorded.
    int16_t zipTree(const std::string& archive, const char* threads, const char* options) {
        ScopedEnv setting("ZARLIB_THREADS", threads);
        reports.clear();
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), 0, &h);
        if (r != 0) return r;
        Ax4SetCPrint(1);
        Ax4CPrintHook(recordReport);
        r = Ax4Zip(&h, (src + "/*.*").c_str(), nullptr, options);
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        Ax4ZipClose(&h);
        return r;
    }

    bool noTemporaryFiles() const { return zar::test::noTemporaryFiles({s / "tmp", s.path()}); }

    Scratch s;
    zar::test::ScopedTempDirectory tmp{s / "tmp"};
    std::string src;
};

TEST_F(WritingThreads, OneAndSeveralThreadsWriteTheSameArchiveAndReports) {
    for (const char* options : {"-R -P", "-R -P -ED3 -ET", "-R -P -ED0"}) {
        SCOPED_TRACE(options);
        const std::string one = s / "one.zip", several = s / "several.zip";
        fsys::remove(one);
        fsys::remove(several);
        ASSERT_EQ(zipTree(one, "1", options), 0);
        const std::vector<Report> reportsOfOne = reports;
        ASSERT_EQ(zipTree(several, "4", options), 0);
        EXPECT_EQ(readBytes(one), readBytes(several));
        ASSERT_EQ(reports.size(), reportsOfOne.size());
        for (size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i], reportsOfOne[i]) << "report " << i << " of " << reports[i].entry;
            EXPECT_TRUE(reports[i].onHostThread) << "report " << i;
        }
    }
    EXPECT_TRUE(noTemporaryFiles());
}

// An update of an archive, and a new archive whose files go to the workers
// while they are listed: cancelled at the same report on one thread and on
// several, both end alike.
TEST_F(WritingThreads, ACancelMidwayLeavesNothingBehind) {
    writeText(s / "first.txt", "first\n");
    // Among the small files, far enough in that the workers are busy with
    // the files ahead.
    fsys::remove(src + "/big.txt");
    constexpr int kCancelAt = 60;
    const int threadsBefore = threadCount();
    for (const bool update : {true, false}) {
        SCOPED_TRACE(update ? "update" : "new archive");
        const std::string archive = s / (update ? "update.zip" : "new.zip");
        if (update) {
            AxHandle h;
            ASSERT_EQ(Ax4ZipOpen(archive.c_str(), 0, &h), 0);
            ASSERT_EQ(Ax4Zip(&h, (s / "first.txt").c_str(), nullptr, ""), 0);
            Ax4ZipClose(&h);
        }
        const bool existed = fsys::exists(archive);
        const auto before = readBytes(archive);
        std::vector<Report> reportsOfOne;
        for (const char* threads : {"1", "4"}) {
            SCOPED_TRACE(threads);
            cancelAtProgress = kCancelAt;
            EXPECT_EQ(zipTree(archive, threads, "-R -P"), -4);
            EXPECT_EQ(fsys::exists(archive), existed);
            EXPECT_EQ(readBytes(archive), before);
            EXPECT_TRUE(noTemporaryFiles());
            EXPECT_EQ(threadCount(), threadsBefore);
            // The cancel is answered at once: the entry's closing report is the last.
            EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                                    [](const Report& r) { return r.kind == AX_STATUS_PROGRESS; }),
                      kCancelAt + 1);
            if (reportsOfOne.empty()) reportsOfOne = reports;
            else EXPECT_EQ(reports, reportsOfOne);
        }
        // The flag did not outlive the run.
        EXPECT_EQ(zipTree(archive, "4", "-R -P"), 0);
    }
}

TEST(WritingThreadsSetting, TheEnvironmentSetsTheThreads) {
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const struct {
        const char* value;
        unsigned threads;
    } cases[] = {{"1", 1}, {"3", 3}, {"64", 64}, {"0", processors}, {"65", processors},
                 {"2x", processors}, {"", processors}, {"-1", processors}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ScopedEnv setting("ZARLIB_THREADS", c.value);
        EXPECT_EQ(zar::write::writingThreads(), std::min(c.threads, 64u));
    }
}

}  // namespace
