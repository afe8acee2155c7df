// Files over POSIX descriptors. The descriptor is the file handle; Windows
// sharing modes have no POSIX counterpart and are not enforced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace zar::platform {

namespace posix {

std::string osName(const char* name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace posix

using posix::faultNow;
using posix::osName;

FileHandle openFile(const char* name, uint32_t access, uint32_t /*share*/, Disposition disposition,
                    uint32_t attributes) {
    if (name == nullptr || *name == '\0') return kInvalidFile;
    int flags = O_CLOEXEC;
    bool reads = access & kAccessRead, writes = access & kAccessWrite;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
        case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
        case Disposition::OpenExisting: break;
        case Disposition::OpenAlways: flags |= O_CREAT; break;
        case Disposition::TruncateExisting: flags |= O_TRUNC; break;
    }
    if ((flags & O_TRUNC) && !writes) return kInvalidFile;
    mode_t mode = (attributes & kAttrReadOnly) ? 0444 : 0666;
    std::string path = osName(name);
    int fd;
    do fd = ::open(path.c_str(), flags, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidFile;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a directory is not a file
        ::close(fd);
        return kInvalidFile;
    }
    return static_cast<FileHandle>(fd);
}

bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || faultNow(Fault::Read)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        ssize_t n = ::read(static_cast<int>(file), out + *done, count - *done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *done += static_cast<uint32_t>(n);
    }
    return true;
}

bool readFileAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || offset > uint64_t{INT64_MAX} || faultNow(Fault::Read)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        ssize_t n = ::pread(static_cast<int>(file), out + *done, count - *done, static_cast<off_t>(offset + *done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *done += static_cast<uint32_t>(n);
    }
    return true;
}

bool writeFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || faultNow(Fault::Write)) return false;
    const auto* in = static_cast<const char*>(buffer);
    while (*done < count) {
        ssize_t n = ::write(static_cast<int>(file), in + *done, count - *done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        *done += static_cast<uint32_t>(n);
    }
    return true;
}

int64_t seekFile(FileHandle file, int64_t offset, SeekFrom from) {
    if (file == kInvalidFile || faultNow(Fault::Seek)) return -1;
    int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    off_t at = ::lseek(static_cast<int>(file), static_cast<off_t>(offset), whence);
    return at < 0 ? -1 : static_cast<int64_t>(at);
}

int64_t fileSize(FileHandle file) {
    struct stat st;
    if (file == kInvalidFile || ::fstat(static_cast<int>(file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool fileStamp(FileHandle file, FileStamp* stamp) {
    struct stat st;
    if (file == kInvalidFile || ::fstat(static_cast<int>(file), &st) != 0) return false;
    stamp->volume = static_cast<uint64_t>(st.st_dev);
    stamp->index = static_cast<uint64_t>(st.st_ino);
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool truncateFile(FileHandle file) {
    if (file == kInvalidFile) return false;
    off_t at = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
    return at >= 0 && ::ftruncate(static_cast<int>(file), at) == 0;
}

bool closeFile(FileHandle file) {
    if (file == kInvalidFile) return false;
    return ::close(static_cast<int>(file)) == 0;
}

bool deleteFile(const char* name) {
    std::string path = osName(name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(path.c_str()) == 0;
}

namespace {

// Copies the regular file `in` (status `st`) from its first byte on to `dst`:
// a new `dst` takes its permissions, and the copy its times. The reads never
// move its position.
bool copyDescriptor(int in, const struct stat& st, const std::string& dst, bool failIfExists) {
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC),
                     st.st_mode & 07777);
    if (out < 0) return false;
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (off_t at = 0;;) {
        ssize_t n = ::pread(in, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        at += n;
        for (ssize_t put = 0; put < n;) {
            ssize_t w = ::write(out, buffer.data() + put, static_cast<size_t>(n - put));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            put += w;
        }
        if (!ok) break;
    }
    if (ok) {  // a copy keeps the time of its original
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(dst.c_str());
    return ok;
}

}  // namespace

bool copyFile(const char* from, const char* to, bool failIfExists) {
    std::string src = osName(from), dst = osName(to);
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    const bool ok = ::fstat(in, &st) == 0 && !S_ISDIR(st.st_mode) && copyDescriptor(in, st, dst, failIfExists);
    ::close(in);
    return ok;
}

bool copyOpenFile(FileHandle from, const char* to, bool failIfExists) {
    struct stat st;
    if (from == kInvalidFile || ::fstat(static_cast<int>(from), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return copyDescriptor(static_cast<int>(from), st, osName(to), failIfExists);
}

bool renameFile(const char* from, const char* to) {
    return ::rename(osName(from).c_str(), osName(to).c_str()) == 0;
}

bool replaceFile(const char* replacement, const char* target) {
    const std::string from = osName(replacement), to = osName(target);
    if (!posix::takeAttributes(from, to)) return false;
    int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    if (!flushed || ::rename(from.c_str(), to.c_str()) != 0) return false;
    // The directory entry itself reaches the disk too.
    std::string directory = to.substr(0, to.find_last_of('/') + 1);
    fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool createDirectory(const char* name) { return ::mkdir(osName(name).c_str(), 0777) == 0; }

bool removeDirectory(const char* name) { return ::rmdir(osName(name).c_str()) == 0; }

void* allocateBlock(size_t size) {
    if (posix::faultNow(Fault::Allocate)) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void freeBlock(void* block) { std::free(block); }

}  // namespace zar::platform
