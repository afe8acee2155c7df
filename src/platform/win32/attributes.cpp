// DOS attributes, file times and version resources, as the system keeps them.
#include <windows.h>

#include <vector>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

using win32::osName;
using win32::toHandle;

uint32_t fileAttributes(const char* name) {
    const DWORD attributes = ::GetFileAttributesA(osName(name).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes : win32::dosBits(attributes);
}

bool isDirectory(const char* name) {
    const DWORD attributes = ::GetFileAttributesA(osName(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool setFileAttributes(const char* name, uint32_t attributes) {
    DWORD bits = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    return ::SetFileAttributesA(osName(name).c_str(), bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits) != 0;
}

bool fileTime(FileHandle file, uint64_t* lastWrite) {
    FILETIME written;
    if (file == kInvalidFile || !::GetFileTime(toHandle(file), nullptr, nullptr, &written)) return false;
    *lastWrite = win32::toTicks(written);
    return true;
}

bool setFileTime(FileHandle file, uint64_t lastWrite) {
    const FILETIME written = win32::toFiletime(lastWrite);
    return file != kInvalidFile && ::SetFileTime(toHandle(file), nullptr, nullptr, &written);
}

uint64_t currentFileTime() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return win32::toTicks(now);
}

bool fileTimeOf(const char* name, uint64_t* lastWrite) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(osName(name).c_str(), GetFileExInfoStandard, &data)) return false;
    *lastWrite = win32::toTicks(data.ftLastWriteTime);
    return true;
}

bool setFileTimeOf(const char* name, uint64_t lastWrite) {
    // Backup semantics open directories as well as files.
    HANDLE handle = ::CreateFileA(osName(name).c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const FILETIME written = win32::toFiletime(lastWrite);
    const bool ok = ::SetFileTime(handle, nullptr, nullptr, &written);
    ::CloseHandle(handle);
    return ok;
}

// Windows files carry no Unix permission bits.
bool hasUnixModes() { return false; }
bool setFileMode(FileHandle, uint32_t) { return false; }
bool setFileModeOf(const char*, uint32_t) { return false; }
uint32_t fileCreationMask() { return kUnknownCreationMask; }

bool fileVersion(const char* name, uint8_t version[8]) {
    const std::string path = osName(name);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof *fixed)
        return false;
    const DWORD words[2] = {fixed->dwFileVersionMS, fixed->dwFileVersionLS};
    for (int w = 0; w < 2; ++w)
        for (int b = 0; b < 4; ++b) version[w * 4 + b] = static_cast<uint8_t>(words[w] >> (24 - 8 * b));
    return true;
}

}  // namespace zar::platform
