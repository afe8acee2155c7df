// Calendar and time-zone conversions of file times (100 ns ticks since 1601,
// UTC). The calendar arithmetic is done here rather than through time_t so
// that every year the file times can hold converts.
#include <time.h>

#include "common/file_time.h"
#include "platform/platform.h"

namespace zar::platform {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t* year, unsigned* month, unsigned* day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2);
}

// Seconds east of UTC in force at the UTC instant `unixSeconds`.
bool offsetAt(int64_t unixSeconds, long* offset) {
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm local;
    if (localtime_r(&t, &local) == nullptr) return false;
    *offset = local.tm_gmtoff;
    return true;
}

}  // namespace

bool fileTimeToLocal(uint64_t utc, uint64_t* local) {
    int64_t seconds = static_cast<int64_t>(utc / kTicksPerSecond) - kUnixEpochSeconds;
    long offset;
    if (!offsetAt(seconds, &offset)) return false;
    int64_t shifted = static_cast<int64_t>(utc) + static_cast<int64_t>(offset) * kTicksPerSecond;
    if (shifted < 0) return false;
    *local = static_cast<uint64_t>(shifted);
    return true;
}

bool localToFileTime(uint64_t local, uint64_t* utc) {
    // The offset is found at the instant the local time names: guess with the
    // offset at the local reading taken as UTC, then correct once (this settles
    // every instant but those inside a skipped or repeated hour).
    int64_t seconds = static_cast<int64_t>(local / kTicksPerSecond) - kUnixEpochSeconds;
    long offset;
    if (!offsetAt(seconds, &offset)) return false;
    long second;
    if (!offsetAt(seconds - offset, &second)) return false;
    if (second != offset) offset = second;
    int64_t shifted = static_cast<int64_t>(local) - static_cast<int64_t>(offset) * kTicksPerSecond;
    if (shifted < 0) return false;
    *utc = static_cast<uint64_t>(shifted);
    return true;
}

bool fileTimeToCalendar(uint64_t time, CalendarTime* out) {
    int64_t seconds = static_cast<int64_t>(time / kTicksPerSecond) - kUnixEpochSeconds;
    int64_t days = seconds >= 0 ? seconds / kSecondsPerDay : (seconds - kSecondsPerDay + 1) / kSecondsPerDay;
    int64_t rest = seconds - days * kSecondsPerDay;
    int64_t year;
    unsigned month, day;
    civilFromDays(days, &year, &month, &day);
    if (year < 1601 || year > 30827) return false;
    out->year = static_cast<uint16_t>(year);
    out->month = static_cast<uint16_t>(month);
    out->day = static_cast<uint16_t>(day);
    out->dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    out->hour = static_cast<uint16_t>(rest / 3600);
    out->minute = static_cast<uint16_t>(rest / 60 % 60);
    out->second = static_cast<uint16_t>(rest % 60);
    out->milliseconds = static_cast<uint16_t>(time % kTicksPerSecond / 10000);
    return true;
}

bool calendarToFileTime(const CalendarTime& in, uint64_t* time) {
    if (in.year < 1601 || in.year > 30827 || in.month < 1 || in.month > 12 || in.day < 1 || in.hour > 23 ||
        in.minute > 59 || in.second > 59 || in.milliseconds > 999)
        return false;
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (in.year % 4 == 0 && in.year % 100 != 0) || in.year % 400 == 0;
    unsigned monthDays = kMonthDays[in.month - 1] + (in.month == 2 && leap ? 1 : 0);
    if (in.day > monthDays) return false;
    int64_t days = daysFromCivil(in.year, in.month, in.day);
    int64_t seconds = days * kSecondsPerDay + in.hour * 3600 + in.minute * 60 + in.second + kUnixEpochSeconds;
    *time = static_cast<uint64_t>(seconds * kTicksPerSecond + in.milliseconds * 10000);
    return true;
}

}  // namespace zar::platform
