// Calendar times for tests that check time-zone arithmetic against the C
// library's own, and the local wall-clock time of an instant as this machine
// reads it: in the zone TZ names on POSIX, in the system's zone on Windows
// (where no variable changes the zone the library converts with).
#pragma once

#include <time.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <cstdint>

namespace zar::test {

// The fields of a calendar time (tm_year from 1900, tm_mon from 0).
inline struct tm calendar(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// Seconds since 1970 of a calendar time read as UTC; a test subtracts a zone's
// offset to get the instant of the same wall-clock time in that zone.
inline time_t utcSeconds(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = calendar(year, month, day, hour, minute, second);
#ifdef _WIN32
    return _mkgmtime(&t);
#else
    return timegm(&t);
#endif
}

#ifdef _WIN32
namespace detail {
// Seconds between 1601-01-01 (the file-time epoch) and 1970-01-01.
inline constexpr int64_t kEpochGap = 11644473600;
inline constexpr int64_t kTicksPerSecond = 10000000;
}  // namespace detail
#endif

// The local wall-clock fields (tm_year from 1900, tm_mon from 0) of the
// instant `t`.
inline struct tm localFields(time_t t) {
    struct tm out = {};
#ifdef _WIN32
    const uint64_t ticks = static_cast<uint64_t>((static_cast<int64_t>(t) + detail::kEpochGap) * detail::kTicksPerSecond);
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal, local;
    if (!::FileTimeToSystemTime(&ft, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return out;
    out.tm_year = local.wYear - 1900;
    out.tm_mon = local.wMonth - 1;
    out.tm_mday = local.wDay;
    out.tm_hour = local.wHour;
    out.tm_min = local.wMinute;
    out.tm_sec = local.wSecond;
#else
    localtime_r(&t, &out);
#endif
    return out;
}

// The instant of a local wall-clock time; -1 when it cannot be had.
inline time_t localSeconds(int year, int month, int day, int hour, int minute, int second) {
#ifdef _WIN32
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    SYSTEMTIME universal;
    FILETIME ft;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !::SystemTimeToFileTime(&universal, &ft))
        return -1;
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<time_t>(static_cast<int64_t>(ticks / detail::kTicksPerSecond) - detail::kEpochGap);
#else
    struct tm t = calendar(year, month, day, hour, minute, second);
    t.tm_isdst = -1;
    return mktime(&t);
#endif
}

}  // namespace zar::test
