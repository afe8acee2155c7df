// Private extra blocks, the Zip64 block of central records, and the central
// record writer.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "archive/extra_field.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "common/zip_builder.h"

namespace {

using namespace zar;

TEST(PrivateBlocks, VersionBlockBytes) {
    std::vector<uint8_t> expected = {'K', 'W', 10, 0, 'Z', 'R', 0x00, 0x05, 0x00, 0x02, 0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_EQ(archive::versionBlock(0x00050002, 0x0A0B0C0D), expected);
}

TEST(PrivateBlocks, LongNameBlockBytes) {
    std::vector<uint8_t> expected = {'K', 'W', 7, 0, 'Z', 'r', 'a', '/', 'l', 'o', 'n'};
    EXPECT_EQ(archive::longNameBlock("a/lon"), expected);
}

TEST(PrivateBlocks, FoundAmongOtherBlocks) {
    std::vector<uint8_t> extra = {0x55, 0x54, 5, 0, 1, 2, 3, 4, 5};  // a foreign block
    auto version = archive::versionBlock(1, 2);
    auto longName = archive::longNameBlock("Long Name.txt");
    extra.insert(extra.end(), version.begin(), version.end());
    extra.insert(extra.end(), longName.begin(), longName.end());
    EXPECT_EQ(archive::findPrivateBlock(extra.data(), extra.size(), 'r'), "Long Name.txt");
    EXPECT_EQ(archive::findPrivateBlock(extra.data(), extra.size(), 'R').size(), 8u);
    EXPECT_TRUE(archive::findPrivateBlock(extra.data(), extra.size(), 'x').empty());
}

TEST(PrivateBlocks, TruncatedFieldsEndTheWalk) {
    auto longName = archive::longNameBlock("name");
    for (size_t cut = 0; cut < longName.size(); ++cut)
        EXPECT_TRUE(archive::findPrivateBlock(longName.data(), cut, 'r').empty()) << cut;
    std::vector<uint8_t> huge = {'X', 'Y', 0xFF, 0xFF, 0};  // claims 65535 bytes
    EXPECT_TRUE(archive::findPrivateBlock(huge.data(), huge.size(), 'r').empty());
}

// The blocks a cursor yields over a field, as (tag, size) pairs.
std::vector<std::pair<uint16_t, size_t>> walk(const std::vector<uint8_t>& field,
                                              archive::ExtraFieldCursor::Overrun overrun) {
    std::vector<std::pair<uint16_t, size_t>> seen;
    archive::ExtraFieldCursor cursor(field.data(), field.size(), overrun);
    for (archive::ExtraBlock block; cursor.next(&block);) seen.emplace_back(block.tag, block.size);
    return seen;
}

TEST(ExtraFieldCursor, StopsSafelyOnShortAndOverrunningBlocks) {
    using Overrun = archive::ExtraFieldCursor::Overrun;
    using Seen = std::vector<std::pair<uint16_t, size_t>>;
    struct Case {
        const char* what;
        std::vector<uint8_t> field;
        Seen ends, clipped;
    } cases[] = {
        {"empty", {}, {}, {}},
        {"two blocks filling the field", {1, 0, 2, 0, 'a', 'b', 2, 0, 0, 0}, {{1, 2}, {2, 0}}, {{1, 2}, {2, 0}}},
        {"a tail too short for a header", {1, 0, 0, 0, 9, 9, 9}, {{1, 0}}, {{1, 0}}},
        {"a block running past the field", {1, 0, 1, 0, 'a', 3, 0, 9, 0, 'x'}, {{1, 1}}, {{1, 1}, {3, 1}}},
        {"a size of 65535", {7, 0, 0xFF, 0xFF, 1}, {}, {{7, 1}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(walk(c.field, Overrun::EndsWalk), c.ends) << c.what;
        EXPECT_EQ(walk(c.field, Overrun::ClipToField), c.clipped) << c.what;
    }
}

TEST(PrivateBlocks, ShortPrivateBlocksHoldNoSubtag) {
    // "KW" blocks of size 0 and 1, followed by bytes that look like a subtag.
    for (uint8_t size : {0, 1}) {
        std::vector<uint8_t> extra = {'K', 'W', size, 0};
        extra.resize(4 + size, 'Z');
        for (char c : std::string("Zr-name")) extra.push_back(static_cast<uint8_t>(c));
        EXPECT_TRUE(archive::findPrivateBlock(extra.data(), extra.size(), 'r').empty()) << int{size};
    }
}

TEST(PrivateBlocks, VersionBlockOnlyAtItsOwnSize) {
    uint8_t version[archive::kVersionBytes];
    auto block = archive::versionBlock(0x00010002, 0x00030004);
    ASSERT_TRUE(archive::entryVersion(block.data(), block.size(), version));
    EXPECT_EQ(version[1], 1);
    EXPECT_EQ(version[7], 4);
    auto zero = archive::versionBlock(0, 0);
    EXPECT_FALSE(archive::entryVersion(zero.data(), zero.size(), version)) << "no version";
    block.push_back(0);
    block[2] = 11;  // one byte longer than a version block
    EXPECT_FALSE(archive::entryVersion(block.data(), block.size(), version));
}

TEST(Zip64Fields, RealValuesAndWhereTheyLie) {
    constexpr uint32_t kOnes = 0xFFFFFFFF;
    constexpr size_t kRecord = archive::Zip64Fields::kInRecord;
    // The Zip64 block follows a foreign block of five bytes: its values start at 9.
    struct Case {
        const char* what;
        uint32_t unpacked, packed, offset;         // the record's fields
        std::optional<std::vector<uint64_t>> block;  // the Zip64 block's values
        uint64_t realUnpacked, realPacked, realOffset;
        size_t unpackedAt, packedAt, offsetAt;
    } cases[] = {
        {"no field all ones: the block is not read", 10, 20, 30, std::vector<uint64_t>{7}, 10, 20, 30, kRecord,
         kRecord, kRecord},
        {"sizes in the block", kOnes, kOnes, 30, std::vector<uint64_t>{100, 50}, 100, 50, 30, 9, 17, kRecord},
        {"only the offset", 10, 20, kOnes, std::vector<uint64_t>{5'000'000'000}, 10, 20, 5'000'000'000, kRecord,
         kRecord, 9},
        {"packed size and offset", 10, kOnes, kOnes, std::vector<uint64_t>{2, 3}, 10, 2, 3, kRecord, 9, 17},
        {"all three", kOnes, kOnes, kOnes, std::vector<uint64_t>{1, 2, 3}, 1, 2, 3, 9, 17, 25},
        {"a block cut short", kOnes, kOnes, kOnes, std::vector<uint64_t>{1}, 1, kOnes, kOnes, 9, kRecord, kRecord},
        {"no block", kOnes, 20, kOnes, std::nullopt, kOnes, 20, kOnes, kRecord, kRecord, kRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> record(archive::CentralRecord::kSize);
        storeLe32(record.data() + archive::CentralRecord::kUnpackedSize, c.unpacked);
        storeLe32(record.data() + archive::CentralRecord::kPackedSize, c.packed);
        storeLe32(record.data() + archive::CentralRecord::kLocalOffset, c.offset);
        std::vector<uint8_t> extra = {0x55, 0x54, 1, 0, 9};
        if (c.block) {
            test::put16(extra, 1);
            test::put16(extra, static_cast<uint32_t>(8 * c.block->size()));
            for (uint64_t v : *c.block) test::put64(extra, v);
        }
        const archive::Zip64Fields real = archive::zip64Fields(record.data(), extra.data(), extra.size());
        EXPECT_EQ(real.unpackedSize, c.realUnpacked);
        EXPECT_EQ(real.packedSize, c.realPacked);
        EXPECT_EQ(real.localOffset, c.realOffset);
        EXPECT_EQ(real.unpackedAt, c.unpackedAt);
        EXPECT_EQ(real.packedAt, c.packedAt);
        EXPECT_EQ(real.offsetAt, c.offsetAt);
    }
}

TEST(CentralRecord, WrittenWithItsSignatureAndTrailingFields) {
    test::Scratch scratch;
    fs::File out(fs::openFile((scratch / "cd").c_str(), platform::kAccessReadWrite, 0,
                              fs::Disposition::CreateAlways, 0, true));
    uint8_t record[46] = {};
    record[28] = 5;  // name length
    record[30] = 3;  // extra length
    record[32] = 2;  // comment length
    const uint8_t extra[] = {9, 8, 7};
    ASSERT_EQ(archive::writeCentralRecord(out.get(), record, "a.txt", extra, "hi"), kOk);
    out.close();
    auto bytes = test::readBytes(scratch / "cd");
    ASSERT_EQ(bytes.size(), 46u + 5 + 3 + 2);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("PK\1\2", 4));
    EXPECT_EQ(std::string(bytes.begin() + 46, bytes.end()), std::string("a.txt\x09\x08\x07hi"));

    platform::failNthCall(platform::Fault::Write, 1);
    fs::File again(fs::openFile((scratch / "cd").c_str(), platform::kAccessReadWrite, 0,
                                fs::Disposition::CreateAlways, 0, true));
    EXPECT_EQ(archive::writeCentralRecord(again.get(), record, "a.txt", extra, "hi"), kWriteFailed);
    platform::failNthCall(platform::Fault::Write, 0);
}

}  // namespace
