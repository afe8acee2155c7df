// Entry-name patterns read the way the library reads them, so that what zar
// lists, counts and comments on is what the library's own selection picks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zar::cli {

// '*' runs over any characters ('/' included), '?' is one character, letters
// match without regard to case and '/' matches '\'. A pattern ending in "*.*"
// also matches names without a dot; one ending in "*." only names without one.
bool wildcardMatch(std::string_view name, std::string_view pattern);

bool hasWildcards(std::string_view text);

// The directory part (up to and including the last separator) and the rest.
void splitEntryName(std::string_view name, std::string* directory, std::string* file);

// Include and exclude patterns over entry names. With `recursive`, a pattern
// with a wildcard in its last part also matches below its directory; without,
// the directories must be equal. An exclusion without a directory is tried on
// the file part alone, in every directory. No include pattern selects all.
class Selection {
public:
    Selection(const std::vector<std::string>& include, const std::vector<std::string>& exclude, bool recursive);
    bool selects(std::string_view entryName) const;

private:
    struct Pattern {
        std::string directory, file;
    };
    static Pattern split(const std::string& text);
    bool matches(const std::string& directory, const std::string& file, const Pattern& pattern) const;

    std::vector<Pattern> include_, exclude_;
    bool recursive_;
};

}  // namespace zar::cli
