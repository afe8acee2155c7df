// Local DOS dates and times to and from UTC file times. ZIP headers keep the
// local time of the machine that wrote them, file systems keep UTC; every
// layer that crosses between the two does it here, through the time-zone
// rules of the platform layer.
#pragma once

#include <cstdint>

#include "common/dos_date.h"

namespace zar::frame {

// The UTC file time of a local DOS date and time; a date of 0 is taken as
// 1 January 1980. False when the fields name no real time.
bool dosToUtc(DosDateTime dos, uint64_t* utc);

// The local DOS form of a UTC file time. Before 1980 the date is 0 with its
// time of day; both fields 0 when the time has no DOS form (after 2107).
DosDateTime utcToDos(uint64_t utc);

// The DOS form, in local time, of a Unix time (seconds since 1970, UTC);
// both fields 0 when it cannot be converted.
DosDateTime unixTimeToDos(int64_t seconds);

// Today's date in local time, in DOS form; 0 when it has none.
uint16_t todayDosDate();

}  // namespace zar::frame
