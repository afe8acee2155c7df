// Copying a run of bytes between two open files, with cancel and yield.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::fs {

// Copies `count` bytes from the current position of `in` to that of `out`.
// Returns kOk, kCancelled, kWriteFailed, kShortRead, kAccessDenied (an invalid
// handle) or kNoMemory. A count below 1 copies nothing.
Result copyBytes(FileHandle in, FileHandle out, int64_t count);

}  // namespace zar::fs
