#include "fs/wildcard.h"

#include <cstdint>
#include <cstring>

#include "fs/names.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace zar::fs {
namespace {

bool sameChar(char a, char b) {
    if (isSeparator(a) && isSeparator(b)) return true;
    return platform::upperChar(a) == platform::upperChar(b);
}

bool endsWith(const char* text, size_t length, const char* tail) {
    size_t n = std::strlen(tail);
    return length >= n && std::memcmp(text + length - n, tail, n) == 0;
}

std::string slashes(const std::string& directory) {
    std::string out = directory;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace

bool wildcardMatch(const char* name, const char* pattern) {
    size_t patternLength = std::strlen(pattern);
    size_t nameLength = std::strlen(name);
    if (endsWith(pattern, patternLength, "*.*")) {
        patternLength -= 2;  // with or without a dot
    } else if (endsWith(pattern, patternLength, "*.")) {
        // Only names whose last component has no dot.
        for (size_t i = nameLength; i > 0 && !isSeparator(name[i - 1]); --i)
            if (name[i - 1] == '.') return false;
        patternLength -= 1;
    }

    // Greedy scan with one point of return: after a failed try the last star
    // absorbs one more character. This finds a match whenever one exists and
    // never backtracks further, so the time stays within the product of the
    // lengths whatever the pattern.
    size_t n = 0, p = 0, starP = SIZE_MAX, starN = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < patternLength && (pattern[p] == '?' || sameChar(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == '*') ++p;
    return p == patternLength;
}

bool hasWildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

std::vector<std::string> splitSpecifications(const char* list) {
    std::vector<std::string> out;
    if (list == nullptr) return out;
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const char* at = list;
    while (*at != '\0') {
        if (blank(*at)) {
            ++at;
        } else if (*at == '"') {
            const char* end = std::strchr(at + 1, '"');
            if (end == nullptr) end = at + std::strlen(at);
            if (end > at + 1) out.emplace_back(at + 1, end);
            at = *end == '\0' ? end : end + 1;
        } else {
            const char* end = at;
            while (*end != '\0' && !blank(*end)) ++end;
            out.emplace_back(at, end);
            at = end;
        }
    }
    return out;
}

SpecList::SpecList(const char* list, PathKind kind) : kind_(kind) {
    for (std::string& text : splitSpecifications(list)) {
        platform::ansiToOem(text.data());
        FileSpec spec;
        splitName(text.c_str(), nullptr, &spec.directory, &spec.file, kind);
        spec.directory = slashes(spec.directory);
        if (spec.file.empty()) spec.file.push_back('*');
        specs_.push_back(std::move(spec));
    }
}

bool matchSpec(const std::string& entryDirectory, const std::string& entryFile, const FileSpec& spec,
               bool recursive) {
    std::string entry = slashes(entryDirectory);
    std::string own = slashes(spec.directory);
    bool agree = recursive && hasWildcards(spec.file) ? namesEqualN(own.c_str(), entry.c_str(), own.size())
                                                       : namesEqual(own.c_str(), entry.c_str());
    return agree && wildcardMatch(entryFile.c_str(), spec.file.c_str());
}

bool select(const std::string& fullName, const SpecList& include, const SpecList& exclude, bool recursive,
            bool skipRegistered) {
    std::string directory, file;
    splitName(fullName.c_str(), nullptr, &directory, &file, include.kind());
    bool selected = false;
    for (const FileSpec& spec : include.specs()) {
        if (matchSpec(directory, file, spec, recursive)) {
            selected = true;
            break;
        }
    }
    if (!selected) return false;
    for (const FileSpec& spec : exclude.specs()) {
        bool hit = spec.directory.empty() ? matchSpec("", file, spec, recursive)
                                          : matchSpec(directory, file, spec, recursive);
        if (hit) return false;
    }
    if (skipRegistered && !tempRegistry().empty() && isRegisteredTempFile(fullName.c_str())) return false;
    return true;
}

}  // namespace zar::fs
