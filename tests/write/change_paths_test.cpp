// Changing stored paths: the rewrite of one name, and runs of
// Ax4ChangeDirPaths that fail, are cancelled or change nothing, which leave
// the archive as it was. (Renamed archives as independent tools read them:
// change_paths_posix_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "change_paths_support.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "write/change_paths.h"
#include "zarlib32.h"

namespace {

using zar::test::readBytes;
using zar::test::changePaths::ChangePaths;
using zar::test::changePaths::sample;
namespace fsys = std::filesystem;

TEST(RewritePath, Names) {
    struct Case {
        const char* oldPath;
        const char* newPath;
        const char* name;
        const char* after;  // null: unchanged
    } cases[] = {
        {"OLD/", "NEW/SUB/", "OLD/A.TXT", "NEW/SUB/A.TXT"},
        {"OLD/", "NEW/SUB/", "OLDER/B.TXT", nullptr},
        {"OLD/", "NEW/SUB/", "X/OLD/F.TXT", nullptr},
        {"OLD/", "NEW/SUB/", "OLD/", "NEW/SUB/"},
        {"OLD/", "NEW/SUB/", "OLD/DEEP/C.TXT", "NEW/SUB/DEEP/C.TXT"},
        // Without a separator the old path is a file name in no directory:
        // every name begins with its (empty) directory.
        {"OLD", "NEW/", "A.TXT", "NEW/A.TXT"},
        {"OLD", "NEW/", "X/Y.TXT", "NEW/X/Y.TXT"},
        // Names compare as the file system does: exactly, or ignoring case
        // where it does (Windows).
        {"Docs/", "guides/", "Docs/a.txt", "guides/a.txt"},
        {"Docs/", "guides/", "DOCS/b.txt", zar::platform::namesIgnoreCase() ? "guides/b.txt" : nullptr},
        {"docs/", "", "docs/a.txt", "a.txt"},
        {"", "top/", "a.txt", "top/a.txt"},
        {"same/", "same/", "same/a.txt", nullptr},
        // Drives: an old path with one matches only names with it.
        {"C:/OLD/", "D:/NEW/", "C:/OLD/X", "D:/NEW/X"},
        {"C:/OLD/", "D:/NEW/", "OLD/X", nullptr},
        {"OLD/", "NEW/", "C:OLD/X", "C:NEW/X"},
        {"OLD\\", "NEW/", "OLD/X", nullptr},  // the run turns '\' into '/' before this
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        const bool changed = zar::write::rewritePath(c.oldPath, c.newPath, &name);
        EXPECT_EQ(changed, c.after != nullptr) << c.oldPath << " " << c.name;
        EXPECT_EQ(name, c.after ? c.after : c.name) << c.oldPath << " " << c.name;
    }
}

// Which file `path` is and when it was last written, as the system keeps them.
zar::platform::FileStamp stampOf(const std::string& path) {
    using namespace zar::platform;
    FileStamp stamp;
    const FileHandle file = openFile(path.c_str(), kAccessRead, kShareReadWrite, Disposition::OpenExisting, 0);
    EXPECT_NE(file, kInvalidFile) << path;
    EXPECT_TRUE(fileStamp(file, &stamp)) << path;
    closeFile(file);
    return stamp;
}

// A run that fails or is cancelled in place leaves the archive byte for byte
// and with its time; so does one that changes nothing, asked for a count.
TEST_F(ChangePaths, FailedCancelledAndIdleRunsLeaveTheArchiveAlone) {
    const std::string archive = make(sample());
    const std::vector<uint8_t> original = readBytes(archive);
    const zar::platform::FileStamp before = stampOf(archive);
    uint16_t changed = 7;

    const std::string longPrefix = std::string(250, 'p') + "/";  // 261 characters with "deep/b.txt"
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), "", "docs/", longPrefix.c_str(), 0, &changed), AX_TOO_LONG);
    EXPECT_EQ(changed, 0);

    Ax4Cancel();
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "new/", 0, &changed), AX_CANCELLED);

    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "nothing/", "new/", 0, &changed), 0);
    EXPECT_EQ(changed, 0);

    zar::platform::FileStamp after = stampOf(archive);
    EXPECT_TRUE(readBytes(archive) == original);
    EXPECT_EQ(after.index, before.index);
    EXPECT_EQ(after.modified, before.modified);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});

    // Without a count the archive is rewritten even then, as it always was.
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "nothing/", "new/", 0, nullptr), 0);
    after = stampOf(archive);
    EXPECT_NE(after.index, before.index);
    EXPECT_TRUE(readBytes(archive) == original);
}

}  // namespace
