// The file-list index: dates are local, in the zone TZ names. Sets TZ: POSIX
// only (Windows converts with the system's zone).
#include <gtest/gtest.h>

#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "file_list_support.h"
#include "fs/file_list.h"
#include "platform/platform.h"

namespace {

using namespace zar;
using namespace zar::fs;
using namespace zar::test::fileList;

TEST_F(FileListTest, DatesAreLocal) {
    test::ScopedEnv tz("TZ", "JST-9");
    tzset();
    ASSERT_EQ(list_.add("/x", "x", kFile, utcTime(2023, 12, 31, 20, 0, 0), 0, 0), kOk);
    std::vector<FileRecord> all = records(list_);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].date, (2024 - 1980) << 9 | 1 << 5 | 1);  // already the new year in Tokyo
    EXPECT_EQ(all[0].time, 5 << 11);
    tzset();
}

}  // namespace
