// Anonymous files. On Linux they are O_TMPFILE files: made in their directory
// without a name, gone with their last descriptor however the process ends,
// and given a name with linkat when they are to stay. Other POSIX systems, and
// volumes whose file system has no such files (EOPNOTSUPP; EISDIR or EINVAL
// from kernels that do not know the flag), have none: createAnonymousFile
// fails there and the library makes named files instead.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

#if defined(O_TMPFILE) && defined(__linux__)

using posix::osName;

// The directory as the file system takes it; "." for an empty one.
std::string directoryPath(const std::string& directory) {
    std::string path = osName(directory.c_str());
    return path.empty() ? "." : path;
}

int openDirectory(const std::string& path) {
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// linkat's AT_EMPTY_PATH names a descriptor's file directly, but kernels
// before 6.10 allow it only to callers that may search every directory
// (CAP_DAC_READ_SEARCH) and answer ENOENT to others. The descriptor's link in
// /proc names the same file to any caller, where /proc is mounted.
bool emptyPathRefused = false;

int linkDescriptor(int fd, int directory, const char* name) {
    if (!emptyPathRefused && !posix::namingThroughProcOnly()) {
        if (::linkat(fd, "", directory, name, AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return -1;
        // Without the privilege; or the file is no anonymous file to be named,
        // which the second way finds out as well.
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), directory, name, AT_SYMLINK_FOLLOW) == 0) {
        emptyPathRefused = !posix::namingThroughProcOnly();
        return 0;
    }
    return -1;
}

// Links the anonymous file `fd` into the open `directory` under a new unique
// name beginning with `prefix`: the name (without the directory), or empty.
std::string linkUnique(int fd, int directory, const char* prefix) {
    if (posix::faultNow(Fault::Name)) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string leaf = posix::uniqueName(prefix);
        if (linkDescriptor(fd, directory, leaf.c_str()) == 0) return leaf;
        if (errno != EEXIST) return {};
    }
    return {};
}

#endif

}  // namespace

FileHandle createAnonymousFile(const std::string& directory, const char* /*prefix*/, uint32_t attributes,
                               bool toBeNamed, std::string* name, uint32_t permissions) {
    name->clear();
#if defined(O_TMPFILE) && defined(__linux__)
    if (posix::anonymousFilesRefused()) return kInvalidFile;
    const bool personal = attributes == kPrivateFile;
    const mode_t mode = personal ? 0600 : posix::creationMode(attributes, permissions);
    // O_EXCL keeps a file that is never to be named from ever getting one.
    const int flags = O_TMPFILE | O_RDWR | O_CLOEXEC | (toBeNamed ? 0 : O_EXCL);
    const std::string path = directoryPath(directory);
    int fd;
    do fd = ::open(path.c_str(), flags, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidFile;  // EOPNOTSUPP, EISDIR, EINVAL: no anonymous files here
    if (!personal && !posix::storeNewFileBits(fd, attributes)) {
        ::close(fd);
        return kInvalidFile;
    }
    return static_cast<FileHandle>(fd);
#else
    (void)directory, (void)attributes, (void)toBeNamed, (void)permissions;
    return kInvalidFile;
#endif
}

std::string nameAnonymousFile(FileHandle file, const std::string& directory, const char* prefix) {
#if defined(O_TMPFILE) && defined(__linux__)
    if (file == kInvalidFile) return {};
    std::string path = directoryPath(directory);
    int at = openDirectory(path);
    if (at < 0) return {};
    std::string leaf = linkUnique(static_cast<int>(file), at, prefix);
    ::close(at);
    if (leaf.empty()) return {};
    if (path.back() != '/') path += '/';
    return path + leaf;
#else
    (void)file, (void)directory, (void)prefix;
    return {};
#endif
}

bool linkAnonymousFile(FileHandle file, const char* name) {
#if defined(O_TMPFILE) && defined(__linux__)
    if (file == kInvalidFile || posix::faultNow(Fault::Name)) return false;
    return linkDescriptor(static_cast<int>(file), AT_FDCWD, osName(name).c_str()) == 0;
#else
    (void)file, (void)name;
    return false;
#endif
}

bool replaceWithAnonymousFile(FileHandle replacement, const char* prefix, const char* target) {
#if defined(O_TMPFILE) && defined(__linux__)
    if (replacement == kInvalidFile) return false;
    const int fd = static_cast<int>(replacement);
    const std::string to = osName(target);
    // Everything that takes time happens before the file has a name: a run
    // killed meanwhile leaves nothing behind.
    if (!posix::takeAttributes(fd, to) || ::fsync(fd) != 0) return false;
    const int at = openDirectory(directoryPath(to.substr(0, to.find_last_of('/') + 1)));
    if (at < 0) return false;
    const std::string leaf = linkUnique(fd, at, prefix);
    bool ok = !leaf.empty();
    if (ok && ::renameat(at, leaf.c_str(), AT_FDCWD, to.c_str()) != 0) {
        ::unlinkat(at, leaf.c_str(), 0);
        ok = false;
    }
    if (ok) ::fsync(at);  // the directory entry itself reaches the disk too
    ::close(at);
    return ok;
#else
    (void)replacement, (void)prefix, (void)target;
    return false;
#endif
}

}  // namespace zar::platform
