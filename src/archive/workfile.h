// Work files: for an archive of a converted kind, a temporary file holding an
// ordinary ZIP central directory and end record that describe its members, so
// that every directory reader treats all kinds alike. One builder per kind
// reads the archive and hands each member's record to a sink; this file holds
// what all builders share.
#pragma once

#include <cstdint>
#include <string>

#include "archive/end_record.h"
#include "archive/kinds.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

// The fields of one synthesized central record; all others are 0.
struct MemberRecord {
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localOffset = 0;
    std::string name;     // in the archive's code page, as stored
    std::string comment;  // written after the name when not empty
};

// What the end record of a work file carries besides the counts.
struct WorkFileEnd {
    uint16_t thisDisk = 0;
    uint16_t directoryDisk = 0;
    std::string comment;  // the archive comment (ARJ)
};

// Receives the records a builder synthesizes.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // kOk, kTooLong for a name or comment over 65535 bytes, kWriteFailed.
    virtual Result add(const MemberRecord& record) = 0;
};

// Encodes a record as its 46 bytes (signature included) followed by the name
// and the comment, as they stand in a central directory.
std::string encodeCentralRecord(const MemberRecord& record);

// Reads a foreign archive from `archive` and adds one record per member.
// `archivePath` is the archive's path (OEM code page), for kinds whose member
// names derive from it. Returns kOk or the code of the first failure.
using ForeignBuilder = Result (*)(ByteSource& archive, const char* archivePath, RecordSink& sink,
                                  WorkFileEnd& end);

// The builder of a single-file foreign kind (LZH, ARJ, ZOO, ARC, TAR, gzip),
// or null for every other kind.
ForeignBuilder foreignBuilder(Kind kind);

// Where a set over several volumes stands once its directory is read: the
// volume its file now is (0 for single files) and, for a spanned set, the
// volume that holds its end record (0 when not known).
struct VolumeInfo {
    uint16_t volume = 0;
    uint16_t lastVolume = 0;
};

// Writes the directory of a set over several volumes (kinds 2, 3, 4 and 10)
// into `work`, asking for volumes as it goes: `*archive` is the volume in
// hand, and on return the volume `info` names. `path` names the volumes.
Result buildVolumeRecords(fs::FileHandle* archive, const std::string& path, Kind kind, fs::FileHandle work,
                          VolumeInfo* info);

// Builds the work file of an archive of a converted kind. On success the work
// file is open at `*workFile`, its path is in `*workName` and registered as a
// temporary file; `*info` says which volume `*archive` now is. On failure
// nothing is left behind.
Result buildWorkFile(fs::FileHandle* archive, const char* archivePath, Kind kind, fs::FileHandle* workFile,
                     std::string* workName, VolumeInfo* info);

}  // namespace zar::archive
