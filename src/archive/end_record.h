// Locating the end of the central directory: the end record of a ZIP archive,
// or the end trailer of the older single-file kind.
#pragma once

#include <cstdint>

#include "archive/byte_source.h"
#include "frame/result.h"

namespace zar::archive {

enum class EndKind {
    Zip,            // the end record "PK\5\6", 22 bytes
    OldSingleFile,  // the trailer "KQB3", 18 bytes; the directory starts at 0
};

// Where the directory starts and where its end record lies; both are
// kNotFound when the search found no end record. An end record that leaves its
// directory offset, size or entry count to a Zip64 end record (all ones in
// the field) has that record found through the locator right before it.
struct EndLocation {
    static constexpr uint64_t kNotFound = kNoPosition;
    uint64_t directoryStart = kNotFound;
    uint64_t endRecord = kNotFound;
    uint64_t zip64Record = kNotFound;  // the Zip64 end record, when there is one
};

// Looks for the end record. An end record in the last bytes of the file is
// taken as it stands. Otherwise the last 65535 + record-size bytes are scanned
// from the oldest byte forward, and the first candidate whose directory offset
// leads to a central record is taken (or, for an archive without entries,
// whose empty directory starts where the candidate itself lies).
//
// Returns kBadArchive for a file too short to hold the record, kAccessDenied
// for a failed read, kNoMemory, and for the older kind kBadTrailer or
// kBadArchive for a trailer with bad fields. Finding nothing is not a failure:
// the location then holds kNotFound, so every later read of the directory fails.
Result locateEndRecord(ByteSource& source, EndKind kind, EndLocation* location);

}  // namespace zar::archive
