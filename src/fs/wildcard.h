// Whether a name is one the host asked for: the wildcard matcher, the match of
// a name against one file specification, and the selection by an include and
// an exclude list. Used when extracting, deleting and adding.
#pragma once

#include <string>
#include <vector>

#include "fs/names.h"

namespace zar::fs {

// Matches ignoring case. '*' matches any run of characters, none and
// separators included; '?' exactly one character; '\' and '/' match each
// other. Two DOS conventions: a pattern ending in "*." matches only names whose
// last component has no '.', and one ending in "*.*" matches names with or
// without a dot. Time is bounded by the product of the two lengths.
bool wildcardMatch(const char* name, const char* pattern);

// True when `text` holds '*' or '?'.
bool hasWildcards(const std::string& text);

// The specifications of a list: separated by blanks (every character up to
// and including code 32), a specification that begins with a double quote
// running to the next one and keeping its blanks.
std::vector<std::string> splitSpecifications(const char* list);

// One specification, split: its directory part ('/'-separated, drive left
// out) and its file part ("*" when empty). Held in the OEM code page.
struct FileSpec {
    std::string directory;
    std::string file;
};

// A parsed list of specifications, parsed once and matched many times: of
// stored names (extracting, deleting) or of paths of this machine (adding).
class SpecList {
public:
    SpecList() = default;
    // Each specification is converted to OEM and split as `kind` says.
    explicit SpecList(const char* list, PathKind kind = PathKind::Stored);
    bool empty() const { return specs_.empty(); }
    const std::vector<FileSpec>& specs() const { return specs_; }
    std::vector<FileSpec>& specs() { return specs_; }
    PathKind kind() const { return kind_; }

private:
    std::vector<FileSpec> specs_;
    PathKind kind_ = PathKind::Stored;
};

// The match of an entry's directory and file name against one specification.
// Recursing with a wildcarded file part, a file specification's directory must
// begin the entry's (an empty one begins every directory); otherwise the two
// must be equal. Directories compare ignoring case with '\' read as '/'.
bool matchSpec(const std::string& entryDirectory, const std::string& entryFile, const FileSpec& spec,
               bool recursive);

// Selection: the first include specification that matches selects (an empty
// include list selects nothing); then the first matching exclude specification
// deselects, where one without a directory part matches the file name in every
// directory. With `skipRegistered`, the library's own temporary files and open
// archives are never selected. `fullName` is the entry's whole name, split
// as the include list's specifications were.
bool select(const std::string& fullName, const SpecList& include, const SpecList& exclude, bool recursive,
            bool skipRegistered);

}  // namespace zar::fs
