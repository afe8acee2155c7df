// The commit of a writing run: the new archive is built in a file of its own
// and only put in the archive's place once every step has succeeded, so that
// a failed run leaves the archive as it was.
#pragma once

#include <string>

#include "archive/handles.h"
#include "common/dos_date.h"
#include "frame/result.h"
#include "fs/temp_files.h"

namespace zar::write {

// The file a run builds the new archive in, open: beside the archive, so that
// the commit is one rename; in the temporary directory when the archive's
// directory takes no new file. Anonymous where the system allows, so that a
// run killed on the way leaves nothing behind. Invalid when none can be made.
fs::TempFile makeDataFile(const archive::ArchiveHandle& archive);

// Puts the finished data file in the archive's place and reopens the
// archive; the record's file handle is then the new one (also when the
// reopen fails). A data file beside the archive (its directory named as the
// archive's, compared as the file system compares names) replaces it in one
// step (fs::TempFile::replace); one from elsewhere is copied over it once the
// archive's volume is known to have room. With `time`, the archive's
// last-write time is set from that local DOS date and time afterwards. kOk;
// kWriteFailed when there is no room (nothing changed); kAccessDenied for a
// failed rename, copy, reopen or time setting.
Result commitArchive(archive::ArchiveHandle& archive, fs::TempFile& dataFile, const DosDateTime* time);

}  // namespace zar::write
