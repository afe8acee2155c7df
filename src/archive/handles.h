// Archive handles: the record behind each open archive, the process-wide list
// of them (newest first), opening and closing, and reading the end record and
// the archive comment. The value a host holds is the archive's file handle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/end_record.h"
#include "archive/kinds.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

// Bits of ArchiveHandle::flags.
inline constexpr uint16_t kCreatedByOpen = 0x0001;    // deleted at close while it holds no entry
inline constexpr uint16_t kSpannedSet = 0x0002;       // kind 3
inline constexpr uint16_t kOwnMultiVolume = 0x0004;   // kind 2
inline constexpr uint16_t kEndLocated = 0x0008;       // cdStart and endPos are valid
inline constexpr uint16_t kFrontDirectory = 0x0010;   // kind 4
inline constexpr uint16_t kForeignKind = 0x0020;      // LZH, ARJ, ZOO, ARC (kinds 5 to 8)
inline constexpr uint16_t kOldSingleFile = 0x0040;    // kind 9
inline constexpr uint16_t kOwnMultiVolume3 = 0x0080;  // kind 10
inline constexpr uint16_t kTarKind = 0x0100;          // kind 11
inline constexpr uint16_t kGzipKind = 0x0200;         // kind 12
inline constexpr uint16_t kSelfExtracting = 0x0400;   // kind 13
inline constexpr uint16_t kLongNameMode = 0x0800;     // names come from long-name blocks
inline constexpr uint16_t kKeepNameLength = 0x1000;   // for the next directory read only
// Kinds whose directory is read from the work file, never from the archive.
inline constexpr uint16_t kConvertedKinds = 0x0336;
inline constexpr uint16_t kMultiVolumeKinds = kSpannedSet | kOwnMultiVolume | kFrontDirectory;

inline constexpr uint32_t kUnset = 0xFFFFFFFFu;
inline constexpr uint32_t kShareBit = 0x8;
inline constexpr uint32_t kLongNameBit = 0x100;

struct ArchiveHandle {
    uint32_t cdStart = kUnset;     // first central record; valid while kEndLocated
    uint32_t endPos = kUnset;      // end record; valid while kEndLocated
    uint32_t findCursor = kUnset;  // next central record of an enumeration
    uint32_t firstVolumeSize = 0;  // multi-volume creation
    uint32_t nextVolumeSize = 0;
    uint32_t volumeRoom = 0;
    uint32_t access = 0;           // platform::kAccessRead, or read and write
    uint32_t share = 0;
    fs::FileHandle file = fs::kInvalidFile;
    fs::FileHandle workFile = fs::kInvalidFile;
    std::string name;              // as opened, ".ZIP" added when it had no extension
    std::string workName;          // the work file, empty when none
    uint16_t flags = 0;
    uint16_t volume = 0;
    // Read-ahead window over the directory file, valid while kEndLocated holds
    // since the last locateEnd; directory reads are served from it.
    std::vector<uint8_t> window;
    uint32_t windowStart = 0;

    bool converted() const { return flags & kConvertedKinds; }
    bool writable() const { return access & platform::kAccessWrite; }
    // The file the directory is read from.
    fs::FileHandle directoryFile() const { return converted() ? workFile : file; }
};

// The kind bit of ArchiveHandle::flags for an identified kind (0 for ZIP).
uint16_t kindFlag(Kind kind);

// Opens an archive. `mode` bits 0-2: 0 decide from the file, 1 read only,
// 2 read and write, 3 create; bit 3 shares reading and writing with others;
// bit 8 asks for long-name mode. `*handle` is the new handle, or kUnset.
Result openArchive(const char* path, uint32_t mode, fs::FileHandle* handle);

// Closes the archive of `*handle` and sets it to kUnset; an unknown handle is
// ignored.
void closeArchive(fs::FileHandle* handle);

// Closes every open archive, newest first (at most 255 of them).
void closeAllArchives();

// The record of an open archive, or null.
ArchiveHandle* lookup(fs::FileHandle handle);

// Number of open archives.
int openArchiveCount();

// The two shared work buffers of 65520 bytes, which exist while any archive is open.
inline constexpr uint32_t kWorkBufferSize = 65520;
uint8_t* workBuffer(int which);

// Locates the end record: fills cdStart and endPos and sets kEndLocated.
Result locateEnd(ArchiveHandle& archive);

// Reads the 22-byte end record and, when `comment` is given, the archive
// comment into a buffer of `size` bytes: kOk, kTooLong (the comment was cut),
// kShortRead, kAccessDenied.
Result readEnd(ArchiveHandle& archive, uint8_t* record, char* comment, uint32_t size);

// Seeks the directory file to `offset`; the unset position never succeeds.
bool seekDirectory(const ArchiveHandle& archive, uint32_t offset);

// Reads up to `count` bytes of the directory file at `offset` through the
// read-ahead window. False when the seek or read fails (the unset position
// always fails); `*done` is short at the end of the file.
bool readDirectory(ArchiveHandle& archive, uint32_t offset, void* buffer, uint32_t count, uint32_t* done);

}  // namespace zar::archive
