// Reading the central directory one record at a time, for the enumeration
// exports and for the library's own extraction and update code.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/handles.h"
#include "archive/records.h"
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
    // Optional: receives the external attributes as stored, before the host
    // view hands on another system's attributes as 0.
    uint32_t* storedAttributes = nullptr;
    // Optional: receives the sizes and local offset at their full width.
    EntryExtent* extent = nullptr;
};

inline constexpr uint16_t kSkipPart = 65535;

// Reads the record at `*position` and moves the position past it (name, extra
// field and comment included). kOk; kTooLong when a part was cut (the record
// is still complete and the position moves on); kNothingDone at the end of the
// directory; kBadArchive for a record without its signature; kShortRead;
// kAccessDenied when the position cannot be reached. A failed read leaves the
// position where it was.
Result readCentralRecord(ArchiveHandle& archive, uint64_t* position, const RecordBuffers& out);

// Starts an enumeration at the first record, locating the end record first.
Result findFirst(ArchiveHandle& archive, const RecordBuffers& out);
// Reads the record at the enumeration cursor; kFindFirstNeeded before findFirst.
Result findNext(ArchiveHandle& archive, const RecordBuffers& out);

// One central record as it stands in the archive, for the library's own
// writing runs, which copy it unchanged: nothing is folded in, zeroed or
// converted, whatever the host view above does with it.
struct RawRecord {
    uint8_t record[CentralRecord::kSize] = {};  // signature included
    std::vector<uint8_t> name, extra, comment;  // each of the record's length
    // The name the enumeration hands out for this record, NUL-terminated:
    // read from the OEM code page, '/' separators, and in long-name mode the
    // name of the record's long-name block when it has one.
    char handedName[kNameLimit + 1] = {};
    bool longName = false;  // handedName came from a long-name block
    EntryExtent extent;     // the sizes and local offset at their full width
};

// Reads the record at `*position` whole and moves the position past it. The
// results are those of readCentralRecord, except that no part is ever cut:
// kTooLong only for a name beyond kNameLimit, which is skipped as there.
Result readRawRecord(ArchiveHandle& archive, uint64_t* position, RawRecord* out);
// The enumeration of findFirst and findNext, over raw records.
Result findFirst(ArchiveHandle& archive, RawRecord* out);
Result findNext(ArchiveHandle& archive, RawRecord* out);

// The name an entry is known by: the name of its long-name block when the
// extra field holds one, else the stored name; '/' separators either way.
// `out` holds 261 bytes and may be `stored` itself; longer names are cut.
void effectiveFileName(const char* stored, const uint8_t* extra, uint16_t extraLength, char* out);

// The entry count of the end record, or of the Zip64 end record when the end
// record's count is all ones.
Result entryCount(ArchiveHandle& archive, uint64_t* count);

}  // namespace zar::archive
