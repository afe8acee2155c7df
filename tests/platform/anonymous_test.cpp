// Anonymous files on POSIX: made without a name in their directory, gone with
// their handle, named on demand by either way the kernel offers, put in
// another file's place with replaceFile's guarantees, copied from their
// handle; and the test switch that refuses them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace {

using namespace zar::platform;
using zar::test::Scratch;
namespace stdfs = std::filesystem;

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> out;
    for (auto& entry : stdfs::directory_iterator(directory)) out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string text(const std::string& path) {
    std::vector<uint8_t> bytes = zar::test::readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void put(FileHandle file, const std::string& bytes) {
    uint32_t done = 0;
    ASSERT_TRUE(writeFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done));
    ASSERT_EQ(done, bytes.size());
}

class Anonymous : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name;
        FileHandle probe = createAnonymousFile(s.path(), "AZR", kPrivateFile, false, &name);
        if (probe == kInvalidFile) GTEST_SKIP() << "this volume holds no anonymous files";
        closeFile(probe);
    }
    void TearDown() override {
        posix::nameThroughProcOnly(false);
        refuseAnonymousFiles(false);
        failNthCall(Fault::Name, 0);
    }
    FileHandle make(bool toBeNamed, uint32_t attributes = kPrivateFile) {
        std::string name = "unset";
        FileHandle file = createAnonymousFile(s.path(), "AZR", attributes, toBeNamed, &name);
        EXPECT_EQ(name, "");  // the file has none
        return file;
    }
    Scratch s;
};

TEST_F(Anonymous, HasNoNameAndGoesWithItsHandle) {
    FileHandle file = make(false);
    ASSERT_NE(file, kInvalidFile);
    put(file, "scratch bytes");
    EXPECT_EQ(fileSize(file), 13);
    EXPECT_TRUE(namesIn(s.path()).empty());
    ASSERT_EQ(seekFile(file, 0, SeekFrom::Begin), 0);
    char back[13];
    uint32_t done = 0;
    ASSERT_TRUE(readFile(file, back, sizeof back, &done));
    EXPECT_EQ(std::string(back, done), "scratch bytes");
    struct stat st;
    ASSERT_EQ(::fstat(static_cast<int>(file), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // private: its owner's alone
    // One never to be named never can be.
    EXPECT_EQ(nameAnonymousFile(file, s.path(), "AZR"), "");
    closeFile(file);
    EXPECT_TRUE(namesIn(s.path()).empty());
}

TEST_F(Anonymous, NamedEitherWayItStays) {
    for (const bool throughProc : {false, true}) {
        SCOPED_TRACE(throughProc ? "through /proc" : "AT_EMPTY_PATH");
        posix::nameThroughProcOnly(throughProc);
        FileHandle file = make(true);
        ASSERT_NE(file, kInvalidFile);
        put(file, "kept");
        // A failed naming leaves it anonymous, and it can be named after.
        failNthCall(Fault::Name, 1);
        EXPECT_EQ(nameAnonymousFile(file, s.path(), "AZR"), "");
        EXPECT_TRUE(namesIn(s.path()).empty());
        const std::string name = nameAnonymousFile(file, s.path(), "AZR");
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(name.rfind(s / "AZR", 0), 0u) << name;
        closeFile(file);
        EXPECT_EQ(text(name), "kept");
        stdfs::remove(name);
    }
}

// Under a name of the caller's only where nothing stands yet.
TEST_F(Anonymous, LinkedUnderAFreeName) {
    for (const bool throughProc : {false, true}) {
        SCOPED_TRACE(throughProc ? "through /proc" : "AT_EMPTY_PATH");
        posix::nameThroughProcOnly(throughProc);
        zar::test::writeText(s / "taken", "already there");
        FileHandle file = make(true);
        ASSERT_NE(file, kInvalidFile);
        put(file, "linked");
        EXPECT_FALSE(linkAnonymousFile(file, (s / "taken").c_str()));
        EXPECT_EQ(text(s / "taken"), "already there");
        failNthCall(Fault::Name, 1);
        EXPECT_FALSE(linkAnonymousFile(file, (s / "free").c_str()));
        EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"taken"});
        EXPECT_TRUE(linkAnonymousFile(file, (s.path() + "\\free").c_str()));
        closeFile(file);
        EXPECT_EQ(text(s / "free"), "linked");
        stdfs::remove(s / "free");
        // One never to be named cannot be linked either.
        file = make(false);
        EXPECT_FALSE(linkAnonymousFile(file, (s / "free").c_str()));
        closeFile(file);
        EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"taken"});
    }
}

TEST_F(Anonymous, AttributesFromTheStart) {
    FileHandle file = make(true, kAttrReadOnly | kAttrArchive);
    ASSERT_NE(file, kInvalidFile);
    put(file, "read-only, yet written through its handle");
    const std::string name = nameAnonymousFile(file, s.path(), "AZR");
    closeFile(file);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(fileAttributes(name.c_str()), kAttrReadOnly | kAttrArchive);
    EXPECT_EQ(text(name), "read-only, yet written through its handle");
}

// The replacement takes the target's place whole, with its permissions and
// stored DOS bits, and leaves no other name; when a step fails, the target is
// as it was and nothing else is there.
TEST_F(Anonymous, ReplacesATargetInOneStep) {
    const std::string target = s / "target";
    zar::test::writeText(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    unsigned char probe = 0;
    const bool stored = ::setxattr(target.c_str(), "user.probe", &probe, 1, 0) == 0;
    if (stored) {
        ASSERT_TRUE(setFileAttributes(target.c_str(), kAttrSystem));
    }

    FileHandle file = make(true);
    ASSERT_NE(file, kInvalidFile);
    put(file, "new");
    failNthCall(Fault::Name, 1);
    EXPECT_FALSE(replaceWithAnonymousFile(file, "AZR", target.c_str()));
    EXPECT_EQ(text(target), "old");
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"target"});

    ASSERT_TRUE(replaceWithAnonymousFile(file, "AZR", (s.path() + "\\target").c_str()));
    closeFile(file);
    EXPECT_EQ(text(target), "new");
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"target"});
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (stored) {
        EXPECT_EQ(fileAttributes(target.c_str()), kAttrSystem);
    }

    // Without a target it simply takes the name.
    file = make(true);
    put(file, "fresh");
    ASSERT_TRUE(replaceWithAnonymousFile(file, "AZR", (s / "fresh").c_str()));
    closeFile(file);
    EXPECT_EQ(text(s / "fresh"), "fresh");
    EXPECT_EQ(namesIn(s.path()), (std::vector<std::string>{"fresh", "target"}));

    // One never to be named cannot take a place.
    file = make(false);
    put(file, "never");
    EXPECT_FALSE(replaceWithAnonymousFile(file, "AZR", target.c_str()));
    closeFile(file);
    EXPECT_EQ(text(target), "new");
    EXPECT_EQ(namesIn(s.path()), (std::vector<std::string>{"fresh", "target"}));
}

TEST_F(Anonymous, CopiedFromItsHandle) {
    FileHandle file = make(false);
    ASSERT_NE(file, kInvalidFile);
    put(file, "copied whole");
    EXPECT_EQ(seekFile(file, 3, SeekFrom::Begin), 3);
    zar::test::writeText(s / "target", "an older and longer text");
    ASSERT_TRUE(copyOpenFile(file, (s / "target").c_str(), false));
    EXPECT_EQ(text(s / "target"), "copied whole");
    EXPECT_EQ(seekFile(file, 0, SeekFrom::Current), 3);  // the position stays
    EXPECT_FALSE(copyOpenFile(file, (s / "target").c_str(), true));
    ASSERT_TRUE(copyOpenFile(file, (s / "other").c_str(), true));
    EXPECT_EQ(text(s / "other"), "copied whole");
    closeFile(file);
    EXPECT_FALSE(copyOpenFile(kInvalidFile, (s / "third").c_str(), false));
    EXPECT_EQ(namesIn(s.path()), (std::vector<std::string>{"other", "target"}));
}

TEST_F(Anonymous, RefusedForTests) {
    refuseAnonymousFiles(true);
    std::string name;
    EXPECT_EQ(createAnonymousFile(s.path(), "AZR", kPrivateFile, true, &name), kInvalidFile);
    refuseAnonymousFiles(false);
    FileHandle file = make(true);
    EXPECT_NE(file, kInvalidFile);
    closeFile(file);
}

TEST(AnonymousFiles, NoneInAMissingDirectory) {
    Scratch s;
    std::string name;
    EXPECT_EQ(createAnonymousFile(s / "missing", "AZR", kPrivateFile, false, &name), kInvalidFile);
}

}  // namespace
