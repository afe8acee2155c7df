// Shared by the file-list tests: file times of a UTC calendar time, every
// record of a list, and a fixture with a list whose records all live in its
// temporary file, made in a directory of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "fs/file_list.h"
#include "platform/platform.h"

namespace zar::test::fileList {

using fs::FileList;
using fs::FileRecord;
using platform::Fault;

inline constexpr uint32_t kFile = platform::kAttrArchive;

inline uint64_t utcTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute, uint16_t second) {
    uint64_t t = 0;
    EXPECT_TRUE(platform::calendarToFileTime({year, month, 0, day, hour, minute, second, 0}, &t));
    return t;
}

inline std::vector<FileRecord> records(FileList& list) {
    std::vector<FileRecord> out;
    EXPECT_EQ(list.forEach([&](const FileRecord& r) {
        out.push_back(r);
        return kOk;
    }),
              kOk);
    return out;
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_ = std::make_unique<ScopedTempDirectory>(scratch_.path());
        ASSERT_EQ(list_.open(), kOk);
    }
    void TearDown() override {
        platform::failNthCall(Fault::Read, 0);
        platform::failNthCall(Fault::Write, 0);
        platform::failNthCall(Fault::Seek, 0);
    }
    Scratch scratch_;
    std::unique_ptr<ScopedTempDirectory> tmp_;
    FileList list_{0};  // every record in the file, where reads and writes can fail
};

}  // namespace zar::test::fileList
