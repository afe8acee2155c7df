// DOS attributes and file times on POSIX. Read-only follows the owner's write
// bit, directory the file type, hidden a leading dot in the name; the archive
// and system bits live in an extended attribute where the file system keeps
// them (else archive reads as set for files and system as clear).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/file_time.h"
#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

constexpr const char* kDosBitsAttribute = "user.dos.attributes";
constexpr uint32_t kStoredBits = kAttrArchive | kAttrSystem;

bool hiddenName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return base.size() > 1 && base[0] == '.' && base != "..";
}

struct timespec toTimespec(uint64_t fileTime) {
    int64_t ticks = static_cast<int64_t>(fileTime) - kUnixEpochTicks;
    int64_t sec = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --sec;
    }
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

// The times argument of futimens and utimensat that sets the last-write time
// and leaves the last-access time alone.
struct LastWriteOnly {
    struct timespec times[2];
    explicit LastWriteOnly(uint64_t lastWrite) {
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1] = toTimespec(lastWrite);
    }
};

}  // namespace

namespace posix {

uint64_t toFileTime(const struct timespec& ts) {
    return static_cast<uint64_t>(static_cast<int64_t>(ts.tv_sec) * kTicksPerSecond + ts.tv_nsec / 100 +
                                 kUnixEpochTicks);
}

bool takeAttributes(const std::string& path, const std::string& model) {
    struct stat st;
    if (::stat(model.c_str(), &st) != 0) return true;
    if (::chmod(path.c_str(), st.st_mode & 07777) != 0) return false;
    unsigned char stored;
    if (::getxattr(model.c_str(), kDosBitsAttribute, &stored, 1) == 1)
        ::setxattr(path.c_str(), kDosBitsAttribute, &stored, 1, 0);
    return true;
}

bool takeAttributes(int fd, const std::string& model) {
    struct stat st;
    if (::stat(model.c_str(), &st) != 0) return true;
    if (::fchmod(fd, st.st_mode & 07777) != 0) return false;
    unsigned char stored;
    if (::getxattr(model.c_str(), kDosBitsAttribute, &stored, 1) == 1)
        ::fsetxattr(fd, kDosBitsAttribute, &stored, 1, 0);
    return true;
}

uint32_t creationMode(uint32_t attributes, uint32_t permissions) {
    if (permissions != kPermissionsFromAttributes) return permissions & kPermissionBits;
    return (attributes & kAttrReadOnly) ? 0444 : 0666;  // as openFile creates files
}

bool storeNewFileBits(int fd, uint32_t attributes) {
    unsigned char stored = static_cast<unsigned char>(attributes & kStoredBits);
    if (stored == kAttrArchive) return true;  // what a file without the attribute reads as
    return ::fsetxattr(fd, kDosBitsAttribute, &stored, 1, 0) == 0 || errno == ENOTSUP || errno == EPERM ||
           errno == EACCES;
}

uint32_t dosAttributes(const std::string& path, const struct stat& st) {
    uint32_t attributes = 0;
    bool directory = S_ISDIR(st.st_mode);
    if (directory) attributes |= kAttrDirectory;
    if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    if (hiddenName(path)) attributes |= kAttrHidden;
    unsigned char stored = 0;
    if (::getxattr(path.c_str(), kDosBitsAttribute, &stored, 1) == 1)
        attributes |= stored & kStoredBits;
    else if (!directory)
        attributes |= kAttrArchive;
    return attributes;
}

}  // namespace posix

uint32_t fileAttributes(const char* name) {
    std::string path = posix::osName(name);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return kInvalidAttributes;
    return posix::dosAttributes(path, st);
}

bool isDirectory(const char* name) {
    struct stat st;
    return ::stat(posix::osName(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool setFileAttributes(const char* name, uint32_t attributes) {
    std::string path = posix::osName(name);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) return false;
    unsigned char stored = static_cast<unsigned char>(attributes & kStoredBits);
    if (::setxattr(path.c_str(), kDosBitsAttribute, &stored, 1, 0) != 0 && errno != ENOTSUP &&
        errno != EPERM && errno != EACCES)
        return false;  // file systems without extended attributes keep only what the mode holds
    return true;
}

bool fileTime(FileHandle file, uint64_t* lastWrite) {
    struct stat st;
    if (file == kInvalidFile || ::fstat(static_cast<int>(file), &st) != 0) return false;
    *lastWrite = posix::toFileTime(st.st_mtim);
    return true;
}

bool setFileTime(FileHandle file, uint64_t lastWrite) {
    if (file == kInvalidFile) return false;
    const LastWriteOnly times(lastWrite);
    return ::futimens(static_cast<int>(file), times.times) == 0;
}

bool fileTimeOf(const char* name, uint64_t* lastWrite) {
    struct stat st;
    if (::stat(posix::osName(name).c_str(), &st) != 0) return false;
    *lastWrite = posix::toFileTime(st.st_mtim);
    return true;
}

bool setFileTimeOf(const char* name, uint64_t lastWrite) {
    const LastWriteOnly times(lastWrite);
    return ::utimensat(AT_FDCWD, posix::osName(name).c_str(), times.times, 0) == 0;
}

bool hasUnixModes() { return true; }

bool setFileMode(FileHandle file, uint32_t permissions) {
    return file != kInvalidFile && ::fchmod(static_cast<int>(file), permissions & kPermissionBits) == 0;
}

// Linux shows the mask in /proc (since 4.7); umask() would have to change it
// to read it, for a moment in which another thread of the host may create a
// file.
uint32_t fileCreationMask() {
    int fd;
    do fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return kUnknownCreationMask;
    char text[4096];
    ssize_t n;
    do n = ::read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) return kUnknownCreationMask;
    text[n] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (line == nullptr) return kUnknownCreationMask;
    line += 7;
    while (*line == ' ' || *line == '\t') ++line;
    uint32_t mask = 0;
    int digits = 0;
    for (; *line >= '0' && *line <= '7' && digits < 4; ++line, ++digits) mask = mask * 8 + static_cast<uint32_t>(*line - '0');
    return digits > 0 && (*line == '\n' || *line == '\0') ? mask & 0777 : kUnknownCreationMask;
}

bool setFileModeOf(const char* name, uint32_t permissions) {
    return ::chmod(posix::osName(name).c_str(), permissions & kPermissionBits) == 0;
}

bool fileVersion(const char* /*name*/, uint8_t /*version*/[8]) { return false; }

uint64_t currentFileTime() {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return posix::toFileTime(ts);
}

}  // namespace zar::platform
