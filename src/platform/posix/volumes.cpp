// Volumes on POSIX. A "drive" is the file system that holds a path; every
// drive is fixed, except the directories named in ZARLIB_REMOVABLE (separated
// by ':'), which act as removable drives whose label is kept in a small file
// at their root. Free space comes from statvfs, capped to 32 bits.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

constexpr const char* kLabelFile = ".volume-label";
constexpr size_t kLabelLimit = 32;

// The removable root that holds `path`, or empty.
std::string removableRoot(const char* path) {
    const char* list = ::getenv("ZARLIB_REMOVABLE");
    if (list == nullptr || *list == '\0') return {};
    std::string full = fullPath(path);
    std::string entries(list);
    size_t at = 0;
    while (at <= entries.size()) {
        size_t end = entries.find(':', at);
        if (end == std::string::npos) end = entries.size();
        std::string entry = entries.substr(at, end - at);
        at = end + 1;
        if (entry.empty()) continue;
        std::string root = fullPath(entry.c_str());
        if (full == root || (full.size() > root.size() && full.compare(0, root.size(), root) == 0 &&
                             (root == "/" || full[root.size()] == '/')))
            return root;
    }
    return {};
}

// The nearest existing directory at or above `path`, for statvfs.
std::string existingAncestor(const char* path) {
    std::string dir = fullPath(path);
    while (dir.size() > 1 && ::access(dir.c_str(), F_OK) != 0) {
        size_t slash = dir.find_last_of('/');
        dir = slash == 0 ? "/" : dir.substr(0, slash);
    }
    return dir;
}

}  // namespace

DriveType driveType(const char* path) {
    return removableRoot(path).empty() ? DriveType::Fixed : DriveType::Removable;
}

bool freeSpace(const char* path, uint32_t* bytes) {
    struct statvfs vfs;
    if (::statvfs(existingAncestor(path).c_str(), &vfs) != 0) return false;
    unsigned long long room = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
    *bytes = room > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(room);
    return true;
}

bool volumeLabel(const char* path, std::string* label) {
    label->clear();
    std::string root = removableRoot(path);
    if (root.empty()) return true;  // fixed drives carry no label here
    FILE* f = std::fopen((root + "/" + kLabelFile).c_str(), "rb");
    if (f == nullptr) return true;  // an unlabelled disk
    char buffer[kLabelLimit + 1] = {};
    size_t n = std::fread(buffer, 1, kLabelLimit, f);
    std::fclose(f);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) --n;
    label->assign(buffer, n);
    return true;
}

bool setVolumeLabel(const char* path, const char* label) {
    std::string root = removableRoot(path);
    if (root.empty() || std::strlen(label) > kLabelLimit) return false;
    std::string name = root + "/" + kLabelFile;
    FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fputs(label, f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// POSIX has one root and no drive letters: it stands for drive C.
char currentDriveLetter() { return 'C'; }

}  // namespace zar::platform
