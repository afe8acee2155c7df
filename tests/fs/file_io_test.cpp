// The file-I/O helpers: the end of a file and a failure are told apart.
#include <gtest/gtest.h>

#include "common/scratch.h"
#include "fs/file_io.h"

namespace {

using namespace zar;
using zar::test::Scratch;

class FileIo : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeBytes(scratch / "ten", std::vector<uint8_t>{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
        file = fs::File(fs::openFile((scratch / "ten").c_str(), platform::kAccessReadWrite, 0,
                                     fs::Disposition::OpenExisting, 0, true));
        ASSERT_TRUE(file.valid());
    }
    void TearDown() override {
        platform::failNthCall(platform::Fault::Read, 0);
        platform::failNthCall(platform::Fault::Write, 0);
        platform::failNthCall(platform::Fault::Seek, 0);
    }

    Scratch scratch;
    fs::File file;
    uint8_t buffer[16] = {};
};

TEST_F(FileIo, ReadsTellTheEndOfTheFileFromAFailure) {
    uint32_t done = 99;
    ASSERT_TRUE(fs::seekTo(file.get(), 6));
    EXPECT_TRUE(fs::readSome(file.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 4u) << "short at the end, and no failure";
    EXPECT_TRUE(fs::readSome(file.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);

    ASSERT_TRUE(fs::seekTo(file.get(), 0));
    platform::failNthCall(platform::Fault::Read, 1);
    EXPECT_FALSE(fs::readSome(file.get(), buffer, 4, &done));
    EXPECT_EQ(done, 0u);
}

TEST_F(FileIo, ReadExactWantsEveryByte) {
    ASSERT_TRUE(fs::seekTo(file.get(), 2));
    EXPECT_TRUE(fs::readExact(file.get(), buffer, 8));
    EXPECT_EQ(buffer[0], '2');
    ASSERT_TRUE(fs::seekTo(file.get(), 2));
    EXPECT_FALSE(fs::readExact(file.get(), buffer, 9)) << "one byte past the end";
    ASSERT_TRUE(fs::seekTo(file.get(), 0));
    platform::failNthCall(platform::Fault::Read, 1);
    EXPECT_FALSE(fs::readExact(file.get(), buffer, 1));
}

TEST_F(FileIo, WritesSeeksAndLengths) {
    EXPECT_EQ(fs::seekToEnd(file.get()), 10);
    EXPECT_TRUE(fs::writeAll(file.get(), "ab", 2));
    EXPECT_EQ(fs::fileLength(file.get()), 12);
    EXPECT_EQ(fs::positionOf(file.get()), 12);
    ASSERT_TRUE(fs::seekTo(file.get(), 3));
    EXPECT_TRUE(fs::skip(file.get(), 2));
    EXPECT_EQ(fs::positionOf(file.get()), 5);
    EXPECT_TRUE(fs::truncateHere(file.get()));
    EXPECT_EQ(fs::fileLength(file.get()), 5);
    EXPECT_FALSE(fs::seekTo(file.get(), -1));

    platform::failNthCall(platform::Fault::Write, 1);
    EXPECT_FALSE(fs::writeAll(file.get(), "x", 1));
    platform::failNthCall(platform::Fault::Seek, 1);
    EXPECT_FALSE(fs::seekTo(file.get(), 0));
}

}  // namespace
