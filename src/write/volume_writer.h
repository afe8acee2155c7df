// Writing an empty multi-volume set straight onto its volumes. Each entry is
// built alone in a scratch data file and then copied onto the volumes, split
// at whatever byte a volume ends; its central record gathers in a scratch
// directory file with the place where it landed. The set is finished by the
// directory and end record on the last volume (spanned kind), or by the
// directory written into the area reserved at the front of the first volume
// (front-directory and front-header kinds). The bytes that make a set whole
// are always the last ones written, so a run that stops on the way leaves no
// volume that claims to complete a set.
#pragma once

#include <cstdint>
#include <string>

#include "archive/handles.h"
#include "frame/result.h"
#include "fs/temp_files.h"

namespace zar::write {

// The 16 bytes before the end record of the front-directory kind: the
// spanning marker and "_FILLER12345".
inline constexpr char kFillerRecord[] = "PK\x07\x08_FILLER12345";
inline constexpr uint32_t kFillerSize = 16;
static_assert(sizeof kFillerRecord == kFillerSize + 1);

// Header versions of the front-header kinds: 1 plain, 2 when the entries
// carry the version block, 3 for the single-file kind.
inline constexpr uint16_t kFrontHeaderPlain = 1;
inline constexpr uint16_t kFrontHeaderVersionBlocks = 2;
inline constexpr uint16_t kFrontHeaderSingleFile = 3;

class VolumeWriter {
public:
    explicit VolumeWriter(archive::ArchiveHandle& archive) : archive_(archive) {}
    VolumeWriter(const VolumeWriter&) = delete;
    VolumeWriter& operator=(const VolumeWriter&) = delete;

    // True for the kinds whose directory goes into an area reserved at the
    // front of the first volume.
    bool directoryInFront() const;

    // Makes the scratch data and directory files: kOk or kWriteFailed.
    Result create();
    fs::FileHandle data() const { return dataFile_.file(); }
    fs::FileHandle directory() const { return directoryFile_.file(); }

    // Counts one more entry: kTooMany when 65535 are there already.
    Result count();
    uint16_t entries() const { return entries_; }

    // Opens the first volume: its leading bytes (spanning marker, or room
    // for the front header) and, for the kinds with the directory in front,
    // `directoryBytes` reserved for it. Both rooms are checked before a byte
    // is written, so a refused run leaves the volume empty. kWriteFailed
    // when the leading bytes do not fit, kTooMany when the reserved area
    // does not, kAccessDenied when the area cannot be set aside.
    Result begin(uint64_t directoryBytes);

    // Before an entry is written into the data file, which is empty.
    Result startEntry();
    // After it: moves the entry onto the volumes and rewrites its central
    // record (`record` with its final `name` and `extra` field) with the disk
    // and offset where its local header landed. The data file is emptied.
    Result placeEntry(uint8_t* record, const std::string& name, const uint8_t* extra);

    // Writes the end of the set: the directory and end record (spanned), the
    // filler and end record and then the front directory (front-directory),
    // or the front header with the directory (front-header kinds). The
    // archive's file is then the volume last written.
    Result finish(bool versionBlocks);

private:
    bool spannedKind() const;
    Result nextVolume();
    // Copies `count` bytes from the data file's position onto the volumes.
    Result toVolumes(int64_t count);
    Result endRecord(uint32_t directorySize);
    Result frontArea(uint32_t directorySize, bool versionBlocks);

    archive::ArchiveHandle& archive_;
    fs::TempFile dataFile_, directoryFile_;
    uint16_t entries_ = 0;
    int64_t entryMark_ = 0;    // the directory file's end before the entry in hand
    uint64_t reserved_ = 0;    // bytes set aside for the directory at the front
};

}  // namespace zar::write
