// Ax4ChangeDirPaths in place, as independent tools (Info-ZIP unzip, bsdtar,
// 7z, Python's zipfile) read the result: renamed entries keep everything but
// their names, a name of code page 437 becomes UTF-8, and TAR files made by
// tar are refused. Runs the tools: POSIX only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "change_paths_support.h"
#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace {

using zar::test::entry;
using zar::test::quote;
using zar::test::readBytes;
using zar::test::rejections;
using zar::test::run;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
namespace fsys = std::filesystem;
using zar::test::changePaths::ChangePaths;
using zar::test::changePaths::dataOf;
using zar::test::changePaths::Listed;
using zar::test::changePaths::listOf;
using zar::test::changePaths::sample;

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

}  // namespace
