// The last-write times of named files in local DOS form, behind the DOS-date
// exports. The packing arithmetic is in common/dos_date.h and the conversion
// between local DOS times and UTC in frame/local_time.h.
#pragma once

#include "common/dos_date.h"
#include "frame/result.h"

namespace zar::util {

// The last-write time of a file (OEM name) in local DOS form. kOk, with both
// fields 0 when the time has no DOS form; kAccessDenied when the file cannot be
// opened or its time read (then `*dos` is left alone).
Result dosGetFileTime(const char* name, DosDateTime* dos);

// Sets the last-write time of a file (OEM name) from a local DOS date and time,
// leaving its other times alone. kOk, or kAccessDenied when the file cannot be
// opened, the fields name no real time, or the time cannot be set.
Result dosSetFileTime(const char* name, DosDateTime dos);

}  // namespace zar::util
