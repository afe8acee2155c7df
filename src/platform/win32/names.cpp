// Names on Windows: in the ANSI code page, compared ignoring case by the file
// system; the OEM conversions and upper-casing of the system; full paths;
// temporary files and directories with unique names.
#include <windows.h>

#include <vector>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

namespace win32 {

std::string uniqueName(const std::string& base) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // A sequence seeded once per process with its time and id makes a clash
    // with another process's names rare, and a clash just moves on to the
    // next name. Letters of one case only: the file system ignores case.
    static uint64_t state = 0;
    if (state == 0) {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        state = toTicks(now) ^ static_cast<uint64_t>(::GetCurrentProcessId()) << 40;
    }
    uint64_t bits = state += 0x9E3779B97F4A7C15u;  // splitmix64
    bits = (bits ^ bits >> 30) * 0xBF58476D1CE4E5B9u;
    bits = (bits ^ bits >> 27) * 0x94D049BB133111EBu;
    bits ^= bits >> 31;
    std::string out = base;
    for (int i = 0; i < 6; ++i, bits /= sizeof kLetters - 1) out += kLetters[bits % (sizeof kLetters - 1)];
    return out;
}

}  // namespace win32

using win32::osName;

bool namesIgnoreCase() { return true; }

bool namesAreUtf8() { return false; }

std::string fullPath(const char* name) {
    const std::string path = osName(name);
    char buffer[MAX_PATH];
    DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0) return path;
    if (n < sizeof buffer) return std::string(buffer, n);
    std::vector<char> longer(n);
    n = ::GetFullPathNameA(path.c_str(), n, longer.data(), nullptr);
    return n == 0 || n >= longer.size() ? path : std::string(longer.data(), n);
}

bool uncPathsNameShares() { return true; }

bool pathsHaveDrives() { return true; }

void ansiToOem(char* text) { ::CharToOemBuffA(text, text, static_cast<DWORD>(std::char_traits<char>::length(text))); }

void oemToAnsi(char* text) { ::OemToCharBuffA(text, text, static_cast<DWORD>(std::char_traits<char>::length(text))); }

void upperCase(char* text) { ::CharUpperBuffA(text, static_cast<DWORD>(std::char_traits<char>::length(text))); }

char upperChar(char c) {
    ::CharUpperBuffA(&c, 1);
    return c;
}

std::string tempDirectory() {
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) return {};
    std::string out(buffer, n);
    if (out.back() != '\\') out += '\\';
    return out;
}

std::string makeUniqueFile(const std::string& directory, const char* prefix) {
    // The system picks the number and creates the empty file at once.
    char name[MAX_PATH];
    const std::string where = directory.empty() ? std::string(".") : osName(directory.c_str());
    if (::GetTempFileNameA(where.c_str(), prefix, 0, name) == 0) return {};
    return name;
}

namespace {

std::string uniqueBase(const std::string& directory, const char* prefix) {
    std::string base = osName(directory.c_str());
    if (!base.empty() && base.back() != '\\' && base.back() != ':') base += '\\';
    return base + prefix;
}

}  // namespace

std::string makeUniqueDirectory(const std::string& directory, const char* prefix) {
    static constexpr int kTries = 100;
    const std::string base = uniqueBase(directory, prefix);
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = win32::uniqueName(base);
        // The new directory takes the permissions of the temporary directory,
        // which is the user's own.
        if (::CreateDirectoryA(candidate.c_str(), nullptr)) return candidate;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

FileHandle createUniqueFile(const std::string& directory, const char* prefix, uint32_t attributes,
                            std::string* name, uint32_t /*permissions*/) {
    static constexpr int kTries = 100;
    const std::string base = uniqueBase(directory, prefix);
    DWORD flags = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = win32::uniqueName(base);
        // Shared for deleting only, as the library's own files are (kShareDelete).
        HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            *name = std::move(candidate);
            return win32::fromHandle(handle);
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return kInvalidFile;
    }
    return kInvalidFile;
}

}  // namespace zar::platform
