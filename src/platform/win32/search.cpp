// Directory search through the system: the system matches the pattern (case
// ignored, "*.*" and "*." in the DOS manner) and gives long and 8.3 names.
// "." and ".." are never reported. Directories that are junctions or links
// keep the reparse-point bit, which walks leave alone.
#include <windows.h>

#include <new>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

struct Search {
    HANDLE find = INVALID_HANDLE_VALUE;
};

namespace {

bool dots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void fill(const WIN32_FIND_DATAA& data, FoundItem* item) {
    *item = FoundItem{};
    item->name = data.cFileName;
    item->shortName = data.cAlternateFileName;
    item->attributes = win32::dosBits(data.dwFileAttributes);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) item->attributes |= kAttrReparsePoint;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        item->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    item->lastWrite = win32::toTicks(data.ftLastWriteTime);
}

// The next item that counts, the one in `data` first; false at the end.
bool settle(Search* search, WIN32_FIND_DATAA* data, FoundItem* item) {
    for (;;) {
        if (!dots(data->cFileName)) {
            fill(*data, item);
            return true;
        }
        if (!::FindNextFileA(search->find, data)) return false;
    }
}

}  // namespace

Search* findFirstFile(const char* pattern, FoundItem* item) {
    if (pattern == nullptr || *pattern == '\0') return nullptr;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(win32::osName(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return nullptr;
    auto* search = new (std::nothrow) Search;
    if (search == nullptr) {
        ::FindClose(find);
        return nullptr;
    }
    search->find = find;
    if (!settle(search, &data, item)) {
        findClose(search);
        return nullptr;
    }
    return search;
}

bool findNextFile(Search* search, FoundItem* item) {
    if (search == nullptr) return false;
    WIN32_FIND_DATAA data;
    return ::FindNextFileA(search->find, &data) && settle(search, &data, item);
}

void findClose(Search* search) {
    if (search == nullptr) return;
    if (search->find != INVALID_HANDLE_VALUE) ::FindClose(search->find);
    delete search;
}

namespace {

bool identityOf(const std::string& path, FileIdentity* identity) {
    HANDLE handle = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(handle);
    if (!ok) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

}  // namespace

// Climbs the full path by its text: walks do not follow junctions, so the path
// they give is the directory's own.
std::vector<FileIdentity> directoryAncestry(const char* name) {
    std::vector<FileIdentity> out;
    if (name == nullptr) return out;
    std::string path = fullPath(*name ? name : ".");
    for (;;) {
        FileIdentity identity;
        if (!identityOf(path, &identity)) break;
        out.push_back(identity);
        while (!path.empty() && path.back() == '\\') path.pop_back();
        const size_t at = path.find_last_of('\\');
        if (at == std::string::npos) break;
        path.resize(at + 1);
        if (path.size() <= 3 && path.find(':') != std::string::npos) {  // "C:\": the root comes last
            FileIdentity root;
            if (identityOf(path, &root) && !(root == out.back())) out.push_back(root);
            break;
        }
    }
    return out;
}

}  // namespace zar::platform
