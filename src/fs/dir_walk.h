// Finding files on disk for a zip run: the directory search with its
// attribute allowance, the breadth-first queue of directories still to walk,
// and the list builder that walks the disk for every include specification
// and collects the selected files into the file-list index.
#pragma once

#include <cstdint>
#include <string>

#include "frame/options.h"
#include "frame/result.h"
#include "fs/file_io.h"
#include "fs/file_list.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace zar::fs {

// The attributes a found item may have besides read-only, archive and normal.
inline constexpr uint32_t kAllowHidden = platform::kAttrHidden;
inline constexpr uint32_t kAllowSystem = platform::kAttrSystem;
inline constexpr uint32_t kAllowDirectories = platform::kAttrDirectory;

// True when an item of these attributes passes the allowance: its attributes,
// with read-only, archive and normal removed, must all be allowed (the
// archive bit of the allowance itself counts for nothing).
bool attributesAllowed(uint32_t attributes, uint32_t allowance);

// A directory search that reports only the items that count: allowed
// attributes, and a name (the short one under kZipShortNames, when the item
// has one) that the wildcard matcher accepts for the pattern's file part.
// The search is closed when it runs out and on destruction.
class DiskSearch {
public:
    DiskSearch() = default;
    ~DiskSearch() { close(); }
    DiskSearch(const DiskSearch&) = delete;
    DiskSearch& operator=(const DiskSearch&) = delete;

    // `pattern` is in the OEM code page. False when nothing counts.
    bool first(const std::string& pattern, uint32_t allowance, uint32_t optionFlags);
    bool next();
    void close();

    const platform::FoundItem& item() const { return item_; }
    // The name the item goes by: its short name under kZipShortNames (when it
    // has one), else its name; in the OEM code page.
    const std::string& name() const { return name_; }

private:
    bool counts();
    bool advance(bool found);

    platform::Search* search_ = nullptr;
    platform::FoundItem item_;
    std::string name_;
    std::string filePart_;
    uint32_t allowance_ = 0;
    uint32_t flags_ = 0;
};

// The directories still to be walked, one line each ("sub/dir/" and a line
// feed) in a temporary file, anonymous where the system allows. Lines are
// appended at the end while reading goes on from the front, so the walk is
// breadth-first, and memory stays the same however many directories wait.
class DirectoryQueue {
public:
    static constexpr uint32_t kLineLimit = 259;  // characters per read, line feed included

    // kOk, or kWriteFailed when the file cannot be made.
    Result create();
    // Appends a line; kWriteFailed when the write fails.
    Result push(const std::string& directory);
    // Takes the oldest line (without its line feed): kSomeEntriesFailed when no
    // line feed comes within kLineLimit characters, kShortRead on an empty read.
    Result pop(std::string* directory);
    // The lines pushed and not yet taken.
    uint32_t pending() const { return pending_; }
    void remove();

private:
    TempFile temp_;
    uint32_t readAt_ = 0;
    uint32_t writeAt_ = 0;
    uint32_t pending_ = 0;
};

// Walks the disk for every include specification and adds what the lists
// select to `list` (opened here). The zip flags and dates of `options` choose
// recursion, stored paths, admitted attributes, the archive-bit and date
// filters and long-name expansion. kOk; kNothingDone for an empty include list
// or when nothing was collected; kWriteFailed, kShortRead, kSomeEntriesFailed
// (a queue line without its line feed), kTooMany, kTooLong, kDirectoryFailed
// (long-name expansion), kAccessDenied, kNoMemory. A failed build frees the list.
Result buildFileList(const char* include, const char* exclude, const frame::OptionSet& options, FileList& list);

}  // namespace zar::fs
