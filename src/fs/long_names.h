// Names as the file system spells them: long-name expansion of a directory,
// the short-name form of a stored name, and the drive letter of a path.
#pragma once

#include <string>

#include "frame/result.h"

namespace zar::fs {

// Replaces each component of `path` (OEM; '/' or '\' separated) by the name
// the file system reports for it, searching every growing prefix after
// `drive`. A drive component ("C:") goes with the next one; "." and ".." stay
// as written, and so do the separators. kOk, or kDirectoryFailed when a prefix
// is not found (the path is then left alone).
Result expandLongNames(const std::string& drive, std::string* path);

// For the entry writer in long-name mode: `fullPath` (OEM, the file on disk)
// is searched component by component; the trailing components of
// `*storedName` (as many as it has, separated by '/' or '\'; a leading drive
// keeps its place) take the file system's long spelling, and `*shortName`
// receives the same with each component's short (8.3) name where it has one.
// A stored name ending in '/' keeps it. kOk, or kDirectoryFailed with
// `*shortName` empty when a component is not found.
Result shortNameForm(const std::string& fullPath, std::string* storedName, std::string* shortName);

// The path's drive letter when it begins with a letter and ':', else the
// current drive's.
char driveLetter(const char* path);

}  // namespace zar::fs
