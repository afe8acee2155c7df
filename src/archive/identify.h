// Identification: which kind of archive a file holds, from a few bytes at
// fixed places and, for a few kinds, the file's extension.
#pragma once

#include <cstdint>

#include "archive/end_record.h"
#include "archive/kinds.h"
#include "frame/result.h"

namespace zar::archive {

// Identifies the file at `path` (OEM code page). kOk with the kind; kUnknownKind
// when no kind fits or a read fails; kAccessDenied when the file cannot be
// opened. `*kind` is None unless a kind was found.
Result identifyFile(const char* path, Kind* kind);

// The same over bytes already at hand; `path` supplies the extension.
Result identifyBytes(ByteSource& file, const char* path, Kind* kind);

}  // namespace zar::archive
