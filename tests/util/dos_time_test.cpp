// DOS dates and times: packing and unpacking through the exports, and reading
// and setting file times, under more than one time zone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "common/civil_time.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::Scratch;
using zar::test::ScopedEnv;

TEST(DosDate, Compress) {
    struct Case {
        int16_t month, day, year;
        uint16_t date;
    } cases[] = {
        {12, 31, 96, 0x219F},
        {12, 31, 1996, 0x219F},
        {1, 1, 79, (2079 - 1980) << 9 | 1 << 5 | 1},  // below 80: 20xx
        {1, 1, 80, 1 << 5 | 1},                       // 80-99: 19xx
        {1, 1, 1980, 1 << 5 | 1},
        {13, 1, 1980, 13 << 5 | 1},                   // unchecked: month 13 spills into the year
        {2, 40, 2000, 20 << 9 | 2 << 5 | (40 & 31) | 32},
    };
    for (const Case& c : cases) {
        uint16_t date = 0;
        Ax4CompressDosDate(c.month, c.day, c.year, &date);
        EXPECT_EQ(date, c.date) << c.month << "/" << c.day << "/" << c.year;
    }
}

TEST(DosDate, Expand) {
    uint16_t month = 9, day = 9, year = 9;
    Ax4ExpandDosDate(0, &month, &day, &year);
    EXPECT_EQ(month, 0);
    EXPECT_EQ(day, 0);
    EXPECT_EQ(year, 1980);
    Ax4ExpandDosDate(0x219F, &month, &day, &year);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 31);
    EXPECT_EQ(year, 1996);
    Ax4ExpandDosDate(0xFFFF, &month, &day, &year);
    EXPECT_EQ(year, 2107);
    EXPECT_EQ(month, 15);
    EXPECT_EQ(day, 31);
}

TEST(DosTime, CompressAndExpand) {
    uint16_t time = 0;
    Ax4CompressDosTime(23, 59, 59, &time);
    EXPECT_EQ(time, 0xBF7D);
    uint16_t hour, minute, second;
    Ax4ExpandDosTime(static_cast<int16_t>(time), &hour, &minute, &second);  // negative as i16
    EXPECT_EQ(hour, 23);
    EXPECT_EQ(minute, 59);
    EXPECT_EQ(second, 58);
    Ax4CompressDosTime(0, 64, 0, &time);  // unchecked: minute 64 spills into the hour
    EXPECT_EQ(time, 1 << 11);
}

// Two zones on opposite sides of UTC, given as rules so that no zone database
// is needed: New York style with daylight saving, and a fixed UTC+9.
struct Zone {
    const char* tz;
    long winterOffset;  // seconds east of UTC in January and December
    long summerOffset;
};
constexpr Zone kZones[] = {{"EST5EDT,M3.2.0,M11.1.0", -5 * 3600, -4 * 3600}, {"JST-9", 9 * 3600, 9 * 3600}};

class FileTimes : public ::testing::TestWithParam<Zone> {
protected:
    void SetUp() override {
        tz_ = std::make_unique<ScopedEnv>("TZ", GetParam().tz);
        tzset();
        zar::test::writeText(path_, "x");
    }
    void TearDown() override {
        tz_.reset();
        tzset();
    }

    // Seconds since 1970 (UTC) at which the file was last written.
    time_t mtime() const {
        struct stat st;
        EXPECT_EQ(::stat(path_.c_str(), &st), 0);
        return st.st_mtime;
    }
    void setMtime(time_t when) const {
        struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    }
    // The UTC instant of a wall-clock time in this zone's winter.
    static time_t winterInstant(int year, int month, int day, int hour, int minute, int second) {
        return zar::test::utcSeconds(year, month, day, hour, minute, second) - GetParam().winterOffset;
    }

    Scratch scratch_;
    std::string path_ = scratch_ / "f.txt";
    std::unique_ptr<ScopedEnv> tz_;
};

TEST_P(FileTimes, SetThenGet) {
    uint16_t time = 12 << 11 | 34 << 5 | 56 / 2;
    ASSERT_EQ(Ax4DosSetFileTime(path_.c_str(), 0x219F, time), AX_OK);
    EXPECT_EQ(mtime(), winterInstant(1996, 12, 31, 12, 34, 56));
    uint16_t date = 0, back = 0;
    ASSERT_EQ(Ax4DosGetFileTime(path_.c_str(), &date, &back), AX_OK);
    EXPECT_EQ(date, 0x219F);
    EXPECT_EQ(back, time);
}

TEST_P(FileTimes, DateZeroIsTheFirstOfJanuary1980) {
    uint16_t time = 8 << 11 | 15 << 5;
    ASSERT_EQ(Ax4DosSetFileTime(path_.c_str(), 0, time), AX_OK);
    EXPECT_EQ(mtime(), winterInstant(1980, 1, 1, 8, 15, 0));
    uint16_t date = 0, back = 0;
    ASSERT_EQ(Ax4DosGetFileTime(path_.c_str(), &date, &back), AX_OK);
    EXPECT_EQ(date, 1 << 5 | 1);
    EXPECT_EQ(back, time);
}

TEST_P(FileTimes, AFileOf1975HasNoDateButItsTimeOfDay) {
    setMtime(winterInstant(1975, 1, 20, 10, 30, 20));
    uint16_t date = 7, time = 7;
    ASSERT_EQ(Ax4DosGetFileTime(path_.c_str(), &date, &time), AX_OK);
    EXPECT_EQ(date, 0);
    EXPECT_EQ(time, 10 << 11 | 30 << 5 | 10);
}

TEST_P(FileTimes, AFileAfter2107HasNoDosFormAtAll) {
    setMtime(winterInstant(2110, 1, 1, 0, 0, 0));
    uint16_t date = 7, time = 7;
    ASSERT_EQ(Ax4DosGetFileTime(path_.c_str(), &date, &time), AX_OK);
    EXPECT_EQ(date, 0);
    EXPECT_EQ(time, 0);
}

TEST_P(FileTimes, Failures) {
    std::string missing = scratch_ / "missing";
    uint16_t date = 7, time = 7;
    EXPECT_EQ(Ax4DosGetFileTime(missing.c_str(), &date, &time), AX_ACCESS_DENIED);
    EXPECT_EQ(date, 7);  // left alone
    EXPECT_EQ(time, 7);
    EXPECT_EQ(Ax4DosSetFileTime(missing.c_str(), 0x219F, 0), AX_ACCESS_DENIED);
    EXPECT_EQ(Ax4DosGetFileTime(nullptr, &date, &time), AX_ACCESS_DENIED);
    EXPECT_EQ(Ax4DosSetFileTime(scratch_.path().c_str(), 0x219F, 0), AX_ACCESS_DENIED);  // a directory
    time_t before = mtime();
    EXPECT_EQ(Ax4DosSetFileTime(path_.c_str(), 13 << 5 | 1, 0), AX_ACCESS_DENIED);  // month 13
    EXPECT_EQ(Ax4DosSetFileTime(path_.c_str(), 0x219F, 24 << 11), AX_ACCESS_DENIED);  // hour 24
    EXPECT_EQ(mtime(), before);
}

TEST_P(FileTimes, SummerTimeFollowsTheRulesOfThatDay) {
    uint16_t date = (2024 - 1980) << 9 | 7 << 5 | 15;
    ASSERT_EQ(Ax4DosSetFileTime(path_.c_str(), date, 12 << 11), AX_OK);
    EXPECT_EQ(mtime(), zar::test::utcSeconds(2024, 7, 15, 12, 0, 0) - GetParam().summerOffset);
}

INSTANTIATE_TEST_SUITE_P(Zones, FileTimes, ::testing::ValuesIn(kZones),
                         [](const auto& info) { return std::string(info.param.tz[0] == 'E' ? "NewYork" : "Tokyo"); });

}  // namespace
