#include "fs/names.h"

#include <cstring>

#include "platform/platform.h"

namespace zar::fs {
namespace {

// The comparison form: ANSI code page, upper case.
std::string comparable(const char* name, size_t limit) {
    std::string out(name, strnlen(name, limit));
    platform::oemToAnsi(out.data());
    platform::upperCase(out.data());
    return out;
}

void assign(std::string* out, const std::string& value) {
    if (out != nullptr) *out = value;
}

}  // namespace

bool namesEqual(const char* a, const char* b) {
    return comparable(a, std::strlen(a)) == comparable(b, std::strlen(b));
}

bool sameFileName(const char* a, const char* b) {
    return platform::namesIgnoreCase() ? namesEqual(a, b) : std::strcmp(a, b) == 0;
}

bool namesEqualN(const char* a, const char* b, size_t n) { return comparable(a, n) == comparable(b, n); }

std::string ansiForm(std::string text) {
    platform::oemToAnsi(text.data());
    return text;
}

std::string oemForm(std::string text) {
    platform::ansiToOem(text.data());
    return text;
}

bool beginsWithDrive(const std::string& path, PathKind kind) {
    return path.size() >= 2 && path[1] == ':' && (kind == PathKind::Stored || platform::pathsHaveDrives());
}

void splitPath(const char* path, std::string* drive, std::string* directory, std::string* name,
               std::string* extension, PathKind kind) {
    std::string p(path);
    size_t rest = 0;
    if (p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1])) {
        // \\server\share: the drive ends at the separator after the share.
        size_t server = p.find_first_of("\\/", 2);
        rest = server == std::string::npos ? p.size() : p.find_first_of("\\/", server + 1);
        if (rest == std::string::npos) rest = p.size();
    } else if (beginsWithDrive(p, kind)) {
        rest = 2;
    }
    assign(drive, p.substr(0, rest));
    size_t lastSeparator = p.find_last_of("\\/");
    size_t fileStart = lastSeparator == std::string::npos || lastSeparator < rest ? rest : lastSeparator + 1;
    assign(directory, p.substr(rest, fileStart - rest));
    std::string file = p.substr(fileStart);
    size_t dot = file.find_last_of('.');
    if (dot == std::string::npos) dot = file.size();
    assign(name, file.substr(0, dot));
    assign(extension, file.substr(dot));
}

void splitName(const char* path, std::string* drive, std::string* directory, std::string* name, PathKind kind) {
    std::string base, extension;
    splitPath(path, drive, directory, &base, &extension, kind);
    assign(name, base + extension);
}

std::string joinPath(const char* drive, const char* directory, const char* name, const char* extension) {
    std::string out;
    if (drive) out += drive;
    if (directory) out += directory;
    if (name) out += name;
    if (extension && *extension) {
        if (*extension != '.') out += '.';
        out += extension;
    }
    return out;
}

}  // namespace zar::fs
