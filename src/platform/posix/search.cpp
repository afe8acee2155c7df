// Directory search on POSIX, in the manner of the Windows search: the last
// component of the pattern is matched against each name ignoring ASCII case,
// "." and ".." are never reported, attributes come as DOS bits, and an item's
// short name is its name, since POSIX has no 8.3 names. Only regular files and
// directories are reported: a device or pipe is nothing a ZIP entry can hold,
// and reading one could block for ever. Symbolic links are followed and
// reported as what they lead to, marked as links and with the target's
// identity, so that a walk can tell a loop for itself; a link that leads
// nowhere is reported as a broken link rather than passed over unseen.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
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
        const bool link = S_ISLNK(st.st_mode);
        struct stat target;
        const bool broken = link && ::fstatat(dirFd, name, &target, 0) != 0;
        if (link && !broken) st = target;
        if (!broken && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;

        std::string path = (search->directory.empty() ? std::string("./") : search->directory) + name;
        *item = FoundItem{};
        item->name = name;
        item->shortName = name;
        item->attributes = posix::dosAttributes(path, st);
        item->link = link;
        item->brokenLink = broken;
        if (broken) return true;
        item->size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        item->lastWrite = posix::toFileTime(st.st_mtim);
        item->mode = st.st_mode;
        item->identity = identityOf(st);
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

// Climbs by "..", which the kernel resolves on the directory reached rather
// than on the path's text. The root is its own parent.
std::vector<FileIdentity> directoryAncestry(const char* name) {
#ifdef O_PATH
    constexpr int kLookOnly = O_PATH | O_DIRECTORY | O_CLOEXEC;  // no read permission needed
#else
    constexpr int kLookOnly = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    constexpr size_t kDeepest = 4096;  // more levels than any path the system takes
    std::vector<FileIdentity> out;
    if (name == nullptr) return out;
    std::string path = posix::osName(name);
    int fd = ::open(path.empty() ? "." : path.c_str(), kLookOnly);
    while (fd >= 0 && out.size() < kDeepest) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || (!out.empty() && out.back() == identityOf(st))) break;
        out.push_back(identityOf(st));
        int parent = ::openat(fd, "..", kLookOnly);
        ::close(fd);
        fd = parent;
    }
    if (fd >= 0) ::close(fd);
    return out;
}

}  // namespace zar::platform
