// Building the file list of a zip run from a tree on disk: recursion, stored
// paths, admitted attributes, the archive-bit and date filters, exclusions,
// duplicates, the library's own temporary files, and the directory queue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "fs/dir_walk.h"
#include "fs/long_names.h"
#include "platform/platform.h"

namespace {

using namespace zar;
using namespace zar::frame;
using namespace zar::fs;
using Names = std::set<std::string>;
namespace stdfs = std::filesystem;

void touch(const std::string& path, const std::string& text = "x") { test::writeText(path, text); }

void setDate(const std::string& path, int year, int month, int day) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    struct timespec times[2] = {{0, UTIME_OMIT}, {timegm(&t), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// True when the file system keeps the archive and system bits.
bool dosBitsPersist(const std::string& path) {
    return platform::setFileAttributes(path.c_str(), platform::kAttrSystem) &&
           platform::fileAttributes(path.c_str()) == platform::kAttrSystem &&
           platform::setFileAttributes(path.c_str(), platform::kAttrArchive);
}

// A tree under "root" in a scratch directory, which is the current directory
// while the test runs; temporary files go to a directory of their own.
class BuildList : public ::testing::Test {
protected:
    void SetUp() override {
        stdfs::create_directories(s / "root/sub/deep");
        stdfs::create_directories(s / "tmp");
        for (const char* f : {"root/a.txt", "root/b.TXT", "root/c.doc", "root/README", "root/.hidden.txt",
                              "root/sub/d.txt", "root/sub/e.doc", "root/sub/deep/f.txt"})
            touch(s / f);
        stdfs::create_directory_symlink(s / "root", s / "root/sub/loop");  // leads back: never walked
        stdfs::current_path(s.path());
        tmp_ = std::make_unique<test::ScopedEnv>("TMPDIR", (s / "tmp").c_str());
        tz_ = std::make_unique<test::ScopedEnv>("TZ", "UTC0");
        tzset();
    }
    void TearDown() override {
        list.free();
        stdfs::current_path("/");
        tz_.reset();
        tzset();
    }

    Result build(const char* include, uint32_t flags, const char* exclude = nullptr) {
        OptionSet o;
        o.flags = flags;
        return build(include, o, exclude);
    }
    Result build(const char* include, const OptionSet& o, const char* exclude = nullptr) {
        return buildFileList(include, exclude, o, list);
    }
    Names stored() {
        Names out;
        list.forEach([&](const FileRecord& r) {
            out.insert(r.storedName);
            return kOk;
        });
        return out;
    }
    FileRecord record(const std::string& name) {
        FileRecord out;
        list.forEach([&](const FileRecord& r) {
            if (r.storedName == name) out = r;
            return kOk;
        });
        return out;
    }

    test::Scratch s;
    FileList list;
    std::unique_ptr<test::ScopedEnv> tmp_, tz_;
};

TEST_F(BuildList, RecursionAndStoredPaths) {
    struct Case {
        const char* include;
        uint32_t flags;
        Names names;
    } cases[] = {
        {"root/*.txt", 0, {"a.txt", "b.TXT"}},
        {"root/*.", 0, {"README"}},
        {"root", kZipFullPaths, {"root"}},
        {"root/", 0, {"a.txt", "b.TXT", "c.doc", "README"}},
        {"root/*.txt", kZipRecurse, {"a.txt", "b.TXT", "d.txt", "f.txt"}},
        {"root/*.txt", kZipRecurse | kZipRelativePaths, {"a.txt", "b.TXT", "sub/d.txt", "sub/deep/f.txt"}},
        {"root/*.txt", kZipRecurse | kZipFullPaths,
         {"root/a.txt", "root/b.TXT", "root/sub/d.txt", "root/sub/deep/f.txt"}},
        {"root/*", kZipRecurse | kZipRelativePaths,
         {"a.txt", "b.TXT", "c.doc", "README", "sub", "sub/d.txt", "sub/e.doc", "sub/deep", "sub/deep/f.txt"}},
        // Without recursion a link to a directory is a directory like any other.
        {"root/sub/*", kZipFullPaths, {"root/sub/d.txt", "root/sub/e.doc", "root/sub/deep", "root/sub/loop"}},
        {"root/sub/*", 0, {"d.txt", "e.doc"}},
        {"root/sub/d.txt root/c.doc", 0, {"d.txt", "c.doc"}},
        {"\"root/sub/d.txt\" root\\sub\\deep\\*", 0, {"d.txt", "f.txt"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(build(c.include, c.flags), kOk) << c.include << " " << std::hex << c.flags;
        EXPECT_EQ(stored(), c.names) << c.include << " " << std::hex << c.flags;
    }
}

TEST_F(BuildList, FullPathsAndDrives) {
    ASSERT_EQ(build("root/sub/deep/*", kZipFullPaths), kOk);
    EXPECT_EQ(record("root/sub/deep/f.txt").fullPath, "root/sub/deep/f.txt");

    // An absolute specification: the root separator becomes the drive part,
    // and a stored drive part that is only a root stands for the current drive.
    std::string absolute = s / "root/sub/deep/*";
    std::string below = s.path().substr(1) + "/root/sub/deep/";
    ASSERT_EQ(build(absolute.c_str(), kZipFullPaths), kOk);
    EXPECT_EQ(stored(), Names{below + "f.txt"});
    EXPECT_EQ(record(below + "f.txt").fullPath, s / "root/sub/deep/f.txt");
    std::string drive = std::string(1, platform::currentDriveLetter()) + ":\\";
    ASSERT_EQ(build(absolute.c_str(), kZipFullPaths | kZipStoreDrive), kOk);
    EXPECT_EQ(stored(), Names{drive + below + "f.txt"});
    ASSERT_EQ(build(absolute.c_str(), kZipStoreDrive), kOk);
    EXPECT_EQ(stored(), Names{drive.substr(0, 2) + "f.txt"});
}

// Where paths have no drives, "x:y" is a directory like any other, relative
// or absolute, however the names are stored.
TEST_F(BuildList, DirectoriesWithAColon) {
    if (platform::namesIgnoreCase() || platform::pathsHaveDrives()) GTEST_SKIP() << "':' ends a drive here";
    stdfs::create_directories(s / "x:y/sub:z");
    touch(s / "x:y/f.txt");
    touch(s / "x:y/a:b.txt");
    touch(s / "x:y/sub:z/g.txt");
    stdfs::create_directories(s / "c:");
    touch(s / "c:/h.txt");
    const std::string absolute = s.path() + "/x:y/";
    const std::string below = s.path().substr(1) + "/x:y/";
    struct Case {
        std::string include;
        uint32_t flags;
        Names names;
    } cases[] = {
        {"x:y/*.txt", 0, {"f.txt", "a:b.txt"}},
        {"x:y/a:*", 0, {"a:b.txt"}},
        {"x:y/*.txt", kZipFullPaths, {"x:y/f.txt", "x:y/a:b.txt"}},
        {"x:y\\*.txt", kZipFullPaths | kZipLongNames, {"x:y\\f.txt", "x:y\\a:b.txt"}},
        {"x:y/*.txt", kZipRecurse, {"f.txt", "a:b.txt", "g.txt"}},
        {"x:y/*.txt", kZipRecurse | kZipRelativePaths, {"f.txt", "a:b.txt", "sub:z/g.txt"}},
        {"x:y/*.txt", kZipRecurse | kZipFullPaths, {"x:y/f.txt", "x:y/a:b.txt", "x:y/sub:z/g.txt"}},
        {"X:Y/SUB:Z/*.TXT", kZipFullPaths | kZipLongNames, {"x:y/sub:z/g.txt"}},  // spelt as on disk
        {"C:/*.TXT", kZipFullPaths | kZipLongNames, {"c:/h.txt"}},                 // not a drive either
        {"c:/*.txt", 0, {"h.txt"}},
        {"x:y/a:*", kZipRecurse | kZipFullPaths, {"x:y/a:b.txt"}},  // the pattern is "a:*" in every directory
        {absolute + "*.txt", 0, {"f.txt", "a:b.txt"}},
        {absolute + "*.txt", kZipRecurse | kZipFullPaths, {below + "f.txt", below + "a:b.txt", below + "sub:z/g.txt"}},
        {absolute + "*.txt", kZipRecurse | kZipRelativePaths, {"f.txt", "a:b.txt", "sub:z/g.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.include + " " + std::to_string(c.flags));
        ASSERT_EQ(build(c.include.c_str(), c.flags), kOk);
        EXPECT_EQ(stored(), c.names);
        list.forEach([](const FileRecord& r) {
            std::string path = r.fullPath;
            std::replace(path.begin(), path.end(), '\\', '/');  // as the library hands it to the system
            EXPECT_TRUE(stdfs::is_regular_file(path)) << r.fullPath;
            return kOk;
        });
    }
    // A name to exclude is read the same way.
    ASSERT_EQ(build("x:y/*.txt", kZipRecurse | kZipRelativePaths, "x:y/sub:z/*.txt"), kOk);
    EXPECT_EQ(stored(), (Names{"f.txt", "a:b.txt"}));
}

TEST_F(BuildList, ExclusionsWithAndWithoutDirectory) {
    ASSERT_EQ(build("root/*", kZipRecurse | kZipRelativePaths, "*.doc root/sub/deep/"), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT", "README", "sub", "sub/d.txt", "sub/deep"}));
    ASSERT_EQ(build("root/*", kZipRecurse | kZipRelativePaths, "root/sub/*.txt"), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT", "c.doc", "README", "sub", "sub/e.doc", "sub/deep"}));
}

TEST_F(BuildList, TheSameStoredNameTwiceIsKeptOnce) {
    stdfs::create_directories(s / "root/x");
    stdfs::create_directories(s / "root/y");
    touch(s / "root/x/Same.txt", "first");
    touch(s / "root/y/Same.txt", "second");
    touch(s / "root/y/SAME.TXT", "third");
    ASSERT_EQ(build("root/x/*.txt root/y/*.txt", 0), kOk);
    EXPECT_EQ(record("Same.txt").fullPath, "root/x/Same.txt");  // the first stays
    // A name in another case is another file where the file system tells
    // case apart, and the same one where it does not.
    if (platform::namesIgnoreCase()) {
        EXPECT_EQ(stored(), Names{"Same.txt"});
    } else {
        EXPECT_EQ(stored(), (Names{"Same.txt", "SAME.TXT"}));
        EXPECT_EQ(record("SAME.TXT").fullPath, "root/y/SAME.TXT");
    }
    // Two patterns that find the one file (patterns ignore case) list it once.
    ASSERT_EQ(build("root/a.txt root/A.TXT", 0), kOk);
    EXPECT_EQ(stored(), Names{"a.txt"});
}

// "readme" and "README" side by side are two files on POSIX: each is listed,
// under its own name and with its own path, however the names are stored.
TEST_F(BuildList, CaseTwinsAreTwoFiles) {
    if (platform::namesIgnoreCase()) GTEST_SKIP() << "one file system name for both";
    stdfs::create_directories(s / "d/Sub");
    stdfs::create_directories(s / "d/sub");
    for (const char* f : {"d/readme", "d/README", "d/Sub/x", "d/sub/x"}) touch(s / f, f);
    for (uint32_t names : {kZipShortNames, kZipLongNames}) {
        SCOPED_TRACE(names);
        ASSERT_EQ(build("d/*", names | kZipRecurse | kZipFullPaths), kOk);
        EXPECT_EQ(stored(), (Names{"d/readme", "d/README", "d/Sub", "d/sub", "d/Sub/x", "d/sub/x"}));
        for (const char* f : {"d/readme", "d/README", "d/Sub/x", "d/sub/x"}) EXPECT_EQ(record(f).fullPath, f);
        // A spec that names one twin's directory walks that one.
        ASSERT_EQ(build("d/sub/*", names | kZipFullPaths), kOk);
        EXPECT_EQ(stored(), Names{"d/sub/x"});
    }
}

TEST_F(BuildList, HiddenAndSystemFilesOnlyWhenAdmitted) {
    ASSERT_EQ(build("root/*.txt", 0), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT"}));
    ASSERT_EQ(build("root/*.txt", kZipAdmitHidden), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT", ".hidden.txt"}));
    EXPECT_EQ(record(".hidden.txt").attributes & platform::kAttrHidden, platform::kAttrHidden);
    ASSERT_EQ(build("root/*.txt", kZipAdmitHidden | kZipOmitHidden), kOk);
    EXPECT_EQ(record(".hidden.txt").attributes & platform::kAttrHidden, 0u);  // -JH

    // A hidden directory is not walked unless hidden files are admitted.
    stdfs::create_directories(s / "root/.git");
    touch(s / "root/.git/g.txt");
    ASSERT_EQ(build("root/*.txt", kZipRecurse), kOk);
    EXPECT_EQ(stored().count("g.txt"), 0u);
    ASSERT_EQ(build("root/*.txt", kZipRecurse | kZipAdmitHidden), kOk);
    EXPECT_EQ(stored().count("g.txt"), 1u);

    if (!dosBitsPersist(s / "root/c.doc")) GTEST_SKIP() << "no extended attributes here";
    ASSERT_TRUE(platform::setFileAttributes((s / "root/c.doc").c_str(), platform::kAttrSystem | platform::kAttrArchive));
    ASSERT_EQ(build("root/*.doc", 0), kNothingDone);
    ASSERT_EQ(build("root/*.doc", kZipAdmitSystem), kOk);
    EXPECT_EQ(stored(), Names{"c.doc"});
    ASSERT_EQ(build("root/*.doc", kZipAdmitHidden), kNothingDone);
}

TEST_F(BuildList, ArchiveBitWithI) {
    if (!dosBitsPersist(s / "root/a.txt")) GTEST_SKIP() << "no extended attributes here";
    ASSERT_TRUE(platform::setFileAttributes((s / "root/a.txt").c_str(), 0));  // archive bit clear
    ASSERT_EQ(build("root/*.txt", 0), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT"}));
    ASSERT_EQ(build("root/*.txt", kZipArchiveBitOnly), kOk);
    EXPECT_EQ(stored(), Names{"b.TXT"});
}

TEST_F(BuildList, DateFilters) {
    setDate(s / "root/a.txt", 1995, 6, 1);
    setDate(s / "root/b.TXT", 2000, 1, 1);
    setDate(s / "root/sub/d.txt", 2010, 3, 15);
    setDate(s / "root/sub/deep/f.txt", 2020, 12, 31);
    auto dos = [](int y, int m, int d) { return static_cast<uint32_t>((y - 1980) << 9 | m << 5 | d); };
    struct Case {
        uint32_t flags, after, before;
        Names names;
    } cases[] = {
        {0, 0, 0, {"a.txt", "b.TXT", "d.txt", "f.txt"}},
        {kZipDateAfter, dos(2000, 1, 1), 0, {"b.TXT", "d.txt", "f.txt"}},   // on the day counts as after
        {kZipDateBefore, 0, dos(2000, 1, 1), {"a.txt"}},                    // from that day on is left out
        {kZipDateAfter | kZipDateBefore, dos(2000, 1, 1), dos(2020, 12, 31), {"b.TXT", "d.txt"}},
        {kZipDateAfter | kZipDateBefore, dos(2020, 12, 31), dos(2000, 1, 1), {"a.txt", "f.txt"}},
        {kZipDateAfter | kZipDateBefore, dos(2010, 3, 15), dos(2010, 3, 15), {"a.txt", "b.TXT", "d.txt", "f.txt"}},
    };
    for (const Case& c : cases) {
        OptionSet o;
        o.flags = c.flags | kZipRecurse;
        o.dateAfter = c.after;
        o.dateBefore = c.before;
        EXPECT_EQ(build("root/*.txt", o), kOk);
        EXPECT_EQ(stored(), c.names) << std::hex << c.flags << " " << c.after << " " << c.before;
    }
}

TEST_F(BuildList, TheLibrarysOwnTemporaryFilesAreNeverCollected) {
    test::ScopedEnv inside("TMPDIR", (s / "root/sub").c_str());  // the queue and the index live in the tree
    TempFile mine = TempFile::make();
    ASSERT_TRUE(mine.valid());
    ASSERT_EQ(build("root/*", kZipRecurse | kZipFullPaths), kOk);
    for (const std::string& name : stored()) EXPECT_EQ(name.find("AZR"), std::string::npos) << name;
    EXPECT_EQ(stored().count("root/sub/d.txt"), 1u);
    // Once it is no temporary file any more, it is an ordinary file.
    std::string kept = mine.release();
    unregisterTempFile(kept.c_str());
    ASSERT_EQ(build("root/*", kZipRecurse | kZipFullPaths), kOk);
    EXPECT_EQ(stored().count("root/sub/" + stdfs::path(kept).filename().string()), 1u);
    stdfs::remove(kept);
}

TEST_F(BuildList, NothingToCollect) {
    EXPECT_EQ(build("", 0), kNothingDone);
    EXPECT_EQ(build(nullptr, 0), kNothingDone);
    EXPECT_EQ(build("root/*.none", kZipRecurse), kNothingDone);
    EXPECT_EQ(build("missing/*", kZipRecurse), kNothingDone);
    EXPECT_EQ(build("root", 0), kNothingDone);  // a directory is no file, and not admitted
    EXPECT_TRUE(stdfs::is_empty(s / "tmp"));  // nothing left behind
}

TEST_F(BuildList, LongNamesFollowTheDiskSpelling) {
    // Without expansion the case-sensitive file system finds nothing.
    EXPECT_EQ(build("ROOT/SUB/*.TXT", kZipFullPaths), kNothingDone);
    ASSERT_EQ(build("ROOT/SUB/*.TXT", kZipFullPaths | kZipLongNames), kOk);
    EXPECT_EQ(stored(), Names{"root/sub/d.txt"});
    EXPECT_EQ(build("ROOT/NONE/*.TXT", kZipLongNames), kDirectoryFailed);
}

TEST_F(BuildList, QueueLineWithoutLineFeed) {
    // A relative directory path longer than one read of the queue.
    std::string deep = "root";
    for (int i = 0; i < 3; ++i) deep += "/" + std::string(100, static_cast<char>('p' + i));
    stdfs::create_directories(s / deep);
    touch(s / deep + "/z.txt");
    EXPECT_EQ(build("root/*.txt", kZipRecurse), kSomeEntriesFailed);
}

// ---- Symbolic links -----------------------------------------------------------------

struct Notice {
    std::string name;
    int16_t code;
    bool operator==(const Notice&) const = default;
};
std::vector<Notice> notices;
int16_t noticeAnswer = 1;
int16_t AXAPI recordNotice(StatusRecord record) {
    if (record.kind == 0) notices.push_back({record.entryName, record.code});
    return record.kind == 0 ? noticeAnswer : 1;
}

// The notices the host is told of, with a hook of its own answering them.
class Links : public BuildList {
protected:
    void SetUp() override {
        BuildList::SetUp();
        stdfs::create_directories(s / "outside/dir/inner");
        touch(s / "outside/file.txt", "outside");
        touch(s / "outside/dir/i.txt");
        touch(s / "outside/dir/inner/j.txt");
        stdfs::remove(s / "root/sub/loop");  // each case below makes its own
        notices.clear();
        noticeAnswer = 1;
        setMoreStatus(0);
        setReporting(true);
        setHook(recordNotice);
    }
    void TearDown() override {
        setHook(nullptr);
        setReporting(false);
        BuildList::TearDown();
    }
    void link(const std::string& target, const std::string& at) { stdfs::create_symlink(target, s / at); }
    // "root/a/b" as the host sees it in a notice.
    static std::string shown(std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }
};

TEST_F(Links, FollowedToFilesAndIntoDirectories) {
    link("../outside/file.txt", "root/flink.txt");
    link("../outside/dir", "root/dlink");
    link("../../outside/dir/inner", "root/sub/ilink");
    ASSERT_EQ(build("root/*.txt", kZipRecurse | kZipRelativePaths), kOk);
    EXPECT_EQ(stored(), (Names{"a.txt", "b.TXT", "flink.txt", "sub/d.txt", "sub/deep/f.txt", "dlink/i.txt",
                               "dlink/inner/j.txt", "sub/ilink/j.txt"}));
    // A link to a file holds the file's size and time; the walk opens it by the link's path.
    EXPECT_EQ(record("flink.txt").size, 7u);
    EXPECT_EQ(record("flink.txt").fullPath, "root/flink.txt");
    // Not a loop: a directory reached two ways, one of them a real directory.
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(moreStatus(), 0);
    // Without recursion a link to a file is a file.
    ASSERT_EQ(build("root/flink.txt", 0), kOk);
    EXPECT_EQ(stored(), Names{"flink.txt"});
}

// A link that leads back into the walk is passed over with a notice, and the
// walk ends: to the directory being walked or one above it (inside the walk
// or above its top), or to a directory walked already in the run.
TEST_F(Links, LoopsArePassedOverWithANotice) {
    using Notices = std::vector<Notice>;
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> links;  // target, link
        Names names;  // the files listed, below root/sub
        Notices notices;
    } cases[] = {
        {"itself", {{".", "root/sub/deep/self"}}, {}, {{"root/sub/deep/self", kAccessDenied}}},
        {"its parent", {{"..", "root/sub/deep/up"}}, {}, {{"root/sub/deep/up", kAccessDenied}}},
        {"above the top", {{"..", "root/sub/up"}}, {}, {{"root/sub/up", kAccessDenied}}},
        {"far above the top", {{"../../..", "root/sub/deep/top"}}, {}, {{"root/sub/deep/top", kAccessDenied}}},
        {"a sibling walked already", {{"deep", "root/sub/again"}}, {}, {{"root/sub/again", kAccessDenied}}},
        {"two ways to one directory: the first by name is walked",
         {{"../../outside/dir/inner", "root/sub/two"}, {"../../outside/dir/inner", "root/sub/one"}},
         {"one/j.txt"},
         {{"root/sub/two", kAccessDenied}}},
        {"into each other's directories",
         {{"../y", "root/sub/x/to-y"}, {"../x", "root/sub/y/to-x"}},
         {},
         {{"root/sub/x/to-y", kAccessDenied}, {"root/sub/y/to-x", kAccessDenied}}},
        {"back to the top, and to its own directory, from outside",
         {{"../../outside/dir", "root/sub/out"}, {"../../root/sub", "outside/dir/back"},
          {"..", "outside/dir/inner/again"}},
         {"out/i.txt", "out/inner/j.txt"},
         {{"root/sub/out/back", kAccessDenied}, {"root/sub/out/inner/again", kAccessDenied}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (auto [target, at] : c.links) {
            stdfs::create_directories(stdfs::path(s / at).parent_path());
            link(target, at);
        }
        notices.clear();
        setMoreStatus(0);
        ASSERT_EQ(build("root/sub/*.txt", kZipRecurse | kZipRelativePaths), kOk);
        Names names = c.names;
        names.insert({"d.txt", "deep/f.txt"});
        EXPECT_EQ(stored(), names);
        Notices wanted = c.notices, seen = notices;
        for (Notice& n : wanted) n.name = shown(n.name);
        // Directories side by side are walked in the order they are listed in.
        auto byName = [](const Notice& a, const Notice& b) { return a.name < b.name; };
        std::sort(wanted.begin(), wanted.end(), byName);
        std::sort(seen.begin(), seen.end(), byName);
        EXPECT_EQ(seen, wanted);
        EXPECT_EQ(moreStatus(), kAccessDenied);
        for (auto [target, at] : c.links) stdfs::remove(s / at);
    }
}

TEST_F(Links, ABrokenLinkIsNamedAndTheRestListed) {
    link("../missing.txt", "root/gone.txt");
    link("../gone.txt", "root/sub/chain.txt");  // a link to the broken link
    link("circle.txt", "root/sub/circle.txt");
    link("../c.doc/x", "root/sub/through.txt");  // a file is no directory
    link("missing", "root/.hidden-gone.txt");    // hidden: left out unless admitted
    link("missing", "root/gone.doc");            // not selected: nothing to say
    struct Case {
        const char* include;
        uint32_t flags;
        const char* exclude;
        Names names;
        std::vector<std::string> notices;
    } cases[] = {
        {"root/*.txt", 0, nullptr, {"a.txt", "b.TXT"}, {"root/gone.txt"}},
        {"root/gone.txt", 0, nullptr, {}, {"root/gone.txt"}},
        {"root/*.txt", kZipRecurse | kZipRelativePaths, nullptr, {"a.txt", "b.TXT", "sub/d.txt", "sub/deep/f.txt"},
         {"root/gone.txt", "root/sub/chain.txt", "root/sub/circle.txt", "root/sub/through.txt"}},
        {"root/*.txt", kZipRecurse | kZipAdmitHidden, "root/sub/*.txt",
         {"a.txt", "b.TXT", ".hidden.txt"},
         {"root/gone.txt", "root/.hidden-gone.txt"}},  // what is left out needs no notice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.include + std::string(" ") + std::to_string(c.flags));
        notices.clear();
        setMoreStatus(0);
        EXPECT_EQ(build(c.include, c.flags, c.exclude), c.names.empty() ? kNothingDone : kOk);
        if (!c.names.empty()) {
            EXPECT_EQ(stored(), c.names);
        }
        std::vector<std::string> names;
        for (const Notice& n : notices) {
            EXPECT_EQ(n.code, kPathNotFound) << n.name;
            names.push_back(n.name);
        }
        std::vector<std::string> wanted = c.notices;
        for (std::string& n : wanted) n = shown(n);
        std::sort(names.begin(), names.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(names, wanted);
        EXPECT_EQ(moreStatus(), kPathNotFound);
    }
}

TEST_F(Links, AnAnswerOtherThanOkEndsTheBuild) {
    link("missing", "root/gone.txt");
    link("..", "root/sub/up");
    for (const char* include : {"root/*.txt", "root/sub/*"}) {
        noticeAnswer = 2;  // Cancel
        notices.clear();
        EXPECT_EQ(build(include, kZipRecurse), kCancelled) << include;
        EXPECT_EQ(notices.size(), 1u) << include;
        EXPECT_FALSE(list.isOpen());
    }
    EXPECT_TRUE(stdfs::is_empty(s / "tmp"));  // nothing left behind
}

TEST(DirectoryQueue, FirstInFirstOut) {
    test::Scratch s;
    test::ScopedEnv tmp("TMPDIR", s.path().c_str());
    DirectoryQueue q;
    ASSERT_EQ(q.create(), kOk);
    std::string line;
    EXPECT_EQ(q.pop(&line), kShortRead);  // an empty read
    ASSERT_EQ(q.push("a/"), kOk);
    ASSERT_EQ(q.push("b/"), kOk);
    EXPECT_EQ(q.pending(), 2u);
    ASSERT_EQ(q.pop(&line), kOk);
    EXPECT_EQ(line, "a/");
    ASSERT_EQ(q.push("a/c/"), kOk);
    ASSERT_EQ(q.pop(&line), kOk);
    EXPECT_EQ(line, "b/");
    ASSERT_EQ(q.pop(&line), kOk);
    EXPECT_EQ(line, "a/c/");
    EXPECT_EQ(q.pending(), 0u);
    ASSERT_EQ(q.push(std::string(258, 'x')), kOk);  // 258 characters and the line feed fit one read
    ASSERT_EQ(q.pop(&line), kOk);
    EXPECT_EQ(line.size(), 258u);
    ASSERT_EQ(q.push(std::string(259, 'y')), kOk);
    EXPECT_EQ(q.pop(&line), kSomeEntriesFailed);
    platform::failNthCall(platform::Fault::Write, 1);
    EXPECT_EQ(q.push("d/"), kWriteFailed);
    q.remove();
    EXPECT_TRUE(stdfs::is_empty(s.path()));
    test::ScopedEnv nowhere("TMPDIR", (s / "missing").c_str());
    EXPECT_EQ(q.create(), kWriteFailed);
}

TEST(Allowance, AttributesBesidesTheHarmlessOnes) {
    using namespace platform;
    struct Case {
        uint32_t attributes, allowance;
        bool allowed;
    } cases[] = {
        {kAttrArchive | kAttrReadOnly | 0x80, 0, true},
        {kAttrHidden, 0, false},
        {kAttrHidden, kAllowHidden, true},
        {kAttrHidden | kAttrSystem, kAllowHidden, false},
        {kAttrDirectory, 0x80, false},
        {kAttrDirectory, kAllowDirectories, true},
        {kAttrDirectory, kAttrArchive, false},  // the archive bit of the allowance counts for nothing
        {kAttrDirectory | kAttrReparsePoint, kAllowDirectories | kAllowHidden | kAllowSystem, false},
    };
    for (const Case& c : cases) EXPECT_EQ(attributesAllowed(c.attributes, c.allowance), c.allowed) << std::hex << c.attributes << " " << c.allowance;
}

// ---- Long names ------------------------------------------------------------------

TEST_F(BuildList, LongNameExpansion) {
    std::string path = "ROOT/Sub/DEEP/";
    ASSERT_EQ(expandLongNames("", &path), kOk);
    EXPECT_EQ(path, "root/sub/deep/");
    path = "./ROOT/../root/SUB\\";
    ASSERT_EQ(expandLongNames("", &path), kOk);
    EXPECT_EQ(path, "./root/../root/sub\\");  // dots and separators stay as written
    path = "/ROOT/SUB/";
    ASSERT_EQ(expandLongNames(s.path(), &path), kOk);
    EXPECT_EQ(path, "/root/sub/");
    path = "ROOT/NONE/";
    EXPECT_EQ(expandLongNames("", &path), kDirectoryFailed);
    EXPECT_EQ(path, "ROOT/NONE/");
    // Of directories that differ only in case, the one spelt as asked.
    if (platform::namesIgnoreCase()) return;
    stdfs::create_directories(s / "root/Twin");
    stdfs::create_directories(s / "root/twin");
    for (const char* twin : {"root/Twin/", "root/twin/"}) {
        path = twin;
        ASSERT_EQ(expandLongNames("", &path), kOk);
        EXPECT_EQ(path, twin);
    }
}

TEST_F(BuildList, ShortNameForm) {
    std::string stored = "SUB/DEEP/F.TXT", shortName;
    ASSERT_EQ(shortNameForm(s / "root/sub/deep/f.txt", &stored, &shortName), kOk);
    EXPECT_EQ(stored, "sub/deep/f.txt");
    EXPECT_EQ(shortName, "sub/deep/f.txt");  // no 8.3 names here: the short name is the name
    stored = "Root/Sub/";
    ASSERT_EQ(shortNameForm(s / "root/sub", &stored, &shortName), kOk);
    EXPECT_EQ(stored, "root/sub/");
    EXPECT_EQ(shortName, "root/sub/");
    stored = "C:\\deep/F.txt";
    ASSERT_EQ(shortNameForm(s / "root/sub/deep/f.txt", &stored, &shortName), kOk);
    EXPECT_EQ(stored, "C:\\deep/f.txt");  // the drive is no component of the disk path
    // A ':' inside a name is part of the name, as Linux trees have them.
    test::writeBytes(s / "root/sub/Algorithm::Diff.3pm", std::vector<uint8_t>{'x'});
    stored = "sub/Algorithm::Diff.3pm";
    ASSERT_EQ(shortNameForm(s / "root/sub/Algorithm::Diff.3pm", &stored, &shortName), kOk);
    EXPECT_EQ(stored, "sub/Algorithm::Diff.3pm");
    EXPECT_EQ(shortName, "sub/Algorithm::Diff.3pm");
    // Files that differ only in case each keep their own spelling.
    if (!platform::namesIgnoreCase()) {
        touch(s / "root/readme");  // beside root/README
        for (const char* twin : {"readme", "README"}) {
            stored = twin;
            ASSERT_EQ(shortNameForm(s / (std::string("root/") + twin), &stored, &shortName), kOk);
            EXPECT_EQ(stored, twin);
            EXPECT_EQ(shortName, twin);
        }
    }
    // Where paths have no drives, a stored name may begin with a directory
    // "a:b" that the disk path spells too; a drive before a name it never does.
    if (!platform::pathsHaveDrives()) {
        stdfs::create_directories(s / "X:y");
        stdfs::create_directories(s / "c:");
        touch(s / "X:y/f.txt");
        touch(s / "c:/g.txt");
        stdfs::current_path(s.path());
        struct Case {
            std::string disk, stored, expected;
        } cases[] = {
            {"X:y/f.txt", "x:Y/F.TXT", "X:y/f.txt"},
            {s / "X:y/f.txt", "X:Y/F.TXT", "X:y/f.txt"},
            {"c:/g.txt", "C:/G.TXT", "c:/g.txt"},
            {"X:y/f.txt", "C:F.TXT", "C:f.txt"},                    // -.D without paths
            {s / "X:y/f.txt", "C:\\X:Y\\F.TXT", "C:\\X:y\\f.txt"},  // -.D with paths
        };
        for (const Case& c : cases) {
            stored = c.stored;
            ASSERT_EQ(shortNameForm(c.disk, &stored, &shortName), kOk) << c.stored;
            EXPECT_EQ(stored, c.expected) << c.stored;
            EXPECT_EQ(shortName, c.expected) << c.stored;
        }
    }
    stored = "gone.txt";
    EXPECT_EQ(shortNameForm(s / "root/gone.txt", &stored, &shortName), kDirectoryFailed);
    EXPECT_EQ(shortName, "");
    EXPECT_EQ(stored, "gone.txt");
}

TEST(DriveLetter, OfThePathOrTheCurrentDrive) {
    EXPECT_EQ(driveLetter("d:\\x"), 'd');
    EXPECT_EQ(driveLetter("Q:"), 'Q');
    EXPECT_EQ(driveLetter("x"), zar::platform::currentDriveLetter());
    EXPECT_EQ(driveLetter("1:"), zar::platform::currentDriveLetter());
    EXPECT_EQ(driveLetter(""), zar::platform::currentDriveLetter());
}

}  // namespace
