// Walking the central directory: cut buffers, long-name mode, the Basic
// layout, and damaged records. (Every field of archives made by independent
// tools: directory_posix_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "directory_support.h"
#include "zarlib32.h"

namespace {

using zar::test::central::Directory;
using zar::test::central::Listed;
using zar::test::central::Listing;
using zar::test::central::listAll;
using zar::test::ZipArchive;

TEST_F(Directory, ArchiveBehindAProgramStub) {
    ZipArchive zip;
    zip.prefix = {'M', 'Z'};
    zip.prefix.resize(512, 0x90);
    zip.entries = {zar::test::entry("inside.txt", "payload")};
    AxHandle h = open(zip.bytes(), AX_OPEN_DECIDE);
    EXPECT_FALSE(zar::archive::lookup(h)->writable()) << "a program is opened read only";
    EXPECT_EQ(zar::archive::lookup(h)->kind, zar::archive::Kind::SelfExtracting);
    Listing l = listAll(h);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "inside.txt");
    EXPECT_EQ(+l.entries[0].record.localOffset, 512u);
    Ax4ZipClose(&h);
    EXPECT_TRUE(std::filesystem::exists(scratch / "t.zip"));
}

TEST_F(Directory, EmptyArchive) {
    AxHandle h = open(ZipArchive{}.bytes());
    CDR record;
    char name[261];
    uint16_t count = 7;
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), AX_NOTHING_DONE);
    EXPECT_EQ(Ax4ZipCount(h, &count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(Directory, BackslashesBecomeSlashes) {
    ZipArchive zip;
    zip.entries.push_back(zar::test::entry("dir\\sub\\file.txt", "x"));
    Listing l = listAll(open(zip.bytes()));
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "dir/sub/file.txt");
}

TEST_F(Directory, CutExtraFieldStillLandsOnTheNextRecord) {
    ZipArchive zip;
    auto first = zar::test::entry("first", "1");
    first.extra = {0x55, 0x54, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8};  // 12 bytes
    zip.entries = {first, zar::test::entry("second", "2")};
    AxHandle h = open(zip.bytes());
    CDR record;
    char name[261];
    uint8_t extra[4];
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, extra, sizeof extra, nullptr, 0), AX_TOO_LONG);
    EXPECT_STREQ(name, "first");
    EXPECT_EQ(std::vector<uint8_t>(extra, extra + 4), (std::vector<uint8_t>{0x55, 0x54, 8, 0}));
    EXPECT_EQ(record.extraLength, 12);
    EXPECT_EQ(Ax4ZipFindNext(h, &record, name, extra, sizeof extra, nullptr, 0), 0);
    EXPECT_STREQ(name, "second");
    EXPECT_EQ(Ax4ZipFindNext(h, &record, name, extra, sizeof extra, nullptr, 0), AX_NOTHING_DONE);
}

TEST_F(Directory, CutComments) {
    ZipArchive zip;
    zip.entries = {zar::test::entry("a", "1", "0123456789"), zar::test::entry("b", "2")};
    AxHandle h = open(zip.bytes());
    CDR record;
    char name[261], comment[11];
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, comment, 10), AX_TOO_LONG);
    EXPECT_STREQ(comment, "012345678");
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, comment, 11), 0);
    EXPECT_STREQ(comment, "0123456789");
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, comment, 65535), 0) << "65535 skips the comment";
    EXPECT_EQ(Ax4ZipFindNext(h, &record, name, nullptr, 0, comment, 11), 0);
    EXPECT_STREQ(name, "b");
    EXPECT_STREQ(comment, "");
}

TEST_F(Directory, LongNameMode) {
    ZipArchive zip;
    auto e = zar::test::entry("LONG~1.TXT", "data");
    e.extra = {0x55, 0x54, 1, 0, 9};  // another block first
    std::string block = std::string("KW\x0B\0Zr", 6) + "\\long.txt";
    e.extra.insert(e.extra.end(), block.begin(), block.end());
    zip.entries = {e};
    char name[261];
    CDR record;

    AxHandle plain = open(zip.bytes());
    EXPECT_EQ(Ax4ZipFindFirst(plain, &record, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "LONG~1.TXT");
    EXPECT_EQ(record.nameLength, 10);
    Ax4ZipClose(&plain);

    AxHandle h = open(zip.bytes(), AX_OPEN_READ | AX_OPEN_LONG_NAMES);
    uint8_t extra[64];
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, extra, sizeof extra, nullptr, 0), 0);
    EXPECT_STREQ(name, "long.txt");
    EXPECT_EQ(record.nameLength, 8);
    EXPECT_EQ(record.extraLength, e.extra.size());
    EXPECT_EQ(extra[0], 0x55);

    zar::archive::lookup(h)->keepNameLength = true;
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(record.nameLength, 10);
    EXPECT_FALSE(zar::archive::lookup(h)->keepNameLength) << "cleared by every read";

    char effective[261];
    Ax4EffectiveFileName("A\\B.TXT", nullptr, 0, effective);
    EXPECT_STREQ(effective, "A/B.TXT");
    Ax4EffectiveFileName("X", e.extra.data(), static_cast<uint16_t>(e.extra.size()), effective);
    EXPECT_STREQ(effective, "long.txt");

    // A long-name block that claims more than the field holds is read as far
    // as the field goes; an empty long name leaves the stored one.
    const std::string overrun = std::string("KW\x40\0Zr", 6) + "cut.txt";
    Ax4EffectiveFileName("X", reinterpret_cast<const uint8_t*>(overrun.data()),
                         static_cast<uint16_t>(overrun.size()), effective);
    EXPECT_STREQ(effective, "cut.txt");
    const std::string empty("KW\x02\0Zr", 6);
    Ax4EffectiveFileName("X\\Y", reinterpret_cast<const uint8_t*>(empty.data()), 6, effective);
    EXPECT_STREQ(effective, "X/Y");
}

TEST_F(Directory, FindNextNeedsFindFirst) {
    ZipArchive zip;
    zip.entries = {zar::test::entry("a", "1")};
    AxHandle h = open(zip.bytes());
    CDR record;
    char name[261];
    EXPECT_EQ(Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0), AX_FIND_FIRST_NEEDED);
    EXPECT_EQ(Ax4GetCDR(h), 0xFFFFFFFFu);
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(Ax4GetCDR(h), 32u);  // after the local header of "a" and its byte
    EXPECT_EQ(Ax4GetNextCDR(h), 32u + 46 + 1);
}

TEST_F(Directory, ForeignHostsReportNoAttributes) {
    ZipArchive zip;
    auto unix = zar::test::entry("u", "1");
    unix.versionMadeBy = 0x031E;
    unix.externalAttributes = 0x81A40000;
    auto dos = zar::test::entry("d", "2");
    dos.externalAttributes = 0x21;
    zip.entries = {unix, dos};
    Listing l = listAll(open(zip.bytes()));
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(+l.entries[0].record.externalAttributes, 0u);
    EXPECT_EQ(+l.entries[1].record.externalAttributes, 0x21u);
}

// The library's own drivers read each record as it stands; the host view of
// the same archive folds, zeroes and renames as before.
TEST_F(Directory, RawRecordsAreTheStoredBytes) {
    auto unix = zar::test::entry("dir\\unix.txt", "mode bits", "its comment");
    unix.versionMadeBy = 0x031E;
    unix.externalAttributes = 0x81ED0000;
    unix.extra = {0x55, 0x54, 1, 0, 7};
    auto big = zar::test::entry("zip64.bin", "sizes in the Zip64 block");
    big.versionMadeBy = 0x0314;
    big.externalAttributes = 0x81A40000;
    big.zip64 = true;
    auto named = zar::test::entry("LONG~1.TXT", "x");
    const std::string block = std::string("KW\x0A\0Zr", 6) + "Long.txt";
    named.extra.assign(block.begin(), block.end());
    ZipArchive zip;
    zip.entries = {unix, big, named};
    const std::vector<uint8_t> bytes = zip.bytes();
    const uint32_t directoryStart = zar::loadLe32(bytes.data() + bytes.size() - 22 + 16);

    struct Mode {
        int16_t openMode;
        std::vector<std::string> handed;
        std::vector<bool> longName;
    } modes[] = {
        {AX_OPEN_READ, {"dir/unix.txt", "zip64.bin", "LONG~1.TXT"}, {false, false, false}},
        {AX_OPEN_READ | AX_OPEN_LONG_NAMES, {"dir/unix.txt", "zip64.bin", "Long.txt"}, {false, false, true}},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.openMode);
        AxHandle h = open(bytes, m.openMode);
        zar::archive::ArchiveHandle& archive = *zar::archive::lookup(h);
        zar::archive::RawRecord raw;
        size_t at = directoryStart;
        int16_t r = zar::archive::findFirst(archive, &raw);
        for (size_t i = 0; i < zip.entries.size(); ++i, r = zar::archive::findNext(archive, &raw)) {
            ASSERT_EQ(r, zar::kOk) << i;
            auto stored = [&](size_t length) {
                std::vector<uint8_t> part(bytes.begin() + at, bytes.begin() + at + length);
                at += length;
                return part;
            };
            const auto record = stored(46);
            EXPECT_EQ(std::vector<uint8_t>(raw.record, raw.record + 46), record);
            EXPECT_EQ(raw.name, stored(zar::loadLe16(record.data() + 28)));
            EXPECT_EQ(raw.extra, stored(zar::loadLe16(record.data() + 30)));
            EXPECT_EQ(raw.comment, stored(zar::loadLe16(record.data() + 32)));
            EXPECT_EQ(raw.handedName, m.handed[i]);
            EXPECT_EQ(raw.longName, m.longName[i]);
        }
        EXPECT_EQ(r, zar::kNothingDone);

        Listing l = listAll(h);
        ASSERT_EQ(l.entries.size(), 3u);
        EXPECT_EQ(+l.entries[0].record.externalAttributes, 0u) << "another host's attributes";
        EXPECT_EQ(+l.entries[1].record.packedSize, big.data.size()) << "folded from the Zip64 block";
        EXPECT_EQ(+l.entries[1].record.localOffset, 30u + 12 + 5 + unix.data.size());
        Ax4ZipClose(&h);
    }
}

TEST_F(Directory, PositionReadsAndTheBasicLayout) {
    ZipArchive zip;
    auto e = zar::test::entry("name.txt", "payload", "c");
    e.externalAttributes = 0x20;
    zip.entries = {e, zar::test::entry("next", "")};
    AxHandle h = open(zip.bytes());
    uint16_t count;
    ASSERT_EQ(Ax4ZipCount(h, &count), 0);
    ASSERT_EQ(count, 2);
    CDR packed;
    char name[261], comment[8];
    // The end record has been located, so the directory start is known.
    ASSERT_EQ(Ax4ZipFindFirst(h, &packed, name, nullptr, 0, nullptr, 0), 0);
    uint32_t position = Ax4GetCDR(h);
    CDR byPosition;
    ASSERT_EQ(Ax4ReadCDR(h, &position, &byPosition, name, nullptr, 0, comment, sizeof comment), 0);
    EXPECT_EQ(std::memcmp(&byPosition, &packed, sizeof packed), 0);
    EXPECT_STREQ(comment, "c");
    ASSERT_EQ(Ax4ReadCDR(h, &position, &byPosition, name, nullptr, 0, comment, sizeof comment), 0);
    EXPECT_STREQ(name, "next");
    EXPECT_EQ(Ax4ReadCDR(h, &position, &byPosition, name, nullptr, 0, comment, sizeof comment), AX_NOTHING_DONE);

    CDRVB32 basic;
    ASSERT_EQ(Ax4ZipFindFirstVB32(h, &basic, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(+basic.signature, 0x02014B50u);
    EXPECT_EQ(+basic.crc, +packed.crc);
    EXPECT_EQ(+basic.unpackedSize, 7u);
    EXPECT_EQ(+basic.externalAttributes, 0x20u);
    EXPECT_EQ(basic.nameLength, 8);
    EXPECT_EQ(basic.date, packed.date);
    EXPECT_EQ(basic.commentLength, 1);
    ASSERT_EQ(Ax4ZipFindNextVB32(h, &basic, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "next");
}

TEST_F(Directory, DamagedRecords) {
    ZipArchive zip;
    zip.entries = {zar::test::entry("a", "1"), zar::test::entry("b", "2")};
    auto good = zip.bytes();
    const size_t second = 32 + 32 + 47;  // two local headers and the first central record

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t listed;
        int16_t result;
    };
    std::vector<Case> cases;
    auto bad = good;
    bad[second] = 'X';  // no signature
    cases.push_back({"bad signature", bad, 1, AX_BAD_ARCHIVE});
    bad = good;
    bad[second + 28] = 0x05, bad[second + 29] = 0x01;  // a name of 261 bytes
    cases.push_back({"name too long", bad, 1, AX_TOO_LONG});
    bad = good;
    bad[second + 30] = 0xFF, bad[second + 31] = 0xFF;  // an extra field past the end
    cases.push_back({"extra past the end", bad, 1, AX_SHORT_READ});
    bad = good;
    bad.resize(bad.size() - 22);
    auto end = std::vector<uint8_t>(good.end() - 22, good.end());
    end[16] = 0xF0, end[17] = 0xFF, end[18] = 0xFF, end[19] = 0x7F;  // directory far away
    bad.insert(bad.end(), end.begin(), end.end());
    cases.push_back({"directory past the end", bad, 0, AX_SHORT_READ});

    for (const Case& c : cases) {
        AxHandle h = open(c.bytes);
        Listing l = listAll(h);
        EXPECT_EQ(l.entries.size(), c.listed) << c.what;
        EXPECT_EQ(l.result, c.result) << c.what;
        // The raw walk ends the same way.
        zar::archive::RawRecord raw;
        zar::archive::ArchiveHandle& archive = *zar::archive::lookup(h);
        size_t listed = 0;
        int16_t r = zar::archive::findFirst(archive, &raw);
        for (; r == zar::kOk; r = zar::archive::findNext(archive, &raw)) ++listed;
        EXPECT_EQ(listed, c.listed) << c.what;
        EXPECT_EQ(r, c.result) << c.what;
        zar::archive::closeAllArchives();
    }
}

TEST_F(Directory, TooLongNameIsSkippedNotRepeated) {
    ZipArchive zip;
    zip.entries = {zar::test::entry(std::string(261, 'n'), "1"), zar::test::entry("after", "2")};
    AxHandle h = open(zip.bytes());
    CDR record;
    char name[261];
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), AX_TOO_LONG);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "after");
}

}  // namespace
