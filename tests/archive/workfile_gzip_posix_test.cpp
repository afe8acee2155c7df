// Work files of files written by gzip and GNU tar, checked against what gzip
// itself lists, and member names taken from the header or made from the
// archive's path. Runs gzip and tar: POSIX only (the built headers are in
// workfile_gzip_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/kinds.h"
#include "common/zip_builder.h"
#include "workfile_tools.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// What `gzip -lv` reports of a file: CRC-32 and uncompressed size.
struct GzipReport {
    uint32_t crc = 0;
    uint64_t size = 0;
};

GzipReport reportedByGzip(const std::string& dir, const std::string& file) {
    std::string out;
    runIn(dir, "gzip -lv '" + file + "'", &out);
    GzipReport report;
    std::vector<std::string> all = lines(out);
    EXPECT_GE(all.size(), 2u) << out;
    if (all.size() < 2) return report;
    std::vector<std::string> w = words(all[1]);  // method crc month day time compressed uncompressed ratio name
    EXPECT_GE(w.size(), 8u) << all[1];
    if (w.size() < 8) return report;
    report.crc = static_cast<uint32_t>(std::stoul(w[1], nullptr, 16));
    report.size = std::stoull(w[6]);
    return report;
}

TEST(GzipWorkFile, StoredNameAndTimeFromGzip) {
    ScopedZone zone("EST5");
    Scratch scratch;
    const std::string data = repeat("some text to compress, ", 200);
    writeFileAt(scratch / "notes.txt", data, kFebruary2001);
    runIn(scratch.path(), "gzip -9 -k notes.txt");
    const std::string path = scratch / "notes.txt.gz";
    Listing listing = listFile(Kind::Gzip, path);
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 1u);
    const MemberRecord& r = listing.records[0];
    GzipReport report = reportedByGzip(scratch.path(), path);
    const uint32_t dataStart = 10 + sizeof "notes.txt";  // the header, then the name and its NUL
    EXPECT_EQ(r.name, "notes.txt");
    EXPECT_EQ(r.crc, report.crc);
    EXPECT_EQ(r.crc, crcOf(data));
    EXPECT_EQ(r.unpackedSize, report.size);
    EXPECT_EQ(r.unpackedSize, data.size());
    EXPECT_EQ(r.packedSize, readBytes(path).size() - dataStart - 8);
    EXPECT_EQ(r.localOffset, dataStart);
    EXPECT_EQ(r.versionNeeded, 20);
    EXPECT_EQ(r.method, 8);
    EXPECT_EQ(r.date, dos(2001, 2, 2, 23, 5, 6).date);
    EXPECT_EQ(r.time, dos(2001, 2, 2, 23, 5, 6).time);
    EXPECT_EQ(r.internalAttributes, 0);
    EXPECT_EQ(r.externalAttributes, 32u);
    EXPECT_EQ(r.flags, 0);
    EXPECT_TRUE(listing.end.comment.empty());
}

// gzip -n stores no time (0): the member takes the file's own time, not the
// first day of DOS dates.
TEST(GzipWorkFile, WithoutAStoredTimeTheFileTimeCounts) {
    ScopedZone zone("UTC0");
    Scratch scratch;
    writeText(scratch / "a.txt", "alpha");
    runIn(scratch.path(), "gzip -nc a.txt > plain.gz && TZ=UTC0 touch -d '2001-02-03 04:05:06' plain.gz");
    Listing listing = listFile(Kind::Gzip, scratch / "plain.gz");
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].date, dos(2001, 2, 3, 4, 5, 6).date);
    EXPECT_EQ(listing.records[0].time, dos(2001, 2, 3, 4, 5, 6).time);
}

TEST(GzipWorkFile, NamelessFilesAreNamedAfterTheArchive) {
    ScopedZone zone("UTC0");
    Scratch scratch;
    writeText(scratch / "a.txt", "alpha");
    runIn(scratch.path(), "tar czf backup.tgz a.txt && tar cf - a.txt | gzip -n > data.tar.gz && "
                          "gzip -nc a.txt > plain.gz && cp backup.tgz UPPER.TGZ && cp plain.gz noextension");
    const struct {
        const char* file;
        const char* name;
    } cases[] = {
        {"backup.tgz", "backup.tar"}, {"UPPER.TGZ", "UPPER.tar"},     {"data.tar.gz", "data.tar"},
        {"plain.gz", "plain"},        {"noextension", "noextension"},
    };
    for (const auto& c : cases) {
        const std::string path = scratch / c.file;
        Listing listing = listFile(Kind::Gzip, path);
        ASSERT_EQ(listing.result, kOk) << c.file;
        ASSERT_EQ(listing.records.size(), 1u);
        const MemberRecord& r = listing.records[0];
        EXPECT_EQ(r.name, c.name);  // the directory goes, and the extension
        GzipReport report = reportedByGzip(scratch.path(), path);
        EXPECT_EQ(r.crc, report.crc) << c.file;
        EXPECT_EQ(r.unpackedSize, report.size) << c.file;
        EXPECT_EQ(r.localOffset, 10u);
        EXPECT_EQ(r.packedSize, readBytes(path).size() - 18);
        // Without a stored time the file's own time, made just now, counts.
        EXPECT_GT(r.date, dos(2020, 1, 1, 0, 0, 0).date) << c.file;
    }

    // Only the last part of the path names the member: drive and directories
    // go, whichever separator they use.
    std::vector<uint8_t> bytes = readBytes(scratch / "plain.gz");
    const std::string longDirectory = "/" + repeat("p", 300) + "/x.tgz";
    const std::string longName = "dir/" + repeat("p", 261) + ".gz";  // 261 characters without the extension
    const struct {
        const char* path;
        const char* name;
    } paths[] = {
        {"C:\\backups\\week.tgz", "week.tar"},
        {"d:week.TgZ", "week.tar"},
        {"dir.v2/file", "file"},
        {"../s.tgz", "s.tar"},
        {"..\\..\\s.tgz", "s.tar"},
        {"/abs/dir/s.tgz", "s.tar"},
        {"mixed\\sep/arated\\s.tgz", "s.tar"},
        {"\\\\server\\share\\s.tgz", "s.tar"},
        {longDirectory.c_str(), "x.tar"},
    };
    for (const auto& p : paths) {
        Listing listing = listBytes(Kind::Gzip, bytes, p.path);
        ASSERT_EQ(listing.result, kOk) << p.path;
        EXPECT_EQ(listing.records.at(0).name, p.name) << p.path;
    }
    EXPECT_EQ(listBytes(Kind::Gzip, bytes, longName.c_str()).result, kTooLong);
}

}  // namespace
