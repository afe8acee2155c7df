// The result codes of every archive operation and file utility: signed 16-bit,
// 0 for success, small negatives for archive logic, 102-108 for the file
// system and memory. This is the one place the numbers are written down.
#pragma once

#include <cstdint>

namespace zar {

using Result = int16_t;

inline constexpr Result kOk = 0;
inline constexpr Result kUnknownKind = -1;       // no known archive kind, or unreadable
inline constexpr Result kBadArchive = -2;        // bad record or signature, too short
inline constexpr Result kUnknownMethod = -3;     // no decoder, or no such level
inline constexpr Result kCancelled = -4;         // cancel seen, or an answer not accepted
inline constexpr Result kNothingDone = -7;       // nothing selected; the directory ended
inline constexpr Result kSomeEntriesFailed = -8; // a run skipped or doubted an entry or a file
inline constexpr Result kBadOption = -9;         // unknown or malformed option
inline constexpr Result kWriteFailed = -10;      // write or create failed, no room
inline constexpr Result kShortRead = -11;        // a read came up short, a seek failed
inline constexpr Result kTooLong = -18;          // string, name, comment or buffer too long
inline constexpr Result kMissingArgument = -19;  // a required argument is missing
inline constexpr Result kOptionConflict = -20;   // options exclude each other or repeat
inline constexpr Result kTooMany = -21;          // over 65535 entries; no room for the directory
inline constexpr Result kBadDate = -22;          // bad date in a date option
inline constexpr Result kNotWritable = -23;      // not open for writing; bad open mode
inline constexpr Result kWrongPassword = -24;    // per-entry notice
inline constexpr Result kCrcMismatch = -25;      // per-entry notice
inline constexpr Result kNotOnThisKind = -26;    // not possible on this archive kind
inline constexpr Result kFindFirstNeeded = -27;  // find-next before find-first
inline constexpr Result kNotRemovable = -28;     // the kind needs removable disks
inline constexpr Result kBadTrailer = -29;       // bad end trailer of the older single-file kind
inline constexpr Result kPathNotFound = 102;     // path missing, empty, wildcarded, absent
inline constexpr Result kDirectoryFailed = 103;  // a directory could not be created
inline constexpr Result kAccessDenied = 105;     // open, create, delete, seek or read failed
inline constexpr Result kNotOpen = 106;          // not the handle of an open archive
inline constexpr Result kNoMemory = 108;         // out of memory
inline constexpr Result kBadPassword = -12345;   // password checks: wrong or missing

// Not a result: the answer by which a hook hands a report to the built-in dialogs.
inline constexpr int16_t kUseBuiltinDialog = -10000;

}  // namespace zar
