// Local DOS dates and times to and from UTC file times. The zone is a fixed
// UTC+9, given as a rule so that no zone database is needed: a conversion that
// forgets the zone, or applies it the wrong way, is off by nine hours.
#include <gtest/gtest.h>

#include <time.h>

#include <cstdint>
#include <memory>

#include "common/dos_date.h"
#include "common/civil_time.h"
#include "common/file_time.h"
#include "common/scratch.h"
#include "frame/local_time.h"

namespace {

using zar::DosDateTime;
using zar::packDosDate;
using zar::packDosTime;

constexpr long kZoneOffset = 9 * 3600;

class LocalTime : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    void TearDown() override {
        tz_.reset();
        tzset();
    }

    // Seconds since 1970 (UTC) of a wall-clock time in the zone.
    static int64_t unixTimeOf(int year, int month, int day, int hour, int minute, int second) {
        return static_cast<int64_t>(zar::test::utcSeconds(year, month, day, hour, minute, second)) - kZoneOffset;
    }
    static uint64_t fileTimeOf(int64_t unixTime) {
        return static_cast<uint64_t>((unixTime + zar::kUnixEpochSeconds) * zar::kTicksPerSecond);
    }

    std::unique_ptr<zar::test::ScopedEnv> tz_ = std::make_unique<zar::test::ScopedEnv>("TZ", "JST-9");
};

TEST_F(LocalTime, UnixTimes) {
    struct Case {
        const char* what;
        int64_t seconds;
        DosDateTime dos;
    } cases[] = {
        {"an ordinary time", unixTimeOf(1996, 12, 31, 12, 34, 56), {0x219F, packDosTime(12, 34, 56)}},
        {"the first DOS day", unixTimeOf(1980, 1, 1, 0, 0, 0), {packDosDate(1980, 1, 1), 0}},
        {"before 1980: no date, but the time of day", 0, {0, packDosTime(9, 0, 0)}},
        {"before 1970", -1, {0, packDosTime(8, 59, 59)}},
        {"the last DOS second", unixTimeOf(2107, 12, 31, 23, 59, 58), {packDosDate(2107, 12, 31), 0xBF7D}},
        {"after 2107", unixTimeOf(2108, 1, 1, 0, 0, 0), {0, 0}},
        {"before 1601", -zar::kUnixEpochSeconds - 1, {0, 0}},
        {"beyond what file times hold", INT64_MAX, {0, 0}},
    };
    for (const Case& c : cases) {
        DosDateTime dos = zar::frame::unixTimeToDos(c.seconds);
        EXPECT_EQ(dos.date, c.dos.date) << c.what;
        EXPECT_EQ(dos.time, c.dos.time) << c.what;
    }
}

TEST_F(LocalTime, DosToUtcAndBack) {
    DosDateTime dos{0x219F, packDosTime(12, 34, 56)};
    uint64_t utc = 0;
    ASSERT_TRUE(zar::frame::dosToUtc(dos, &utc));
    EXPECT_EQ(utc, fileTimeOf(unixTimeOf(1996, 12, 31, 12, 34, 56)));
    DosDateTime back = zar::frame::utcToDos(utc);
    EXPECT_EQ(back.date, dos.date);
    EXPECT_EQ(back.time, dos.time);
}

TEST_F(LocalTime, DateZeroIsTheFirstOfJanuary1980) {
    uint64_t utc = 0;
    ASSERT_TRUE(zar::frame::dosToUtc({0, packDosTime(8, 15, 0)}, &utc));
    EXPECT_EQ(utc, fileTimeOf(unixTimeOf(1980, 1, 1, 8, 15, 0)));
    EXPECT_EQ(zar::frame::utcToDos(utc).date, packDosDate(1980, 1, 1));
}

TEST_F(LocalTime, FieldsThatNameNoTimeDoNotConvert) {
    struct Case {
        const char* what;
        DosDateTime dos;
    } cases[] = {
        {"month 0", {packDosDate(1996, 0, 1), 0}},
        {"month 13", {packDosDate(1996, 13, 1), 0}},
        {"day 0", {packDosDate(1996, 1, 0), 0}},
        {"30 February", {packDosDate(1996, 2, 30), 0}},
        {"hour 24", {0x219F, packDosTime(24, 0, 0)}},
        {"minute 60", {0x219F, packDosTime(0, 60, 0)}},
        {"second 60", {0x219F, packDosTime(0, 0, 60)}},
    };
    for (const Case& c : cases) {
        uint64_t utc = 7;
        EXPECT_FALSE(zar::frame::dosToUtc(c.dos, &utc)) << c.what;
    }
}

}  // namespace
