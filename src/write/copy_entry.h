// Copying an entry of an existing archive into a new one, as the writing runs
// do for every entry they keep.
#pragma once

#include <cstdint>
#include <string>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::write {

// One entry of the old archive, as the directory reader delivered it.
struct ExistingEntry {
    uint8_t* record;      // the 46-byte central record; its offset and lengths are updated
    std::string name;     // OEM, as it is to be stored
    uint8_t* extra;       // the central extra field, of the record's extra length
    const char* comment;  // of the record's comment length, OEM
};

// Copies `entry` from the archive `from`: its local header, brought into line
// with the central record (the central name and extra field, their lengths),
// and its data go to the end of `data`; its central record, now pointing
// there, to the end of `directory`. An entry whose sizes follow its data
// (flag bit 3) gets a data descriptor made from its central record. In
// long-name mode the directory hands out an entry's long name: a long-name
// block naming exactly that name is then cut from the extra field. kOk;
// kShortRead, kWriteFailed, kAccessDenied, kNoMemory, kCancelled.
Result copyEntry(fs::FileHandle from, fs::FileHandle data, fs::FileHandle directory, ExistingEntry& entry);

// The position at which the next entry goes: the end of `data`, which must
// stay below 4 GiB. False when it cannot be found or lies beyond.
bool dataEnd(fs::FileHandle data, uint32_t* offset);

}  // namespace zar::write
