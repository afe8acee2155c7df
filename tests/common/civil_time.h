// Calendar times for tests that check time-zone arithmetic against the C
// library's own.
#pragma once

#include <time.h>

namespace zar::test {

// Seconds since 1970 of a calendar time read as UTC; a test subtracts a zone's
// offset to get the instant of the same wall-clock time in that zone.
inline time_t utcSeconds(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

}  // namespace zar::test
