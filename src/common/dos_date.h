// The arithmetic of DOS dates and times, the packed local times of ZIP headers:
//   date = (year - 1980) << 9 | month << 5 | day
//   time = hour << 11 | minute << 5 | second / 2
// Header-only and pure, below every layer, so that the option parser, the
// local-time conversions and the date utilities pack and unpack the same way.
#pragma once

#include <cstdint>

namespace zar {

inline constexpr int kDosFirstYear = 1980;
inline constexpr int kDosLastYear = 2107;  // year field of 7 bits

// Two-digit years: below 80 they are 20xx, from 80 to 99 they are 19xx; any
// other value is taken as written.
constexpr int widenYear(int year) { return year < 80 ? year + 2000 : year < 100 ? year + 1900 : year; }

// Packs without checking: out-of-range fields spill into their neighbours and
// only the low 16 bits are kept. (Unsigned arithmetic keeps negative fields
// defined.)
constexpr uint16_t packDosDate(int year, int month, int day) {
    return static_cast<uint16_t>(static_cast<uint32_t>(year - kDosFirstYear) << 9 |
                                 static_cast<uint32_t>(month) << 5 | static_cast<uint32_t>(day));
}

constexpr uint16_t packDosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>(static_cast<uint32_t>(hour) << 11 | static_cast<uint32_t>(minute) << 5 |
                                 static_cast<uint32_t>(second) >> 1);
}

// A packed date and time as a header holds them; the date 0 stands for no date.
struct DosDateTime {
    uint16_t date = 0;
    uint16_t time = 0;
};

struct DosDateFields {
    uint16_t year, month, day;
};

struct DosTimeFields {
    uint16_t hour, minute, second;
};

// Date 0 unpacks to month 0, day 0 of 1980; seconds come back even.
constexpr DosDateFields unpackDosDate(uint16_t date) {
    return {static_cast<uint16_t>((date >> 9) + kDosFirstYear), static_cast<uint16_t>((date >> 5) & 15),
            static_cast<uint16_t>(date & 31)};
}

constexpr DosTimeFields unpackDosTime(uint16_t time) {
    return {static_cast<uint16_t>((time >> 11) & 31), static_cast<uint16_t>((time >> 5) & 63),
            static_cast<uint16_t>((time & 31) * 2)};
}

// The DOS date of a calendar date, or 0 (no date) for a year outside the
// range the 7-bit year field can hold. Month and day are not checked.
constexpr uint16_t dosDateInRange(int year, int month, int day) {
    return year < kDosFirstYear || year > kDosLastYear ? 0 : packDosDate(year, month, day);
}

// The DOS form of a valid calendar time. A year before 1980 gives the date 0
// together with its time of day; false after 2107, which the format cannot hold.
constexpr bool calendarToDos(int year, int month, int day, int hour, int minute, int second, uint16_t* date,
                             uint16_t* time) {
    if (year > kDosLastYear) return false;
    *time = packDosTime(hour, minute, second);
    *date = year < kDosFirstYear ? 0 : packDosDate(year, month, day);
    return true;
}

static_assert(packDosDate(1996, 12, 31) == 0x219F);
static_assert(packDosTime(23, 59, 59) == 0xBF7D);
static_assert(unpackDosTime(0xBF7D).second == 58);

}  // namespace zar
