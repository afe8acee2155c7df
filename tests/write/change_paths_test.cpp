// Changing stored paths: the rewrite of one name, and Ax4ChangeDirPaths in
// place and to a new archive: renamed entries keep everything but their
// names, untouched entries stay byte for byte, and a run that fails (a name
// too long, a cancel, an output that cannot be made) leaves every file as it
// was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/extra_field.h"
#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "write/change_paths.h"
#include "zarlib32.h"

namespace {

using zar::test::entry;
using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
namespace fsys = std::filesystem;

TEST(RewritePath, Names) {
    struct Case {
        const char* oldPath;
        const char* newPath;
        const char* name;
        const char* after;  // null: unchanged
    } cases[] = {
        {"OLD/", "NEW/SUB/", "OLD/A.TXT", "NEW/SUB/A.TXT"},
        {"OLD/", "NEW/SUB/", "OLDER/B.TXT", nullptr},
        {"OLD/", "NEW/SUB/", "X/OLD/F.TXT", nullptr},
        {"OLD/", "NEW/SUB/", "OLD/", "NEW/SUB/"},
        {"OLD/", "NEW/SUB/", "OLD/DEEP/C.TXT", "NEW/SUB/DEEP/C.TXT"},
        // Without a separator the old path is a file name in no directory:
        // every name begins with its (empty) directory.
        {"OLD", "NEW/", "A.TXT", "NEW/A.TXT"},
        {"OLD", "NEW/", "X/Y.TXT", "NEW/X/Y.TXT"},
        // Names compare as the file system does: exactly here.
        {"Docs/", "guides/", "Docs/a.txt", "guides/a.txt"},
        {"Docs/", "guides/", "DOCS/b.txt", nullptr},
        {"docs/", "", "docs/a.txt", "a.txt"},
        {"", "top/", "a.txt", "top/a.txt"},
        {"same/", "same/", "same/a.txt", nullptr},
        // Drives: an old path with one matches only names with it.
        {"C:/OLD/", "D:/NEW/", "C:/OLD/X", "D:/NEW/X"},
        {"C:/OLD/", "D:/NEW/", "OLD/X", nullptr},
        {"OLD/", "NEW/", "C:OLD/X", "C:NEW/X"},
        {"OLD\\", "NEW/", "OLD/X", nullptr},  // the run turns '\' into '/' before this
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        const bool changed = zar::write::rewritePath(c.oldPath, c.newPath, &name);
        EXPECT_EQ(changed, c.after != nullptr) << c.oldPath << " " << c.name;
        EXPECT_EQ(name, c.after ? c.after : c.name) << c.oldPath << " " << c.name;
    }
}

// Everything of an entry but its name, as the enumeration reports it.
struct Listed {
    std::string name;
    CDR record;
    std::string extra, comment;
};

std::vector<Listed> listOf(const std::string& archive, int16_t mode = AX_OPEN_READ) {
    std::vector<Listed> out;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), mode, &h) != 0) return out;
    CDR record;
    char name[261], comment[1024];
    uint8_t extra[1024];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, extra, sizeof extra, comment, sizeof comment); r == 0;
         r = Ax4ZipFindNext(h, &record, name, extra, sizeof extra, comment, sizeof comment))
        out.push_back({name, record, std::string(reinterpret_cast<char*>(extra), record.extraLength), comment});
    Ax4ZipClose(&h);
    return out;
}

std::string dataOf(const std::string& archive, const std::string& name) {
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return "(no archive)";
    std::string out(1 << 20, '\0');
    uint32_t size = 0;
    CDR record;
    char stored[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, stored, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, stored, nullptr, 0, nullptr, 0))
        if (name == stored) size = record.unpackedSize;
    const int16_t r = Ax4UnZipPtr(h, out.data(), 0, -1, name.c_str(), "");
    Ax4ZipClose(&h);
    out.resize(size);
    return r == 0 ? out : "(code " + std::to_string(r) + ")";
}

std::string rejections(const std::string& archive) {
    const std::string a = quote(archive);
    const std::string tools[] = {
        "unzip -tq " + a,
        "bsdtar -tf " + a + " >/dev/null",
        "7z t -bd " + a,
        "python3 -c 'import sys, zipfile; sys.exit(1 if zipfile.ZipFile(sys.argv[1]).testzip() else 0)' " + a,
    };
    std::string out;
    for (const std::string& t : tools) {
        auto r = run(t + " 2>&1");
        if (r.status != 0) out += t + ": " + r.output + "\n";
    }
    return out;
}

// A small archive with what a rename must carry: a directory entry, stored
// and deflated data, an entry comment, an extra field of another writer's, a
// name made on DOS in code page 437, and the archive comment.
ZipArchive sample() {
    ZipArchive a;
    ZipEntry dir = entry("docs/", "");
    dir.externalAttributes = 0x10;
    ZipEntry text = entry("docs/a.txt", "text of a\n", "comment of a");
    text.extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44};  // an extended timestamp
    ZipEntry deep = entry("docs/deep/b.txt", std::string(100000, 'b'));
    ZipEntry other = entry("docsother/c.txt", "c");
    ZipEntry accented = entry("docs/r\x82sum\x82.txt", "cp437 name");  // "résumé" in code page 437
    ZipEntry top = entry("top.txt", "top");
    a.entries = {dir, text, deep, other, accented, top};
    a.comment = "the archive comment";
    return a;
}

class ChangePaths : public ::testing::Test {
protected:
    std::string make(const ZipArchive& a, const std::string& name = "a.zip") {
        zar::test::writeBytes(s / name, a.bytes());
        return s / name;
    }
    std::vector<std::string> leftInTemp() {
        std::vector<std::string> out;
        for (const auto& e : fsys::directory_iterator(temp)) out.push_back(e.path().filename());
        return out;
    }

    ScopedEnv tz{"TZ", "UTC0"};
    Scratch s;
    const std::string temp = s / "tmp";
    bool madeTemp = fsys::create_directory(temp);
    ScopedEnv tmp{"TMPDIR", temp.c_str()};
};

TEST_F(ChangePaths, InPlaceEntriesKeepAllButTheirNames) {
    const std::string archive = make(sample());
    const std::vector<Listed> before = listOf(archive);
    uint16_t changed = 99;
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "manual/pages/", 0, &changed), 0);
    EXPECT_EQ(changed, 4);
    const std::vector<Listed> after = listOf(archive);
    ASSERT_EQ(after.size(), before.size());
    const std::vector<std::string> names = {"manual/pages/",        "manual/pages/a.txt", "manual/pages/deep/b.txt",
                                            "docsother/c.txt",      "manual/pages/r\xC3\xA9sum\xC3\xA9.txt",
                                            "top.txt"};
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(after[i].name, names[i]);
        // Fields of the packed record are compared as values (the unary plus):
        // a reference to one may be misaligned.
        const CDR &b = before[i].record, &a = after[i].record;
        EXPECT_EQ(+a.crc, +b.crc);
        EXPECT_EQ(+a.packedSize, +b.packedSize);
        EXPECT_EQ(+a.unpackedSize, +b.unpackedSize);
        EXPECT_EQ(+a.method, +b.method);
        EXPECT_EQ(+a.date, +b.date);
        EXPECT_EQ(+a.time, +b.time);
        EXPECT_EQ(+a.externalAttributes, +b.externalAttributes);
        EXPECT_EQ(+a.versionMadeBy, +b.versionMadeBy);
        // The code-page-437 name is now UTF-8, and says so.
        EXPECT_EQ(+a.flags, b.flags | (i == 4 ? AX_FLAG_UTF8 : 0));
        EXPECT_EQ(after[i].extra, before[i].extra);
        EXPECT_EQ(after[i].comment, before[i].comment);
    }
    EXPECT_EQ(dataOf(archive, "manual/pages/deep/b.txt"), std::string(100000, 'b'));
    char comment[64];
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_EQ(Ax4ZipComment(h, comment, sizeof comment), 0);
    Ax4ZipClose(&h);
    EXPECT_STREQ(comment, "the archive comment");
    EXPECT_EQ(rejections(archive), "");
    // Python reads the name as UTF-8 by its flag.
    EXPECT_EQ(run("python3 -c 'import sys, zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read("
                  "\"manual/pages/r\\u00e9sum\\u00e9.txt\").decode())' " + quote(archive)).output,
              "cp437 name");
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// To a new archive: the old one is not touched, a file of the new name is
// replaced only by a run that succeeded, and a run that fails leaves no
// file behind.
TEST_F(ChangePaths, ToANewArchive) {
    const std::string archive = make(sample());
    const std::vector<uint8_t> original = readBytes(archive);
    const std::string target = s / "renamed.zip";
    zar::test::writeText(target, "a file that was there before");
    uint16_t changed = 0;
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), target.c_str(), "", "all/", 1, &changed), 0);
    EXPECT_EQ(changed, 6);
    EXPECT_TRUE(readBytes(archive) == original);
    EXPECT_EQ(listOf(target)[5].name, "all/top.txt");
    EXPECT_EQ(rejections(target), "");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u) << "a new archive is as readable as any new file";

    // The archive's own name, spelled another way, is in place.
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s.path() + "/./a.zip").c_str(), "", "x/", 0, &changed), 0);
    EXPECT_EQ(listOf(archive)[5].name, "x/top.txt");

    // An output that cannot be made, and a name too long: nothing is written.
    const std::vector<uint8_t> renamed = readBytes(target);
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s / "no/such/dir.zip").c_str(), "", "y/", 0, &changed),
              AX_WRITE_FAILED);
    EXPECT_FALSE(fsys::exists(s / "no"));
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), target.c_str(), "", std::string(250, 'L').append("/").c_str(), 0,
                                &changed),
              AX_TOO_LONG);
    EXPECT_EQ(changed, 0);
    EXPECT_TRUE(readBytes(target) == renamed);
    std::vector<std::string> files;
    for (const auto& e : fsys::directory_iterator(s.path())) files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.zip", "renamed.zip", "tmp"}));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// A run that fails or is cancelled in place leaves the archive byte for byte
// and with its time; so does one that changes nothing, asked for a count.
TEST_F(ChangePaths, FailedCancelledAndIdleRunsLeaveTheArchiveAlone) {
    const std::string archive = make(sample());
    const std::vector<uint8_t> original = readBytes(archive);
    struct stat before;
    ASSERT_EQ(::stat(archive.c_str(), &before), 0);
    uint16_t changed = 7;

    const std::string longPrefix = std::string(250, 'p') + "/";  // 261 characters with "deep/b.txt"
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), "", "docs/", longPrefix.c_str(), 0, &changed), AX_TOO_LONG);
    EXPECT_EQ(changed, 0);

    Ax4Cancel();
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "new/", 0, &changed), AX_CANCELLED);

    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "nothing/", "new/", 0, &changed), 0);
    EXPECT_EQ(changed, 0);

    struct stat after;
    ASSERT_EQ(::stat(archive.c_str(), &after), 0);
    EXPECT_TRUE(readBytes(archive) == original);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});

    // Without a count the archive is rewritten even then, as it always was.
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "nothing/", "new/", 0, nullptr), 0);
    ASSERT_EQ(::stat(archive.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_TRUE(readBytes(archive) == original);
}

TEST_F(ChangePaths, WhatCannotBeRenamed) {
    const std::string archive = make(sample());
    zar::test::writeText(s / "t.txt", "tar member\n");
    ASSERT_EQ(run("cd " + quote(s.path()) + " && tar -cf t.tar t.txt").status, 0);
    uint16_t changed;
    EXPECT_EQ(Ax4ChangeDirPaths((s / "t.tar").c_str(), nullptr, "", "x/", 0, &changed), AX_NOT_ON_THIS_KIND);
    EXPECT_EQ(Ax4ChangeDirPaths((s / "missing.zip").c_str(), nullptr, "", "x/", 0, &changed), AX_PATH_NOT_FOUND);
    EXPECT_FALSE(fsys::exists(s / "missing.zip"));
    EXPECT_EQ(Ax4ChangeDirPaths(nullptr, nullptr, "", "x/", 0, &changed), AX_PATH_NOT_FOUND);

    // A read-only archive is not replaced; a renamed copy may still be made.
    fsys::permissions(archive, fsys::perms::owner_read | fsys::perms::group_read);
    const std::vector<uint8_t> original = readBytes(archive);
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "x/", 0, &changed), AX_NOT_WRITABLE);
    EXPECT_TRUE(readBytes(archive) == original);
    EXPECT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s / "copy.zip").c_str(), "docs/", "x/", 0, &changed), 0);
    EXPECT_EQ(changed, 4);
}

// In long-name mode an entry is known by the name of its long-name block:
// renamed, it is stored under its whole new name and the block goes.
TEST_F(ChangePaths, LongNames) {
    ZipArchive a;
    ZipEntry e = entry("DOCS/LONGNA~1.TXT", "long");
    const std::vector<uint8_t> block = zar::archive::longNameBlock("docs/long name.txt");
    e.extra.assign(block.begin(), block.end());
    a.entries = {e, entry("docs/plain.txt", "plain")};
    const std::string archive = make(a);
    uint16_t changed;
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), (s / "short.zip").c_str(), "docs/", "new/", 0, &changed), 0);
    EXPECT_EQ(changed, 1) << "without long names only the stored names count";
    ASSERT_EQ(Ax4ChangeDirPaths(archive.c_str(), nullptr, "docs/", "new/", 1, &changed), 0);
    EXPECT_EQ(changed, 2);
    const std::vector<Listed> after = listOf(archive);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].name, "new/long name.txt");
    EXPECT_EQ(after[0].extra, "");
    EXPECT_EQ(after[1].name, "new/plain.txt");
    EXPECT_EQ(dataOf(archive, "new/long name.txt"), "long");
    EXPECT_EQ(rejections(archive), "");
}

}  // namespace
