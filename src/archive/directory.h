// Reading the central directory one record at a time, for the enumeration
// exports and for the library's own extraction and update code.
#pragma once

#include <cstdint>

#include "archive/handles.h"
#include "frame/result.h"

namespace zar::archive {

// Where one directory read delivers its parts. The name buffer holds 261
// bytes. The extra and comment buffers are optional: null, or a size of
// 65535, skips that part.
struct RecordBuffers {
    uint8_t* record;  // the 46-byte central record, signature included
    char* name;
    uint8_t* extra = nullptr;
    uint16_t extraSize = 0;
    char* comment = nullptr;
    uint16_t commentSize = 0;
};

inline constexpr uint16_t kSkipPart = 65535;

// Reads the record at `*position` and moves the position past it (name, extra
// field and comment included). kOk; kTooLong when a part was cut (the record
// is still complete and the position moves on); kNothingDone at the end of the
// directory; kBadArchive for a record without its signature; kShortRead;
// kAccessDenied when the position cannot be reached. A failed read leaves the
// position where it was.
Result readCentralRecord(ArchiveHandle& archive, uint32_t* position, const RecordBuffers& out);

// Starts an enumeration at the first record, locating the end record first.
Result findFirst(ArchiveHandle& archive, const RecordBuffers& out);
// Reads the record at the enumeration cursor; kFindFirstNeeded before findFirst.
Result findNext(ArchiveHandle& archive, const RecordBuffers& out);

// The name an entry is known by: the name of its long-name block when the
// extra field holds one, else the stored name; '/' separators either way.
// `out` holds 261 bytes and may be `stored` itself; longer names are cut.
void effectiveFileName(const char* stored, const uint8_t* extra, uint16_t extraLength, char* out);

// The entry count of the end record.
Result entryCount(ArchiveHandle& archive, uint16_t* count);

}  // namespace zar::archive
