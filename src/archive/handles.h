// Archive handles: the record behind each open archive, the process-wide list
// of them (newest first), opening and closing, and reading the end record and
// the archive comment. The value a host holds is the archive's file handle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_source.h"
#include "archive/kinds.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

// How openArchive opens a file: the low three bits of the mode a host passes.
enum class OpenMode : uint32_t {
    Decide = 0,     // read and write when the file is a writable ZIP archive, read only otherwise, create when missing
    ReadOnly = 1,
    ReadWrite = 2,
    Create = 3,     // empties any file of that name
};
inline constexpr uint32_t kOpenModeMask = 0x7;
// Further bits of the mode: share reading and writing with others; long-name mode.
inline constexpr uint32_t kOpenShared = 0x8;
inline constexpr uint32_t kOpenLongNames = 0x100;

constexpr uint32_t openMode(OpenMode mode, uint32_t bits = 0) { return static_cast<uint32_t>(mode) | bits; }

// An entry's sizes and the offset of its local header at their full width:
// the central record's own fields, or its Zip64 block's where they hold all ones.
struct EntryExtent {
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    uint64_t localOffset = 0;
};

struct ArchiveHandle {
    uint64_t cdStart = kNoPosition;     // first central record; valid while endLocated
    uint64_t endPos = kNoPosition;      // end record; valid while endLocated
    uint64_t zip64EndPos = kNoPosition; // the Zip64 end record, when the end record defers to one
    uint64_t findCursor = kNoPosition;  // next central record of an enumeration
    EntryExtent lastFound;              // of the record the enumeration read last
    uint32_t firstVolumeSize = 0;       // multi-volume creation
    uint32_t nextVolumeSize = 0;
    uint32_t volumeRoom = 0;
    uint32_t access = 0;                // platform::kAccessRead, or read and write
    uint32_t share = 0;
    fs::FileHandle file = fs::kInvalidFile;
    fs::FileHandle workFile = fs::kInvalidFile;
    std::string name;                   // as opened, ".ZIP" added when it had no extension
    std::string workName;               // the work file, empty when none
    // The identified kind when opened for reading; an archive opened for
    // writing or created is written as a ZIP archive whatever it held.
    Kind kind = Kind::Zip;
    uint16_t volume = 0;
    // A spanned set read from a fixed drive: the volume that holds the end
    // record, which keeps the set's own name while the others are split names.
    uint16_t lastVolume = 0;
    // Volumes written after the first, registered as temporary files so that
    // no file selection picks them; unregistered at close.
    std::vector<std::string> volumeNames;
    bool createdByOpen = false;         // deleted at close while it holds no entry
    bool endLocated = false;            // cdStart and endPos are valid
    bool longNameMode = false;          // names come from long-name blocks
    bool keepNameLength = false;        // for the next directory read only
    // Read-ahead window over the directory file, valid while endLocated holds
    // since the last locateEnd; directory reads are served from it.
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;

    bool converted() const { return isConverted(kind); }
    bool multiVolume() const { return isMultiVolume(kind); }
    bool writable() const { return access & platform::kAccessWrite; }
    // The file the directory is read from.
    fs::FileHandle directoryFile() const { return converted() ? workFile : file; }
};

// Opens an archive. `mode` is an OpenMode with the kOpenShared and
// kOpenLongNames bits; modes 4 to 7 give kNotWritable. `*handle` is the new
// handle, or fs::kInvalidFile.
Result openArchive(const char* path, uint32_t mode, fs::FileHandle* handle);
inline Result openArchive(const char* path, OpenMode mode, fs::FileHandle* handle) {
    return openArchive(path, openMode(mode), handle);
}

// Puts a record made elsewhere (a new multi-volume set) into the list and
// registers its name, as a successful open does; the record's file is its
// handle. kNoMemory, and the record is not taken, when memory runs out.
Result adoptArchive(ArchiveHandle&& record);

// Closes the archive of `*handle` and sets it to fs::kInvalidFile; an unknown handle is
// ignored.
void closeArchive(fs::FileHandle* handle);

// Closes every open archive, newest first (at most 255 of them); true when
// none is left open.
bool closeAllArchives();

// The record of an open archive, or null.
ArchiveHandle* lookup(fs::FileHandle handle);

// Number of open archives.
int openArchiveCount();

// The two shared work buffers of 65520 bytes, which exist while any archive is open.
inline constexpr uint32_t kWorkBufferSize = 65520;
uint8_t* workBuffer(int which);

// The two work buffers a decode or an entry write runs in: the shared ones
// while an archive is open, else a block of its own (a host that calls an
// engine without an open archive). Each holds kWorkBufferSize bytes.
class WorkBuffers {
public:
    // kOk, or kNoMemory when no block can be had.
    Result acquire();
    // A block of the buffers' own even while an archive is open, for work
    // off the calling thread: kOk or kNoMemory.
    Result acquireOwn();
    uint8_t* first() const { return first_; }
    uint8_t* second() const { return second_; }

private:
    fs::Block own_;
    uint8_t* first_ = nullptr;
    uint8_t* second_ = nullptr;
};

// Locates the end record: fills cdStart and endPos and sets endLocated.
Result locateEnd(ArchiveHandle& archive);

// Reads the 22-byte end record and, when `comment` is given, the archive
// comment into a buffer of `size` bytes: kOk, kTooLong (the comment was cut),
// kShortRead, kAccessDenied.
Result readEnd(ArchiveHandle& archive, uint8_t* record, char* comment, uint32_t size);

// Seeks the directory file to `offset`; the unset position never succeeds.
bool seekDirectory(const ArchiveHandle& archive, uint64_t offset);

// Reads up to `count` bytes of the directory file at `offset` through the
// read-ahead window. False when the seek or read fails (the unset position
// always fails); `*done` is short at the end of the file.
bool readDirectory(ArchiveHandle& archive, uint64_t offset, void* buffer, uint32_t count, uint32_t* done);

}  // namespace zar::archive
