// The zip run and the delete run through Ax4Zip and Ax4QZip: archives every
// independent tool accepts, replace / update / freshen / move rules, the
// replace question, comments carried over, failed runs that leave the archive
// as it was, and deleting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::writeBytes;
using zar::test::writeText;
namespace fsys = std::filesystem;

std::string readText(const std::string& path) {
    auto bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A name as stored without long names (-.L): upper-cased where the file
// system ignores case, as its 8.3 names are; as found where case tells names
// apart, since a file's short name is then its name.
std::string shortForm(std::string text) {
    if (zar::platform::namesIgnoreCase())
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> shortForms(std::vector<std::string> names) {
    for (std::string& name : names) name = shortForm(name);
    return names;
}

// Deterministic bytes: a compressible run, then noise.
std::string mixedBytes(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = i < size / 2 ? "abcabcabd"[i % 9] : static_cast<char>(x >> 24);
    }
    return out;
}

// Every file of a tree, by its path below the root.
std::map<std::string, std::string> filesOf(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto& f : fsys::recursive_directory_iterator(root))
        if (f.is_regular_file()) out[fsys::relative(f.path(), root).string()] = readText(f.path());
    return out;
}

// Names of the entries of an archive, through the library.
std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> names;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return names;
    CDR record;
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        names.push_back(name);
    Ax4ZipClose(&h);
    return names;
}

std::vector<std::string> sortedNames(const std::string& archive) {
    auto names = entryNames(archive);
    std::sort(names.begin(), names.end());
    return names;
}

// What each independent tool says of an archive: empty when all accept it.
std::string rejections(const std::string& archive, const std::string& password = "") {
    const std::string p = password.empty() ? "" : password;
    const std::string a = quote(archive);
    struct Tool {
        const char* name;
        std::string command;
    } tools[] = {
        {"unzip -t", "unzip -tq " + (p.empty() ? "" : "-P " + quote(p) + " ") + a + " 2>&1"},
        {"zipfile", "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode()); "
                    "bad = z.testzip(); sys.exit(1 if bad else 0)' " + a + " " + quote(p.empty() ? "x" : p) + " 2>&1"},
        {"7z t", "7z t -bd -p" + quote(p.empty() ? "x" : p) + " " + a + " 2>&1"},
        {"bsdtar", "bsdtar -tf " + a + " >/dev/null 2>&1"},
    };
    std::string out;
    for (const Tool& t : tools) {
        auto r = run(t.command);
        if (r.status != 0) out += std::string(t.name) + ": " + r.output + "\n";
    }
    return out;
}

class ZipRun : public ::testing::Test {
protected:
    void SetUp() override {
        tzset();
        fsys::create_directories(s / "tmp");
        src = s / "src";
        fsys::create_directories(src + "/sub/deep");
        fsys::create_directories(src + "/empty");
        writeText(src + "/a.txt", "first file\n");
        writeText(src + "/b.txt", std::string(5000, 'b'));
        writeText(src + "/zero.txt", "");
        writeText(src + "/sub/c.bin", mixedBytes(300000));
        writeText(src + "/sub/deep/d.txt", "deep down\n");
    }

    int16_t zip(const std::string& archive, const std::string& spec, const char* options,
                const char* exclude = nullptr) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), 0, &h);
        if (r != 0) return r;
        r = Ax4Zip(&h, spec.c_str(), exclude, options);
        Ax4ZipClose(&h);
        return r;
    }

    // An archive of the three text files, in the order a, b, zero.
    void zipTextFiles(const std::string& archive, const char* options = "") {
        for (const char* name : {"a.txt", "b.txt", "zero.txt"}) ASSERT_EQ(zip(archive, src + "/" + name, options), 0);
    }

    // True when no temporary file of the library is left anywhere we look.
    bool noTemporaryFiles() const {
        for (const std::string& dir : {s / "tmp", s.path()})
            for (auto& f : fsys::directory_iterator(dir))
                if (f.path().filename().string().rfind("AZR", 0) == 0) return false;
        return true;
    }

    Scratch s;
    ScopedEnv tmp{"TMPDIR", (s / "tmp").c_str()};
    ScopedEnv tz{"TZ", "UTC0"};
    std::string src;
};

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

TEST_F(ZipRun, UpdateFreshenAndTheReplaceQuestion) {
    const std::string archive = s / "u.zip";
    zipTextFiles(archive);
    const auto original = readBytes(archive);
    // A file changed under the same time: -U and -F keep its entry.
    const auto time = fsys::last_write_time(src + "/b.txt");
    writeText(src + "/b.txt", "changed, same time");
    fsys::last_write_time(src + "/b.txt", time);
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U"), 0);
    EXPECT_EQ(zip(archive, src + "/*.txt", "-F"), 0);
    EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("b.txt")).output, std::string(5000, 'b'));
    // A newer file replaces its entry under -F; a new file is not added.
    writeText(src + "/b.txt", "newer b");
    fsys::last_write_time(src + "/b.txt", fsys::last_write_time(src + "/b.txt") + std::chrono::hours(1));
    writeText(src + "/new.txt", "new");
    EXPECT_EQ(zip(archive, src + "/*.txt", "-F"), 0);
    EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("b.txt")).output, "newer b");
    EXPECT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt"}));
    // An older file does not replace under -U, but a new one is added.
    fsys::last_write_time(src + "/a.txt", fsys::last_write_time(src + "/a.txt") - std::chrono::hours(48));
    writeText(src + "/a.txt", "older a");
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(48));
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U"), 0);
    EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("a.txt")).output, "first file\n");
    EXPECT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt", "new.txt"}));
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

std::vector<int16_t> answers;
int questions = 0;
int16_t AXAPI answerHook(StatusRecord record) {
    int16_t kind = record.kind;
    if (kind != AX_STATUS_QUESTION) return 1;
    ++questions;
    int16_t a = answers.empty() ? int16_t{AX_ANSWER_NO} : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return a;
}

TEST_F(ZipRun, ReplaceQuestion) {
    const std::string archive = s / "q.zip";
    Ax4SetCPrint(1);
    Ax4CPrintHook(answerHook);
    struct Case {
        std::vector<int16_t> answers;
        int16_t result;
        int questions;
        const char* a;
        const char* b;
        const char* zero;
    } cases[] = {
        {{AX_ANSWER_NO, AX_ANSWER_YES_TO_ALL}, 0, 2, "old a", "new b", "new zero"},  // 106 ends the questions
        {{AX_ANSWER_NO, AX_ANSWER_NO, AX_ANSWER_NO}, 0, 3, "old a", "old b", "old zero"},
        {{AX_ANSWER_YES, AX_ANSWER_NO, AX_ANSWER_YES}, 0, 3, "new a", "old b", "new zero"},
        {{AX_ANSWER_CANCEL}, -4, 1, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        fsys::remove(archive);
        for (const char* name : {"a", "b", "zero"}) writeText(src + "/" + name + ".txt", std::string("old ") + name);
        zipTextFiles(archive);
        for (const char* name : {"a", "b", "zero"}) writeText(src + "/" + name + ".txt", std::string("new ") + name);
        const auto before = readBytes(archive);
        answers = c.answers;
        questions = 0;
        EXPECT_EQ(zip(archive, src + "/*.txt", "-.Q"), c.result);
        EXPECT_EQ(questions, c.questions);
        if (c.result != 0) {
            EXPECT_EQ(readBytes(archive), before);
            continue;
        }
        EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("a.txt")).output, c.a);
        EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("b.txt")).output, c.b);
        EXPECT_EQ(run("unzip -p " + quote(archive) + " " + shortForm("zero.txt")).output, c.zero);
        EXPECT_EQ(entryNames(archive).size(), 3u);  // a kept entry is not added again
    }
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
}

TEST_F(ZipRun, EmptyArchivesAndNothingToDo) {
    const std::string archive = s / "e.zip";
    EXPECT_EQ(zip(archive, src + "/*.txt", "-F"), -7);
    EXPECT_FALSE(fsys::exists(archive));
    EXPECT_EQ(zip(archive, src + "/*.nothing", ""), -7);
    EXPECT_FALSE(fsys::exists(archive));
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U"), 0);
    EXPECT_EQ(entryNames(archive).size(), 3u);
    EXPECT_EQ(zip(archive, "", ""), -19);
    // No files and -O: the archive takes its newest entry's time.
    fsys::last_write_time(src + "/b.txt", fsys::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    const std::string old = s / "old.zip";
    ASSERT_EQ(zip(old, src + "/b.txt", ""), 0);
    EXPECT_EQ(zip(old, "", "-O"), 0);
    struct stat st;
    ASSERT_EQ(::stat(old.c_str(), &st), 0);
    EXPECT_LT(st.st_mtime, ::time(nullptr) - 24 * 3600 * 300);
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(ZipRun, MoveDeletesOnlyWhatWasWritten) {
    const std::string archive = s / "m.zip";
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(48));
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U -M"), 0);
    EXPECT_TRUE(fsys::exists(src + "/a.txt"));  // its entry was kept
    EXPECT_FALSE(fsys::exists(src + "/b.txt"));
    EXPECT_FALSE(fsys::exists(src + "/zero.txt"));
    EXPECT_EQ(sortedNames(archive), shortForms({"a.txt", "b.txt", "zero.txt"}));
}

TEST_F(ZipRun, AFailedRunLeavesTheArchiveAsItWas) {
    const std::string archive = s / "f.zip";
    ASSERT_EQ(zip(archive, src + "/*.txt", ""), 0);
    const auto before = readBytes(archive);
    struct stat st0;
    ::stat(archive.c_str(), &st0);
    for (auto fault : {zar::platform::Fault::Write, zar::platform::Fault::Read}) {
        for (int n : {1, 3, 8, 20}) {
            SCOPED_TRACE(n);
            zar::platform::failNthCall(fault, n);
            int16_t r = zip(archive, src + "/*.*", "-R -P");
            zar::platform::failNthCall(fault, 0);
            if (r == 0) continue;  // the fault fell after the commit: nothing to check
            EXPECT_EQ(readBytes(archive), before) << r;
            EXPECT_TRUE(noTemporaryFiles());
        }
    }
    // A file that cannot be read as listed (a directory where a file was).
    EXPECT_TRUE(noTemporaryFiles());
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

// An end record that claims a disk number does not pass into the new
// archive, which is one file: a run over an archive opened for update that
// deletes every entry or adds one leaves an ordinary archive.
TEST_F(ZipRun, ARebuiltArchiveNamesDiskZero) {
    for (const char* options : {"-D", ""}) {
        SCOPED_TRACE(options);
        const std::string archive = s / "disk.zip";
        fsys::remove(archive);
        ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
        auto bytes = readBytes(archive);
        bytes[bytes.size() - 22 + 4] = 0xFA;  // this disk: 250
        // The older single-file kind's mark in front: the file is read
        // through its end record, which opening for update takes as it is.
        std::copy_n("QVEP", 4, bytes.begin());
        writeBytes(archive, bytes);
        // Opened for update as asked, whatever the end record claims.
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &h), 0);
        EXPECT_EQ(Ax4Zip(&h, *options ? "*.*" : (src + "/b.txt").c_str(), nullptr, options), 0);
        Ax4ZipClose(&h);
        bytes = readBytes(archive);
        ASSERT_GE(bytes.size(), 22u);
        EXPECT_EQ(bytes[bytes.size() - 22 + 4], 0);
        uint16_t kind = 0;
        EXPECT_EQ(Ax4IdentifyFile(archive.c_str(), &kind), 0);
        EXPECT_EQ(kind, AX_KIND_ZIP);
    }
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

TEST_F(ZipRun, ArchiveTimes) {
    const std::string archive = s / "t.zip";
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(24 * 100));
    fsys::last_write_time(src + "/b.txt", fsys::file_time_type::clock::now() - std::chrono::hours(24 * 50));
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    struct timespec old[2] = {{0, UTIME_OMIT}, {1500000000, 0}};  // 2017
    ::utimensat(AT_FDCWD, archive.c_str(), old, 0);
    struct stat st;
    // -K: the archive keeps its time (to the DOS time's two seconds).
    ASSERT_EQ(zip(archive, src + "/b.txt", "-K"), 0);
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000);
    // -O: the newest entry's time, b's.
    ASSERT_EQ(zip(archive, src + "/zero.txt", "-O"), 0);
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    const auto zero = fsys::last_write_time(src + "/zero.txt");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(zero).time_since_epoch()).count();
    EXPECT_LE(std::llabs(st.st_mtime - seconds), 2);
    // Deleting with -O: the newest remaining entry's.
    ASSERT_EQ(zip(archive, "ZERO.TXT", "-D -O"), 0);
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_LT(st.st_mtime, ::time(nullptr) - 24 * 3600 * 40);
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

int16_t AXAPI cancelOnProgress(StatusRecord record) {
    int16_t kind = record.kind;
    if (kind == AX_STATUS_PROGRESS) Ax4Cancel();
    return 1;
}

TEST_F(ZipRun, CancelLeavesTheArchiveAsItWas) {
    const std::string archive = s / "x.zip";
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    const auto before = readBytes(archive);
    Ax4SetCPrint(1);
    Ax4CPrintHook(cancelOnProgress);
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P"), -4);
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_TRUE(noTemporaryFiles());
    EXPECT_EQ(zip(archive, src + "/b.txt", ""), 0);  // the flag did not outlive the run
}

std::string vanishing;
int16_t AXAPI removeOnProgress(StatusRecord record) {
    int16_t kind = record.kind;
    if (kind == AX_STATUS_PROGRESS && !vanishing.empty()) {
        std::remove(vanishing.c_str());
        vanishing.clear();
    }
    return 1;
}

TEST_F(ZipRun, AFileThatVanishesFailsTheRunCleanly) {
    const std::string archive = s / "v.zip";
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    const auto before = readBytes(archive);
    // While the first file is compressed, another one of the list disappears.
    // On one thread, as a worker may have read it ahead, and a file read
    // before it vanished is archived as it was.
    ScopedEnv oneThread{"ZARLIB_THREADS", "1"};
    vanishing = src + "/sub/deep/d.txt";
    Ax4SetCPrint(1);
    Ax4CPrintHook(removeOnProgress);
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P"), 105);
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_TRUE(noTemporaryFiles());
}

// A commit whose naming of the anonymous data file fails ends the run with
// access denied, and leaves the archive as it was and nothing else.
TEST_F(ZipRun, AFailedNamingOfTheNewArchiveLeavesTheOldOne) {
    const std::string archive = s / "n.zip";
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    const auto before = readBytes(archive);
    std::string name;
    zar::platform::FileHandle probe =
        zar::platform::createAnonymousFile(s.path(), "AZR", zar::platform::kPrivateFile, true, &name);
    if (probe == zar::platform::kInvalidFile) GTEST_SKIP() << "this volume holds no anonymous files";
    zar::platform::closeFile(probe);
    zar::platform::failNthCall(zar::platform::Fault::Name, 1);
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P"), AX_ACCESS_DENIED);
    zar::platform::failNthCall(zar::platform::Fault::Name, 0);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_TRUE(noTemporaryFiles());
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P"), 0);
    EXPECT_GT(entryNames(archive).size(), 1u);
}

// Where anonymous files are refused, the run's temporary files are named and
// registered, and gone when it ends; the archive is the same.
TEST_F(ZipRun, NamedTemporaryFilesWhereAnonymousOnesAreRefused) {
    const std::string archive = s / "r.zip";
    ASSERT_EQ(zip(archive, src + "/*.*", "-R -P"), 0);
    const auto anonymous = readBytes(archive);
    fsys::remove(archive);
    zar::platform::refuseAnonymousFiles(true);
    EXPECT_EQ(zip(archive, src + "/*.*", "-R -P"), 0);
    zar::platform::refuseAnonymousFiles(false);
    EXPECT_EQ(readBytes(archive), anonymous);
    EXPECT_TRUE(noTemporaryFiles());
}

std::vector<std::pair<std::string, int16_t>> notices;
int16_t noticeAnswer = AX_ANSWER_OK;
int16_t AXAPI recordNotices(StatusRecord record) {
    if (record.kind != AX_STATUS_NOTICE) return AX_ANSWER_OK;
    notices.emplace_back(record.entryName, record.code);
    return noticeAnswer;
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

TEST_F(ZipRun, ClearingTheArchiveBitOfWrittenFiles) {
    const std::string archive = s / "ab.zip";
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(48));
    fsys::permissions(src + "/b.txt", fsys::perms::owner_read);
    using zar::platform::fileAttributes;
    using zar::platform::kAttrArchive;
    using zar::platform::kAttrReadOnly;
    ASSERT_EQ(fileAttributes((src + "/b.txt").c_str()), kAttrArchive | kAttrReadOnly);
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U -A+"), 0);
    EXPECT_EQ(fileAttributes((src + "/a.txt").c_str()), kAttrArchive);  // its entry was kept
    // Where the file system keeps the archive bit, it is cleared on what was
    // written; the other bits stay.
    const uint32_t b = fileAttributes((src + "/b.txt").c_str());
    EXPECT_EQ(b & kAttrReadOnly, kAttrReadOnly);
    unsigned char probe = 0;
    if (::setxattr((src + "/zero.txt").c_str(), "user.probe", &probe, 1, 0) == 0) {
        EXPECT_EQ(b & kAttrArchive, 0u);
    }
    EXPECT_TRUE(fsys::exists(src + "/b.txt"));
}

TEST_F(ZipRun, NewestTimeThatNamesNoDay) {
    // A damaged entry dated in a 13th month is the newest: the archive is
    // committed all the same and keeps the time of its writing.
    zar::test::ZipArchive old;
    zar::test::ZipEntry odd = zar::test::entry("ODD.TXT", "odd");
    odd.date = (45 << 9) | (13 << 5) | 1;
    old.entries.push_back(odd);
    old.entries.push_back(zar::test::entry("GONE.TXT", "gone"));
    const std::string archive = s / "odd.zip";
    writeBytes(archive, old.bytes());
    EXPECT_EQ(zip(archive, "GONE.TXT", "-D -O"), 0);
    EXPECT_EQ(entryNames(archive), std::vector<std::string>{"ODD.TXT"});
}

}  // namespace
