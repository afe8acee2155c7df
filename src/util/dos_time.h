// DOS dates and times, the packed local times of ZIP headers:
// date = (year - 1980) << 9 | month << 5 | day, time = hour << 11 | minute << 5 | second / 2.
// The date 0 stands for no date at all. The packing arithmetic itself is in
// common/dos_date.h; this file converts to and from file times and reads and
// sets the last-write time of files.
#pragma once

#include <cstdint>

#include "frame/result.h"

namespace zar::util {

struct DosDateTime {
    uint16_t date = 0;
    uint16_t time = 0;
};

// The local file time of a DOS date and time; a date of 0 is taken as
// 1 January 1980. False for fields that name no real time.
bool dosToFileTime(DosDateTime dos, uint64_t* localFileTime);

// The DOS form of a local file time. A time before 1980 gives the date 0 with
// its time of day; false after 2107.
bool fileTimeToDos(uint64_t localFileTime, DosDateTime* dos);

// The UTC file time of a local DOS date and time; false when the fields name
// no real time.
bool dosToUtc(DosDateTime dos, uint64_t* utc);

// The local DOS form of a UTC file time; both fields 0 when it has none.
DosDateTime utcToDos(uint64_t utc);

// The DOS form, in local time, of a Unix time (seconds since 1970, UTC);
// both fields 0 when it cannot be converted.
DosDateTime unixTimeToDos(int64_t seconds);

// The last-write time of a file (OEM name) in local DOS form. kOk, with both
// fields 0 when the time has no DOS form; kAccessDenied when the file cannot be
// opened or its time read (then `*dos` is left alone).
Result dosGetFileTime(const char* name, DosDateTime* dos);

// Sets the last-write time of a file (OEM name) from a local DOS date and time,
// leaving its other times alone. kOk, or kAccessDenied when the file cannot be
// opened, the fields name no real time, or the time cannot be set.
Result dosSetFileTime(const char* name, DosDateTime dos);

}  // namespace zar::util
