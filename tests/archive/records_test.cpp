// Private extra blocks and the central record writer.
#include <gtest/gtest.h>

#include "archive/records.h"
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

    platform::failNthCall(platform::Fault::Write, 2);
    fs::File again(fs::openFile((scratch / "cd").c_str(), platform::kAccessReadWrite, 0,
                                fs::Disposition::CreateAlways, 0, true));
    EXPECT_EQ(archive::writeCentralRecord(again.get(), record, "a.txt", extra, "hi"), kWriteFailed);
    platform::failNthCall(platform::Fault::Write, 0);
}

}  // namespace
