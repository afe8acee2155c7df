// Locating the end record: with and without comments, behind fake records,
// hidden by garbage, for an empty archive, and for the older single-file
// kind. (Archives written by an independent tool: end_record_posix_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "archive/end_record.h"
#include "end_record_support.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"

namespace {

using namespace zar;
using archive::EndKind;
using archive::EndLocation;
using test::ZipArchive;
using test::endRecord::Found;
using test::endRecord::locate;

ZipArchive twoEntries() {
    ZipArchive zip;
    zip.entries.push_back(test::entry("a.txt", "alpha"));
    zip.entries.push_back(test::entry("dir/b.txt", "bravo bravo", "entry comment"));
    return zip;
}

// Offset of the real end record: the end of the bytes minus the record and comment.
uint32_t endOffset(const std::vector<uint8_t>& bytes, const ZipArchive& zip) {
    return static_cast<uint32_t>(bytes.size() - 22 - zip.comment.size());
}

TEST(EndRecord, WithoutComment) {
    ZipArchive zip = twoEntries();
    auto bytes = zip.bytes();
    Found f = locate(bytes);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, bytes.size() - 22);
    EXPECT_EQ(f.location.directoryStart, 30u * 2 + 5 + 5 + 9 + 11);
}

TEST(EndRecord, LastRecordIsTakenWithoutChecks) {
    std::vector<uint8_t> bytes(40, 'x');
    test::put32(bytes, 0x06054B50);
    bytes.resize(bytes.size() + 8);  // disk numbers and entry counts
    test::put32(bytes, 0x7FFFFFFF);  // a directory size far past the end
    test::put32(bytes, 0xDEADBEEF);  // and an offset that leads nowhere
    test::put16(bytes, 0);
    ASSERT_EQ(bytes.size(), 62u);
    Found f = locate(bytes);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, 40u);
    EXPECT_EQ(f.location.directoryStart, 0xDEADBEEFu);
}

TEST(EndRecord, CommentsUpToTheLargest) {
    for (size_t length : {1u, 21u, 22u, 1000u, 65534u, 65535u}) {
        ZipArchive zip = twoEntries();
        zip.comment.assign(length, 'c');
        auto bytes = zip.bytes();
        Found f = locate(bytes);
        EXPECT_EQ(f.result, kOk);
        EXPECT_EQ(f.location.endRecord, endOffset(bytes, zip)) << "comment of " << length;
    }
}

TEST(EndRecord, FakeRecordInsideTheCommentIsPassedOver) {
    ZipArchive zip = twoEntries();
    // A fake record in the comment, pointing at a directory that is not there,
    // and one pointing past the end of the file.
    std::vector<uint8_t> fake;
    test::put32(fake, 0x06054B50);
    test::put16(fake, 0), test::put16(fake, 0), test::put16(fake, 1), test::put16(fake, 1);
    test::put32(fake, 10);
    test::put32(fake, 3);  // offset 3 holds no "PK\1\2"
    test::put16(fake, 0);
    zip.comment = "start " + std::string(fake.begin(), fake.end()) + " middle ";
    fake[16] = 0xFF, fake[17] = 0xFF, fake[18] = 0xFF, fake[19] = 0x7F;
    zip.comment += std::string(fake.begin(), fake.end()) + " end";
    auto bytes = zip.bytes();
    Found f = locate(bytes);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, endOffset(bytes, zip));
}

TEST(EndRecord, OldestValidCandidateWins) {
    // A copy of the real record inside the comment also leads to the directory;
    // the scan runs from the oldest byte, so the real one (earlier) is taken.
    ZipArchive zip = twoEntries();
    auto plain = zip.bytes();
    std::string record(plain.end() - 22, plain.end());
    zip.comment = "xx" + record + "yy";
    auto bytes = zip.bytes();
    Found f = locate(bytes);
    EXPECT_EQ(f.location.endRecord, endOffset(bytes, zip));
}

TEST(EndRecord, HiddenByTooMuchTrailingData) {
    ZipArchive zip = twoEntries();
    auto bytes = zip.bytes();
    bytes.resize(bytes.size() + 65536, 0);
    Found f = locate(bytes);
    EXPECT_EQ(f.result, kOk);  // not a failure: every later read of the directory fails
    EXPECT_EQ(f.location.endRecord, EndLocation::kNotFound);
    EXPECT_EQ(f.location.directoryStart, EndLocation::kNotFound);

    bytes.resize(bytes.size() - 2);  // 65534 bytes of garbage: found again
    f = locate(bytes);
    EXPECT_EQ(f.location.endRecord, endOffset(zip.bytes(), zip));
}

TEST(EndRecord, EmptyArchives) {
    ZipArchive empty;
    Found f = locate(empty.bytes());
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, 0u);
    EXPECT_EQ(f.location.directoryStart, 0u);

    // No entries but a comment: the directory is empty and starts where the
    // end record lies, so no central record is there to confirm it.
    empty.comment = "only a comment";
    f = locate(empty.bytes());
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, 0u);
    EXPECT_EQ(f.location.directoryStart, 0u);

    empty.prefix.assign(100, 'S');  // behind a program stub
    f = locate(empty.bytes());
    EXPECT_EQ(f.location.endRecord, 100u);
    EXPECT_EQ(f.location.directoryStart, 100u);
}

TEST(EndRecord, TooShort) {
    EXPECT_EQ(locate(std::vector<uint8_t>(21, 0)).result, kBadArchive);
    EXPECT_EQ(locate(std::vector<uint8_t>(17, 0), EndKind::OldSingleFile).result, kBadArchive);
    Found f = locate(std::vector<uint8_t>(22, 0));
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.location.endRecord, EndLocation::kNotFound);
}

std::vector<uint8_t> oldKind(uint16_t smallCount, uint32_t length, size_t trailing) {
    std::vector<uint8_t> bytes = {'Q', 'V', 'E', 'P'};
    bytes.resize(64, 'd');
    test::putText(bytes, "KQB3");
    test::put16(bytes, smallCount);
    test::put16(bytes, 0);
    test::put32(bytes, length);
    test::put32(bytes, 0);
    test::put16(bytes, 0);
    bytes.resize(bytes.size() + trailing, 't');
    return bytes;
}

TEST(EndRecord, OlderSingleFileKind) {
    struct Case {
        uint16_t smallCount;
        uint32_t length;
        size_t trailing;
        Result result;
    } cases[] = {
        {3, 100, 0, kOk}, {50, 18, 40, kOk}, {51, 100, 0, kBadTrailer}, {3, 17, 0, kBadArchive},
        {51, 100, 9, kBadTrailer},
    };
    for (const Case& c : cases) {
        Found f = locate(oldKind(c.smallCount, c.length, c.trailing), EndKind::OldSingleFile);
        EXPECT_EQ(f.result, c.result) << c.smallCount << " " << c.length << " " << c.trailing;
        if (c.result == kOk) {
            EXPECT_EQ(f.location.endRecord, 64u);
            EXPECT_EQ(f.location.directoryStart, 0u);
        }
    }
}

TEST(EndRecord, ReadFailuresGiveAccessDenied) {
    test::Scratch scratch;
    ZipArchive zip = twoEntries();
    zip.comment = "comment";
    test::writeBytes(scratch / "a.zip", zip.bytes());
    fs::File file(fs::openFile((scratch / "a.zip").c_str(), platform::kAccessRead, platform::kShareRead,
                               fs::Disposition::OpenExisting, 0, true));
    archive::FileSource source(file.get());
    EndLocation location;
    for (platform::Fault fault : {platform::Fault::Read, platform::Fault::Seek}) {
        for (int n = 1; n <= 3; ++n) {
            platform::failNthCall(fault, n);
            EXPECT_EQ(archive::locateEndRecord(source, EndKind::Zip, &location), kAccessDenied) << n;
            platform::failNthCall(fault, 0);
        }
    }
    EXPECT_EQ(archive::locateEndRecord(source, EndKind::Zip, &location), kOk);
    EXPECT_EQ(location.endRecord, endOffset(zip.bytes(), zip));
}

}  // namespace
