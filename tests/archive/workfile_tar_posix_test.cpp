// TAR work files written by GNU tar in its three formats, checked against
// what Python's tarfile reports of the same files, names past the limit, and
// archives cut at a block boundary, inside a block and inside a member's data.
// Runs tar and Python: POSIX only (the built headers are in
// workfile_tar_test.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "archive/workfile.h"
#include "workfile_tools.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;


constexpr time_t kJune1975 = 172067696;      // 1975-06-15 12:34:56 UTC

// One member as Python's tarfile reports it.
struct Reported {
    std::string name;
    uint64_t size, mtime, mode, checksum, dataOffset;
    char type;
};

std::vector<Reported> reportedByPython(const std::string& dir, const std::string& archive) {
    std::string out;
    runIn(dir, "python3 -c \"import tarfile,sys\nfor m in tarfile.open(sys.argv[1]):\n"
               " print(m.size, int(m.mtime), m.mode, m.chksum, m.offset_data, m.type.decode() or '0', m.name)\" " +
                   archive,
          &out);
    std::vector<Reported> members;
    for (const std::string& line : lines(out)) {
        Reported r{};
        char type = 0;
        int used = 0;
        unsigned long long size, mtime, mode, checksum, offset;
        if (std::sscanf(line.c_str(), "%llu %llu %llu %llu %llu %c %n", &size, &mtime, &mode, &checksum, &offset,
                        &type, &used) < 6)
            continue;
        r = {line.substr(static_cast<size_t>(used)), size, mtime, mode, checksum, offset, type};
        members.push_back(r);
    }
    return members;
}

// The tree every format test archives: a directory, files of several modes and
// times, and a path too long for the 100-byte name field.
struct Tree {
    Scratch scratch;
    std::string longDirectory = repeat("long-directory-", 9);  // 135 characters
    std::vector<std::string> members;

    Tree() {
        namespace fs = std::filesystem;
        fs::create_directories(scratch / "dir");
        fs::create_directories(scratch / longDirectory);
        writeFileAt(scratch / "dir/file.txt", "alpha beta gamma\n", kFebruary2001);
        writeFileAt(scratch / "readonly.txt", repeat("read only\n", 100), kFebruary2001);
        ::chmod((scratch / "readonly.txt").c_str(), 0444);
        writeFileAt(scratch / "old.txt", "", kJune1975);
        writeFileAt(scratch / (longDirectory + "/member.txt"), repeat("x", 1000), kFebruary2001);
        setTime(scratch / "dir", kFebruary2001);
        members = {"dir", "dir/file.txt", "readonly.txt", "old.txt", longDirectory + "/member.txt"};
    }

    std::string tar(const std::string& archive, const std::string& options) {
        std::string command = "tar " + options + " --no-recursion -cf " + archive;
        for (const std::string& m : members) command += " '" + m + "'";
        runIn(scratch.path(), command);
        return scratch / archive;
    }
};

TEST(TarWorkFile, EveryFormatOfGnuTarListsWhatTarfileReports) {
    ScopedZone zone("EST5");
    Tree tree;
    for (const char* format : {"gnu", "ustar", "posix"}) {
        SCOPED_TRACE(format);
        std::string path = tree.tar(std::string(format) + ".tar", std::string("--format=") + format);
        Listing listing = listFile(Kind::Tar, path);
        ASSERT_EQ(listing.result, kOk);
        std::vector<Reported> reported = reportedByPython(tree.scratch.path(), path);
        ASSERT_EQ(reported.size(), 5u);
        ASSERT_EQ(listing.records.size(), reported.size());
        for (size_t i = 0; i < reported.size(); ++i) {
            const Reported& want = reported[i];
            const MemberRecord& got = listing.records[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(got.name, want.type == '5' ? want.name + "/" : want.name);
            EXPECT_EQ(got.packedSize, want.size);
            EXPECT_EQ(got.unpackedSize, want.size);
            EXPECT_EQ(got.crc, want.checksum);
            EXPECT_EQ(got.localOffset, want.dataOffset);
            EXPECT_EQ(got.method, 0);
            EXPECT_EQ(got.versionNeeded, 0);
            EXPECT_EQ(got.internalAttributes, 0);
            EXPECT_TRUE(got.comment.empty());
        }
        // Times in local time (five hours behind), attributes from type and mode.
        Dos february = dos(2001, 2, 2, 23, 5, 6), june = dos(1975, 6, 15, 7, 34, 56);
        const struct {
            const char* name;
            Dos when;
            uint32_t attributes;
        } expected[] = {{"dir/", february, 48},
                        {"dir/file.txt", february, 32},
                        {"readonly.txt", february, 33},
                        {"old.txt", june, 32}};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(listing.records[i].name, expected[i].name);
            EXPECT_EQ(listing.records[i].date, expected[i].when.date) << expected[i].name;
            EXPECT_EQ(listing.records[i].time, expected[i].when.time) << expected[i].name;
            EXPECT_EQ(listing.records[i].externalAttributes, expected[i].attributes) << expected[i].name;
        }
        EXPECT_EQ(listing.records[4].name, tree.longDirectory + "/member.txt");
        EXPECT_EQ(listing.records[4].unpackedSize, 1000u);
    }
}

TEST(TarWorkFile, NameLongerThan260IsRefused) {
    Scratch scratch;
    std::string directory = repeat("d", 200), name = directory + "/" + repeat("n", 60);  // 261 characters
    std::filesystem::create_directories(scratch / directory);
    writeText(scratch / name, "data");
    for (const char* format : {"gnu", "posix"}) {
        runIn(scratch.path(), std::string("tar --format=") + format + " -cf x.tar " + name);
        EXPECT_EQ(listFile(Kind::Tar, scratch / "x.tar").result, kTooLong) << format;
        // One character less fits.
        std::filesystem::rename(scratch / name, scratch / name.substr(0, 260));
        runIn(scratch.path(), std::string("tar --format=") + format + " -cf y.tar " + name.substr(0, 260));
        Listing fits = listFile(Kind::Tar, scratch / "y.tar");
        EXPECT_EQ(fits.result, kOk) << format;
        ASSERT_EQ(fits.records.size(), 1u);
        EXPECT_EQ(fits.records[0].name, name.substr(0, 260));
        std::filesystem::rename(scratch / name.substr(0, 260), scratch / name);
    }
}

TEST(TarWorkFile, CutArchives) {
    ScopedZone zone("UTC0");
    Scratch scratch;
    writeText(scratch / "a", repeat("a", 700));  // data in two blocks, the second partly used
    writeText(scratch / "b", "b");
    runIn(scratch.path(), "tar -cf x.tar a b");
    std::vector<uint8_t> whole = readBytes(scratch / "x.tar");
    // Header a (512), data a (1024), header b (512), data b (512), then zeros.
    const size_t afterB = 512 + 1024 + 512 + 512;
    ASSERT_GT(whole.size(), afterB);
    const struct {
        size_t length;
        Result result;
        size_t records;
    } cases[] = {
        {whole.size(), kOk, 2},
        {afterB, kOk, 2},                 // no closing zero blocks
        {afterB - 511, kOk, 2},           // the last data block without its padding
        {afterB - 512, kShortRead, 1},    // b's byte of data is missing
        {afterB + 100, kShortRead, 2},    // a partial block where a header would be
        {512 + 1024 + 300, kShortRead, 1},  // b's header cut
        {512 + 1024, kOk, 1},
        {512 + 600, kShortRead, 0},       // a's data cut
        {0, kOk, 0},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.length));
        Listing listing = listBytes(Kind::Tar, cut);
        EXPECT_EQ(listing.result, c.result) << c.length;
        EXPECT_EQ(listing.records.size(), c.records) << c.length;
    }
}

}  // namespace
