// Copying bytes between files: the contents, the limits, and every error path.
#include <gtest/gtest.h>

#include "common/scratch.h"
#include "frame/run_state.h"
#include "fs/copy.h"
#include "fs/file_io.h"

namespace {

using namespace zar;
using zar::test::Scratch;

class Copy : public ::testing::Test {
protected:
    void SetUp() override {
        data.resize(1300000);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
        test::writeBytes(scratch / "in", data);
        in = fs::File(fs::openFile((scratch / "in").c_str(), platform::kAccessRead, platform::kShareRead,
                                   fs::Disposition::OpenExisting, 0, true));
        out = fs::File(fs::openFile((scratch / "out").c_str(), platform::kAccessReadWrite, 0,
                                    fs::Disposition::CreateAlways, 0, true));
        ASSERT_TRUE(in.valid());
        ASSERT_TRUE(out.valid());
    }
    void TearDown() override {
        platform::failNthCall(platform::Fault::Read, 0);
        platform::failNthCall(platform::Fault::Write, 0);
        platform::failNthCall(platform::Fault::Allocate, 0);
        frame::takeCancel();
    }
    std::vector<uint8_t> copied() {
        out.close();
        return test::readBytes(scratch / "out");
    }

    Scratch scratch;
    std::vector<uint8_t> data;
    fs::File in, out;
};

TEST_F(Copy, CopiesTheRunFromTheCurrentPosition) {
    ASSERT_TRUE(fs::seekTo(in.get(), 1000));
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), 1200000), kOk);
    EXPECT_EQ(copied(), std::vector<uint8_t>(data.begin() + 1000, data.begin() + 1201000));
}

TEST_F(Copy, NothingToCopy) {
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), 0), kOk);
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), -5), kOk);
    EXPECT_EQ(platform::seekFile(in.get(), 0, platform::SeekFrom::Current), 0);
    EXPECT_TRUE(copied().empty());
}

TEST_F(Copy, InvalidHandlesAreRefused) {
    EXPECT_EQ(fs::copyBytes(in.get(), fs::kInvalidFile, 10), kAccessDenied);
    EXPECT_EQ(fs::copyBytes(fs::kInvalidFile, out.get(), 0), kAccessDenied);
}

TEST_F(Copy, ShortReadAndFailedWrite) {
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), static_cast<int64_t>(data.size()) + 1), kShortRead);
    ASSERT_TRUE(fs::seekTo(in.get(), 0));
    platform::failNthCall(platform::Fault::Write, 2);  // the second block's write
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), 1000000), kWriteFailed);
}

TEST_F(Copy, BufferShrinksWhenMemoryIsShort) {
    platform::failNthCall(platform::Fault::Allocate, 1);
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), static_cast<int64_t>(data.size())), kOk);
    EXPECT_EQ(copied(), data);
}

TEST_F(Copy, PendingCancelStopsAndIsCleared) {
    frame::requestCancel();
    EXPECT_EQ(fs::copyBytes(in.get(), out.get(), 100), kCancelled);
    EXPECT_FALSE(frame::cancelPending());
    EXPECT_TRUE(copied().empty());
}

TEST(FileHandles, SecondCloseDoesNothing) {
    Scratch scratch;
    fs::FileHandle file = fs::openFile((scratch / "f").c_str(), platform::kAccessReadWrite, 0,
                                       fs::Disposition::CreateAlways, 0, true);
    ASSERT_NE(file, fs::kInvalidFile);
    fs::closeFile(file);
    EXPECT_EQ(file, fs::kInvalidFile);
    fs::closeFile(file);
    EXPECT_EQ(file, fs::kInvalidFile);
    EXPECT_EQ(fs::openFile(scratch.path().c_str(), platform::kAccessRead, 0, fs::Disposition::OpenExisting, 0,
                           true),
              fs::kInvalidFile);  // a directory is not a file
}

}  // namespace
