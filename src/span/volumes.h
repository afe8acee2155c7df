// Multi-volume archives: creating one (the first volume of a new set) and
// moving an open one from volume to volume, with the disk prompt and the label
// check on removable drives.
#pragma once

#include <cstdint>

#include "archive/handles.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::span {

// Creates the first volume of a new set of kind 2, 3, 4 or 10 and opens it as
// an archive for the zip run to fill; `*handle` receives its handle, or
// fs::kInvalidFile. `firstVolumeSize` and `nextVolumeSize` bound the volumes,
// 0 meaning the free space of the drive. kPathNotFound for a bad name,
// kUnknownKind for another kind, kNotRemovable for kinds 3 and 4 off a
// removable drive, kAccessDenied when the file cannot be made or labelled,
// kWriteFailed when the drive has no room to offer.
Result createMultiVolume(const char* archiveName, uint16_t kind, uint32_t firstVolumeSize, uint32_t nextVolumeSize,
                         fs::FileHandle* handle);

// Moves `archive` to the volume its `volume` field names, closing the current
// file: for reading, the volume must exist; for writing, a volume is created
// (emptied when it held an older file) and `volumeRoom` set. On a removable
// drive the host is asked to insert the disk until the right one is in (its
// label checked for the spanned kinds). kCancelled when the host answers
// anything but Ok, kAccessDenied when a volume of a fixed drive cannot be
// opened or there is no such volume number. On success `archive.file` is
// the new volume's handle, which callers hand back to the host.
Result changeVolume(archive::ArchiveHandle& archive, bool writing);

}  // namespace zar::span
