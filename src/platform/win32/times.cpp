// Calendar and time-zone conversions of file times through the system, with
// the time-zone rules in force at the instant converted (not today's).
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {
namespace {

SYSTEMTIME toSystemTime(const CalendarTime& in) {
    SYSTEMTIME st;
    st.wYear = in.year;
    st.wMonth = in.month;
    st.wDayOfWeek = in.dayOfWeek;
    st.wDay = in.day;
    st.wHour = in.hour;
    st.wMinute = in.minute;
    st.wSecond = in.second;
    st.wMilliseconds = in.milliseconds;
    return st;
}

CalendarTime fromSystemTime(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace

bool fileTimeToCalendar(uint64_t time, CalendarTime* out) {
    const FILETIME ft = win32::toFiletime(time);
    SYSTEMTIME st;
    if (!::FileTimeToSystemTime(&ft, &st)) return false;
    *out = fromSystemTime(st);
    return true;
}

bool calendarToFileTime(const CalendarTime& in, uint64_t* time) {
    const SYSTEMTIME st = toSystemTime(in);
    FILETIME ft;
    if (!::SystemTimeToFileTime(&st, &ft)) return false;
    *time = win32::toTicks(ft);
    return true;
}

bool fileTimeToLocal(uint64_t utc, uint64_t* local) {
    const FILETIME ft = win32::toFiletime(utc);
    SYSTEMTIME universal, there;
    FILETIME out;
    if (!::FileTimeToSystemTime(&ft, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &there) ||
        !::SystemTimeToFileTime(&there, &out))
        return false;
    // The system times keep milliseconds only; the ticks below them stay.
    *local = win32::toTicks(out) + utc % 10000;
    return true;
}

bool localToFileTime(uint64_t local, uint64_t* utc) {
    const FILETIME ft = win32::toFiletime(local);
    SYSTEMTIME here, universal;
    FILETIME out;
    if (!::FileTimeToSystemTime(&ft, &here) || !::TzSpecificLocalTimeToSystemTime(nullptr, &here, &universal) ||
        !::SystemTimeToFileTime(&universal, &out))
        return false;
    *utc = win32::toTicks(out) + local % 10000;
    return true;
}

}  // namespace zar::platform
