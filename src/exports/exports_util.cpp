// Exports of the utilities: packing and unpacking DOS dates and times, reading
// and setting a file's last-write time in DOS form, uuencoded text, line
// ends, and the helpers that take 32-bit values apart for Basic hosts.
#include "common/dos_date.h"
#include "exports/guard.h"
#include "util/dos_time.h"
#include "util/line_endings.h"
#include "util/uucode.h"
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

ZARLIB_EXPORT int16_t AXAPI Ax4UUEncode(const char* source, const char* output, int32_t partLimit, uint32_t cutLines,
                                        uint16_t* parts) AX_NOEXCEPT {
    return exports::guarded([&] { return util::uuEncode(source, output, partLimit, cutLines != 0, parts); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4UUDecode(const char* source, const char* outputDirectory) AX_NOEXCEPT {
    return exports::guarded([&] { return util::uuDecode(source, outputDirectory); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4LfToCrLf(const char* source, const char* destination, int16_t endMark) AX_NOEXCEPT {
    if (source == nullptr || destination == nullptr) return kAccessDenied;
    return exports::guarded([&] { return util::lfToCrLf(source, destination, endMark != 0); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4CrLfToLf(const char* source, const char* destination) AX_NOEXCEPT {
    if (source == nullptr || destination == nullptr) return kAccessDenied;
    return exports::guarded([&] { return util::crLfToLf(source, destination); });
}

ZARLIB_EXPORT uint32_t AXAPI AxFarAddr(uint32_t high, uint32_t low) AX_NOEXCEPT {
    return (high & 0xFFFFu) << 16 | (low & 0xFFFFu);
}
ZARLIB_EXPORT uint32_t AXAPI AxLongLow(uint32_t value) AX_NOEXCEPT { return value; }
ZARLIB_EXPORT uint32_t AXAPI AxLongHigh(uint32_t value) AX_NOEXCEPT { return value >> 16; }
ZARLIB_EXPORT uint32_t AXAPI LSeg(uint32_t value) AX_NOEXCEPT { return value; }
ZARLIB_EXPORT uint32_t AXAPI VarSeg(uint32_t value) AX_NOEXCEPT { return value >> 16; }
ZARLIB_EXPORT uint32_t AXAPI VarPtr(uint32_t value) AX_NOEXCEPT { return value; }

}  // extern "C"
