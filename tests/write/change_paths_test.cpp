// Changing stored paths: the rewrite of one name, and Ax4ChangeDirPaths to a
// new archive and in long-name mode; runs that fail, are cancelled or change
// nothing leave every file as it was. (Renames in place as independent tools
// read them: change_paths_posix_test.cpp.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/extra_field.h"
#include "change_paths_support.h"
#ifndef _WIN32  // the independent tools check the archives where they run
#include "common/run.h"
#endif
#include "common/scratch.h"
#include "common/short_names.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "write/change_paths.h"
#include "zarlib32.h"

namespace {

using zar::test::entry;
using zar::test::readBytes;
using zar::test::shortForm;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
using zar::test::changePaths::ChangePaths;
using zar::test::changePaths::dataOf;
using zar::test::changePaths::Listed;
using zar::test::changePaths::listOf;
#ifndef _WIN32
using zar::test::rejections;
#endif
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

// To a new archive: the old one is not touched, a file of the new name is
// replaced only by a run that succeeded, and a run that fails leaves no
// file behind.
TEST_F(ChangePaths, ToANewArchive) {
    const std::string archive = make(sample());
    const std::vector<uint8_t> original = readBytes(archive);
    const std::string target = s / "renamed.zip";
    zar::test::writeText(target, "a file that was there before");
    uint16_t changed = 0;
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), target.c_str(), "", "all/", 1, &changed), 0);
    EXPECT_EQ(changed, 6);
    EXPECT_TRUE(readBytes(archive) == original);
    EXPECT_EQ(listOf(target)[5].name, "all/top.txt");
#ifndef _WIN32  // every independent tool accepts it, where they run; and a new
                // archive is as readable as any new file, not private as the
                // temporary file it was made in
    EXPECT_EQ(rejections(target), "");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u) << "a new archive is as readable as any new file";
#endif

    // The archive's own name, spelled another way, is in place.
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s.path() + "/./a.zip").c_str(), "", "x/", 0, &changed), 0);
    // Without long names the new directory takes the short form.
    EXPECT_EQ(listOf(archive)[5].name, shortForm("x/") + "top.txt");

    // An output that cannot be made, and a name too long: nothing is written.
    const std::vector<uint8_t> renamed = readBytes(target);
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s / "no/such/dir.zip").c_str(), "", "y/", 0, &changed),
              AX_WRITE_FAILED);
    EXPECT_FALSE(fsys::exists(s / "no"));
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), target.c_str(), "", std::string(250, 'L').append("/").c_str(), 0,
                                &changed),
              AX_TOO_LONG);
    EXPECT_EQ(changed, 0);
    EXPECT_TRUE(readBytes(target) == renamed);
    std::vector<std::string> files;
    for (const auto& e : fsys::directory_iterator(s.path())) files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.zip", "renamed.zip", "tmp"}));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// In long-name mode an entry is known by the name of its long-name block:
// renamed, it is stored under its whole new name and the block goes.
TEST_F(ChangePaths, LongNames) {
    ZipArchive a;
    ZipEntry e = entry("DOCS/LONGNA~1.TXT", "long");
    const std::vector<uint8_t> block = zar::archive::longNameBlock("docs/long name.txt");
    e.extra.assign(block.begin(), block.end());
    a.entries = {e, entry("docs/plain.txt", "plain")};
    const std::string archive = make(a);
    uint16_t changed;
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s / "short.zip").c_str(), "docs/", "new/", 0, &changed), 0);
    // Without long names only the stored names count: "DOCS/" is "docs/" only
    // where names ignore case.
    EXPECT_EQ(changed, zar::platform::namesIgnoreCase() ? 2 : 1);
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "new/", 1, &changed), 0);
    EXPECT_EQ(changed, 2);
    const std::vector<Listed> after = listOf(archive);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].name, "new/long name.txt");
    EXPECT_EQ(after[0].extra, "");
    EXPECT_EQ(after[1].name, "new/plain.txt");
    EXPECT_EQ(dataOf(archive, "new/long name.txt"), "long");
#ifndef _WIN32  // and every independent tool accepts it, where they run
    EXPECT_EQ(rejections(archive), "");
#endif
}

}  // namespace
