// Archives inside the classic limits come out byte for byte as they always
// have: each case builds a fixed tree (fixed contents, times and modes) into
// an archive and compares it with the archive stored under
// tests/data/stable/. Setting ZARLIB_WRITE_STABLE to a folder writes the
// archives there instead, which is how the stored ones were made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::readBytes;
using zar::test::Scratch;
using zar::test::ScopedEnv;
namespace fsys = std::filesystem;

// 2021-03-04 05:06:08 UTC, and the same day an hour later.
constexpr time_t kWhen = 1614834368;

void makeFile(const std::string& path, const std::string& text, mode_t mode, time_t when) {
    fsys::create_directories(fsys::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), mode);
    const struct utimbuf times{when, when};
    ::utime(path.c_str(), &times);
}

std::string prose(int lines) {
    std::string out;
    for (int i = 0; i < lines; ++i)
        out += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog " +
               std::to_string(i * 7919 % 1000) + "\n";
    return out;
}

// The fixed tree: text that deflates, bytes that do not, an empty file and
// an executable.
void makeTree(const std::string& root) {
    makeFile(root + "/readme.txt", prose(200), 0644, kWhen);
    std::string noise;
    uint32_t x = 0x2545F491u;
    for (int i = 0; i < 5000; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        noise += static_cast<char>(x);
    }
    makeFile(root + "/data/noise.bin", noise, 0600, kWhen + 3600);
    makeFile(root + "/data/empty", "", 0644, kWhen);
    makeFile(root + "/tools/run.sh", "#!/bin/sh\necho hello\n", 0755, kWhen + 60);
}

// The files in the order they are added: one run each, so that the order of
// the entries does not hang on the order a file system lists a directory.
const char* const kFiles[] = {"readme.txt", "data/noise.bin", "data/empty", "tools/run.sh"};

struct Case {
    const char* name;
    // Runs on the archive `path` from inside the tree; 0 when all went well.
    int (*build)(const std::string& path);
};

int addEach(const std::string& path, const char* (*options)(int)) {
    for (int i = 0; i < 4; ++i)
        if (int r = Ax4QZip(path.c_str(), kFiles[i], options(i)); r != 0) return r;
    return 0;
}

int defaultLevel(const std::string& path) {
    return addEach(path, [](int) { return "-P"; });
}

int everyLevel(const std::string& path) {
    return addEach(path, [](int i) {
        static const char* const kLevels[] = {"-P -ET", "-P -ED0", "-P -ED1", "-P -ED3"};
        return kLevels[i];
    });
}

int updatedAndCommented(const std::string& path) {
    int r = addEach(path, [](int) { return "-P -ED2"; });
    if (r == 0) r = Ax4QZip(path.c_str(), "*.bin", "-D");
    if (r != 0) return r;
    AxHandle h = AX_NO_ARCHIVE;
    if ((r = Ax4ZipOpen(path.c_str(), AX_OPEN_UPDATE, &h)) != 0) return r;
    r = Ax4ZipNewComment(h, "an archive comment");
    Ax4ZipClose(&h);
    return r;
}

const Case kCases[] = {
    {"default-level.zip", defaultLevel},
    {"every-level.zip", everyLevel},
    {"updated-commented.zip", updatedAndCommented},
};

TEST(StableBytes, ArchivesInsideTheLimitsAreWrittenAsBefore) {
    ScopedEnv zone("TZ", "UTC0");
    tzset();
    const char* writeTo = std::getenv("ZARLIB_WRITE_STABLE");
    const char* data = std::getenv("ZARLIB_TEST_DATA");
    ASSERT_TRUE(writeTo != nullptr || data != nullptr);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Scratch dir;
        makeTree(dir / "tree");
        const std::string archive = dir / c.name;
        const fsys::path before = fsys::current_path();
        fsys::current_path(dir / "tree");
        const int result = c.build(archive);
        fsys::current_path(before);
        ASSERT_EQ(result, 0);
        if (writeTo != nullptr) {
            fsys::copy_file(archive, std::string(writeTo) + "/" + c.name, fsys::copy_options::overwrite_existing);
            continue;
        }
        EXPECT_EQ(readBytes(archive), readBytes(std::string(data) + "/stable/" + c.name));
    }
}

}  // namespace
