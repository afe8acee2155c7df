// Output paths of extraction: the host's path filters, which send restored
// directory trees elsewhere, and the creation of an output path's directories.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "frame/result.h"

namespace zar::extract {

// Adds one filter pair; either part may be null. A part that does not end in
// '/' or '\' gets '/', unless it is a drive alone: a from part "C:" (the drive
// of stored names), or where paths have drives any part ending in ':'. kOk;
// kMissingArgument when both are empty; kNoMemory (the whole list is then
// dropped).
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
// part after the last separator is a file name and is not created, and
// neither is a drive: the first `storedDrive` characters, a drive kept from
// a stored name ("C:" under -.D), nor where paths have drives a component
// ending in ':'. Elsewhere "out:" is a directory like any other. kOk, or
// kDirectoryFailed at the first directory that cannot be made.
Result createDirectoryTree(const std::string& path, size_t storedDrive = 0);

// True when `path` names an existing directory.
bool directoryExists(const char* path);

// What one extraction run knows of its output tree: the directories it has
// found or made, and the files it has placed in the directories it made. A
// directory found once is not looked for again, and a name in a directory
// the run made is free unless the run itself placed something there: only
// another process could have, which placing the file without replacing
// anything (TempFile::linkNew) still finds out. Paths are compared as they
// are spelled, so another spelling of the same item is merely looked up.
class OutputTree {
public:
    // createDirectoryTree, skipping the directories already known.
    Result makeDirectories(const std::string& path, size_t storedDrive = 0);
    // True when no file or directory of that name can stand at `path` unless
    // another process put it there during the run.
    bool knownFree(const std::string& path) const;
    // A file now stands at `path`.
    void placed(const std::string& path);

private:
    // True when the directory part of `path` (up to its last separator) is
    // one of made_; remembered for the directory asked about last, since
    // entries come grouped by directory.
    bool inMadeDirectory(const std::string& path) const;
    // The names in directories of made_ that the run used (its directories
    // and the files it placed), kept as 64-bit hashes in one open-addressed
    // table: a name that shares the hash of a used one is merely looked up.
    bool taken(std::string_view path) const;
    void take(std::string_view path);
    void insertHash(uint64_t hash);

    std::unordered_set<std::string> found_;  // directories that exist, made ones included
    std::unordered_set<std::string> made_;   // directories this run made
    std::vector<uint64_t> takenSlots_;       // 0 is an empty slot; at most half are used
    size_t takenCount_ = 0;
    mutable std::string lastDirectory_;
    mutable bool lastDirectoryMade_ = false;
};

}  // namespace zar::extract
