// Files over Win32 handles, with the sharing modes the callers ask for: an
// archive open for writing cannot be opened for writing a second time.
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

namespace win32 {

std::string osName(const char* name) {
    std::string out(name);
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string directoryOf(const std::string& path) {
    size_t at = path.find_last_of("\\:");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

}  // namespace win32

using win32::faultNow;
using win32::fromHandle;
using win32::osName;
using win32::toHandle;

FileHandle openFile(const char* name, uint32_t access, uint32_t share, Disposition disposition,
                    uint32_t attributes) {
    if (name == nullptr || *name == '\0') return kInvalidFile;
    // The access, sharing and disposition values are the system's own.
    DWORD flags = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
    HANDLE handle = ::CreateFileA(osName(name).c_str(), access & kAccessReadWrite, share & (kShareReadWrite | kShareDelete),
                                  nullptr, static_cast<DWORD>(disposition), flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kInvalidFile : fromHandle(handle);
}

bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || faultNow(Fault::Read)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        DWORD n = 0;
        if (!::ReadFile(toHandle(file), out + *done, count - *done, &n, nullptr)) return false;
        if (n == 0) break;
        *done += n;
    }
    return true;
}

bool readFileAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || faultNow(Fault::Read)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        const uint64_t at = offset + *done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        if (!::ReadFile(toHandle(file), out + *done, count - *done, &n, &where))
            return ::GetLastError() == ERROR_HANDLE_EOF;
        if (n == 0) break;
        *done += n;
    }
    return true;
}

bool writeFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == kInvalidFile || faultNow(Fault::Write)) return false;
    const auto* in = static_cast<const char*>(buffer);
    while (*done < count) {
        DWORD n = 0;
        if (!::WriteFile(toHandle(file), in + *done, count - *done, &n, nullptr) || n == 0) return false;
        *done += n;
    }
    return true;
}

int64_t seekFile(FileHandle file, int64_t offset, SeekFrom from) {
    if (file == kInvalidFile || faultNow(Fault::Seek)) return -1;
    DWORD method = from == SeekFrom::Begin ? FILE_BEGIN : from == SeekFrom::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance, at;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(toHandle(file), distance, &at, method)) return -1;
    return at.QuadPart;
}

int64_t fileSize(FileHandle file) {
    LARGE_INTEGER size;
    if (file == kInvalidFile || !::GetFileSizeEx(toHandle(file), &size)) return -1;
    return size.QuadPart;
}

bool fileStamp(FileHandle file, FileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (file == kInvalidFile || !::GetFileInformationByHandle(toHandle(file), &info) ||
        !::GetFileInformationByHandleEx(toHandle(file), FileBasicInfo, &basic, sizeof basic))
        return false;
    stamp->volume = info.dwVolumeSerialNumber;
    stamp->index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    stamp->size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    stamp->changed = basic.ChangeTime.QuadPart;
    stamp->modified = basic.LastWriteTime.QuadPart;
    return true;
}

bool truncateFile(FileHandle file) { return file != kInvalidFile && ::SetEndOfFile(toHandle(file)); }

bool closeFile(FileHandle file) { return file != kInvalidFile && ::CloseHandle(toHandle(file)); }

bool deleteFile(const char* name) { return ::DeleteFileA(osName(name).c_str()) != 0; }

namespace {

// The system refuses to write over a hidden or system file that the writer
// does not name as such: those bits of an existing target are taken off for
// the copy and put back afterwards, on the new bytes or, if the copy fails,
// on what is left. A read-only target still refuses the copy.
template <class Copy>
bool overwriteKeepingAttributes(const std::string& target, Copy copy) {
    constexpr DWORD kGuarding = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD kept = ::GetFileAttributesA(target.c_str());
    const bool guarded = kept != INVALID_FILE_ATTRIBUTES && (kept & kGuarding) && !(kept & FILE_ATTRIBUTE_READONLY);
    if (guarded && !::SetFileAttributesA(target.c_str(), kept & ~kGuarding)) return false;
    const bool ok = copy();
    if (guarded && ::GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesA(target.c_str(), kept);
    return ok;
}

}  // namespace

bool copyFile(const char* from, const char* to, bool failIfExists) {
    const std::string source = osName(from), target = osName(to);
    if (failIfExists) return ::CopyFileA(source.c_str(), target.c_str(), TRUE) != 0;
    return overwriteKeepingAttributes(target, [&] { return ::CopyFileA(source.c_str(), target.c_str(), FALSE) != 0; });
}

namespace {

// copyOpenFile to a name in the system's form, created as `disposition` says.
bool copyHandle(HANDLE in, const std::string& target, DWORD disposition) {
    FILETIME written;
    LARGE_INTEGER none{}, position;
    if (!::GetFileTime(in, nullptr, nullptr, &written) || !::SetFilePointerEx(in, none, &position, FILE_CURRENT))
        return false;
    HANDLE out = ::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    // Positioned reads; the handle's own position is put back afterwards.
    static constexpr DWORD kPiece = 1 << 16;
    char* buffer = static_cast<char*>(::HeapAlloc(::GetProcessHeap(), 0, kPiece));
    bool ok = buffer != nullptr;
    for (uint64_t at = 0; ok;) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        if (!::ReadFile(in, buffer, kPiece, &n, &where)) {
            ok = ::GetLastError() == ERROR_HANDLE_EOF;
            break;
        }
        if (n == 0) break;
        DWORD put = 0;
        ok = ::WriteFile(out, buffer, n, &put, nullptr) && put == n;
        at += n;
    }
    if (buffer != nullptr) ::HeapFree(::GetProcessHeap(), 0, buffer);
    ::SetFilePointerEx(in, position, nullptr, FILE_BEGIN);
    if (ok) ::SetFileTime(out, nullptr, nullptr, &written);  // a copy keeps the time of its original
    if (!::CloseHandle(out)) ok = false;
    if (!ok) ::DeleteFileA(target.c_str());
    return ok;
}

}  // namespace

bool copyOpenFile(FileHandle from, const char* to, bool failIfExists) {
    if (from == kInvalidFile) return false;
    const std::string target = osName(to);
    if (failIfExists) return copyHandle(toHandle(from), target, CREATE_NEW);
    return overwriteKeepingAttributes(target, [&] { return copyHandle(toHandle(from), target, CREATE_ALWAYS); });
}

bool renameFile(const char* from, const char* to) {
    return ::MoveFileExA(osName(from).c_str(), osName(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool replaceFile(const char* replacement, const char* target) {
    const std::string from = osName(replacement), to = osName(target);
    const DWORD kept = ::GetFileAttributesA(to.c_str());
    // The bytes reach the disk before the name changes hands.
    HANDLE handle = ::CreateFileA(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool flushed = ::FlushFileBuffers(handle);
    ::CloseHandle(handle);
    if (!flushed) return false;
    // A read-only file cannot be replaced: the bit comes back with the new file.
    const bool readOnly = kept != INVALID_FILE_ATTRIBUTES && (kept & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !::SetFileAttributesA(to.c_str(), kept & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (readOnly) ::SetFileAttributesA(to.c_str(), kept);
        return false;
    }
    if (kept != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesA(to.c_str(), kept & ~FILE_ATTRIBUTE_DIRECTORY);
    return true;
}

bool createDirectory(const char* name) { return ::CreateDirectoryA(osName(name).c_str(), nullptr) != 0; }

bool removeDirectory(const char* name) { return ::RemoveDirectoryA(osName(name).c_str()) != 0; }

// Working memory is a moveable global block, locked while the library holds it.
void* allocateBlock(size_t size) {
    if (faultNow(Fault::Allocate)) return nullptr;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size == 0 ? 1 : size);
    if (block == nullptr) return nullptr;
    void* locked = ::GlobalLock(block);
    if (locked == nullptr) ::GlobalFree(block);
    return locked;
}

void freeBlock(void* block) {
    if (block == nullptr) return;
    HGLOBAL handle = ::GlobalHandle(block);
    if (handle == nullptr) return;
    ::GlobalUnlock(handle);
    ::GlobalFree(handle);
}

}  // namespace zar::platform
