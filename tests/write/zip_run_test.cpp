// The zip run and the delete run through Ax4Zip and Ax4QZip: the update,
// freshen and move rules, the replace question, nothing to do, failed,
// cancelled and vanishing runs that leave the archive as it was, the commit's
// temporary files, archive times and the archive bit.
// (What independent tools read of the runs' archives, and what only POSIX
// has: zip_run_posix_test.cpp.)
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/xattr.h>
#endif

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

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "zarlib32.h"
#include "zip_run_support.h"

namespace {

using zar::test::lastWriteSeconds;
using zar::test::readBytes;
using zar::test::setLastWriteSeconds;
using zar::test::shortForm;
using zar::test::shortForms;
using zar::test::writeBytes;
using zar::test::writeText;
namespace fsys = std::filesystem;
using zar::test::zipRun::entryNames;
using zar::test::zipRun::entryText;
#ifndef _WIN32
using zar::test::zipRun::rejections;
#endif
using zar::test::zipRun::sortedNames;
using zar::test::zipRun::ZipRun;

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
    EXPECT_EQ(entryText(archive, shortForm("b.txt")), std::string(5000, 'b'));
    // A newer file replaces its entry under -F; a new file is not added.
    writeText(src + "/b.txt", "newer b");
    fsys::last_write_time(src + "/b.txt", fsys::last_write_time(src + "/b.txt") + std::chrono::hours(1));
    writeText(src + "/new.txt", "new");
    EXPECT_EQ(zip(archive, src + "/*.txt", "-F"), 0);
    EXPECT_EQ(entryText(archive, shortForm("b.txt")), "newer b");
    EXPECT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt"}));
    // An older file does not replace under -U, but a new one is added.
    fsys::last_write_time(src + "/a.txt", fsys::last_write_time(src + "/a.txt") - std::chrono::hours(48));
    writeText(src + "/a.txt", "older a");
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(48));
    EXPECT_EQ(zip(archive, src + "/*.txt", "-U"), 0);
    EXPECT_EQ(entryText(archive, shortForm("a.txt")), "first file\n");
    EXPECT_EQ(entryNames(archive), shortForms({"a.txt", "b.txt", "zero.txt", "new.txt"}));
#ifndef _WIN32  // and every independent tool accepts the archive, where they run
    EXPECT_EQ(rejections(archive), "");
#endif
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
        EXPECT_EQ(entryText(archive, shortForm("a.txt")), c.a);
        EXPECT_EQ(entryText(archive, shortForm("b.txt")), c.b);
        EXPECT_EQ(entryText(archive, shortForm("zero.txt")), c.zero);
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
    EXPECT_LT(lastWriteSeconds(old), ::time(nullptr) - 24 * 3600 * 300);
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

TEST_F(ZipRun, ArchiveTimes) {
    const std::string archive = s / "t.zip";
    fsys::last_write_time(src + "/a.txt", fsys::file_time_type::clock::now() - std::chrono::hours(24 * 100));
    fsys::last_write_time(src + "/b.txt", fsys::file_time_type::clock::now() - std::chrono::hours(24 * 50));
    ASSERT_EQ(zip(archive, src + "/a.txt", ""), 0);
    setLastWriteSeconds(archive, 1500000000);  // 2017
    // -K: the archive keeps its time (to the DOS time's two seconds).
    ASSERT_EQ(zip(archive, src + "/b.txt", "-K"), 0);
    EXPECT_EQ(lastWriteSeconds(archive), 1500000000);
    // -O: the newest entry's time, b's.
    ASSERT_EQ(zip(archive, src + "/zero.txt", "-O"), 0);
    const auto zero = fsys::last_write_time(src + "/zero.txt");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(zero).time_since_epoch()).count();
    EXPECT_LE(std::llabs(lastWriteSeconds(archive) - seconds), 2);
    // Deleting with -O: the newest remaining entry's.
    ASSERT_EQ(zip(archive, "ZERO.TXT", "-D -O"), 0);
    EXPECT_LT(lastWriteSeconds(archive), ::time(nullptr) - 24 * 3600 * 40);
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
    zar::test::ScopedEnv oneThread{"ZARLIB_THREADS", "1"};
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
    // written; the other bits stay. POSIX keeps it where files take extended
    // attributes; Windows on every file.
    const uint32_t b = fileAttributes((src + "/b.txt").c_str());
    EXPECT_EQ(b & kAttrReadOnly, kAttrReadOnly);
    EXPECT_TRUE(fsys::exists(src + "/b.txt"));
#ifdef _WIN32
    // Wine keeps DOS attributes in extended attributes of the host's files:
    // on a drive without them it reports the archive bit on every file.
    const std::string probe = src + "/zero.txt";
    if (!zar::platform::setFileAttributes(probe.c_str(), zar::platform::kAttrNormal) ||
        (fileAttributes(probe.c_str()) & kAttrArchive) != 0)
        GTEST_SKIP() << "Wine without extended attributes on this drive keeps no archive bit";
    const bool keepsArchiveBit = true;
#else
    unsigned char probe = 0;
    const bool keepsArchiveBit = ::setxattr((src + "/zero.txt").c_str(), "user.probe", &probe, 1, 0) == 0;
#endif
    if (keepsArchiveBit) {
        EXPECT_EQ(b & kAttrArchive, 0u);
    }
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
