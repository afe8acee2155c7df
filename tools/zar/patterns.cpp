#include "patterns.h"

#include <cstddef>

namespace zar::cli {
namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameChar(char a, char b) { return (isSeparator(a) && isSeparator(b)) || upper(a) == upper(b); }

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameChar(a[i], b[i])) return false;
    return true;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

bool wildcardMatch(std::string_view name, std::string_view pattern) {
    if (endsWith(pattern, "*.*")) {
        pattern.remove_suffix(2);
    } else if (endsWith(pattern, "*.")) {
        for (size_t i = name.size(); i > 0 && !isSeparator(name[i - 1]); --i)
            if (name[i - 1] == '.') return false;
        pattern.remove_suffix(1);
    }
    // Greedy scan with one point of return, linear in the product of lengths.
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || sameChar(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool hasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

void splitEntryName(std::string_view name, std::string* directory, std::string* file) {
    size_t cut = name.find_last_of("/\\");
    cut = cut == std::string_view::npos ? 0 : cut + 1;
    directory->assign(name.substr(0, cut));
    file->assign(name.substr(cut));
}

Selection::Selection(const std::vector<std::string>& include, const std::vector<std::string>& exclude,
                     bool recursive)
    : recursive_(recursive) {
    for (const std::string& text : include) include_.push_back(split(text));
    for (const std::string& text : exclude) exclude_.push_back(split(text));
}

Selection::Pattern Selection::split(const std::string& text) {
    Pattern pattern;
    splitEntryName(text, &pattern.directory, &pattern.file);
    if (pattern.file.empty()) pattern.file = "*";
    return pattern;
}

bool Selection::matches(const std::string& directory, const std::string& file, const Pattern& pattern) const {
    const bool agree = recursive_ && hasWildcards(pattern.file)
                           ? directory.size() >= pattern.directory.size() &&
                                 sameText(std::string_view(directory).substr(0, pattern.directory.size()),
                                          pattern.directory)
                           : sameText(directory, pattern.directory);
    return agree && wildcardMatch(file, pattern.file);
}

bool Selection::selects(std::string_view entryName) const {
    std::string directory, file;
    splitEntryName(entryName, &directory, &file);
    bool selected = include_.empty();
    for (const Pattern& pattern : include_) {
        if (matches(directory, file, pattern)) {
            selected = true;
            break;
        }
    }
    if (!selected) return false;
    for (const Pattern& pattern : exclude_)
        if (matches(pattern.directory.empty() ? std::string() : directory, file, pattern)) return false;
    return true;
}

}  // namespace zar::cli
