// Path filters and directory creation. (Names with ':' where paths have no
// drives: output_paths_posix_test.cpp.)
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

TEST_F(Filters, StoredFormAndMissingArguments) {
    EXPECT_EQ(Ax4AddUnZipPathFilter(nullptr, ""), AX_MISSING_ARGUMENT);
    EXPECT_TRUE(extract::pathFilters().empty());
    EXPECT_EQ(Ax4AddUnZipPathFilter("C:", "D:"), 0);
    EXPECT_EQ(Ax4AddUnZipPathFilter("\\data", "/new\\"), 0);
    EXPECT_EQ(Ax4AddUnZipPathFilter(nullptr, "x"), 0);
    // The to part is a path of this machine: "D:" a drive where paths have
    // drives, else a directory.
    const std::string to = platform::pathsHaveDrives() ? "D:" : "D:/";
    EXPECT_EQ(extract::pathFilters(), "C:|" + to + "|\\data/|/new\\||x/");
}

TEST_F(Filters, FirstMatchingPairIsApplied) {
    const bool drives = platform::pathsHaveDrives();
    ASSERT_EQ(Ax4AddUnZipPathFilter("C:", "D:"), 0);
    ASSERT_EQ(Ax4AddUnZipPathFilter("\\DATA\\", "\\moved\\"), 0);
    ASSERT_EQ(Ax4AddUnZipPathFilter("\\DATA\\", "\\second\\"), 0);
    ASSERT_EQ(Ax4AddUnZipPathFilter("\\plain", "\\other"), 0);
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"c:\\dir\\sub\\f.txt", drives ? "D:\\dir\\sub\\f.txt" : "D:/dir\\sub\\f.txt"},  // the drive compares ignoring case
        {"\\DATA\\SUB\\f.txt", "\\moved\\SUB\\f.txt"},        // the first of two matching pairs
        {"E:\\DATA\\f.txt", "E:\\moved\\f.txt"},              // no from-drive: the drive stays
        {"\\DATABASE\\f.txt", "\\DATABASE\\f.txt"},            // a prefix ends at a separator
        {"\\data\\f.txt", "\\data\\f.txt"},                    // directories compare exactly
        {"\\plain\\f.txt", "\\other/f.txt"},                   // from got '/', the path uses '\': the same
        {"\\plain/f.txt", "\\other/f.txt"},
        {"/DATA/SUB/f.txt", "\\moved\\SUB/f.txt"},            // from uses '\', the path '/'
        {"/DATABASE/f.txt", "/DATABASE/f.txt"},
        {"f.txt", "f.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(applied(c.in), c.out) << c.in;
}

TEST_F(Filters, UncDrivesMatchWithEitherSeparator) {
    ASSERT_EQ(Ax4AddUnZipPathFilter("\\\\server\\share\\", "/local/"), 0);
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"\\\\server\\share\\dir\\f.txt", "/local/dir\\f.txt"},
        {"//server/share/dir/f.txt", "/local/dir/f.txt"},
        {"//SERVER/share/f.txt", "/local/f.txt"},  // drives ignore case
        {"//server/other/f.txt", "//server/other/f.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(applied(c.in), c.out) << c.in;
}

TEST(DirectoryTree, CreatesEachLevelButNotTheFile) {
    test::Scratch s;
    std::string path = s / "one\\two/file.txt";
    EXPECT_EQ(extract::createDirectoryTree(path), kOk);
    EXPECT_TRUE(std::filesystem::is_directory(s / "one/two"));
    EXPECT_FALSE(std::filesystem::exists(s / "one/two/file.txt"));
    EXPECT_EQ(extract::createDirectoryTree(s / "one/two/three/"), kOk);
    EXPECT_TRUE(std::filesystem::is_directory(s / "one/two/three"));

    test::writeText(s / "blocker", "x");
    EXPECT_EQ(extract::createDirectoryTree(s / "blocker/sub/f"), kDirectoryFailed);
}

TEST(DirectoryTree, DirExist) {
    test::Scratch s;
    test::writeText(s / "file", "x");
    EXPECT_EQ(Ax4DirExist(s.path().c_str()), 1);
    EXPECT_EQ(Ax4DirExist((s / "file").c_str()), 0);
    EXPECT_EQ(Ax4DirExist((s / "missing").c_str()), 0);
    EXPECT_EQ(Ax4DirExist(nullptr), 0);
}

}  // namespace
