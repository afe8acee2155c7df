// Zip from memory: a block of the host's memory becomes one entry of an open
// archive, through the zip run, so that everything the run does with a file
// (options, replacing an entry of the same name, compression, encryption, the
// commit) applies to it unchanged.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::write {

// The run behind Ax4ZipPtr. The `length` bytes at `data` (none when the
// length is 0 or less) are staged in a file of a directory that the library
// makes for this run alone, which only this user may enter, and which is
// removed again whatever the outcome: no file of the user's is ever read,
// replaced or deleted on the way. The entry's name is `name` exactly as
// given ('\' read as '/'), whatever the path options say: a relative name,
// directories allowed. `*archive` receives the archive's new handle.
// kPathNotFound for an empty name, or one that is absolute, has a drive,
// ends in a separator or holds an empty, "." or ".." component; kTooLong for
// a name over 255 characters; kMissingArgument for no data and a length
// above 0; kWriteFailed when the data cannot be staged; every code of the zip
// run (kOptionConflict for -D).
Result zipFromMemory(fs::FileHandle* archive, const void* data, int32_t length, const char* name,
                     const char* options);

}  // namespace zar::write
