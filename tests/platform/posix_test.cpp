// The POSIX backend: DOS attributes, replacing files, file times and their conversions, full
// paths, volumes and labels, the locale's date order.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>

#include <filesystem>

#include "common/scratch.h"
#include "platform/platform.h"

namespace {

using namespace zar::platform;
using zar::test::Scratch;
using zar::test::ScopedEnv;

bool extendedAttributesWork(const std::string& path) {
    unsigned char b = 0;
    return ::setxattr(path.c_str(), "user.probe", &b, 1, 0) == 0;
}

TEST(Attributes, FromModeNameAndExtendedAttribute) {
    Scratch s;
    zar::test::writeText(s / "plain", "x");
    zar::test::writeText(s / ".hidden", "x");
    EXPECT_EQ(fileAttributes((s / "plain").c_str()), kAttrArchive);
    EXPECT_EQ(fileAttributes((s / ".hidden").c_str()), kAttrArchive | kAttrHidden);
    EXPECT_EQ(fileAttributes(s.path().c_str()), kAttrDirectory);
    EXPECT_EQ(fileAttributes((s / "missing").c_str()), kInvalidAttributes);

    ASSERT_TRUE(setFileAttributes((s / "plain").c_str(), kAttrReadOnly | kAttrArchive));
    struct stat st;
    ASSERT_EQ(::stat((s / "plain").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(fileAttributes((s / "plain").c_str()) & kAttrReadOnly, kAttrReadOnly);
    ASSERT_TRUE(setFileAttributes((s / "plain").c_str(), 0));
    uint32_t cleared = fileAttributes((s / "plain").c_str());
    EXPECT_EQ(cleared & kAttrReadOnly, 0u);

    if (extendedAttributesWork(s / "plain")) {
        EXPECT_EQ(cleared & kAttrArchive, 0u);  // the cleared archive bit persists
        ASSERT_TRUE(setFileAttributes((s / "plain").c_str(), kAttrSystem));
        EXPECT_EQ(fileAttributes((s / "plain").c_str()), kAttrSystem);
    } else {
        EXPECT_EQ(cleared & kAttrArchive, kAttrArchive);
    }
}

TEST(Attributes, BackslashesAreSeparators) {
    Scratch s;
    std::filesystem::create_directory(s / "dir");
    zar::test::writeText(s / "dir/f", "x");
    EXPECT_EQ(fileAttributes((s.path() + "\\dir\\f").c_str()), kAttrArchive);
}

// A replacement takes the target's place whole, with the target's permissions
// and stored DOS bits; without a target it simply takes the name.
TEST(Files, ReplaceTakesTheTargetsPlaceAndAttributes) {
    Scratch s;
    const std::string target = s / "target", replacement = s / "new";
    auto text = [](const std::string& path) {
        std::vector<uint8_t> bytes = zar::test::readBytes(path);
        return std::string(bytes.begin(), bytes.end());
    };
    zar::test::writeText(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool stored = extendedAttributesWork(target);
    if (stored) {
        ASSERT_TRUE(setFileAttributes(target.c_str(), kAttrSystem));
    }
    zar::test::writeText(replacement, "new");
    ASSERT_EQ(::chmod(replacement.c_str(), 0600), 0);

    ASSERT_TRUE(replaceFile(replacement.c_str(), target.c_str()));
    EXPECT_EQ(text(target), "new");
    EXPECT_FALSE(std::filesystem::exists(replacement));
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (stored) {
        EXPECT_EQ(fileAttributes(target.c_str()), kAttrSystem);
    }

    EXPECT_FALSE(replaceFile((s / "missing").c_str(), target.c_str()));
    EXPECT_EQ(text(target), "new");

    zar::test::writeText(replacement, "first");
    ASSERT_TRUE(replaceFile((s.path() + "\\new").c_str(), (s / "fresh").c_str()));
    EXPECT_EQ(text(s / "fresh"), "first");
}

TEST(Attributes, TheFileCreationMaskIsReadWithoutChangingIt) {
    const mode_t ambient = ::umask(022);
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{027}, mode_t{0777}}) {
        ::umask(mask);
        EXPECT_EQ(fileCreationMask(), mask);
        EXPECT_EQ(::umask(mask), mask);  // left as it was
    }
    ::umask(ambient);
}

TEST(FileTimes, SetAndReadBack) {
    Scratch s;
    FileHandle f = openFile((s / "t").c_str(), kAccessReadWrite, 0, Disposition::CreateAlways, 0);
    ASSERT_NE(f, kInvalidFile);
    CalendarTime when{2024, 2, 0, 29, 13, 45, 30, 0};
    uint64_t time;
    ASSERT_TRUE(calendarToFileTime(when, &time));
    ASSERT_TRUE(setFileTime(f, time));
    uint64_t back;
    ASSERT_TRUE(fileTime(f, &back));
    EXPECT_EQ(back, time);
    closeFile(f);
    EXPECT_GT(currentFileTime(), time);
}

TEST(Calendar, RoundTripsAndRejectsBadDates) {
    struct Case {
        CalendarTime in;
        uint64_t ticks;
        uint16_t dayOfWeek;
    } cases[] = {
        {{1601, 1, 0, 1, 0, 0, 0, 0}, 0, 1},                    // a Monday
        {{1970, 1, 0, 1, 0, 0, 0, 0}, 116444736000000000ull, 4},
        {{1980, 1, 0, 1, 0, 0, 0, 0}, 119600064000000000ull, 2},
        {{2000, 2, 0, 29, 23, 59, 59, 999}, 125963423999990000ull, 2},
    };
    for (const Case& c : cases) {
        uint64_t t;
        ASSERT_TRUE(calendarToFileTime(c.in, &t));
        EXPECT_EQ(t, c.ticks);
        CalendarTime back;
        ASSERT_TRUE(fileTimeToCalendar(t, &back));
        EXPECT_EQ(back.year, c.in.year);
        EXPECT_EQ(back.month, c.in.month);
        EXPECT_EQ(back.day, c.in.day);
        EXPECT_EQ(back.hour, c.in.hour);
        EXPECT_EQ(back.second, c.in.second);
        EXPECT_EQ(back.milliseconds, c.in.milliseconds);
        EXPECT_EQ(back.dayOfWeek, c.dayOfWeek);
    }
    uint64_t t;
    EXPECT_FALSE(calendarToFileTime({2023, 2, 0, 29, 0, 0, 0, 0}, &t));
    EXPECT_FALSE(calendarToFileTime({2023, 13, 0, 1, 0, 0, 0, 0}, &t));
    EXPECT_FALSE(calendarToFileTime({1600, 12, 0, 31, 0, 0, 0, 0}, &t));
    EXPECT_FALSE(calendarToFileTime({2023, 1, 0, 1, 24, 0, 0, 0}, &t));
}

TEST(LocalTime, FollowsTheZoneRulesAtThatInstant) {
    uint64_t winter, summer;
    ASSERT_TRUE(calendarToFileTime({2024, 1, 0, 15, 12, 0, 0, 0}, &winter));
    ASSERT_TRUE(calendarToFileTime({2024, 7, 0, 15, 12, 0, 0, 0}, &summer));
    const uint64_t hour = 36000000000ull;
    struct Case {
        const char* zone;
        uint64_t winterOffset, summerOffset;  // hours behind UTC
    } cases[] = {{"EST5EDT,M3.2.0,M11.1.0", 5, 4}, {"UTC0", 0, 0}};
    for (const Case& c : cases) {
        ScopedEnv tz("TZ", c.zone);
        tzset();
        uint64_t local, utc;
        ASSERT_TRUE(fileTimeToLocal(winter, &local));
        EXPECT_EQ(winter - local, c.winterOffset * hour) << c.zone;
        ASSERT_TRUE(localToFileTime(local, &utc));
        EXPECT_EQ(utc, winter) << c.zone;
        ASSERT_TRUE(fileTimeToLocal(summer, &local));
        EXPECT_EQ(summer - local, c.summerOffset * hour) << c.zone;
        ASSERT_TRUE(localToFileTime(local, &utc));
        EXPECT_EQ(utc, summer) << c.zone;
    }
    tzset();
}

TEST(Names, FullPathFoldsDotsAndSeparators) {
    EXPECT_EQ(fullPath("/a/./b//c/../d"), "/a/b/d");
    EXPECT_EQ(fullPath("\\x\\y\\..\\z"), "/x/z");
    EXPECT_EQ(fullPath("/.."), "/");
    Scratch s;
    std::filesystem::current_path(s.path());
    EXPECT_EQ(fullPath("rel/name"), std::filesystem::canonical(s.path()).string() + "/rel/name");
}

TEST(Names, CodePagesPassBytesThrough) {
    char text[] = "Gr\xc3\xbc\xc3\x9f" "e/abc";
    ansiToOem(text);
    oemToAnsi(text);
    EXPECT_STREQ(text, "Gr\xc3\xbc\xc3\x9f" "e/abc");
    upperCase(text);
    EXPECT_STREQ(text, "GR\xc3\xbc\xc3\x9f" "E/ABC");
}

TEST(Volumes, RemovableDirectoriesCarryLabels) {
    Scratch s;
    std::filesystem::create_directories(s / "disk/sub");
    std::filesystem::create_directories(s / "diskette");
    ScopedEnv removable("ZARLIB_REMOVABLE", ("/nonexistent:" + (s / "disk")).c_str());
    EXPECT_EQ(driveType((s / "disk/sub/a.zip").c_str()), DriveType::Removable);
    EXPECT_EQ(driveType((s / "disk").c_str()), DriveType::Removable);
    EXPECT_EQ(driveType((s / "diskette/a.zip").c_str()), DriveType::Fixed);  // a prefix is not a parent

    std::string label = "stale";
    ASSERT_TRUE(volumeLabel((s / "disk/sub/a.zip").c_str(), &label));
    EXPECT_EQ(label, "");
    ASSERT_TRUE(setVolumeLabel((s / "disk/sub").c_str(), "PKBACK# 001"));
    ASSERT_TRUE(volumeLabel((s / "disk/a.zip").c_str(), &label));
    EXPECT_EQ(label, "PKBACK# 001");

    EXPECT_FALSE(setVolumeLabel((s / "diskette").c_str(), "X"));  // fixed drives keep theirs
    ASSERT_TRUE(volumeLabel((s / "diskette").c_str(), &label));
    EXPECT_EQ(label, "");

    uint32_t room = 0;
    ASSERT_TRUE(freeSpace((s / "disk/not-yet-there/x.zip").c_str(), &room));
    EXPECT_GT(room, 0u);
}

TEST(Locale, DateOrderOfThePlainLocale) {
    ScopedEnv all("LC_ALL", "C");
    EXPECT_EQ(localeDateOrder(), 0);  // %m/%d/%y
}

TEST(Faults, NthCallFailsOnce) {
    Scratch s;
    zar::test::writeText(s / "f", "abc");
    FileHandle f = openFile((s / "f").c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    char buffer[3];
    uint32_t done;
    failNthCall(Fault::Read, 2);
    EXPECT_TRUE(readFile(f, buffer, 1, &done));
    EXPECT_FALSE(readFile(f, buffer, 1, &done));
    EXPECT_TRUE(readFile(f, buffer, 1, &done));
    closeFile(f);
    failNthCall(Fault::Allocate, 1);
    EXPECT_EQ(allocateBlock(10), nullptr);
    void* block = allocateBlock(10);
    EXPECT_NE(block, nullptr);
    freeBlock(block);
}

}  // namespace
