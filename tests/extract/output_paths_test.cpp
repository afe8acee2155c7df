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

// A name is free only inside a directory the tree made, and only until the
// tree used it: for a file it placed or a directory it made there.
TEST(DirectoryTree, KnowsWhichNamesAreFree) {
    test::Scratch s;
    const std::string root = s.path();
    std::filesystem::create_directory(s / "old");
    test::writeText(s / "old/there.txt", "x");
    extract::OutputTree tree;
    ASSERT_EQ(tree.makeDirectories(root + "/old/inner/f"), kOk);  // old was there, inner is made
    ASSERT_EQ(tree.makeDirectories(root + "/new/sub/"), kOk);
    EXPECT_TRUE(std::filesystem::is_directory(s / "new/sub"));
    EXPECT_EQ(tree.makeDirectories(root + "/old/there.txt/f"), kDirectoryFailed);

    struct Case {
        const char* path;
        bool free;
    } cases[] = {
        {"/old/there.txt", false},  // in a directory that was there
        {"/old/other.txt", false},
        {"/old/inner/a.txt", true},
        {"/new/a.txt", true},
        {"/new/sub", false},  // a directory the tree made
        {"/new/sub/a.txt", true},
        {"/new/", false},
        {"/elsewhere/a.txt", false},
    };
    for (const Case& c : cases) EXPECT_EQ(tree.knownFree(root + c.path), c.free) << c.path;

    // Placed names stay taken however many there are; the others stay free.
    for (int i = 0; i < 5000; ++i) tree.placed(root + "/new/f" + std::to_string(i));
    for (int i = 0; i < 5000; ++i) ASSERT_FALSE(tree.knownFree(root + "/new/f" + std::to_string(i))) << i;
    for (int i = 5000; i < 5100; ++i) EXPECT_TRUE(tree.knownFree(root + "/new/f" + std::to_string(i))) << i;
    EXPECT_TRUE(tree.knownFree(root + "/new/sub/a.txt"));
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
