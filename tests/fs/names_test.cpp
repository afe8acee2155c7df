// Name comparison, splitting and joining.
#include <gtest/gtest.h>

#include "fs/names.h"
#include "platform/platform.h"

namespace {

using namespace zar::fs;

TEST(NamesEqual, IgnoresCaseOnly) {
    EXPECT_TRUE(namesEqual("Data.ZIP", "data.zip"));
    EXPECT_TRUE(namesEqual("", ""));
    EXPECT_FALSE(namesEqual("data.zip", "data.zi"));
    EXPECT_FALSE(namesEqual("a/b", "a\\b"));
    EXPECT_TRUE(namesEqualN("README.txt", "readme.md", 7));
    EXPECT_FALSE(namesEqualN("README.txt", "readme.md", 8));
    EXPECT_TRUE(namesEqualN("ab", "AB", 10));   // shorter than n: the whole names
    EXPECT_FALSE(namesEqualN("ab", "ABC", 10));
}

// File names compare as the file system does: exactly where it tells case
// apart (POSIX: README and readme are two files), ignoring case elsewhere.
TEST(SameFileName, FollowsTheFileSystem) {
    const bool ignoreCase = zar::platform::namesIgnoreCase();
    EXPECT_TRUE(sameFileName("d/readme", "d/readme"));
    EXPECT_EQ(sameFileName("d/readme", "d/README"), ignoreCase);
    EXPECT_EQ(sameFileName("/R/B", "/r/b"), ignoreCase);
    EXPECT_FALSE(sameFileName("readme", "readme "));
    EXPECT_FALSE(sameFileName("a/b", "a\\b"));
    EXPECT_TRUE(namesEqual("d/readme", "d/README"));  // the pattern compare still ignores case
}

TEST(SplitPath, Forms) {
    struct Case {
        const char *path, *drive, *directory, *name, *extension;
    } cases[] = {
        {"\\\\server\\share\\dir\\file.txt", "\\\\server\\share", "\\dir\\", "file", ".txt"},
        {"//server/share/dir/file.txt", "//server/share", "/dir/", "file", ".txt"},
        {"\\\\server\\share", "\\\\server\\share", "", "", ""},
        {"\\\\server", "\\\\server", "", "", ""},
        {"C:\\work\\data.tar.gz", "C:", "\\work\\", "data.tar", ".gz"},
        {"C:data", "C:", "", "data", ""},
        {"dir/sub/name", "", "dir/sub/", "name", ""},
        {"mixed\\sep/name.ext", "", "mixed\\sep/", "name", ".ext"},
        {".zip", "", "", "", ".zip"},
        {"dir.d/file", "", "dir.d/", "file", ""},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        std::string drive, directory, name, extension;
        splitPath(c.path, &drive, &directory, &name, &extension);
        EXPECT_EQ(drive, c.drive) << c.path;
        EXPECT_EQ(directory, c.directory) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(extension, c.extension) << c.path;
    }
}

TEST(SplitPath, NullOutputsAndSplitName) {
    std::string name;
    splitPath("a/b.c", nullptr, nullptr, &name, nullptr);
    EXPECT_EQ(name, "b");
    std::string drive, directory;
    splitName("C:/x/y.tar.gz", &drive, &directory, &name);
    EXPECT_EQ(drive, "C:");
    EXPECT_EQ(directory, "/x/");
    EXPECT_EQ(name, "y.tar.gz");
}

// Stored names keep the DOS drive rule everywhere; a path of this machine has
// a drive only where paths have drives.
TEST(SplitPath, HostPathsAndStoredNames) {
    const bool drives = zar::platform::pathsHaveDrives();
    struct Case {
        const char* path;
        PathKind kind;
        const char *drive, *directory, *name;
    } cases[] = {
        {"C:\\dir\\f.txt", PathKind::Stored, "C:", "\\dir\\", "f.txt"},
        {"a:b/f", PathKind::Stored, "a:", "b/", "f"},
        {"a:b/f", PathKind::Host, drives ? "a:" : "", drives ? "b/" : "a:b/", "f"},
        {"C:f", PathKind::Host, drives ? "C:" : "", "", drives ? "f" : "C:f"},
        {"out:/f", PathKind::Host, "", "out:/", "f"},
        {"/x:y/a:b", PathKind::Host, "", "/x:y/", "a:b"},
        {"//server/share/f", PathKind::Host, "//server/share", "/", "f"},
    };
    for (const Case& c : cases) {
        std::string drive, directory, name;
        splitName(c.path, &drive, &directory, &name, c.kind);
        EXPECT_EQ(drive, c.drive) << c.path;
        EXPECT_EQ(directory, c.directory) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(beginsWithDrive(c.path, c.kind), !std::string(c.drive).empty() && c.drive[0] != '/') << c.path;
    }
}

TEST(JoinPath, AddsTheDotOnlyWhenMissing) {
    EXPECT_EQ(joinPath("C:", "\\dir\\", "file", "txt"), "C:\\dir\\file.txt");
    EXPECT_EQ(joinPath(nullptr, "dir/", "file", ".txt"), "dir/file.txt");
    EXPECT_EQ(joinPath(nullptr, nullptr, "file", ""), "file");
    EXPECT_EQ(joinPath(nullptr, nullptr, nullptr, nullptr), "");
}

}  // namespace
