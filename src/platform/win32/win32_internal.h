// Helpers shared by the files of the Win32 backend.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zar::platform::win32 {

// A kernel handle as the library's 32-bit file handle and back. Kernel
// handles carry 32 significant bits on 64-bit Windows too, so they may be
// truncated and sign-extended; INVALID_HANDLE_VALUE becomes kInvalidFile.
inline FileHandle fromHandle(HANDLE handle) {
    return static_cast<FileHandle>(reinterpret_cast<uintptr_t>(handle));
}
inline HANDLE toHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(file)));
}

// The name as the system takes it: '/' separators become '\'.
std::string osName(const char* name);

// The directory part of an OS name, with its final '\'; empty for none.
std::string directoryOf(const std::string& path);

// `base` followed by six letters or digits, a new choice at every call: a
// candidate for a unique name, which clashes only with a file left by another
// run or process.
std::string uniqueName(const std::string& base);

// FILETIME as one 64-bit count and back.
inline uint64_t toTicks(const FILETIME& ft) {
    return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}
inline FILETIME toFiletime(uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// The DOS bits of a Win32 attribute word (the others, like "not indexed", are
// the system's business).
inline uint32_t dosBits(DWORD attributes) {
    return attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
}

// True when a test asked this call of `kind` to fail (see failNthCall).
bool faultNow(Fault kind);

// The dialog a test put in place of the message box, or null.
DialogOverride dialogOverride();

// True while a test refuses anonymous files (see refuseAnonymousFiles).
bool anonymousFilesRefused();

}  // namespace zar::platform::win32
