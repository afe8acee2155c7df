// Names on POSIX: byte strings compared exactly, that pass through the
// code-page conversions unchanged (UTF-8 stays UTF-8), ASCII-only upper-casing
// (for patterns), absolute paths, and temporary files made by mkstemp or, when
// they must get the usual permissions, by exclusive creation under names of
// the same shape.
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include <vector>

#include "platform/posix/posix_internal.h"

namespace zar::platform {

namespace posix {

std::string uniqueName(const std::string& base) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // A sequence seeded once per process with its time and id makes a clash
    // with another process's names rare, and a clash just moves on to the
    // next name.
    static uint64_t state = 0;
    if (state == 0) {
        struct timespec ts;
        ::clock_gettime(CLOCK_REALTIME, &ts);
        state = (static_cast<uint64_t>(ts.tv_sec) << 32 ^ static_cast<uint64_t>(ts.tv_nsec)) ^
                static_cast<uint64_t>(::getpid()) << 16;
    }
    uint64_t bits = state += 0x9E3779B97F4A7C15u;  // splitmix64
    bits = (bits ^ bits >> 30) * 0xBF58476D1CE4E5B9u;
    bits = (bits ^ bits >> 27) * 0x94D049BB133111EBu;
    bits ^= bits >> 31;
    std::string out = base;
    for (int i = 0; i < 6; ++i, bits /= sizeof kLetters - 1) out += kLetters[bits % (sizeof kLetters - 1)];
    return out;
}

}  // namespace posix

bool namesIgnoreCase() { return false; }

bool namesAreUtf8() { return true; }

std::string fullPath(const char* name) {
    std::string path = posix::osName(name);
    if (path.empty() || path[0] != '/') {
        std::vector<char> cwd(4096);
        if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
        path = std::string(cwd.data()) + "/" + path;
    }
    // Fold ".", ".." and repeated separators; a trailing separator is dropped.
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

bool uncPathsNameShares() { return false; }

bool pathsHaveDrives() { return false; }

void ansiToOem(char*) {}
void oemToAnsi(char*) {}

char upperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

void upperCase(char* text) {
    for (; *text; ++text) *text = upperChar(*text);
}

std::string tempDirectory() {
    const char* dir = ::getenv("TMPDIR");
    std::string out = dir && *dir ? dir : "/tmp";
    if (out.back() != '/') out += '/';
    return out;
}

namespace {

// "directory/prefixXXXXXX" with its NUL, for mkostemp and mkdtemp to fill in.
std::vector<char> uniqueNamePattern(const std::string& directory, const char* prefix) {
    std::string pattern = posix::osName(directory.c_str());
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += prefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return name;
}

}  // namespace

std::string makeUniqueFile(const std::string& directory, const char* prefix) {
    std::vector<char> name = uniqueNamePattern(directory, prefix);
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return {};
    ::close(fd);
    return std::string(name.data());
}

std::string makeUniqueDirectory(const std::string& directory, const char* prefix) {
    std::vector<char> name = uniqueNamePattern(directory, prefix);
    // mkdtemp makes the directory with mode 0700, whatever the umask.
    if (::mkdtemp(name.data()) == nullptr) return {};
    return std::string(name.data());
}

FileHandle createUniqueFile(const std::string& directory, const char* prefix, uint32_t attributes,
                            std::string* name, uint32_t permissions) {
    static constexpr int kTries = 100;
    const mode_t mode = posix::creationMode(attributes, permissions);
    std::string base = posix::osName(directory.c_str());
    if (!base.empty() && base.back() != '/') base += '/';
    base += prefix;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = posix::uniqueName(base);
        int fd;
        do fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            if (!posix::storeNewFileBits(fd, attributes)) {
                ::close(fd);
                ::unlink(candidate.c_str());
                return kInvalidFile;
            }
            *name = std::move(candidate);
            return static_cast<FileHandle>(fd);
        }
        if (errno != EEXIST) return kInvalidFile;
    }
    return kInvalidFile;
}

}  // namespace zar::platform
