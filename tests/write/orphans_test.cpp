// A writing run killed outright (SIGKILL) leaves nothing behind: the archive
// is byte for byte what it was, and neither its directory nor the temporary
// directory holds a file of the run's. A child process adds a few thousand
// files to an archive that exists, reporting its progress through a pipe; it
// is killed at chosen moments, from the walk of the disk to the last entry
// written, and at random times while it finishes and commits. Where anonymous
// files are refused (the fallback to named ones), a killed run does leave its
// files: the check sees them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/scratch.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using zar::test::readBytes;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::writeBytes;
using zar::test::writeText;
namespace fsys = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDirectories = 20;
constexpr int kFilesPerDirectory = 100;  // 2000 files
constexpr size_t kFileSize = 3000;

// The child's end of the progress pipe.
int progressPipe = -1;

int16_t AXAPI reportProgress(StatusRecord record) {
    int16_t kind = record.kind;
    if (kind == AX_STATUS_PROGRESS) {
        [[maybe_unused]] ssize_t n = ::write(progressPipe, "p", 1);
    }
    return 1;
}

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> out;
    for (auto& entry : fsys::directory_iterator(directory)) out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> temporaryNames(const std::string& directory) {
    std::vector<std::string> out;
    for (const std::string& name : namesIn(directory))
        if (name.rfind("AZR", 0) == 0) out.push_back(name);
    return out;
}

// A run in a child process, its progress reports readable one byte each.
struct Child {
    pid_t pid = -1;
    int reports = -1;
    Clock::time_point started;

    // Reads `count` more reports; false when the child ended first.
    bool await(int count) {
        char buffer[256];
        while (count > 0) {
            ssize_t n = ::read(reports, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(count)));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            count -= static_cast<int>(n);
        }
        return true;
    }
    // Reads every report up to the child's end: how many there were, and
    // in `*finishing` how long the child lived on after the last.
    int drain(Clock::duration* finishing = nullptr) {
        int total = 0;
        char buffer[4096];
        Clock::time_point last = Clock::now();
        for (;;) {
            ssize_t n = ::read(reports, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            total += static_cast<int>(n);
            last = Clock::now();
        }
        if (finishing != nullptr) *finishing = Clock::now() - last;
        return total;
    }
    // Waits for the child's end: its wait status.
    int reap() {
        ::close(reports);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    }
};

// The tree, the archive and a calibration run are made once for all tests:
// each test finds the archive as it was before any run.
class KilledRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s = new Scratch;
        tmpdir = new ScopedEnv("TMPDIR", (*s / "tmp").c_str());
        work = *s / "work";
        archive = work + "/a.zip";
        src = *s / "src";
        tmp = *s / "tmp";
        makeTree();
        if (!::testing::Test::HasFatalFailure()) calibrate();
        ready = !::testing::Test::HasFailure();
    }
    static void TearDownTestSuite() {
        delete tmpdir;
        delete s;
    }
    void SetUp() override {
        ASSERT_TRUE(ready) << "the suite's set-up failed";
        writeBytes(archive, before);
    }

    static void makeTree() {
        fsys::create_directories(tmp);
        fsys::create_directories(work);
        // Files that compress a little, each a little different.
        uint32_t x = 2463534242u;
        std::string bytes(kFileSize, '\0');
        for (int d = 0; d < kDirectories; ++d) {
            fsys::create_directories(src + "/d" + std::to_string(d));
            for (int f = 0; f < kFilesPerDirectory; ++f) {
                for (size_t i = 0; i < bytes.size(); ++i) {
                    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
                    bytes[i] = i % 4 == 0 ? static_cast<char>('a' + x % 16) : "the data "[i % 9];
                }
                writeText(src + "/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt", bytes);
            }
        }
        // The archive exists before the run, with an entry of its own.
        writeText(*s / "first.txt", "the archive's first entry\n");
        AxHandle h;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_CREATE, &h), 0);
        ASSERT_EQ(Ax4Zip(&h, (*s / "first.txt").c_str(), nullptr, ""), 0);
        Ax4ZipClose(&h);
        before = readBytes(archive);
        ASSERT_FALSE(before.empty());
        ASSERT_EQ(namesIn(work), std::vector<std::string>{"a.zip"});
    }

    // Starts the run: every file of the tree added to the archive. With
    // `refused`, the child makes named temporary files, as on a volume
    // without anonymous ones.
    static Child start(bool refused) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        Child child;
        child.started = Clock::now();
        child.pid = ::fork();
        if (child.pid == 0) {
            ::close(fds[0]);
            ::signal(SIGPIPE, SIG_IGN);
            progressPipe = fds[1];
            zar::platform::refuseAnonymousFiles(refused);
            Ax4SetCPrint(1);
            Ax4CPrintHook(reportProgress);
            AxHandle h;
            int16_t r = Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &h);
            if (r == 0) r = Ax4Zip(&h, (src + "/*.*").c_str(), nullptr, "-R -P -ED0");
            Ax4ZipClose(&h);
            ::_exit(r == 0 ? 0 : 1);
        }
        ::close(fds[1]);
        child.reports = fds[0];
        return child;
    }

    // One run to its end: how many reports it makes, how long its walk of
    // the disk takes (up to the first report) and how long it goes on after
    // the last; the archive it leaves.
    static void calibrate() {
        Child child = start(false);
        ASSERT_TRUE(child.await(1));
        walkTime = Clock::now() - child.started;
        reports = 1 + child.drain(&finishTime);
        const int status = child.reap();
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        after = readBytes(archive);
        ASSERT_NE(after, before);
        EXPECT_EQ(namesIn(work), std::vector<std::string>{"a.zip"});
        EXPECT_EQ(namesIn(tmp), std::vector<std::string>{});
        // At least one report per file, so a kill halfway through the
        // reports leaves much of the run to go.
        ASSERT_GE(reports, kDirectories * kFilesPerDirectory);
    }

    // Kills the run `delay` after its `count`th report (after its start for
    // 0); the child's wait status.
    static int killAfter(Child& child, int count, Clock::duration delay = {}) {
        if (count > 0) {
            EXPECT_TRUE(child.await(count)) << "the run ended before report " << count;
            std::this_thread::sleep_for(delay);
        } else {
            std::this_thread::sleep_until(child.started + delay);
        }
        EXPECT_EQ(::kill(child.pid, SIGKILL), 0);
        return child.reap();
    }

    static inline Scratch* s = nullptr;
    static inline ScopedEnv* tmpdir = nullptr;
    static inline std::string work, archive, src, tmp;
    static inline std::vector<uint8_t> before, after;
    static inline int reports = 0;
    static inline Clock::duration walkTime{}, finishTime{};
    static inline bool ready = false;
};

TEST_F(KilledRun, LeavesTheArchiveAsItWasAndNothingElse) {
    // Kill moments in reports: fixed ones, and a few drawn at random (the
    // seed is printed with any failure). All lie within the first half, so
    // that the run is still far from its commit when the kill arrives.
    const unsigned seed = std::random_device{}();
    std::mt19937 draw(seed);
    std::vector<int> moments = {0, 1, 2, reports / 16, reports / 4, reports / 2};
    for (int i = 0; i < 3; ++i) moments.push_back(std::uniform_int_distribution<int>(1, reports / 2)(draw));
    const auto walk = std::chrono::duration_cast<std::chrono::microseconds>(walkTime).count();
    for (int moment : moments) {
        // Moment 0: during the walk of the disk, at a random time in it.
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<long>(0, walk)(draw));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " + std::to_string(moment) + " of " +
                     std::to_string(reports) + " reports" +
                     (moment == 0 ? ", " + std::to_string(delay.count()) + " us" : std::string()));
        Child child = start(false);
        const int status = killAfter(child, moment, delay);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_TRUE(readBytes(archive) == before);
        EXPECT_EQ(namesIn(work), std::vector<std::string>{"a.zip"});
        EXPECT_EQ(namesIn(tmp), std::vector<std::string>{});
    }
}

// Killed after its last report, the run is finishing: writing the directory,
// flushing, committing. The archive is then the old one or the new one whole,
// and there is nothing else, with one exception that no system call closes:
// killed between the naming of the new archive and its rename over the old
// one (two calls apart, some ten microseconds), the run leaves the new archive
// complete under its temporary name beside the old one. The kills fall at
// random times over that stretch, as long as the calibration run took for it
// and a little longer.
TEST_F(KilledRun, WhileCommittingTheArchiveIsOldOrNew) {
    const unsigned seed = std::random_device{}();
    std::mt19937 draw(seed);
    const auto finishing = std::chrono::duration_cast<std::chrono::microseconds>(finishTime).count();
    for (int i = 0; i < 3; ++i) {
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<long>(0, finishing * 5 / 4)(draw));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", killed " + std::to_string(delay.count()) +
                     " us after the last report");
        Child child = start(false);
        killAfter(child, reports, delay);
        const std::vector<uint8_t> now = readBytes(archive);
        EXPECT_TRUE(now == before || now == after);
        const std::vector<std::string> named = temporaryNames(work);
        EXPECT_LE(named.size(), 1u);
        for (const std::string& name : named) {  // killed between the naming and the rename
            EXPECT_TRUE(now == before);
            EXPECT_TRUE(readBytes(work + "/" + name) == after) << name;
            fsys::remove(work + "/" + name);
        }
        EXPECT_EQ(namesIn(work), std::vector<std::string>{"a.zip"});
        EXPECT_EQ(namesIn(tmp), std::vector<std::string>{});
        writeBytes(archive, before);
    }
}

// Where anonymous files are refused, a run makes named, registered files; it
// still leaves nothing when it ends by itself, and writes the same archive.
// Killed, it leaves them: the data file beside the archive, its directory
// file and file list in the temporary directory.
TEST_F(KilledRun, NamedFilesAreLeftWhereAnonymousOnesAreRefused) {
    Child child = start(true);
    child.drain();
    const int status = child.reap();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(readBytes(archive) == after);
    EXPECT_EQ(namesIn(work), std::vector<std::string>{"a.zip"});
    EXPECT_EQ(namesIn(tmp), std::vector<std::string>{});
    writeBytes(archive, before);

    child = start(true);
    killAfter(child, reports / 4);
    EXPECT_TRUE(readBytes(archive) == before);
    EXPECT_EQ(temporaryNames(work).size(), 1u);
    EXPECT_EQ(temporaryNames(tmp).size(), 2u);
    for (const std::string& directory : {work, tmp})
        for (const std::string& name : temporaryNames(directory)) fsys::remove(directory + "/" + name);
}

}  // namespace
