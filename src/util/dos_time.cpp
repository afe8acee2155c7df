#include "util/dos_time.h"

#include "platform/platform.h"

namespace zar::util {
namespace {

constexpr uint16_t kFirstOfJanuary1980 = (1 << 5) | 1;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1970 counted from 1601

}  // namespace

bool dosToFileTime(DosDateTime dos, uint64_t* localFileTime) {
    uint16_t date = dos.date == 0 ? kFirstOfJanuary1980 : dos.date;
    platform::CalendarTime when{};
    when.year = static_cast<uint16_t>((date >> 9) + 1980);
    when.month = (date >> 5) & 15;
    when.day = date & 31;
    when.hour = (dos.time >> 11) & 31;
    when.minute = (dos.time >> 5) & 63;
    when.second = static_cast<uint16_t>((dos.time & 31) * 2);
    return platform::calendarToFileTime(when, localFileTime);
}

bool fileTimeToDos(uint64_t localFileTime, DosDateTime* dos) {
    platform::CalendarTime when;
    if (!platform::fileTimeToCalendar(localFileTime, &when) || when.year > 2107) return false;
    bool before1980 = when.year < 1980;
    dos->time = static_cast<uint16_t>(when.hour << 11 | when.minute << 5 | when.second / 2);
    dos->date = before1980 ? 0 : static_cast<uint16_t>((when.year - 1980) << 9 | when.month << 5 | when.day);
    return true;
}

DosDateTime unixTimeToDos(int64_t seconds) {
    DosDateTime dos;
    if (seconds < -kUnixEpochSeconds || seconds > 0x7FFFFFFFFFFLL) return dos;
    uint64_t utc = static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond), local;
    if (!platform::fileTimeToLocal(utc, &local) || !fileTimeToDos(local, &dos)) return DosDateTime{};
    return dos;
}

}  // namespace zar::util
