// Changing stored paths: every entry whose stored path begins with an old
// directory prefix gets that beginning replaced by a new one, in its local
// header and its central record, while its data, sizes, CRC, times,
// attributes, extra fields and comment are copied unchanged. The result goes
// to a new archive file, or back over the archive through the commit every
// writing run uses, so that a run that fails leaves the archive as it was.
#pragma once

#include <cstdint>
#include <string>

#include "frame/result.h"

namespace zar::write {

// The path rewrite of one stored name ('/' separators). Only the drive and
// directory parts of `oldPath` and `newPath` count, so a path meant as a
// directory ends with a separator ("OLD" is a file name in no directory, and
// its directory part, empty, begins every name). When the name's drive is the
// old path's and its directory begins with the old directory, the drive
// becomes the new path's and the old directory part gives way to the new
// one; an old path without a drive matches names with any drive, which is
// then kept. Names and directories compare as the file system compares
// names: byte for byte where it tells case apart, else ignoring case. True
// when `*name` changed.
bool rewritePath(const std::string& oldPath, const std::string& newPath, std::string* name);

// The run behind Ax4ChangeDirPaths, over the ZIP archive `archiveName`
// (opened by name; with long names its entries are known by the names of
// their long-name blocks). Null, empty or the archive's own name for
// `newArchiveName` changes the archive in place; otherwise the new archive is
// written to that name, and a file there is replaced only when the run has
// succeeded. In place, the archive is rewritten only when some name changed
// or when no `changed` count was asked for. `*changed` receives the number of
// entries whose name changed. kOk; kTooLong (a new name over 260 characters:
// nothing is written); kNotOnThisKind (not a ZIP archive); kPathNotFound;
// kNotWritable; kCancelled; kWriteFailed; kAccessDenied; kNoMemory; the codes
// of opening and of the directory reader.
Result changeDirPaths(const char* archiveName, const char* newArchiveName, const char* oldPath,
                      const char* newPath, bool longNames, uint16_t* changed);

}  // namespace zar::write
