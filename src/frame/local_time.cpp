#include "frame/local_time.h"

#include "common/file_time.h"
#include "platform/platform.h"

namespace zar::frame {
namespace {

constexpr uint16_t kFirstOfJanuary1980 = packDosDate(1980, 1, 1);

// The local file time of a DOS date and time; false for fields that name no
// real time.
bool dosToFileTime(DosDateTime dos, uint64_t* localFileTime) {
    DosDateFields date = unpackDosDate(dos.date == 0 ? kFirstOfJanuary1980 : dos.date);
    DosTimeFields time = unpackDosTime(dos.time);
    platform::CalendarTime when{};
    when.year = date.year;
    when.month = date.month;
    when.day = date.day;
    when.hour = time.hour;
    when.minute = time.minute;
    when.second = time.second;
    return platform::calendarToFileTime(when, localFileTime);
}

// The DOS form of a local file time; false after 2107.
bool fileTimeToDos(uint64_t localFileTime, DosDateTime* dos) {
    platform::CalendarTime when;
    if (!platform::fileTimeToCalendar(localFileTime, &when)) return false;
    return calendarToDos(when.year, when.month, when.day, when.hour, when.minute, when.second, &dos->date,
                         &dos->time);
}

}  // namespace

bool dosToUtc(DosDateTime dos, uint64_t* utc) {
    uint64_t local;
    return dosToFileTime(dos, &local) && platform::localToFileTime(local, utc);
}

DosDateTime utcToDos(uint64_t utc) {
    uint64_t local;
    DosDateTime dos;
    if (!platform::fileTimeToLocal(utc, &local) || !fileTimeToDos(local, &dos)) return DosDateTime{};
    return dos;
}

DosDateTime unixTimeToDos(int64_t seconds) {
    if (seconds < -kUnixEpochSeconds || seconds > 0x7FFFFFFFFFFLL) return DosDateTime{};
    return utcToDos(static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond));
}

uint16_t todayDosDate() { return utcToDos(platform::currentFileTime()).date; }

}  // namespace zar::frame
