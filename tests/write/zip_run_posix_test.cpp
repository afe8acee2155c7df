// The zip and delete runs as independent tools (Info-ZIP unzip, Python's
// zipfile, 7z, bsdtar) read their archives: every kind of archive accepted,
// comments and data descriptors carried over, past 65535 entries, and what
// only POSIX has (case twins, symbolic links, ':' in names, a labelled disk
// stood in for by a directory). Runs the tools: POSIX only.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "zarlib32.h"
#include "zip_run_support.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::readText;
using zar::test::run;
using zar::test::ScopedEnv;
using zar::test::shortForm;
using zar::test::shortForms;
using zar::test::writeBytes;
using zar::test::writeText;
namespace fsys = std::filesystem;
using zar::test::zipRun::entryNames;
using zar::test::zipRun::filesOf;
using zar::test::zipRun::rejections;
using zar::test::zipRun::sortedNames;
using zar::test::zipRun::ZipRun;

std::vector<std::pair<std::string, int16_t>> notices;
int16_t noticeAnswer = AX_ANSWER_OK;
int16_t AXAPI recordNotices(StatusRecord record) {
    if (record.kind != AX_STATUS_NOTICE) return AX_ANSWER_OK;
    notices.emplace_back(record.entryName, record.code);
    return noticeAnswer;
}

TEST_F(ZipRun, ArchivesOfEveryKindPassEveryTool) {
    struct Case {
        const char* options;
        const char* password;
    } cases[] = {
        {"-R -P -ET", ""},  {"-R -P -ED0", ""},       {"-R -P -ED1", ""}, {"-R -P", ""},
        {"-R -P -ED3", ""}, {"-R -P -S/se cret/", "se cret"}, {"-R -P -.V", ""}, {"-R -P -.L", ""},
    };
    const auto expected = filesOf(src);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string archive = s / "out.zip";
        fsys::remove(archive);
        ASSERT_EQ(zip(archive, src + "/*.*", c.options), 0);
        EXPECT_EQ(rejections(archive, c.password), "");
        const std::string out = s / "x";
        fsys::remove_all(out);
        ASSERT_EQ(run("unzip -q " + std::string(*c.password ? "-P " + quote(c.password) + " " : "") + quote(archive) +
                      " -d " + quote(out))
                      .status,
                  0);
        auto got = filesOf(out);
        const bool keepsCase = std::string(c.options).find("-.L") != std::string::npos;
        std::map<std::string, std::string> want;
        for (auto& [name, data] : expected) want[keepsCase ? name : shortForm(name)] = data;
        EXPECT_EQ(got, want);
        EXPECT_TRUE(fsys::is_directory(out + (keepsCase ? "/empty" : shortForm("/empty"))));
    }
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(ZipRun, ReplaceKeepsPlaceAndDropsTheEntryComment) {
    const std::string archive = s / "c.zip";
    zipTextFiles(archive);
    ASSERT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt"}));
    // Comments from another tool: one per entry and one for the archive.
    ASSERT_EQ(run("python3 - " + quote(archive) + R"( <<'PY'
import sys, zipfile
src = zipfile.ZipFile(sys.argv[1])
items = [(i, src.read(i)) for i in src.infolist()]
src.close()
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.comment = b"archive \x00 comment \xff"
    for info, data in items:
        info.comment = b"about " + info.filename.encode()
        z.writestr(info, data)
PY)")
                  .status,
              0);
    const auto commentBefore = run("python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).comment)' " +
                                   quote(archive)).output;
    writeText(src + "/b.txt", "replaced b");
    ASSERT_EQ(zip(archive, src + "/b.txt", ""), 0);
    EXPECT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt"}));
    auto comments = run("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                        "print([(i.filename, i.comment) for i in z.infolist()]); print(z.comment); "
                        "print(z.read(\"" + shortForm("b.txt") + "\"))' " + quote(archive)).output;
    const std::string a = shortForm("a.txt"), b = shortForm("b.txt"), zero = shortForm("zero.txt");
    EXPECT_EQ(comments, "[('" + a + "', b'about " + a + "'), ('" + b + "', b''), ('" + zero + "', b'about " + zero +
                            "')]\n" + commentBefore + "b'replaced b'\n");
    EXPECT_EQ(rejections(archive), "");
}

// "readme" and "README" are two files where case tells names apart: both go
// into the archive, with or without long names, and each update run (-U, -F,
// replace, move) deals with each twin's own entry only.
TEST_F(ZipRun, CaseTwinsKeepTheirOwnEntries) {
    if (zar::platform::namesIgnoreCase()) GTEST_SKIP() << "the file system has one name for both";
    const std::string twins = s / "twins";
    fsys::create_directories(twins);
    const std::string lower = twins + "/readme", upperTwin = twins + "/README";
    auto later = [](const std::string& path, int hours) {
        fsys::last_write_time(path, fsys::last_write_time(path) + std::chrono::hours(hours));
    };
    auto contents = [&](const std::string& archive) {
        return run("unzip -p " + quote(archive) + " readme").output + " | " +
               run("unzip -p " + quote(archive) + " README").output;
    };
    const std::vector<std::string> both{"README", "readme"};
    for (const char* names : {"", "-.L"}) {
        SCOPED_TRACE(names);
        const std::string options = std::string("-R -P ") + names, spec = twins + "/*.*";
        const std::string archive = s / "twins.zip";
        fsys::remove(archive);
        writeText(lower, "lower 1");
        writeText(upperTwin, "UPPER 1");
        ASSERT_EQ(zip(archive, spec, options.c_str()), 0);
        EXPECT_EQ(sortedNames(archive), both);
        EXPECT_EQ(contents(archive), "lower 1 | UPPER 1");

        // -U: only README is newer.
        writeText(upperTwin, "UPPER 2");
        later(upperTwin, 1);
        ASSERT_EQ(zip(archive, spec, (options + " -U").c_str()), 0);
        EXPECT_EQ(contents(archive), "lower 1 | UPPER 2");
        // -F: only readme is newer.
        writeText(lower, "lower 3");
        later(lower, 2);
        ASSERT_EQ(zip(archive, spec, (options + " -F").c_str()), 0);
        EXPECT_EQ(contents(archive), "lower 3 | UPPER 2");
        // Replace, and move: each entry takes its own file, and both files go.
        writeText(lower, "lower 4");
        writeText(upperTwin, "UPPER 4");
        ASSERT_EQ(zip(archive, spec, options.c_str()), 0);
        EXPECT_EQ(contents(archive), "lower 4 | UPPER 4");
        writeText(lower, "lower 5");
        writeText(upperTwin, "UPPER 5");
        ASSERT_EQ(zip(archive, spec, (options + " -M").c_str()), 0);
        EXPECT_EQ(contents(archive), "lower 5 | UPPER 5");
        EXPECT_FALSE(fsys::exists(lower));
        EXPECT_FALSE(fsys::exists(upperTwin));
        EXPECT_EQ(sortedNames(archive), both);
        EXPECT_EQ(rejections(archive), "");
    }
}

// Past 65535 entries the count lives in the Zip64 end record: an archive of
// 65535 grows by one, shrinks by one, and other readers agree at each step.
TEST_F(ZipRun, PastTheEntryLimit) {
    const std::string archive = s / "full.zip";
    ASSERT_EQ(run("python3 - " + quote(archive) + R"( <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(65535):
        z.writestr(f"e{i}", b"")
PY)")
                  .status,
              0);
    auto countOf = [&](uint64_t expected) {
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
        uint16_t count = 0;
        uint64_t total = 0;
        EXPECT_EQ(Ax4ZipCount(h, &count), 0);
        EXPECT_EQ(count, 65535);
        EXPECT_EQ(Ax4ZipFoundSizes64(h, nullptr, nullptr, nullptr, &total), AX_FIND_FIRST_NEEDED);
        CDR record;
        char name[261];
        ASSERT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), 0);
        EXPECT_EQ(Ax4ZipFoundSizes64(h, nullptr, nullptr, nullptr, &total), 0);
        EXPECT_EQ(total, expected);
        Ax4ZipClose(&h);
        auto python = run("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                          "assert z.testzip() is None; print(len(z.infolist()))' " + quote(archive));
        EXPECT_EQ(python.output, std::to_string(expected) + "\n");
        EXPECT_EQ(run("unzip -tq " + quote(archive) + " >/dev/null 2>&1").status, 0);
    };
    EXPECT_EQ(zip(archive, src + "/a.txt", ""), 0);
    countOf(65536);
    EXPECT_EQ(zip(archive, "e7", "-D"), 0);
    countOf(65535);
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(ZipRun, Deleting) {
    const std::string archive = s / "d.zip";
    ASSERT_EQ(zip(archive, src + "/*.*", "-R -P"), 0);
    ASSERT_EQ(run("python3 - " + quote(archive) + R"( <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "a") as z:
    z.comment = b"kept comment"
PY)")
                  .status,
              0);
    const auto before = readBytes(archive);
    EXPECT_EQ(zip(archive, "*.nothing", "-D"), -7);
    EXPECT_EQ(readBytes(archive), before);
    // A wildcarded file part matches in every directory, ignoring case;
    // exclusions spare.
    EXPECT_EQ(zip(archive, "*.TXT", "-D", "D.TXT"), 0);
    EXPECT_EQ(sortedNames(archive),
              shortForms({"empty/", "sub/", "sub/c.bin", "sub/deep/", "sub/deep/d.txt"}));
    EXPECT_EQ(rejections(archive), "");
    EXPECT_EQ(run("unzip -z " + quote(archive)).output.find("kept comment") != std::string::npos, true);
    // Everything: the end record and the comment are left.
    EXPECT_EQ(zip(archive, "*.*", "-D"), 0);
    EXPECT_EQ(fsys::file_size(archive), 22u + 12u);
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(ZipRun, CopiedEntriesKeepTheirDataDescriptors) {
    // Entries whose sizes follow their data, as a writer to a pipe makes them.
    const std::string archive = s / "stream.zip";
    ASSERT_EQ(run("python3 - " + quote(archive) + " " + quote(src) + R"( <<'PY'
import sys, zipfile
class Pipe:  # an output that cannot seek back
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open(sys.argv[1], "wb") as f, zipfile.ZipFile(Pipe(f), "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("a.txt", "b.txt", "sub/c.bin"):
        with open(sys.argv[2] + "/" + name, "rb") as data:
            z.writestr(name, data.read())
PY)")
                  .status,
              0);
    ASSERT_EQ(run("python3 -c 'import sys, zipfile; print(all(i.flag_bits & 8 for i in zipfile.ZipFile(sys.argv[1]).infolist()))' " +
                  quote(archive)).output,
              "True\n");
    ASSERT_EQ(zip(archive, "b.txt", "-D"), 0);
    EXPECT_EQ(rejections(archive), "");
    // A reader that walks the local headers finds every remaining entry.
    EXPECT_EQ(run("bsdtar -xOf " + quote(archive) + " | wc -c").output, "300011\n");
}

TEST_F(ZipRun, ACopiedEntryGetsASoundLocalHeader) {
    // The second entry's local header has lost its signature.
    zar::test::ZipArchive old;
    old.entries.push_back(zar::test::entry("ONE.TXT", "one"));
    old.entries.push_back(zar::test::entry("TWO.TXT", "two"));
    auto bytes = old.bytes();
    const size_t second = 30 + 7 + 3;
    ASSERT_EQ(bytes[second], 'P');
    bytes[second + 3] = 9;
    const std::string archive = s / "damaged.zip";
    writeBytes(archive, bytes);
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    EXPECT_EQ(rejections(archive), "");
    EXPECT_EQ(run("unzip -p " + quote(archive) + " TWO.TXT").output, "two");
}

TEST_F(ZipRun, CopiedZip64EntriesStayReadable) {
    struct Case {
        const char* what;
        bool zip64;              // sizes and offsets all ones, their values in Zip64 blocks
        bool damagedLocalSizes;  // all ones in the first local header's sizes, with no block to carry them
    } cases[] = {
        {"Zip64 blocks in both headers, the offset in the central one", true, false},
        {"all-ones local sizes without a Zip64 block", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zar::test::ZipArchive old;
        old.entries = {zar::test::entry("ONE.TXT", "one"), zar::test::entry("TWO.TXT", "second entry", "a comment")};
        for (auto& e : old.entries) e.zip64 = c.zip64;
        auto bytes = old.bytes();
        if (c.damagedLocalSizes) std::fill(bytes.begin() + 18, bytes.begin() + 26, 0xFF);
        const std::string archive = s / "z64.zip";
        writeBytes(archive, bytes);
        ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
        EXPECT_EQ(rejections(archive), "");
        EXPECT_EQ(run("unzip -p " + quote(archive) + " ONE.TXT TWO.TXT").output, "onesecond entry");
        EXPECT_EQ(run("python3 -c 'import sys, zipfile; print([i.comment for i in zipfile.ZipFile(sys.argv[1]).infolist()])' " +
                      quote(archive)).output,
                  "[b'', b'a comment', b'']\n");
    }
}

TEST_F(ZipRun, VolumeLabelEntriesGiveWayToTheCurrentLabel) {
    zar::test::ZipArchive old;
    old.entries.push_back(zar::test::entry("ONE.TXT", "one"));
    zar::test::ZipEntry label = zar::test::entry("OLD LABEL", "");
    label.externalAttributes = 0x08;
    old.entries.push_back(label);
    const std::string archive = s / "label.zip";
    writeBytes(archive, old.bytes());
    // The current drive has no label here: the old label entry goes, none comes.
    ASSERT_EQ(zip(archive, src + "/a.txt", "-$"), 0);
    EXPECT_EQ(entryNames(archive), (std::vector<std::string>{"ONE.TXT", shortForm("a.txt")}));

    // On a labelled disk the current label comes last, in the form names
    // take: without long names, the short form.
    fsys::create_directories(s / "disk");
    writeText(s / "disk/.volume-label", "Backup 01\n");
    ScopedEnv removable{"ZARLIB_REMOVABLE", (s / "disk").c_str()};
    const fsys::path before = fsys::current_path();
    fsys::current_path(s / "disk");
    for (const char* options : {"-$", "-$ -.L"}) {
        SCOPED_TRACE(options);
        writeBytes(archive, old.bytes());
        const bool keepsCase = std::string(options).find("-.L") != std::string::npos;
        EXPECT_EQ(zip(archive, src + "/a.txt", options), 0);
        EXPECT_EQ(entryNames(archive), (std::vector<std::string>{"ONE.TXT", keepsCase ? "a.txt" : shortForm("a.txt"),
                                                                 keepsCase ? "Backup 01" : shortForm("Backup 01")}));
    }
    fsys::current_path(before);
}

TEST_F(ZipRun, LongNameModeRenamesCopiedEntries) {
    // An entry stored under its short name with the long one in its block.
    zar::test::ZipArchive old;
    zar::test::ZipEntry e = zar::test::entry("LONGNA~1.TXT", "long");
    const std::string longName = "Long Name.txt";
    e.extra = {'K', 'W', static_cast<uint8_t>(longName.size() + 2), 0, 'Z', 'r'};
    e.extra.insert(e.extra.end(), longName.begin(), longName.end());
    old.entries.push_back(e);
    const std::string archive = s / "long.zip";
    writeBytes(archive, old.bytes());
    ASSERT_EQ(zip(archive, src + "/a.txt", "-.L"), 0);
    EXPECT_EQ(entryNames(archive), (std::vector<std::string>{"Long Name.txt", "a.txt"}));
    auto extra = run("python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).infolist()[0].extra)' " +
                     quote(archive)).output;
    EXPECT_EQ(extra, "b''\n");  // the block went: the name says it all
    EXPECT_EQ(rejections(archive), "");
}

// Symbolic links are followed: a link to a file holds the file's bytes, a
// link to a directory is walked. A link that leads back into the walk or
// nowhere is named in a notice and passed over, the rest is archived, and the
// run's result says that something was passed over.
TEST_F(ZipRun, SymbolicLinksAreFollowedLoopsAndBrokenLinksNamed) {
    fsys::create_directories(s / "outside/tree");
    writeText(s / "outside/shared.txt", "shared bytes");
    writeText(s / "outside/tree/t.txt", "in the linked tree");
    fsys::create_symlink("../outside/shared.txt", src + "/flink.txt");
    fsys::create_directory_symlink("../outside/tree", src + "/dlink");
    fsys::create_directory_symlink("..", src + "/sub/loop");
    fsys::create_symlink("nowhere.txt", src + "/broken.txt");
    auto shown = [](std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    };
    const std::vector<std::pair<std::string, int16_t>> expected{{shown(src + "/broken.txt"), AX_PATH_NOT_FOUND},
                                                                {shown(src + "/sub/loop"), AX_ACCESS_DENIED}};
    const std::string archive = s / "links.zip";

    Ax4SetCPrint(1);
    Ax4CPrintHook(recordNotices);
    notices.clear();
    noticeAnswer = AX_ANSWER_OK;
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P -.L"), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(notices, expected);
    EXPECT_EQ(Ax4MoreStatus(), AX_ACCESS_DENIED);  // the last problem
    EXPECT_EQ(rejections(archive), "");
    EXPECT_EQ(run("python3 -c 'import sys, zipfile; print(sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
                  quote(archive)).output,
              "['a.txt', 'b.txt', 'dlink/', 'dlink/t.txt', 'empty/', 'flink.txt', 'sub/', 'sub/c.bin', 'sub/deep/', "
              "'sub/deep/d.txt', 'zero.txt']\n");
    // The entry of a link to a file is the file itself, with its bytes, and
    // no link entry.
    EXPECT_EQ(run("unzip -p " + quote(archive) + " flink.txt").output, "shared bytes");
    EXPECT_EQ(run("unzip -p " + quote(archive) + " dlink/t.txt").output, "in the linked tree");
    EXPECT_EQ(run("python3 -c 'import sys, stat, zipfile; "
                  "print(stat.S_ISLNK(zipfile.ZipFile(sys.argv[1]).getinfo(\"flink.txt\").external_attr >> 16))' " +
                  quote(archive)).output,
              "False\n");

    // An answer other than OK ends the run, and the archive stays as it was.
    const auto before = readBytes(archive);
    writeText(src + "/a.txt", "changed");
    notices.clear();
    noticeAnswer = AX_ANSWER_CANCEL;
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P -.L"), AX_CANCELLED);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_TRUE(noTemporaryFiles());
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);

    // Without reporting the notices answer OK by themselves.
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P -.L"), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(run("unzip -p " + quote(archive) + " a.txt").output, "changed");
    // Nothing but a broken link: nothing to archive, and the host hears why.
    const std::string none = s / "none.zip";
    EXPECT_EQ(zip(none, src + "/broken.txt", ""), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(Ax4MoreStatus(), AX_PATH_NOT_FOUND);
    EXPECT_FALSE(fsys::exists(none));
    // A run with nothing to pass over starts with a clean slate.
    EXPECT_EQ(zip(archive, src + "/a.txt", ""), 0);
    EXPECT_EQ(Ax4MoreStatus(), 0);
    EXPECT_TRUE(noTemporaryFiles());
}

// Where paths have no drives, ':' is an ordinary character of a file name:
// a directory "x:y" gives the names its files are stored under in full, and
// an archive "k:ar.zip" is written beside itself.
TEST_F(ZipRun, DirectoriesAndArchivesWithAColon) {
    if (zar::platform::pathsHaveDrives()) GTEST_SKIP() << "':' ends a drive here";
    fsys::create_directories(s / "x:y/s:ub");
    writeText(s / "x:y/f.txt", "f");
    writeText(s / "x:y/s:ub/g.txt", "g");
    const std::string absolute = s / "x:y/*.*", below = s.path().substr(1) + "/x:y/";
    struct Case {
        std::string spec;
        const char* options;
        std::string names;  // as Python lists them, sorted
    } cases[] = {
        {"x:y/*.*", "", "['f.txt']"},
        {"x:y/*.*", "-N", "['x:y/f.txt', 'x:y/s:ub/']"},
        {"x:y/*.*", "-R -P", "['f.txt', 's:ub/', 's:ub/g.txt']"},
        {"x:y/*.*", "-R -N -.L", "['x:y/f.txt', 'x:y/s:ub/', 'x:y/s:ub/g.txt']"},
        {absolute, "-R -P", "['f.txt', 's:ub/', 's:ub/g.txt']"},
        {absolute, "-N", "['" + below + "f.txt', '" + below + "s:ub/']"},
    };
    fsys::current_path(s.path());
    const std::string archive = "k:ar.zip";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec + " " + c.options);
        fsys::remove(s / archive);
        ASSERT_EQ(zip(archive, c.spec, c.options), 0);
        EXPECT_EQ(run("python3 -c 'import sys, zipfile; print(sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
                      quote(s / archive)).output,
                  c.names + "\n");
        EXPECT_EQ(rejections(s / archive), "");
    }
    // The new archive is made beside the old one and renamed over it.
    struct stat before, after;
    ASSERT_EQ(::stat(archive.c_str(), &before), 0);
    writeText(s / "x:y/f.txt", "changed");
    ASSERT_EQ(zip(archive, "x:y/f.txt", ""), 0);
    ASSERT_EQ(::stat(archive.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(run("unzip -p " + quote(s / archive) + " f.txt").output, "changed");
    EXPECT_TRUE(noTemporaryFiles());
    fsys::current_path("/");
}

}  // namespace
