// The directory search of the POSIX backend: Windows-style matching of the
// last component ignoring case, no "." or "..", DOS attributes, and only the
// kinds of items a ZIP entry can hold.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
        {"*", {"Alpha.TXT", "beta.txt", "gamma", ".hidden", "Sub", "loop"}},
        {"*.*", {"Alpha.TXT", "beta.txt", "gamma", ".hidden", "Sub", "loop"}},
        {"*.", {"gamma", "Sub", "loop"}},
        {"*.txt", {"Alpha.TXT", "beta.txt"}},
        {"BETA.TXT", {"beta.txt"}},
        {"?amma", {"gamma"}},
        {"?", {}},
        {"gamm", {}},
        {"g*a", {"gamma"}},
        {"pipe", {}},      // not a file a ZIP entry can hold
        {"dangling", {}},  // nothing behind it
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
        {"loop", kAttrDirectory | kAttrReparsePoint, 0},
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
