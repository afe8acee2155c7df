// Path filters and directory creation where paths have no drives: a part
// ending in ':' is a directory, and a drive kept from a stored name is never
// made. POSIX only (on Windows ':' ends a drive).
#include <gtest/gtest.h>

#include <filesystem>

#include "common/scratch.h"
#include "extract/output_paths.h"
#include "output_paths_support.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using namespace zar;
using test::outputPaths::Filters;

// Where paths have no drives, a part ending in ':' is a directory, but for a
// from part that is a stored drive alone.
TEST_F(Filters, ColonsWherePathsHaveNoDrives) {
    if (platform::pathsHaveDrives()) GTEST_SKIP() << "':' ends a drive here";
    ASSERT_EQ(Ax4AddUnZipPathFilter("out:", "a:b"), 0);
    ASSERT_EQ(Ax4AddUnZipPathFilter("C:", "out:"), 0);
    EXPECT_EQ(extract::pathFilters(), "out:/|a:b/|C:|out:/");
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"out:/DATA/f.txt", "a:b/DATA/f.txt"},
        {"out:DATA/f.txt", "out:DATA/f.txt"},     // no directory "out:" here
        {"C:\\DATA\\f.txt", "out:/DATA\\f.txt"},  // inside "out:", one separator
        {"C:f.txt", "out:/f.txt"},
        {"D:\\f.txt", "D:\\f.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(applied(c.in), c.out) << c.in;
}

TEST(DirectoryTree, ADriveIsNeverMade) {
    test::Scratch s;
    std::filesystem::current_path(s.path());
    // A drive kept from a stored name is no directory to make; "C:\\dir"
    // then cannot be made either.
    EXPECT_EQ(extract::createDirectoryTree("C:\\dir\\f.txt", 2), kDirectoryFailed);
    EXPECT_FALSE(std::filesystem::exists(s / "C:"));
    if (!platform::pathsHaveDrives()) {
        // Elsewhere a ':' is part of a directory's name.
        for (const char* path : {"out:/f.txt", "a:/f.txt", "a:b/c:/f.txt"})
            EXPECT_EQ(extract::createDirectoryTree(path), kOk) << path;
        for (const char* made : {"out:", "a:", "a:b/c:"}) EXPECT_TRUE(std::filesystem::is_directory(s / made)) << made;
    }
    std::filesystem::current_path("/");
}

}  // namespace
