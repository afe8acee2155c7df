// Output paths of extraction: the host's path filters, which send restored
// directory trees elsewhere, and the creation of an output path's directories.
#pragma once

#include <string>

#include "frame/result.h"

namespace zar::extract {

// Adds one filter pair; either part may be null. A part that does not end in
// '/', ':' or '\' gets '/'. kOk; kMissingArgument when both are empty;
// kNoMemory (the whole list is then dropped).
Result addPathFilter(const char* from, const char* to);

// Rewrites `path` with the first filter whose drive and directory prefix
// match it; a path no filter matches stays as it was. Directories compare
// exactly but for '\\' and '/', which are the same separator; drives ignore
// case as well.
void applyPathFilters(std::string& path);

// Drops every filter (after each unzip run, whatever its result).
void clearPathFilters();

// The filter list as stored: from|to|from|to...
const std::string& pathFilters();

// Creates the directories of `path` that are missing, outermost first; the
// part after the last separator is a file name and is not created. kOk, or
// kDirectoryFailed at the first directory that cannot be made.
Result createDirectoryTree(const std::string& path);

// True when `path` names an existing directory.
bool directoryExists(const char* path);

}  // namespace zar::extract
