// The wildcard matcher, the match against one specification, and selection by
// include and exclude lists.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/scratch.h"
#include "fs/temp_files.h"
#include "fs/wildcard.h"

namespace {

using namespace zar;
using namespace zar::fs;

struct MatchCase {
    const char* name;
    const char* pattern;
    bool match;
};

TEST(Wildcard, Table) {
    const MatchCase cases[] = {
        // The two DOS conventions
        {"README", "*.*", true},
        {"a.txt", "*.*", true},
        {"README", "*.", true},
        {"a.txt", "*.", false},
        {"dir.d/README", "*.", true},   // only the last component counts
        {"dir/a.b", "*.", false},
        {"a", "*.*.*", false},          // only the trailing ".*" is dropped
        {"a.b", "*.*.*", true},
        {"ab", "A*.*", true},
        // '?' is exactly one character
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"ab", "ab?", false},
        {"", "?", false},
        {"a", "*?", true},
        {"", "*?", false},
        // '*' takes any run, separators included
        {"", "*", true},
        {"", "", true},
        {"x", "", false},
        {"ab", "ab*", true},
        {"ab", "ab**", true},
        {"ab", "a**b", true},
        {"a/b/c.txt", "*.txt", true},
        {"a/b/c.txt", "a*c.txt", true},
        {"abc", "*c*", true},
        {"aXbXc", "a*b*c", true},
        {"abd", "a*c", false},
        {"a.b.c", "*.c", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*iss*iss*", false},
        // Case and separators
        {"File.TXT", "*.txt", true},
        {"file.txt", "FILE.TXT", true},
        {"dir\\file", "dir/file", true},
        {"dir/file", "dir\\file", true},
        {"dir/file", "dir?file", true},
        {"dirxfile", "dir/file", false},
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(wildcardMatch(c.name, c.pattern), c.match) << '"' << c.name << "\" against \"" << c.pattern << '"';
}

TEST(Wildcard, StarsDoNotBacktrackWithoutEnd) {
    // A pattern that makes a naive backtracking matcher try every way of
    // placing its stars; this one answers at once.
    std::string name(3000, 'a');
    std::string pattern;
    for (int i = 0; i < 60; ++i) pattern += "*a";
    pattern += "*b";
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wildcardMatch(name.c_str(), pattern.c_str()));
    EXPECT_TRUE(wildcardMatch((name + "b").c_str(), pattern.c_str()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Specifications, SplitAtBlanksAndQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitSpecifications("a b\t\"c d\"  \"e"), (V{"a", "b", "c d", "e"}));
    EXPECT_EQ(splitSpecifications("  "), V{});
    EXPECT_EQ(splitSpecifications(nullptr), V{});
    EXPECT_EQ(splitSpecifications("x\"y z\""), (V{"x\"y", "z\""}));  // a quote inside a word is a character
    EXPECT_EQ(splitSpecifications("\xC3\xA9t\xC3\xA9.txt"), V{"\xC3\xA9t\xC3\xA9.txt"});  // bytes above 127 are no blanks

    SpecList list("dir\\sub\\*.txt plain \"my dir/\"");
    ASSERT_EQ(list.specs().size(), 3u);
    EXPECT_EQ(list.specs()[0].directory, "dir/sub/");
    EXPECT_EQ(list.specs()[0].file, "*.txt");
    EXPECT_EQ(list.specs()[1].directory, "");
    EXPECT_EQ(list.specs()[1].file, "plain");
    EXPECT_EQ(list.specs()[2].directory, "my dir/");
    EXPECT_EQ(list.specs()[2].file, "*");  // an empty file part means every file
}

struct SelectCase {
    const char* name;
    const char* include;
    const char* exclude;
    bool recursive;
    bool selected;
};

TEST(Select, Table) {
    const SelectCase cases[] = {
        {"dir/a.txt", "dir/*.txt", nullptr, false, true},
        {"DIR\\A.TXT", "dir/*.txt", nullptr, false, true},
        {"dir/sub/a.txt", "dir/*.txt", nullptr, false, false},
        {"dir/sub/a.txt", "dir/*.txt", nullptr, true, true},   // recursing: the directory is a prefix
        {"dir/sub/a.txt", "dir/a.txt", nullptr, true, false},  // no wildcard: the directories must agree
        {"other/a.txt", "dir/*.txt", nullptr, true, false},
        {"dirx/a.txt", "dir/*.txt", nullptr, true, false},
        {"x/y/a.txt", "*.txt", nullptr, true, true},           // an empty directory begins every one
        {"x/a.txt", "*.txt", nullptr, false, false},
        {"a.txt", "*.txt", nullptr, false, true},
        {"a.txt", "", nullptr, false, false},                  // an empty include list selects nothing
        {"a.txt", nullptr, nullptr, false, false},
        {"a.txt", "*.doc a.*", nullptr, false, true},          // any include specification
        {"my dir/x.txt", "\"my dir/*.txt\" other.c", nullptr, false, true},
        // An exclusion without a directory removes the file from every directory.
        {"a.tmp", "*", "*.tmp", true, false},
        {"x/a.tmp", "*", "*.tmp", true, false},
        {"x/y/a.tmp", "x/y/*", "*.tmp", false, false},
        {"x/y/a.txt", "*", "*.tmp", true, true},
        // An exclusion with a directory is matched like an inclusion.
        {"x/a.tmp", "*", "x/*.tmp", true, false},
        {"x/y/a.tmp", "*", "x/*.tmp", true, false},
        {"x/y/a.tmp", "x/y/*", "x/*.tmp", false, true},
        {"y/a.tmp", "*", "x/*.tmp", true, true},
        {"x/a.tmp", "*", "x/", true, false},                   // the whole directory
    };
    for (const SelectCase& c : cases) {
        EXPECT_EQ(select(c.name, SpecList(c.include), SpecList(c.exclude), c.recursive, false), c.selected)
            << c.name << " include \"" << (c.include ? c.include : "(null)") << "\" exclude \""
            << (c.exclude ? c.exclude : "") << "\" recursive " << c.recursive;
    }
}

TEST(Select, NeverTheLibrarysOwnTemporaryFiles) {
    test::Scratch scratch;
    std::string own = scratch / "AZRown";
    ASSERT_EQ(registerTempFile(own.c_str()), kOk);
    SpecList everything("*"), none;
    EXPECT_FALSE(select(own, everything, none, true, true));
    EXPECT_TRUE(select(own, everything, none, true, false));
    EXPECT_TRUE(select(scratch / "other", everything, none, true, true));
    ASSERT_EQ(unregisterTempFile(own.c_str()), kOk);
    EXPECT_TRUE(select(own, everything, none, true, true));
}

}  // namespace
