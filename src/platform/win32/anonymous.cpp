// Anonymous files. Windows files always have a name: a scratch file gets a
// unique one and is made delete-on-close, so the system removes it when its
// handle closes, however the process ends. A file that is to be named later
// cannot be one (delete-on-close cannot be taken back): the callers make a
// named temporary file for those.
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

FileHandle createAnonymousFile(const std::string& directory, const char* prefix, uint32_t attributes,
                               bool toBeNamed, std::string* name, uint32_t /*permissions*/) {
    static constexpr int kTries = 100;
    name->clear();
    if (toBeNamed || win32::anonymousFilesRefused()) return kInvalidFile;
    std::string base = win32::osName(directory.c_str());
    if (!base.empty() && base.back() != '\\' && base.back() != ':') base += '\\';
    base += prefix;
    DWORD flags = attributes == kPrivateFile ? 0 : attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem);
    flags |= FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = win32::uniqueName(base);
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

std::string nameAnonymousFile(FileHandle, const std::string&, const char*) { return {}; }

bool linkAnonymousFile(FileHandle, const char*) { return false; }

bool replaceWithAnonymousFile(FileHandle, const char*, const char*) { return false; }

}  // namespace zar::platform
