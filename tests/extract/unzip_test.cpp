// The unzip driver through its exports: selection, output paths, every
// overwrite rule, the per-entry notices and the run's result, test mode,
// cancel, and replacing a file. (The TAR, gzip and ARC kinds made by their
// tools, and names only POSIX takes: unzip_posix_test.cpp.)
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/civil_time.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "common/zip_crypto.h"
#include "fs/temp_files.h"
#include "platform/platform.h"
#include "unzip_support.h"
#include "zarlib32.h"

namespace {

using zar::test::encrypt;
using zar::test::entry;
using zar::test::readBytes;
using zar::test::readText;
using zar::test::removeTree;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::writeText;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
namespace fsys = std::filesystem;
using zar::test::unzip::filesBelow;
using zar::test::lastWriteSeconds;
using zar::test::localSeconds;
using zar::test::setLastWriteSeconds;
using zar::test::unzip::head;
using zar::test::unzip::Report;
using zar::test::unzip::Unzip;

bool writable(const std::string& path) {
    return (fsys::status(path).permissions() & fsys::perms::owner_write) != fsys::perms::none;
}

std::string rawDeflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

ZipEntry deflated(std::string name, std::string data) {
    ZipEntry e = entry(std::move(name), std::move(data));
    e.method = 8;
    e.packed = rawDeflate(e.data);
    return e;
}

TEST_F(Unzip, ExtractsFilesDirectoriesTimesAndAttributes) {
    ZipArchive zip;
    zip.entries.push_back(entry("top.txt", "top level\n"));
    ZipEntry dir = entry("docs/", "");
    dir.externalAttributes = 0x10;
    zip.entries.push_back(dir);
    zip.entries.push_back(deflated("docs/inner/deep.txt", std::string(200000, 'x') + "tail"));
    ZipEntry ro = entry("docs/ro.txt", "read only");
    ro.externalAttributes = 0x01;
    ro.date = 0x5A6F;  // 2025-03-15
    ro.time = 0x4A2F;  // 09:17:30
    zip.entries.push_back(ro);
    zip.entries.push_back(entry("empty/", ""));  // a directory by its trailing separator alone

    ASSERT_EQ(unzip(make(zip), "*.*", "-D"), 0);
    EXPECT_EQ(readText(o("top.txt")), "top level\n");
    EXPECT_EQ(readText(o("docs/inner/deep.txt")), std::string(200000, 'x') + "tail");
    EXPECT_EQ(readText(o("docs/ro.txt")), "read only");
    EXPECT_TRUE(fsys::is_directory(o("empty")));

    // The DOS times read as local time (under UTC: 1735732800 and 1742030250).
    EXPECT_EQ(lastWriteSeconds(o("top.txt")), localSeconds(2025, 1, 1, 12, 0, 0));
    EXPECT_TRUE(writable(o("top.txt")));
    EXPECT_EQ(lastWriteSeconds(o("docs/ro.txt")), localSeconds(2025, 3, 15, 9, 17, 30));
    const auto anyWrite = fsys::perms::owner_write | fsys::perms::group_write | fsys::perms::others_write;
    EXPECT_EQ(fsys::status(o("docs/ro.txt")).permissions() & anyWrite, fsys::perms::none);
    EXPECT_TRUE(host_.reports.empty());
    EXPECT_EQ(Ax4MoreStatus(), 0);
}

TEST_F(Unzip, SelectionAndOutputLayout) {
    ZipArchive zip;
    zip.entries.push_back(entry("A.TXT", "a"));
    zip.entries.push_back(entry("sub/A.TXT", "sub a"));
    zip.entries.push_back(entry("sub/b.dat", "b"));
    const std::string archive = make(zip);
    struct Case {
        const char* include;
        const char* exclude;
        const char* options;
        int16_t result;
        std::vector<std::string> files;  // what the output directory holds afterwards
    } cases[] = {
        {"", nullptr, "", -7, {}},
        {nullptr, nullptr, "", -7, {}},
        {"a.txt", nullptr, "-D", 0, {"A.TXT"}},          // no wildcard: top level only
        {"*.TXT", nullptr, "-D", 0, {"A.TXT", "sub/A.TXT"}},  // wildcard: every directory
        {"*.*", "*.dat", "-D", 0, {"A.TXT", "sub/A.TXT"}},
        {"sub/*.*", nullptr, "-D", 0, {"sub/A.TXT", "sub/b.dat"}},
        {"sub/b.dat", nullptr, "", 0, {"b.dat"}},        // without -D the stored directory is dropped
        {"nothing.here", nullptr, "", -7, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.include ? c.include : "(null)") + " " + c.options);
        removeTree(out);
        fsys::create_directory(out);
        EXPECT_EQ(unzip(archive, c.include, c.options, c.exclude), c.result);
        std::vector<std::string> found;
        for (auto& f : fsys::recursive_directory_iterator(out))
            if (f.is_regular_file()) found.push_back(fsys::relative(f.path(), out).generic_string());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.files);
    }
}

TEST_F(Unzip, OverwriteRules) {
    ZipArchive zip;
    zip.entries.push_back(entry("one.txt", "new one"));      // archived 2025-01-01 12:00
    zip.entries.push_back(entry("two.txt", "new two"));
    zip.entries.push_back(entry("three.txt", "new three"));
    const std::string archive = make(zip);
    // Existing files: one older than its entry, two newer, three absent.
    auto prepare = [&] {
        removeTree(out);
        fsys::create_directory(out);
        writeText(o("one.txt"), "old one");
        writeText(o("two.txt"), "old two");
        fsys::last_write_time(o("one.txt"), fsys::last_write_time(o("one.txt")) - std::chrono::hours(24 * 3650));
        setLastWriteSeconds(o("two.txt"), 1893456000);  // 2030
    };
    struct Case {
        const char* options;
        int16_t answer;  // to the overwrite question
        int16_t result;
        const char* one;
        const char* two;
        const char* three;  // null: not written
        int questions;
    } cases[] = {
        {"-O", 7, 0, "new one", "new two", "new three", 0},
        {"-O-", 6, 0, "old one", "old two", "new three", 0},
        {"-F", 6, 0, "new one", "old two", nullptr, 0},   // three is missing: not written, still counted
        {"-N", 6, 0, "new one", "old two", "new three", 0},
        {"", 6, 0, "new one", "new two", "new three", 2},
        {"", 7, 0, "old one", "old two", "new three", 2},
        {"", 2, -4, "old one", "old two", nullptr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " answer " + std::to_string(c.answer));
        prepare();
        host_.reports.clear();
        host_.answer = [&](const Report&) { return c.answer; };
        EXPECT_EQ(unzip(archive, "*.*", c.options), c.result);
        EXPECT_EQ(readText(o("one.txt")), c.one);
        EXPECT_EQ(readText(o("two.txt")), c.two);
        EXPECT_EQ(fsys::exists(o("three.txt")), c.three != nullptr);
        if (c.three) {
            EXPECT_EQ(readText(o("three.txt")), c.three);
        }
        EXPECT_EQ(static_cast<int>(host_.reports.size()), c.questions);
        for (const Report& r : host_.reports) {
            EXPECT_EQ(r.kind, AX_STATUS_QUESTION);
            EXPECT_EQ(r.code, AX_ASK_FILE_EXISTS);
        }
    }
    // -F on files that are all missing still counts them as processed.
    removeTree(out);
    fsys::create_directory(out);
    EXPECT_EQ(unzip(archive, "*.*", "-F"), 0);
    EXPECT_TRUE(fsys::is_empty(out));
}

// A directory the run made holds nothing the run did not put there, so its
// files are not looked for before they are written. What the run put there
// itself, and what another process puts there meanwhile, still meet the
// overwrite rules: the second of two entries with one name, and a file that
// appears while its entry is being written, in a directory the run made or
// in one that was there (where a file found missing may appear too).
TEST_F(Unzip, NamesInDirectoriesTheRunMadeMeetTheOverwriteRules) {
    ZipArchive zip;
    zip.entries.push_back(entry("top.txt", "entry top"));
    zip.entries.push_back(entry("new/a.txt", "first a"));
    zip.entries.push_back(entry("new/a.txt", "second a"));
    zip.entries.push_back(deflated("new/b.txt", std::string(3000, 'b')));
    zip.entries.push_back(entry("new/c/", ""));
    zip.entries.push_back(entry("new/c", "a file where a directory stands"));
    const std::string archive = make(zip);
    const std::string entryB(3000, 'b');
    constexpr int16_t kAsk = AX_ASK_FILE_EXISTS, kDenied = AX_ACCESS_DENIED;
    struct Case {
        const char* options;
        int16_t answer;  // to the overwrite questions
        bool race;       // other files appear at top.txt and new/b.txt while their entries are written
        const char* a;
        const char* others;  // what stands at top.txt and new/b.txt; null: the entries' own data
        std::vector<int16_t> codes;
    } cases[] = {
        {"-D", AX_ANSWER_YES, false, "second a", nullptr, {kAsk, kDenied}},
        {"-D", AX_ANSWER_NO, false, "first a", nullptr, {kAsk, kDenied}},
        {"-D", AX_ANSWER_YES, true, "second a", nullptr, {kAsk, kAsk, kAsk, kDenied}},
        {"-D", AX_ANSWER_NO, true, "first a", "another's", {kAsk, kAsk, kAsk, kDenied}},
        {"-D -O-", AX_ANSWER_YES, true, "first a", "another's", {kDenied}},
        {"-D -O", AX_ANSWER_NO, true, "second a", nullptr, {kDenied}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " answer " + std::to_string(c.answer) + (c.race ? " race" : ""));
        removeTree(out);
        fsys::create_directory(out);
        host_.reports.clear();
        host_.answer = [&](const Report& r) { return r.kind == AX_STATUS_NOTICE ? int16_t{AX_ANSWER_OK} : c.answer; };
        // The status record shows the path with '\\' between its parts.
        auto endsWith = [](std::string text, const std::string& tail) {
            std::replace(text.begin(), text.end(), '\\', '/');
            return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        };
        int raced = 0;
        host_.onProgress = [&] {
            if (!c.race) return;
            for (const char* name : {"top.txt", "new/b.txt"})
                if (endsWith(host_.progressName, std::string("/") + name) && !fsys::exists(o(name))) {
                    writeText(o(name), "another's");
                    ++raced;
                }
        };
        EXPECT_EQ(unzip(archive, "*.*", c.options), AX_SOME_ENTRIES_FAILED);
        EXPECT_EQ(raced, c.race ? 2 : 0);
        EXPECT_EQ(readText(o("new/a.txt")), c.a);
        EXPECT_EQ(readText(o("top.txt")), c.others != nullptr ? std::string(c.others) : "entry top");
        EXPECT_EQ(readText(o("new/b.txt")), c.others != nullptr ? std::string(c.others) : entryB);
        EXPECT_TRUE(fsys::is_directory(o("new/c")));
        EXPECT_EQ(codes(), c.codes);
        EXPECT_TRUE(zar::test::noTemporaryFiles({out, o("new")}));
    }
    host_.onProgress = nullptr;
}

TEST_F(Unzip, YesToAllLastsForOneCall) {
    ZipArchive zip;
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) zip.entries.push_back(entry(name, "new"));
    const std::string archive = make(zip);
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) writeText(o(name), "old");
    host_.answer = [](const Report&) { return int16_t{AX_ANSWER_YES_TO_ALL}; };
    EXPECT_EQ(unzip(archive, "*.*", ""), 0);
    EXPECT_EQ(host_.reports.size(), 1u);
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) EXPECT_EQ(readText(o(name)), "new");
    host_.reports.clear();
    host_.answer = nullptr;  // No from here on
    EXPECT_EQ(unzip(archive, "*.*", ""), 0);
    EXPECT_EQ(host_.reports.size(), 3u);  // the next call asks again
}

TEST_F(Unzip, ReadOnlyExistingFiles) {
    ZipArchive zip;
    zip.entries.push_back(entry("locked.txt", "new"));
    const std::string archive = make(zip);
    struct Case {
        const char* options;
        int16_t result;
        const char* content;
        std::vector<int16_t> notices;
    } cases[] = {
        {"-O", -8, "old", {105}},
        {"-O -R-", 0, "old", {}},
        {"-O -R+", 0, "new", {}},
        {"-O -.O", -8, "old", {}},  // skipped silently, still a problem for the result
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        removeTree(out);
        fsys::create_directory(out);
        writeText(o("locked.txt"), "old");
        fsys::permissions(o("locked.txt"), fsys::perms::owner_read);
        host_.reports.clear();
        EXPECT_EQ(unzip(archive, "*.*", c.options), c.result);
        EXPECT_EQ(readText(o("locked.txt")), c.content);
        EXPECT_EQ(codes(), c.notices);
        if (c.result == -8) {
            EXPECT_EQ(Ax4MoreStatus(), 105);
        }
    }
}

TEST_F(Unzip, PerEntryNotices) {
    ZipEntry unknown = entry("method14.bin", "data");
    unknown.method = 14;
    ZipEntry badCrc = entry("bad.txt", "damaged");
    badCrc.crc = 0x12345678;
    ZipEntry noDecoder = entry("bz.bin", "BZh9 not really");  // a method that passes the check, without a decoder
    noDecoder.method = 12;
    // Encrypted in ways no password opens here: AES (its extra block names
    // AE-2, vendor "AE", 256 bits, deflated inside) and strong encryption.
    ZipEntry aes = entry("aes.bin", "");
    aes.packed = std::string(16 + 20 + 10, 'a');  // salt, password check value, data, authentication code
    aes.crc = 0;
    aes.method = 99;
    aes.flags = 1;
    aes.extra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 8, 0};
    ZipEntry strong = encrypt(entry("strong.txt", "strongly kept"), "right");
    strong.flags |= 0x40;
    ZipArchive zip;
    zip.entries.push_back(unknown);
    zip.entries.push_back(noDecoder);
    zip.entries.push_back(aes);
    zip.entries.push_back(strong);
    zip.entries.push_back(badCrc);
    zip.entries.push_back(encrypt(entry("secret.txt", "the secret"), "right"));
    zip.entries.push_back(entry("fine.txt", "fine"));
    const std::string archive = make(zip);
    struct Case {
        const char* include;
        const char* options;
        int16_t result;
        std::vector<int16_t> notices;
        int16_t moreStatus;
    } cases[] = {
        {"method14.bin", "", 0, {-3}, 0},     // an unknown method alone leaves the result 0
        {"bz.bin", "", 0, {-3}, 0},
        {"aes.bin", "", 0, {-3}, 0},       // not "wrong password", with a password or without
        {"aes.bin", "-S/right/", 0, {-3}, 0},
        {"strong.txt", "-S/right/", 0, {-3}, 0},
        {"strong.txt", "-S/wrong/", 0, {-3}, 0},
        {"bad.txt", "", -8, {-25}, -25},
        {"secret.txt", "", -8, {-24}, -24},   // no password given
        {"secret.txt", "-S/wrong/", -8, {-24}, -24},
        {"secret.txt", "-S/right/", 0, {}, 0},
        {"*.*", "-S/right/", -8, {-3, -3, -3, -3, -25}, -25},  // and the entries after it are still extracted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.include) + " " + c.options);
        removeTree(out);
        fsys::create_directory(out);
        host_.reports.clear();
        EXPECT_EQ(unzip(archive, c.include, c.options), c.result);
        EXPECT_EQ(codes(), c.notices);
        EXPECT_EQ(Ax4MoreStatus(), c.moreStatus);
    }
    EXPECT_EQ(readText(o("secret.txt")), "the secret");
    EXPECT_EQ(readText(o("bad.txt")), "damaged");  // a CRC mismatch leaves the file as written
    EXPECT_FALSE(fsys::exists(o("method14.bin")));
    EXPECT_FALSE(fsys::exists(o("bz.bin")));
    EXPECT_FALSE(fsys::exists(o("aes.bin")));
    EXPECT_FALSE(fsys::exists(o("strong.txt")));

    // Any answer but 1 ends the run with -4.
    for (const char* include : {"method14.bin", "aes.bin", "bad.txt", "secret.txt"}) {
        SCOPED_TRACE(include);
        host_.answer = [](const Report&) { return int16_t{AX_ANSWER_CANCEL}; };
        EXPECT_EQ(unzip(archive, include, "-O"), -4);
    }
}

TEST_F(Unzip, TestModeWritesNothingAndStillChecks) {
    ZipEntry badCrc = entry("bad.txt", "damaged");
    badCrc.crc = 1;
    ZipArchive zip;
    zip.entries.push_back(deflated("good.txt", std::string(100000, 'g')));
    zip.entries.push_back(badCrc);
    ZipEntry dir = entry("dir/", "");
    dir.externalAttributes = 0x10;
    zip.entries.push_back(dir);
    const std::string archive = make(zip);
    std::vector<std::string> names;
    host_.answer = [&](const Report& r) {
        names.push_back(r.name);
        return int16_t{1};
    };
    EXPECT_EQ(unzip(archive, "*.*", "-T -D"), -8);
    EXPECT_EQ(codes(), std::vector<int16_t>{-25});
    EXPECT_EQ(names, std::vector<std::string>{"bad.txt"});  // the entry's own name in test mode
    EXPECT_TRUE(fsys::is_empty(out));
}

TEST_F(Unzip, NamesThatClimbOutAreRefused) {
    ZipArchive zip;
    zip.entries.push_back(entry("../escape.txt", "no"));
    zip.entries.push_back(entry("a/../../escape2.txt", "no"));
    zip.entries.push_back(entry("..\\escape3.txt", "no"));
    zip.entries.push_back(entry("/abs/rooted.txt", "rooted"));
    zip.entries.push_back(entry("ok/../fine.txt", "no"));  // stays inside, but ".." is refused all the same
    zip.entries.push_back(entry("good.txt", "good"));
    const std::string archive = make(zip);
    for (const char* options : {"-D", "-D -O", "-D -.O"}) {
        SCOPED_TRACE(options);
        fsys::remove_all(s / "inner");
        out = s / "inner/out";
        fsys::create_directories(out);
        host_.reports.clear();
        EXPECT_EQ(unzip(archive, "*.*", options), -8);
        EXPECT_EQ(Ax4MoreStatus(), 105);
        const bool silent = std::strstr(options, ".O") != nullptr;
        EXPECT_EQ(codes(), silent ? std::vector<int16_t>{} : std::vector<int16_t>(4, 105));
        EXPECT_EQ(readText(o("good.txt")), "good");
        EXPECT_EQ(readText(o("abs/rooted.txt")), "rooted");  // a leading separator is dropped
        std::vector<std::string> outside;
        for (auto& f : fsys::recursive_directory_iterator(s / "inner"))
            if (f.is_regular_file() && f.path().generic_string().rfind(out, 0) != 0)
                outside.push_back(f.path().generic_string());
        EXPECT_TRUE(outside.empty());
        EXPECT_FALSE(fsys::exists(s / "escape.txt"));
        EXPECT_FALSE(fsys::exists(s / "escape2.txt"));
    }
}

TEST_F(Unzip, PathFiltersWithStoredPaths) {
    ZipArchive zip;
    zip.entries.push_back(entry("DATA/SUB/x.txt", "x"));
    zip.entries.push_back(entry("DATABASE/y.txt", "y"));
    zip.entries.push_back(entry("OTHER/z.txt", "z"));
    const std::string archive = make(zip);
    ASSERT_EQ(Ax4AddUnZipPathFilter((out + "/DATA").c_str(), (out + "/moved").c_str()), 0);
    ASSERT_EQ(Ax4AddUnZipPathFilter((out + "/DATA/SUB").c_str(), (out + "/never").c_str()), 0);  // first match wins
    EXPECT_EQ(unzip(archive, "*.*", "-D -.D"), 0);
    EXPECT_EQ(readText(o("moved/SUB/x.txt")), "x");
    EXPECT_EQ(readText(o("DATABASE/y.txt")), "y");  // the filter's separator keeps DATABASE out
    EXPECT_EQ(readText(o("OTHER/z.txt")), "z");
    EXPECT_FALSE(fsys::exists(o("never")));
    // The filters served that run only.
    removeTree(out);
    fsys::create_directory(out);
    EXPECT_EQ(unzip(archive, "*.*", "-D -.D"), 0);
    EXPECT_EQ(readText(o("DATA/SUB/x.txt")), "x");
}

TEST_F(Unzip, EitherSeparatorInOutputDirectoryAndFilters) {
    ZipArchive zip;
    zip.entries.push_back(entry("DATA/SUB/x.txt", "x"));
    zip.entries.push_back(entry("OTHER/z.txt", "z"));
    const std::string archive = make(zip);
    std::string backslashed = out;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    struct Case {
        std::string outputDir;
        std::string from, to;  // a path filter; none when empty
        std::vector<std::string> files;  // below the output directory afterwards
    } cases[] = {
        {out + "\\in\\here", "", "", {"in/here/DATA/SUB/x.txt", "in/here/OTHER/z.txt"}},
        {backslashed, "", "", {"DATA/SUB/x.txt", "OTHER/z.txt"}},
        {out, out + "\\DATA", out + "\\moved", {"OTHER/z.txt", "moved/SUB/x.txt"}},
        {backslashed, out + "/DATA", out + "/moved", {"OTHER/z.txt", "moved/SUB/x.txt"}},
        {out + "/", backslashed + "\\DATA\\", out + "/moved", {"OTHER/z.txt", "moved/SUB/x.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outputDir + " " + c.from);
        removeTree(out);
        fsys::create_directory(out);
        if (!c.from.empty()) {
            ASSERT_EQ(Ax4AddUnZipPathFilter(c.from.c_str(), c.to.c_str()), 0);
        }
        AxHandle h;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
        EXPECT_EQ(Ax4UnZip(&h, c.outputDir.c_str(), "*.*", nullptr, "-D -.D"), 0);
        Ax4ZipClose(&h);
        EXPECT_EQ(filesBelow(out), c.files);
        EXPECT_EQ(filesBelow(s.path()).size(), c.files.size() + 1);  // and nothing beside it but the archive
    }
}

// A drive in a stored name is a drive on every platform: under -.D it is kept
// and never made as a directory; without -.D it is dropped.
TEST_F(Unzip, StoredDrivesUnderKeepDrive) {
    ZipArchive zip;
    zip.entries.push_back(entry("C:\\DATA\\x.txt", "x"));
    zip.entries.push_back(entry("C:y.txt", "y"));
    const std::string archive = make(zip);
    fsys::current_path(s.path());
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_EQ(Ax4UnZip(&h, nullptr, "*.*", nullptr, "-D"), 0);
    EXPECT_EQ(filesBelow(s.path()), (std::vector<std::string>{"DATA/x.txt", "a.zip", "y.txt"}));
    if (!zar::platform::pathsHaveDrives()) {
        // No drive C: here, and no directory is made in its place.
        fsys::remove_all(s / "DATA");
        fsys::remove(s / "y.txt");
        EXPECT_EQ(Ax4UnZip(&h, nullptr, "C:\\DATA\\x.txt", nullptr, "-D -.D"), AX_DIRECTORY_FAILED);
        EXPECT_FALSE(fsys::exists(s / "C:"));
        // A filter sends the drive's tree to a directory of this machine.
        ASSERT_EQ(Ax4AddUnZipPathFilter("C:", (out + "/c").c_str()), 0);
        EXPECT_EQ(Ax4UnZip(&h, nullptr, "*.*", nullptr, "-D -.D"), 0);
        EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"c/DATA/x.txt", "c/y.txt"}));
        EXPECT_FALSE(fsys::exists(s / "C:"));
    }
    Ax4ZipClose(&h);
    fsys::current_path("/");
}

TEST_F(Unzip, DeclaredSizeBoundsTheOutput) {
    // A small entry whose data decodes to far more than it declares.
    ZipEntry bomb = deflated("bomb.bin", std::string(5'000'000, '\0'));
    bomb.data.resize(1000);  // the declared size and CRC describe the first 1000 bytes
    bomb.crc = zar::test::crcOf(bomb.data);
    ZipArchive zip;
    zip.entries.push_back(bomb);
    EXPECT_EQ(unzip(make(zip), "*.*", ""), 0);
    EXPECT_EQ(fsys::file_size(o("bomb.bin")), 1000u);
}

TEST_F(Unzip, CancelEndsTheRun) {
    ZipArchive zip;
    zip.entries.push_back(entry("big.bin", std::string(300000, 'c')));
    zip.entries.push_back(entry("after.txt", "after"));
    host_.onProgress = [] { Ax4Cancel(); };
    EXPECT_EQ(unzip(make(zip), "*.*", ""), -4);
    EXPECT_FALSE(fsys::exists(o("after.txt")));
    host_.onProgress = nullptr;
    EXPECT_EQ(unzip(make(zip), "after.txt", ""), 0);  // the flag did not outlive the run
}

TEST_F(Unzip, BadArguments) {
    ZipArchive zip;
    zip.entries.push_back(entry("a.txt", "a"));
    const std::string archive = make(zip);
    AxHandle none = 12345;
    EXPECT_EQ(Ax4UnZip(&none, out.c_str(), "*.*", nullptr, ""), 106);
    EXPECT_EQ(Ax4UnZip(nullptr, out.c_str(), "*.*", nullptr, ""), 106);
    EXPECT_EQ(unzip(archive, "*.*", "-Q"), -9);
    EXPECT_NE(Ax4QUnZip((s / "missing.zip").c_str(), out.c_str(), "*.*", ""), 0);
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", ""), 0);
    EXPECT_EQ(readText(o("a.txt")), "a");
    // An output directory that does not exist yet is made.
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), (out + "/new/deeper").c_str(), "*.*", ""), 0);
    EXPECT_EQ(readText(o("new/deeper/a.txt")), "a");
    // An output file that cannot be created (a file stands where its directory should be).
    writeText(o("blocker"), "");
    ZipArchive nested;
    nested.entries.push_back(entry("blocker/inside.txt", "x"));
    EXPECT_EQ(unzip(make(nested, "n.zip"), "*.*", "-D"), 103);
    EXPECT_EQ(unzip(make(nested, "n.zip"), "*.*", ""), 0);
}

TEST_F(Unzip, VersionRuleWithoutVersionInformation) {
    // An entry with a version block replaces a file that has no version.
    ZipEntry versioned = entry("tool.exe", "new");
    versioned.extra = {'K', 'W', 10, 0, 'Z', 'R', 0, 1, 0, 2, 0, 3, 0, 4};
    ZipArchive zip;
    zip.entries.push_back(versioned);
    zip.entries.push_back(entry("plain.txt", "new"));  // no version block: the question decides
    const std::string archive = make(zip);
    writeText(o("tool.exe"), "old");
    writeText(o("plain.txt"), "old");
    EXPECT_EQ(unzip(archive, "*.*", "-.V"), 0);
    EXPECT_EQ(readText(o("tool.exe")), "new");
    EXPECT_EQ(readText(o("plain.txt")), "old");
    EXPECT_EQ(codes(), std::vector<int16_t>{AX_ASK_FILE_EXISTS});
}

}  // namespace

namespace {

TEST_F(Unzip, NeverWritesOverTheOpenArchive) {
    // The archive lies in the output directory and holds an entry of its own name.
    ZipArchive zip;
    zip.entries.push_back(entry("self.zip", "not an archive"));
    zip.entries.push_back(entry("other.txt", "other"));
    // Where case tells names apart, this names another file, which is written.
    zip.entries.push_back(entry("SELF.ZIP", "a case twin"));
    const std::string archive = o("self.zip");
    zar::test::writeBytes(archive, zip.bytes());
    const auto before = readBytes(archive);
    EXPECT_EQ(unzip(archive, "*.*", "-O"), 0);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_EQ(readText(o("other.txt")), "other");
    if (!zar::platform::namesIgnoreCase()) {
        EXPECT_EQ(readText(o("SELF.ZIP")), "a case twin");
    }
}

TEST_F(Unzip, AWrongPasswordThatPassesTheCheckIsCaughtByTheCrc) {
    ZipArchive zip;
    zip.entries.push_back(encrypt(deflated("secret.txt", std::string(3000, 's') + "the end"), "right one"));
    const std::string archive = make(zip);
    int passed = 0;
    for (int i = 0; i < 2048; ++i) {
        host_.reports.clear();
        const std::string options = "-T -S/wrong " + std::to_string(i) + "/";
        EXPECT_EQ(unzip(archive, "*.*", options.c_str()), -8);
        ASSERT_EQ(host_.reports.size(), 1u);
        if (host_.reports[0].code == -25) ++passed;  // the check byte matched by chance
        else EXPECT_EQ(host_.reports[0].code, -24);
    }
    // One in 256 on average: 8 expected; the bounds are far outside chance.
    EXPECT_GE(passed, 1);
    EXPECT_LE(passed, 30);
}

}  // namespace

namespace {

// ---- Replacing a file ---------------------------------------------------------------

// An entry is written beside its output path and takes that path only once its
// data is complete: whatever stops it before then leaves the old file as it
// was, and no new or partial file anywhere.
TEST_F(Unzip, AnEntryThatFailsLeavesTheFileInItsPlaceAsItWas) {
    const std::string data(300000, 'n');  // several blocks, so that a failure can come midway
    ZipArchive zip;
    zip.entries.push_back(entry("f.txt", data));
    const std::string whole = make(zip);
    // The same archive with a stored size that claims twice the data there is:
    // reading it runs off the end of the file.
    std::vector<uint8_t> bytes = zip.bytes();
    const uint8_t central[] = {'P', 'K', 1, 2};
    auto record = std::search(bytes.begin(), bytes.end(), std::begin(central), std::end(central));
    ASSERT_NE(record, bytes.end());
    const uint32_t claimed = 2 * static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i) record[20 + i] = static_cast<uint8_t>(claimed >> (8 * i));  // packed size
    const std::string cut = s / "cut.zip";
    zar::test::writeBytes(cut, bytes);

    using zar::platform::Fault;
    struct Case {
        const char* what;
        const std::string& archive;
        const char* options;
        int16_t answer;  // to the overwrite question
        std::optional<Fault> fault;
        int faultAt;
        bool cancel;
        int16_t result;
    } cases[] = {
        {"first write fails", whole, "-O", 6, Fault::Write, 1, false, -10},
        {"a later write fails", whole, "-O", 6, Fault::Write, 3, false, -10},
        {"a read fails", whole, "-O", 6, Fault::Read, 5, false, -11},
        {"the archive ends early", cut, "-O", 6, std::nullopt, 0, false, -11},
        {"cancelled", whole, "-O", 6, std::nullopt, 0, true, -4},
        {"asked and answered yes", whole, "", 6, Fault::Write, 2, false, -10},
        {"read-only file under -R+", whole, "-O -R+", 6, Fault::Write, 2, false, -10},
    };
    for (const Case& c : cases) {
        for (const bool existed : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (existed ? ", over an existing file" : ", no file before"));
            removeTree(out);
            fsys::create_directory(out);
            const bool readOnly = std::strstr(c.options, "-R+") != nullptr;
            if (existed) {
                writeText(o("f.txt"), "the old file");
                if (readOnly) fsys::permissions(o("f.txt"), fsys::perms::owner_read);
            }
            host_.reports.clear();
            host_.answer = [&](const Report&) { return c.answer; };
            host_.onProgress = [&] {
                if (c.cancel) Ax4Cancel();
            };

            AxHandle h;
            ASSERT_EQ(Ax4ZipOpen(c.archive.c_str(), AX_OPEN_READ, &h), 0);
            if (c.fault) zar::platform::failNthCall(*c.fault, c.faultAt);
            EXPECT_EQ(Ax4UnZip(&h, out.c_str(), "*.*", nullptr, c.options), c.result);
            if (c.fault) zar::platform::failNthCall(*c.fault, 0);
            Ax4ZipClose(&h);

            if (existed) {
                EXPECT_EQ(filesBelow(out), std::vector<std::string>{"f.txt"});
                EXPECT_EQ(head(o("f.txt")), "the old file");
                EXPECT_EQ(writable(o("f.txt")), !readOnly);
            } else {
                EXPECT_EQ(filesBelow(out), std::vector<std::string>{});
            }
            EXPECT_EQ(zar::fs::tempRegistry(), "");
        }
    }
}

TEST_F(Unzip, ACompleteEntryReplacesTheFile) {
    ZipEntry plain = entry("f.txt", "the new file");
    ZipEntry readOnly = plain;
    readOnly.externalAttributes = 0x21;
    ZipEntry system = plain;
    system.externalAttributes = 0x04;  // and no archive bit, which extraction always sets
    ZipEntry badCrc = plain;
    badCrc.crc = 0x12345678;
    using zar::platform::kAttrArchive, zar::platform::kAttrReadOnly, zar::platform::kAttrSystem;
    struct Case {
        const char* what;
        ZipEntry entry;
        const char* options;
        uint32_t oldAttributes;
        int16_t result;
        std::vector<int16_t> notices;
        uint32_t newAttributes;
    } cases[] = {
        {"over a file", plain, "-O", kAttrArchive, 0, {}, kAttrArchive},
        {"over a system file", plain, "-O", kAttrSystem, 0, {}, kAttrArchive},
        {"a system file", system, "-O", kAttrArchive, 0, {}, kAttrArchive | kAttrSystem},
        {"over a read-only file under -R+", plain, "-O -R+", kAttrReadOnly, 0, {}, kAttrArchive},
        {"read-only, over a read-only file", readOnly, "-O -R+", kAttrReadOnly, 0, {}, kAttrArchive | kAttrReadOnly},
        // Data that fail their CRC are still the entry's file: kept, with a notice.
        {"with a CRC mismatch", badCrc, "-O", kAttrArchive, -8, {-25}, kAttrArchive},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removeTree(out);
        fsys::create_directory(out);
        writeText(o("f.txt"), "the old file, longer than the new one");
        ASSERT_TRUE(zar::platform::setFileAttributes(o("f.txt").c_str(), c.oldAttributes));
        host_.reports.clear();
        ZipArchive zip;
        zip.entries.push_back(c.entry);
        EXPECT_EQ(unzip(make(zip), "*.*", c.options), c.result);
        EXPECT_EQ(codes(), c.notices);
        EXPECT_EQ(filesBelow(out), std::vector<std::string>{"f.txt"});
        EXPECT_EQ(readText(o("f.txt")), "the new file");
        EXPECT_EQ(zar::platform::fileAttributes(o("f.txt").c_str()), c.newAttributes);
        EXPECT_EQ(lastWriteSeconds(o("f.txt")), localSeconds(2025, 1, 1, 12, 0, 0));  // the entry's time
#ifndef _WIN32
        struct stat st;
        ASSERT_EQ(::stat(o("f.txt").c_str(), &st), 0);
        // The permissions of any new file, less the write bits of a read-only one.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(st.st_mode & 0777, ((c.newAttributes & kAttrReadOnly) ? 0444u : 0666u) & ~mask);
#endif  // on Windows the read-only attribute, checked above, is all there is of them
        EXPECT_EQ(zar::fs::tempRegistry(), "");
    }
}

// The entry is written into a new file beside the old one, which stays whole
// until the new file takes its place. Where the system allows, that file has
// no name while it grows; elsewhere (a volume that refuses anonymous files,
// and Windows, whose files all have names) it has one, registered.
TEST_F(Unzip, TheNewFileGrowsBesideTheOldOne) {
    ZipArchive zip;
    zip.entries.push_back(entry("sub/f.txt", std::string(300000, 'n')));
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "as the system allows");
        removeTree(out);
        fsys::create_directories(o("sub"));
        writeText(o("sub/f.txt"), "the old file");
        // What the directory holds while the entry is written.
        std::vector<std::string> others;
        std::vector<std::string> oldContent;
        bool allRegistered = true;
        host_.onProgress = [&] {
            oldContent.push_back(readText(o("sub/f.txt")));
            for (const std::string& name : filesBelow(o("sub"))) {
                if (name == "f.txt") continue;
                others.push_back(name);
                allRegistered = allRegistered && zar::fs::isRegisteredTempFile(o("sub/" + name).c_str());
            }
        };
        zar::platform::refuseAnonymousFiles(refused);
        // Where the system's anonymous files must have a name (Windows) the
        // growing file has one, registered, as on a volume that refuses them.
        std::string probeName;
        const zar::platform::FileHandle probe =
            zar::platform::createAnonymousFile(o("sub"), "AZR", zar::platform::kPrivateFile, true, &probeName);
        const bool named = probe == zar::platform::kInvalidFile || !probeName.empty();
        zar::platform::closeFile(probe);
        EXPECT_EQ(unzip(make(zip), "*.*", "-D -O"), 0);
        zar::platform::refuseAnonymousFiles(false);
        host_.onProgress = nullptr;
        ASSERT_FALSE(oldContent.empty());
        if (named) {
            ASSERT_FALSE(others.empty());
            EXPECT_TRUE(allRegistered);
            EXPECT_TRUE(
                std::all_of(others.begin(), others.end(), [&](const std::string& n) { return n == others[0]; }));
        } else {
            EXPECT_EQ(others, std::vector<std::string>{});
        }
        EXPECT_TRUE(std::all_of(oldContent.begin(), oldContent.end(),
                                [](const std::string& text) { return text == "the old file"; }));
        EXPECT_EQ(filesBelow(out), std::vector<std::string>{"sub/f.txt"});
        EXPECT_TRUE(readText(o("sub/f.txt")) == std::string(300000, 'n')) << head(o("sub/f.txt"));
        EXPECT_EQ(zar::fs::tempRegistry(), "");
    }
}

}  // namespace
