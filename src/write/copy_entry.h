// Copying an entry of an existing archive into a new one, as the writing runs
// do for every entry they keep.
#pragma once

#include <cstdint>
#include <string>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::write {

// One entry of the old archive, its central record as it stands in the file.
struct ExistingEntry {
    uint8_t* record;           // the 46-byte central record as stored
    std::string name;          // the name the run matches: OEM, '/' separators
    // In long-name mode `name` is the long name of the entry's long-name
    // block, and the copy stores the entry under that name.
    bool renamed = false;
    // For a renamed entry whose long-name block holds another name than
    // `name` (its path was changed): that name, so that the block goes too.
    std::string formerLongName;
    const uint8_t* storedName; // of the record's name length, as stored
    uint8_t* extra;            // the central extra field, of the record's extra length
    const char* comment;       // of the record's comment length, as stored unless a run set it
};

// Copies `entry` from the archive `from`: its local header, its name and
// extra field as they stand, its data and its data descriptor go to the end
// of `data`; its central record, now pointing there, to the end of
// `directory`. Nothing else of either record changes, except that
// - a damaged local signature is written sound;
// - a renamed entry takes its new name in both records, a long-name block
//   naming exactly that name (or its former long name) is cut from both
//   extra fields, and flag bit 11 is set in both when the new name is UTF-8
//   that is not ASCII;
// - an entry whose sizes follow its data (flag bit 3) gets a fresh
//   descriptor, with 8-byte sizes when its local header has a Zip64 block;
// - a local header whose sizes are all ones without a Zip64 block to carry
//   them gets the real sizes.
// kOk; kTooLong, kShortRead, kWriteFailed, kAccessDenied, kNoMemory,
// kCancelled, kBadArchive (an entry that cannot be copied soundly).
Result copyEntry(fs::FileHandle from, fs::FileHandle data, fs::FileHandle directory, ExistingEntry& entry);

// The position at which the next entry goes: the end of `data`. False when it
// cannot be found.
bool dataEnd(fs::FileHandle data, uint64_t* offset);

}  // namespace zar::write
