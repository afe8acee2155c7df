// Directory search on POSIX, in the manner of the Windows search: the last
// component of the pattern is matched against each name ignoring ASCII case,
// "." and ".." are never reported, attributes come as DOS bits, and an item's
// short name is its name, since POSIX has no 8.3 names. Only regular files and
// directories are reported: a device or pipe is nothing a ZIP entry can hold,
// and reading one could block for ever. A link to a directory is reported with
// the reparse-point bit so that walks do not follow it into a loop.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include "platform/posix/posix_internal.h"

namespace zar::platform {

struct Search {
    DIR* dir = nullptr;
    std::string directory;  // OS path of the directory with its final '/', or empty for "."
    std::string pattern;    // upper-cased, after the two DOS conventions below
    bool withoutDot = false;
};

namespace {

// '*' any run, '?' exactly one character; ASCII case is ignored. Linear in
// the product of the lengths: a failed try resumes after the last star only.
bool matchName(const char* name, const std::string& pattern) {
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    size_t length = std::strlen(name);
    while (n < length) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == upperChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool endsWith(const std::string& text, const char* tail) {
    size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Reads entries until one counts; false at the end of the directory.
bool nextItem(Search* search, FoundItem* item) {
    while (struct dirent* entry = ::readdir(search->dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (search->withoutDot && std::strchr(name, '.') != nullptr) continue;
        if (!matchName(name, search->pattern)) continue;

        struct stat st;
        int dirFd = ::dirfd(search->dir);
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        bool link = S_ISLNK(st.st_mode);
        if (link && ::fstatat(dirFd, name, &st, 0) != 0) continue;  // a dangling link
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;

        std::string path = (search->directory.empty() ? std::string("./") : search->directory) + name;
        item->name = name;
        item->shortName = name;
        item->attributes = posix::dosAttributes(path, st);
        if (link && S_ISDIR(st.st_mode)) item->attributes |= kAttrReparsePoint;
        item->size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        item->lastWrite = posix::toFileTime(st.st_mtim);
        item->mode = st.st_mode;
        return true;
    }
    return false;
}

}  // namespace

Search* findFirstFile(const char* pattern, FoundItem* item) {
    if (pattern == nullptr) return nullptr;
    std::string path = posix::osName(pattern);
    size_t slash = path.find_last_of('/');
    auto* search = new Search;
    std::string namePattern;
    if (slash == std::string::npos) {
        namePattern = path;
    } else {
        search->directory = path.substr(0, slash + 1);
        namePattern = path.substr(slash + 1);
    }
    for (char& c : namePattern) c = upperChar(c);
    if (endsWith(namePattern, "*.*")) {
        namePattern.resize(namePattern.size() - 2);  // with or without a dot
    } else if (endsWith(namePattern, "*.")) {
        namePattern.pop_back();  // only names without a dot
        search->withoutDot = true;
    }
    search->pattern = std::move(namePattern);
    if (search->pattern.empty() ||
        (search->dir = ::opendir(search->directory.empty() ? "." : search->directory.c_str())) == nullptr ||
        !nextItem(search, item)) {
        findClose(search);
        return nullptr;
    }
    return search;
}

bool findNextFile(Search* search, FoundItem* item) { return search != nullptr && nextItem(search, item); }

void findClose(Search* search) {
    if (search == nullptr) return;
    if (search->dir != nullptr) ::closedir(search->dir);
    delete search;
}

}  // namespace zar::platform
