// Names on POSIX: byte strings compared exactly, that pass through the
// code-page conversions unchanged (UTF-8 stays UTF-8), ASCII-only upper-casing
// (for patterns), absolute paths, and temporary files made by mkstemp.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/posix_internal.h"

namespace zar::platform {

bool namesIgnoreCase() { return false; }

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

std::string makeUniqueFile(const std::string& directory, const char* prefix) {
    std::string pattern = posix::osName(directory.c_str());
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += prefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return {};
    ::close(fd);
    return std::string(name.data());
}

}  // namespace zar::platform
