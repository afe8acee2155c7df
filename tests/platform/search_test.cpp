// The directory search of the POSIX backend: Windows-style matching of the
// last component ignoring case, no "." or "..", DOS attributes, only the
// kinds of items a ZIP entry can hold, symbolic links followed (or reported
// as broken) with the identities a walk tells loops by.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "common/scratch.h"
#include "platform/platform.h"

namespace {

using namespace zar::platform;
using zar::test::Scratch;

std::set<std::string> namesFound(const std::string& pattern) {
    std::set<std::string> out;
    FoundItem item;
    Search* search = findFirstFile(pattern.c_str(), &item);
    if (search == nullptr) return out;
    do {
        EXPECT_TRUE(out.insert(item.name).second) << item.name << " reported twice";
        EXPECT_EQ(item.shortName, item.name);
    } while (findNextFile(search, &item));
    findClose(search);
    return out;
}

class DirectorySearch : public ::testing::Test {
protected:
    void SetUp() override {
        zar::test::writeText(s / "Alpha.TXT", "12345");
        zar::test::writeText(s / "beta.txt", "");
        zar::test::writeText(s / "gamma", "xy");
        zar::test::writeText(s / ".hidden", "");
        std::filesystem::create_directory(s / "Sub");
        std::filesystem::create_directory_symlink(s.path(), s / "loop");
        std::filesystem::create_symlink(s / "gone", s / "dangling");
        ASSERT_EQ(::mkfifo((s / "pipe").c_str(), 0600), 0);
    }
    Scratch s;
};

TEST_F(DirectorySearch, MatchesTheLastComponentIgnoringCase) {
    using Set = std::set<std::string>;
    struct Case {
        const char* pattern;
        Set names;
    } cases[] = {
        {"*", {"Alpha.TXT", "beta.txt", "gamma", ".hidden", "Sub", "loop", "dangling"}},
        {"*.*", {"Alpha.TXT", "beta.txt", "gamma", ".hidden", "Sub", "loop", "dangling"}},
        {"*.", {"gamma", "Sub", "loop", "dangling"}},
        {"*.txt", {"Alpha.TXT", "beta.txt"}},
        {"BETA.TXT", {"beta.txt"}},
        {"?amma", {"gamma"}},
        {"?", {}},
        {"gamm", {}},
        {"g*a", {"gamma"}},
        {"pipe", {}},                // not a file a ZIP entry can hold
        {"dangling", {"dangling"}},  // nothing behind it, but not passed over unseen
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(namesFound(s / c.pattern), c.names) << c.pattern;
    EXPECT_EQ(namesFound(s.path() + "\\*.TXT"), (Set{"Alpha.TXT", "beta.txt"}));
    EXPECT_EQ(namesFound(s / "missing/*"), Set{});
}

TEST_F(DirectorySearch, RelativePatternsSearchTheCurrentDirectory) {
    std::filesystem::current_path(s.path());
    EXPECT_EQ(namesFound("g*"), std::set<std::string>{"gamma"});
    EXPECT_EQ(namesFound("Sub\\*"), std::set<std::string>{});
    std::filesystem::current_path("/");
}

TEST_F(DirectorySearch, ReportsAttributesSizeAndTime) {
    FoundItem item;
    struct Case {
        const char* name;
        uint32_t attributes;
        uint64_t size;
    } cases[] = {
        {"Alpha.TXT", kAttrArchive, 5},
        {".hidden", kAttrArchive | kAttrHidden, 0},
        {"Sub", kAttrDirectory, 0},
        {"loop", kAttrDirectory, 0},  // a link is reported as what it leads to
    };
    for (const Case& c : cases) {
        Search* search = findFirstFile((s / c.name).c_str(), &item);
        ASSERT_NE(search, nullptr) << c.name;
        EXPECT_EQ(item.attributes & ~kAttrArchive, c.attributes & ~kAttrArchive) << c.name;
        EXPECT_EQ(item.size, c.size) << c.name;
        EXPECT_FALSE(findNextFile(search, &item));
        findClose(search);
    }
    Search* search = findFirstFile((s / "gamma").c_str(), &item);
    ASSERT_NE(search, nullptr);
    findClose(search);
    FileHandle f = openFile((s / "gamma").c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    uint64_t time = 0;
    ASSERT_TRUE(fileTime(f, &time));
    closeFile(f);
    EXPECT_EQ(item.lastWrite, time);
    EXPECT_EQ(item.attributes, fileAttributes((s / "gamma").c_str()));
    EXPECT_EQ(findFirstFile(nullptr, &item), nullptr);
    findClose(nullptr);
}

FoundItem found(const std::string& path) {
    FoundItem item;
    Search* search = findFirstFile(path.c_str(), &item);
    EXPECT_NE(search, nullptr) << path;
    findClose(search);
    return item;
}

TEST_F(DirectorySearch, LinksAreFollowedAndCarryTheirTargetsIdentity) {
    std::filesystem::create_symlink(s / "Alpha.TXT", s / "to-file");
    std::filesystem::create_directory_symlink(s / "Sub", s / "to-sub");
    std::filesystem::create_symlink("to-self", s / "to-self");                // leads to itself
    std::filesystem::create_symlink(s / "gamma/x", s / "through-a-file");   // a file is no directory
    const FileIdentity self = directoryAncestry(s.path().c_str()).at(0);
    const FileIdentity sub = directoryAncestry((s / "Sub").c_str()).at(0);
    EXPECT_TRUE(self.known());
    EXPECT_FALSE(self == sub);

    struct Case {
        const char* name;
        bool link, broken;
        uint32_t attributes;  // less the archive bit
        uint64_t size;
    } cases[] = {
        {"Sub", false, false, kAttrDirectory, 0},
        {"Alpha.TXT", false, false, 0, 5},
        {"to-file", true, false, 0, 5},
        {"to-sub", true, false, kAttrDirectory, 0},
        {"loop", true, false, kAttrDirectory, 0},
        {"dangling", true, true, 0, 0},
        {"to-self", true, true, 0, 0},
        {"through-a-file", true, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FoundItem item = found(s / c.name);
        EXPECT_EQ(item.name, c.name);
        EXPECT_EQ(item.link, c.link);
        EXPECT_EQ(item.brokenLink, c.broken);
        EXPECT_EQ(item.attributes & ~kAttrArchive, c.attributes);
        EXPECT_EQ(item.size, c.size);
        EXPECT_EQ(item.identity.known(), !c.broken);
        if (c.broken) {
            EXPECT_EQ(item.lastWrite, 0u);
        }
    }
    EXPECT_TRUE(found(s / "loop").identity == self);
    EXPECT_TRUE(found(s / "to-sub").identity == sub);
    EXPECT_TRUE(found(s / "to-file").identity == found(s / "Alpha.TXT").identity);
    EXPECT_EQ(found(s / "to-file").lastWrite, found(s / "Alpha.TXT").lastWrite);
    EXPECT_TRUE(found(s / ".hidden").attributes & kAttrHidden);
    std::filesystem::create_symlink("gone", s / ".hidden-link");
    EXPECT_TRUE(found(s / ".hidden-link").attributes & kAttrHidden);  // walks leave it out unless admitted
}

TEST_F(DirectorySearch, AncestryClimbsTheDirectoriesOnDisk) {
    std::filesystem::create_directories(s / "Sub/deep");
    const auto deep = directoryAncestry((s / "Sub/deep").c_str());
    const auto top = directoryAncestry(s.path().c_str());
    ASSERT_EQ(deep.size(), top.size() + 2);
    EXPECT_TRUE(std::equal(top.begin(), top.end(), deep.begin() + 2));  // up to the root
    EXPECT_EQ(directoryAncestry("/").size(), 1u);
    // Through a link the climb goes up from the target, not along the path's text.
    std::filesystem::create_directory_symlink(s / "Sub/deep", s / "Sub/shortcut");
    EXPECT_EQ(directoryAncestry((s / "Sub/shortcut").c_str()), deep);
    EXPECT_EQ(directoryAncestry((s / "loop/Sub/deep").c_str()), deep);
    EXPECT_EQ(directoryAncestry((s.path() + "\\Sub\\deep").c_str()), deep);
    std::filesystem::current_path(s / "Sub/deep");
    EXPECT_EQ(directoryAncestry(""), deep);  // the current directory
    std::filesystem::current_path("/");
    // No directory: nothing to climb.
    EXPECT_TRUE(directoryAncestry((s / "gamma").c_str()).empty());
    EXPECT_TRUE(directoryAncestry((s / "missing").c_str()).empty());
    EXPECT_TRUE(directoryAncestry((s / "dangling").c_str()).empty());
    EXPECT_TRUE(directoryAncestry(nullptr).empty());
}

TEST(Drives, CurrentDriveAndDateOrderOverride) {
    EXPECT_EQ(currentDriveLetter(), 'C');
    for (int order : {2, 1, 0, 7}) {
        setDateOrderOverride(order);
        EXPECT_EQ(localeDateOrder(), order);
    }
    setDateOrderOverride(-1);
    zar::test::ScopedEnv all("LC_ALL", "C");
    EXPECT_EQ(localeDateOrder(), 0);
}

}  // namespace
