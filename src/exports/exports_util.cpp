// Exports of the date and time utilities: packing and unpacking DOS dates and
// times, and reading and setting a file's last-write time in DOS form.
#include "common/dos_date.h"
#include "exports/guard.h"
#include "util/dos_time.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT void AXAPI Ax4ExpandDosDate(uint16_t date, uint16_t* month, uint16_t* day,
                                          uint16_t* year) AX_NOEXCEPT {
    DosDateFields f = unpackDosDate(date);
    if (month) *month = f.month;
    if (day) *day = f.day;
    if (year) *year = f.year;
}

ZARLIB_EXPORT void AXAPI Ax4ExpandDosTime(int16_t time, uint16_t* hour, uint16_t* minute,
                                          uint16_t* second) AX_NOEXCEPT {
    DosTimeFields f = unpackDosTime(static_cast<uint16_t>(time));
    if (hour) *hour = f.hour;
    if (minute) *minute = f.minute;
    if (second) *second = f.second;
}

ZARLIB_EXPORT void AXAPI Ax4CompressDosDate(int16_t month, int16_t day, int16_t year, uint16_t* date) AX_NOEXCEPT {
    if (date) *date = packDosDate(widenYear(year), month, day);
}

ZARLIB_EXPORT void AXAPI Ax4CompressDosTime(int16_t hour, int16_t minute, int16_t second,
                                            uint16_t* time) AX_NOEXCEPT {
    if (time) *time = packDosTime(hour, minute, second);
}

ZARLIB_EXPORT int16_t AXAPI Ax4DosGetFileTime(const char* path, uint16_t* date, uint16_t* time) AX_NOEXCEPT {
    return exports::guarded([&] {
        DosDateTime dos;
        Result result = util::dosGetFileTime(path, &dos);
        if (result == kOk) {
            if (date) *date = dos.date;
            if (time) *time = dos.time;
        }
        return result;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4DosSetFileTime(const char* path, uint32_t date, uint32_t time) AX_NOEXCEPT {
    return exports::guarded([&] {
        return util::dosSetFileTime(path, {static_cast<uint16_t>(date), static_cast<uint16_t>(time)});
    });
}

}  // extern "C"
