// The file-list index: records in memory and in a temporary file, hash
// chains, duplicates and names that differ only in case, the record limit and
// the failures of its reads and writes. (Dates under a zone the test sets:
// file_list_posix_test.cpp.)
#include <gtest/gtest.h>

#include <time.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/civil_time.h"
#include "common/scratch.h"
#include "file_list_support.h"
#include "frame/options.h"
#include "fs/file_list.h"
#include "platform/platform.h"

namespace {

using namespace zar;
using namespace zar::fs;
using namespace zar::test::fileList;
using platform::Fault;

// Names that share one bucket, found by trying.
std::vector<std::string> collidingNames(size_t count) {
    std::map<uint32_t, std::vector<std::string>> byBucket;
    for (int i = 0;; ++i) {
        std::string name = "file" + std::to_string(i) + ".txt";
        auto& names = byBucket[FileList::bucketOf(name.c_str())];
        names.push_back(name);
        if (names.size() == count) return names;
    }
}

// The same additions give the same list whether the records stay in memory,
// live in the file from the start, or move there on the way (after five).
TEST_F(FileListTest, RecordsInMemoryOrInTheFileAlike) {
    std::vector<std::string> names = collidingNames(4);
    names.insert(names.end(), {"a.txt", "A.TXT", "dir/b", "a.txt", names[1], "last"});
    struct Case {
        const char* what;
        uint32_t bound;
        bool inMemory;
    } cases[] = {{"in memory", FileList::kMemoryBound, true}, {"in the file", 0, false}, {"moved", 200, false}};
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileList list(c.bound);
        ASSERT_EQ(list.open(), kOk);
        int64_t bytes = 0;
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string path = "/from/" + std::to_string(i);
            const uint32_t before = list.count();
            ASSERT_EQ(list.add(path.c_str(), names[i].c_str(), kFile, 0, i, 0), kOk);
            if (list.count() != before) bytes += 28 + names[i].size() + path.size();
        }
        EXPECT_EQ(list.inMemory(), c.inMemory);
        EXPECT_EQ(fileLength(list.temporaryFile().file()), c.inMemory ? 0 : bytes);
        std::vector<std::string> got;
        for (const FileRecord& r : records(list)) {
            got.push_back(r.storedName + " " + r.fullPath + " " + std::to_string(r.size));
            FileRecord found;
            bool present = false;
            ASSERT_EQ(list.lookup(r.storedName.c_str(), &present, &found), kOk);
            EXPECT_TRUE(present);
            EXPECT_EQ(found.offset, r.offset);
            EXPECT_EQ(found.fullPath, r.fullPath);
        }
        bool present = true;
        FileRecord none;
        ASSERT_EQ(list.lookup("never added", &present, &none), kOk);
        EXPECT_FALSE(present);
        if (expected.empty()) expected = got;
        EXPECT_EQ(got, expected);
    }
    // The duplicates were added once: where names ignore case "A.TXT" too.
    EXPECT_EQ(expected.size(), platform::namesIgnoreCase() ? 7u : 8u);
}

TEST(Buckets, OfUpperCasedNames) {
    EXPECT_EQ(FileList::bucketOf(""), 0u);
    EXPECT_EQ(FileList::bucketOf("a"), static_cast<uint32_t>('A'));
    EXPECT_EQ(FileList::bucketOf("ab"), (65u * 256 + 66) % 32749);
    EXPECT_EQ(FileList::bucketOf("abc"), (((65u * 256 + 66) % 32749) * 256 + 67) % 32749);
    EXPECT_EQ(FileList::bucketOf("Dir/File.TXT"), FileList::bucketOf("DIR/FILE.txt"));
    EXPECT_EQ(FileList::bucketOf("\x80."), FileList::bucketOf("a"));  // 128 * 256 + 46 = 65 + 32749
}

TEST_F(FileListTest, AddLookUpAndReadBack) {
    test::ScopedEnv tz("TZ", "UTC0");
    tzset();
    uint64_t when = utcTime(2024, 2, 29, 13, 45, 30);
    ASSERT_EQ(list_.add("/data/a.txt", "a.txt", kFile, when, 1234, 0, 0100755), kOk);
    ASSERT_EQ(list_.add("/data/sub", "sub/", platform::kAttrDirectory, when, 4096, 0), kOk);
    ASSERT_EQ(list_.add("/data/big.iso", "big.iso", kFile, when, 0x80000000ull, 0), kOk);
    ASSERT_EQ(list_.add("/data/old.txt", "old.txt", kFile, utcTime(1975, 6, 1, 8, 30, 0), 1, 0), kOk);
    EXPECT_EQ(list_.count(), 4);
    EXPECT_EQ(list_.nameTotal(), 5u + 4 + 7 + 7);

    bool found = false;
    uint32_t offset = 0;
    std::string path;
    ASSERT_EQ(list_.lookup("a.txt", &found, &offset, &path), kOk);
    EXPECT_TRUE(found);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(path, "/data/a.txt");
    ASSERT_EQ(list_.lookup("A.TXT", &found, &offset, &path), kOk);
    EXPECT_EQ(found, platform::namesIgnoreCase());
    ASSERT_EQ(list_.lookup("missing", &found, &offset, &path), kOk);
    EXPECT_FALSE(found);

    std::vector<FileRecord> all = records(list_);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].storedName, "a.txt");
    EXPECT_EQ(all[0].fullPath, "/data/a.txt");
    EXPECT_EQ(all[0].size, 1234u);
    EXPECT_EQ(all[0].attributes, kFile);
    EXPECT_EQ(all[0].mode, 0100755u);
    EXPECT_EQ(all[1].mode, 0u);
    // The local time of the instant: 2024-02-29 13:45:30 under UTC.
    const struct tm local = test::localFields(test::utcSeconds(2024, 2, 29, 13, 45, 30));
    EXPECT_EQ(all[0].date, (local.tm_year + 1900 - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    EXPECT_EQ(all[0].time, local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    EXPECT_EQ(all[1].size, 0u);  // directories record no size
    EXPECT_EQ(all[2].size, 0x80000000u);  // files of 2 GB or more keep their size
    EXPECT_EQ(all[3].date, 0);   // before 1980: no date, but the time of day
    const struct tm early = test::localFields(test::utcSeconds(1975, 6, 1, 8, 30, 0));
    EXPECT_EQ(all[3].time, early.tm_hour << 11 | early.tm_min << 5);
    EXPECT_EQ(all[1].offset, 28u + 5 + 11);

    // The record file holds exactly the records.
    EXPECT_EQ(fileLength(list_.temporaryFile().file()), 4 * 28 + 5 + 11 + 4 + 9 + 7 + 13 + 7 + 13);
    tzset();
}

TEST_F(FileListTest, AttributesLessTheJLetters) {
    const uint32_t all = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem | 0x80 | kFile;
    struct Case {
        uint32_t flags, attributes;
    } cases[] = {
        {0, all},
        {frame::kZipOmitHidden, all & ~platform::kAttrHidden},
        {frame::kZipOmitSystem, all & ~platform::kAttrSystem},
        {frame::kZipOmitReadOnly, all & ~platform::kAttrReadOnly},
        {frame::kZipOmitNormal, all & ~0x80u},
        {frame::kZipOmitHidden | frame::kZipOmitSystem | frame::kZipOmitReadOnly | frame::kZipOmitNormal, kFile},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string name = "f" + std::to_string(i);
        ASSERT_EQ(list_.add(name.c_str(), name.c_str(), all, 0, 0, cases[i].flags), kOk);
    }
    std::vector<FileRecord> got = records(list_);
    ASSERT_EQ(got.size(), std::size(cases));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].attributes, cases[i].attributes) << i;
}

// A stored name is listed once. Names that differ only in case are one name
// where the file system ignores case, and two files (README and readme) where
// it does not.
TEST_F(FileListTest, TheSameStoredNameIsKeptOnce) {
    ASSERT_EQ(list_.add("/one/Read.Me", "Read.Me", kFile, 0, 1, 0), kOk);
    ASSERT_EQ(list_.add("/two/Read.Me", "Read.Me", kFile, 0, 2, 0), kOk);
    EXPECT_EQ(list_.count(), 1);
    ASSERT_EQ(list_.add("/two/READ.ME", "READ.ME", kFile, 0, 3, 0), kOk);
    ASSERT_EQ(list_.add("/one/read.me", "read.me", kFile, 0, 4, 0), kOk);
    const bool ignoreCase = platform::namesIgnoreCase();
    std::vector<FileRecord> got = records(list_);
    ASSERT_EQ(got.size(), ignoreCase ? 1u : 3u);
    EXPECT_EQ(got[0].fullPath, "/one/Read.Me");  // the first stays
    EXPECT_EQ(got[0].size, 1u);
    for (const auto& [name, path] : {std::pair{"Read.Me", "/one/Read.Me"}, std::pair{"READ.ME", "/two/READ.ME"},
                                     std::pair{"read.me", "/one/read.me"}}) {
        bool found = false;
        uint32_t offset;
        std::string fullPath;
        ASSERT_EQ(list_.lookup(name, &found, &offset, &fullPath), kOk);
        EXPECT_TRUE(found) << name;
        EXPECT_EQ(fullPath, ignoreCase ? "/one/Read.Me" : path) << name;
    }
}

TEST_F(FileListTest, ChainsOfOneBucket) {
    std::vector<std::string> names = collidingNames(6);
    std::string absent = names.back();
    names.pop_back();
    for (const std::string& n : names) ASSERT_EQ(list_.add(("/p/" + n).c_str(), n.c_str(), kFile, 0, 0, 0), kOk);
    EXPECT_EQ(list_.count(), 5);
    std::vector<FileRecord> got = records(list_);
    for (size_t i = 0; i < names.size(); ++i) {
        bool found;
        uint32_t offset;
        std::string path;
        ASSERT_EQ(list_.lookup(names[i].c_str(), &found, &offset, &path), kOk);
        EXPECT_TRUE(found) << names[i];
        EXPECT_EQ(offset, got[i].offset);
        EXPECT_EQ(path, "/p/" + names[i]);
        ASSERT_EQ(list_.add("/q", names[i].c_str(), kFile, 0, 0, 0), kOk);  // a duplicate down the chain
    }
    EXPECT_EQ(list_.count(), 5);
    // Not found: the offset of the chain's last record, where the next one would be linked.
    bool found;
    uint32_t offset;
    ASSERT_EQ(list_.lookup(absent.c_str(), &found, &offset, nullptr), kOk);
    EXPECT_FALSE(found);
    EXPECT_EQ(offset, got[4].offset);

    // The upper-case forms hash to the same chain: where case tells names
    // apart they are records of their own, and each name finds its own.
    const bool ignoreCase = platform::namesIgnoreCase();
    for (const std::string& n : names) {
        std::string upper = n;
        for (char& c : upper) c = static_cast<char>(toupper(c));
        ASSERT_EQ(FileList::bucketOf(upper.c_str()), FileList::bucketOf(n.c_str()));
        ASSERT_EQ(list_.add(("/u/" + upper).c_str(), upper.c_str(), kFile, 0, 0, 0), kOk);
    }
    EXPECT_EQ(list_.count(), ignoreCase ? 5 : 10);
    for (const std::string& n : names) {
        std::string upper = n, path;
        for (char& c : upper) c = static_cast<char>(toupper(c));
        ASSERT_EQ(list_.lookup(n.c_str(), &found, &offset, &path), kOk);
        EXPECT_EQ(path, "/p/" + n);
        ASSERT_EQ(list_.lookup(upper.c_str(), &found, &offset, &path), kOk);
        EXPECT_TRUE(found);
        EXPECT_EQ(path, ignoreCase ? "/p/" + n : "/u/" + upper);
    }
}

TEST_F(FileListTest, NamesOver255CharactersAreRefused) {
    std::string name(255, 'n');
    EXPECT_EQ(list_.add(name.c_str(), name.c_str(), kFile, 0, 0, 0), kOk);
    std::string longer(256, 'm');
    EXPECT_EQ(list_.add("/p", longer.c_str(), kFile, 0, 0, 0), kTooLong);
    EXPECT_EQ(list_.add(longer.c_str(), "m", kFile, 0, 0, 0), kTooLong);
    EXPECT_EQ(list_.count(), 1);
}

TEST_F(FileListTest, MoreThan65535RecordsAndSizesPast4GiB) {
    for (uint32_t i = 0; i < 70000; ++i) {
        std::string name = std::to_string(i);
        ASSERT_EQ(list_.add(name.c_str(), name.c_str(), kFile, 0, uint64_t{i} << 20, 0), kOk) << i;
    }
    EXPECT_EQ(list_.count(), 70000u);
    EXPECT_EQ(list_.add("/p", "17", kFile, 0, 0, 0), kOk);  // a duplicate is no addition
    EXPECT_EQ(list_.count(), 70000u);
    FileRecord last;
    bool found = false;
    ASSERT_EQ(list_.lookup("69999", &found, &last), kOk);
    ASSERT_TRUE(found);
    EXPECT_EQ(last.size, uint64_t{69999} << 20);
}

TEST_F(FileListTest, FailuresOfReadsAndWrites) {
    std::vector<std::string> names = collidingNames(3);
    ASSERT_EQ(list_.add("/p", names[0].c_str(), kFile, 0, 0, 0), kOk);

    platform::failNthCall(Fault::Read, 1);  // reading the chain
    EXPECT_EQ(list_.add("/p", names[1].c_str(), kFile, 0, 0, 0), kShortRead);
    platform::failNthCall(Fault::Seek, 1);
    EXPECT_EQ(list_.add("/p", names[1].c_str(), kFile, 0, 0, 0), kShortRead);
    platform::failNthCall(Fault::Write, 2);  // relinking the chain
    EXPECT_EQ(list_.add("/p", names[1].c_str(), kFile, 0, 0, 0), kAccessDenied);
    platform::failNthCall(Fault::Write, 1);  // appending
    EXPECT_EQ(list_.add("/p", "elsewhere", kFile, 0, 0, 0), kWriteFailed);
    EXPECT_EQ(list_.count(), 1);

    // Nothing is left half done: the same additions work now.
    ASSERT_EQ(list_.add("/p1", names[1].c_str(), kFile, 0, 0, 0), kOk);
    ASSERT_EQ(list_.add("/p2", "elsewhere", kFile, 0, 0, 0), kOk);
    ASSERT_EQ(list_.add("/p3", names[2].c_str(), kFile, 0, 0, 0), kOk);
    std::vector<FileRecord> got = records(list_);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].fullPath, "/p1");
    for (const char* n : {names[1].c_str(), names[2].c_str(), "elsewhere"}) {
        bool found;
        uint32_t offset;
        ASSERT_EQ(list_.lookup(n, &found, &offset, nullptr), kOk);
        EXPECT_TRUE(found) << n;
    }

    platform::failNthCall(Fault::Read, 1);
    EXPECT_EQ(list_.forEach([](const FileRecord&) { return kOk; }), kShortRead);
    EXPECT_EQ(list_.forEach([](const FileRecord&) { return kCancelled; }), kCancelled);
}

TEST_F(FileListTest, ManyRecordsReadBackInOrderWhileLookingUp) {
    // Enough records to cross the reading blocks, with lookups from inside the walk.
    for (int i = 0; i < 3000; ++i) {
        std::string name = "dir/some/longer/name/number-" + std::to_string(i) + ".dat";
        ASSERT_EQ(list_.add(("/root/" + name).c_str(), name.c_str(), kFile, 0, static_cast<uint64_t>(i), 0), kOk);
    }
    int next = 0;
    EXPECT_EQ(list_.forEach([&](const FileRecord& r) {
        EXPECT_EQ(r.size, static_cast<uint32_t>(next));
        bool found;
        uint32_t offset;
        EXPECT_EQ(list_.lookup(r.storedName.c_str(), &found, &offset, nullptr), kOk);
        EXPECT_TRUE(found);
        EXPECT_EQ(offset, r.offset);
        ++next;
        return kOk;
    }),
              kOk);
    EXPECT_EQ(next, 3000);
}

// Where the system allows, the record file is anonymous: no name in the
// temporary directory, nothing to register, nothing left once it is closed.
// Windows' anonymous files have names: there it is registered while it lasts,
// and the system deletes it when its handle closes.
TEST_F(FileListTest, TheTemporaryFileHasNoNameWhereTheSystemAllows) {
    const TempFile& temp = list_.temporaryFile();
    ASSERT_TRUE(temp.valid());
    if (!temp.anonymous()) GTEST_SKIP() << "the temporary directory holds no anonymous files";
    const std::string name = temp.name();
    if (name.empty()) {
        EXPECT_TRUE(tempRegistry().empty());
        EXPECT_TRUE(std::filesystem::is_empty(scratch_.path()));
    } else {
        EXPECT_TRUE(isRegisteredTempFile(name.c_str()));
        EXPECT_EQ(std::filesystem::path(name).parent_path(), std::filesystem::path(scratch_.path()));
    }
    ASSERT_EQ(list_.add("/p", "p", kFile, 0, 0, 0), kOk);
    EXPECT_EQ(records(list_).size(), 1u);
    list_.free();
    EXPECT_TRUE(std::filesystem::is_empty(scratch_.path()));
    EXPECT_TRUE(tempRegistry().empty());
}

// Elsewhere (here: a volume that refuses anonymous files) it is a named file,
// registered while it lasts.
TEST_F(FileListTest, TheTemporaryFileIsRegisteredAndRemoved) {
    platform::refuseAnonymousFiles(true);
    ASSERT_EQ(list_.open(), kOk);
    platform::refuseAnonymousFiles(false);
    EXPECT_FALSE(list_.temporaryFile().anonymous());
    std::string name = list_.temporaryFile().name();
    EXPECT_TRUE(isRegisteredTempFile(name.c_str()));
    EXPECT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(std::filesystem::path(name).parent_path(), std::filesystem::path(scratch_.path()));
    ASSERT_EQ(list_.add("/p", "p", kFile, 0, 0, 0), kOk);
    EXPECT_EQ(records(list_).size(), 1u);
    list_.free();
    EXPECT_FALSE(isRegisteredTempFile(name.c_str()));
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_EQ(list_.add("/p", "p", kFile, 0, 0, 0), kWriteFailed);  // closed

    platform::failNthCall(Fault::Allocate, 1);
    EXPECT_EQ(list_.open(), kNoMemory);
    test::ScopedTempDirectory nowhere(scratch_ / "missing");
    EXPECT_EQ(list_.open(), kWriteFailed);
    platform::refuseAnonymousFiles(true);
    EXPECT_EQ(list_.open(), kWriteFailed);
    platform::refuseAnonymousFiles(false);
}

}  // namespace
