// Zip from memory through Ax4ZipPtr: the entry is the one a file of the same
// bytes would give, the zip run's rules apply (replacing, the question,
// passwords), the stored name is the host's whatever the path options say,
// and the staging never touches a file of the user's. (The staging
// directory's POSIX mode: zip_from_memory_posix_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32  // Info-ZIP unzip and Python read the archives back where they run
#include "common/run.h"
#endif
#include "common/scratch.h"
#include "common/short_names.h"
#include "zarlib32.h"
#include "zip_from_memory_support.h"

namespace {

using zar::test::readBytes;
using zar::test::shortForm;
using zar::test::writeText;
#ifndef _WIN32
using zar::test::quote;
using zar::test::run;
#endif
namespace fsys = std::filesystem;
using zar::test::fromMemory::mixed;
using zar::test::fromMemory::seenFiles;
using zar::test::fromMemory::zippedFile;
using zar::test::fromMemory::ZipFromMemory;

struct Listed {
    std::string name;
    CDR record;
};

std::vector<Listed> listOf(const std::string& archive) {
    std::vector<Listed> out;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return out;
    Listed l{};
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &l.record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &l.record, name, nullptr, 0, nullptr, 0)) {
        l.name = name;
        out.push_back(l);
    }
    Ax4ZipClose(&h);
    return out;
}

int16_t AXAPI watch(StatusRecord record) {
    if (record.kind == AX_STATUS_PROGRESS && record.operation == AX_OP_ZIPPING) seenFiles.push_back(zippedFile(record));
    return 1;
}

int16_t AXAPI answerNo(StatusRecord record) { return record.kind == AX_STATUS_QUESTION ? AX_ANSWER_NO : 1; }
int16_t AXAPI answerYes(StatusRecord record) { return record.kind == AX_STATUS_QUESTION ? AX_ANSWER_YES : 1; }

// The three cases: an empty block, a block of four pieces that gives
// the entry a file of its bytes gives, and a name already in the archive.
TEST_F(ZipFromMemory, EntriesAreThoseOfFilesOfTheSameBytes) {
    open();
    ASSERT_EQ(put("", "empty.txt"), 0);
    const std::string block = mixed(3 * 65520 + 1);
    ASSERT_EQ(put(block, "block.bin"), 0);
    close();

    std::vector<Listed> entries = listOf(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, shortForm("empty.txt"));
    EXPECT_EQ(+entries[0].record.method, 0);
    EXPECT_EQ(+entries[0].record.crc, 0u);
    EXPECT_EQ(+entries[0].record.packedSize, 0u);
    EXPECT_EQ(+entries[0].record.unpackedSize, 0u);

    // The same bytes as a file, zipped the ordinary way: the archives agree
    // byte for byte but for the entries' dates and times.
    const std::string fromFile = s / "file.zip";
    zar::test::writeBytes(s / "block.bin", std::vector<uint8_t>(block.begin(), block.end()));
    ASSERT_EQ(Ax4QZip(fromFile.c_str(), (s / "block.bin").c_str(), ""), 0);
    const std::string fromMemory = s / "memory.zip";
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen(fromMemory.c_str(), AX_OPEN_DECIDE, &h), 0);
    ASSERT_EQ(Ax4ZipPtr(&h, block.data(), static_cast<int32_t>(block.size()), "block.bin", ""), 0);
    Ax4ZipClose(&h);
    std::vector<uint8_t> a = readBytes(fromFile), b = readBytes(fromMemory);
    ASSERT_EQ(a.size(), b.size());
    auto timeless = [](std::vector<uint8_t> bytes) {
        // The local header's time and date at 10, the central record's at 12.
        const size_t central = bytes.size() - 22 - (46 + 9);
        for (size_t i = 0; i < 4; ++i) bytes[10 + i] = bytes[central + 12 + i] = 0;
        return bytes;
    };
    EXPECT_TRUE(timeless(a) == timeless(b));
#ifndef _WIN32  // and Info-ZIP unzip, which runs here only on POSIX, reads it back
    EXPECT_EQ(zar::test::run("unzip -p " + quote(fromMemory) + " block.bin | cmp - " + quote(s / "block.bin")).status, 0);
#endif

    // A name already there is replaced in its place.
    open();
    ASSERT_EQ(put("new text", "empty.txt"), 0);
    EXPECT_EQ(entryData(shortForm("empty.txt").c_str()), "new text");
    close();
    entries = listOf(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, shortForm("empty.txt"));
}

TEST_F(ZipFromMemory, TheReplaceQuestionAndPasswords) {
    open();
    ASSERT_EQ(put("first", "q.txt"), 0);
    Ax4SetCPrint(1);
    Ax4CPrintHook(answerNo);
    ASSERT_EQ(put("second", "q.txt", "-.Q"), 0);
    EXPECT_EQ(entryData(shortForm("q.txt").c_str()), "first");
    Ax4CPrintHook(answerYes);
    ASSERT_EQ(put("third", "q.txt", "-.Q"), 0);
    EXPECT_EQ(entryData(shortForm("q.txt").c_str()), "third");

    const std::string secret = mixed(100000);
    ASSERT_EQ(put(secret, "secret.bin", "-S/pass word/ -ED3"), 0);
    EXPECT_TRUE(entryData(shortForm("secret.bin").c_str(), "-S/pass word/") == secret);
    close();
#ifndef _WIN32  // Info-ZIP unzip and Python's zipfile, which run here only on POSIX, agree
    EXPECT_EQ(run("unzip -tq -P 'pass word' " + quote(archive) + " 2>&1").status, 0);
    writeText(s / "secret.bin", secret);
    EXPECT_EQ(run("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                  "sys.exit(0 if z.read(\"secret.bin\", pwd=b\"pass word\") == open(sys.argv[2], \"rb\").read() "
                  "else 1)' " + quote(archive) + " " + quote(s / "secret.bin") + " 2>&1").status, 0);
#endif
}

// The stored name is the host's, whatever the path options say; the data is
// staged in a directory of the library's own, private to the user, and no file
// of the user's in the temporary directory is read, replaced or deleted.
TEST_F(ZipFromMemory, StoredNamesAndStagingLeaveUserFilesAlone) {
    writeText(temp + "/report.txt", "the user's own report\n");
    open();
    Ax4SetCPrint(1);
    Ax4CPrintHook(watch);
    struct Case {
        const char* options;
        const char* name;
        const char* stored;
    } cases[] = {
        {"", "report.txt", "report.txt"},
        {"-N", "full.txt", "full.txt"},
        {"-P", "relative.txt", "relative.txt"},
        {"-N -.L", "docs/long name.txt", "docs/long name.txt"},
        {"-P", "docs\\back.txt", "docs/back.txt"},
        {"-.D -N", "drive.txt", "drive.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seenFiles.clear();
        ASSERT_EQ(put(std::string("data of ") + c.name, c.name, c.options), 0);
        ASSERT_FALSE(seenFiles.empty());
        // The file the run read lay in a directory that only its owner may
        // enter, inside the temporary directory; it is gone now.
        const fsys::path staged = seenFiles.front();
        EXPECT_EQ(staged.parent_path().parent_path(), fsys::path(temp));
        EXPECT_FALSE(fsys::exists(staged.parent_path()));
        EXPECT_EQ(zar::test::readBytes(temp + "/report.txt").size(), 22u);
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    }
    close();
    std::vector<std::string> names;
    for (const Listed& l : listOf(archive)) names.push_back(l.name);
    std::vector<std::string> expected;
    // Without long names, the short form; long-name mode is sticky on the open
    // archive, so from the first -.L on names keep their case.
    bool longNames = false;
    for (const Case& c : cases) {
        longNames = longNames || std::strstr(c.options, "-.L") != nullptr;
        expected.push_back(longNames ? c.stored : shortForm(c.stored));
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(zar::test::readText(temp + "/report.txt"), "the user's own report\n");
#ifndef _WIN32  // Info-ZIP unzip, which runs here only on POSIX, reads the entry
    EXPECT_EQ(run("unzip -p " + quote(archive) + " report.txt").output, "data of report.txt");
#endif
}

// Names that cannot be an entry's, and runs that fail: nothing is added and
// nothing is left behind in the temporary directory.
TEST_F(ZipFromMemory, RefusedNamesAndFailedRuns) {
    open();
    ASSERT_EQ(put("kept", "kept.txt"), 0);
    const std::string before = s / "before.zip";
    close();  // Windows copies no file another handle keeps to itself
    fsys::copy_file(archive, before);
    open();
    struct Case {
        const char* name;
        const char* options;
        int16_t result;
    } cases[] = {
        {"", "", AX_PATH_NOT_FOUND},
        {"/etc/passwd", "", AX_PATH_NOT_FOUND},
        {"\\root.txt", "", AX_PATH_NOT_FOUND},
        {"../up.txt", "", AX_PATH_NOT_FOUND},
        {"a/./b.txt", "", AX_PATH_NOT_FOUND},
        {"a//b.txt", "", AX_PATH_NOT_FOUND},
        {"dir/", "", AX_PATH_NOT_FOUND},
        {"C:x.txt", "", AX_PATH_NOT_FOUND},
        {"ok.txt", "-D", AX_OPTION_CONFLICT},
        {"ok.txt", "-Q", AX_BAD_OPTION},
        {"ok.txt", "-EC", AX_UNKNOWN_METHOD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + std::string(" ") + c.options);
        EXPECT_EQ(put("data", c.name, c.options), c.result);
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    }
    EXPECT_EQ(put("data", std::string(256, 'n').c_str()), AX_TOO_LONG);
    EXPECT_EQ(Ax4ZipPtr(&handle, nullptr, 5, "null.txt", ""), AX_MISSING_ARGUMENT);
    EXPECT_EQ(Ax4ZipPtr(&handle, nullptr, 0, "null.txt", ""), 0) << "no data needs no address";
    close();
    fsys::remove(archive);

    // A run that fails in the zip run proper leaves the archive as it was.
    ASSERT_EQ(Ax4ZipOpen(before.c_str(), AX_OPEN_READ, &handle), 0);
    EXPECT_EQ(put("data", "ok.txt"), AX_NOT_WRITABLE);
    close();
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    EXPECT_EQ(listOf(before).size(), 1u);
    EXPECT_EQ(Ax4ZipPtr(nullptr, "x", 1, "x", ""), AX_NOT_OPEN);
}

}  // namespace
