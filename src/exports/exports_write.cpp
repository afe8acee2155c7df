// Exports of archive writing.
#include "archive/handles.h"
#include "exports/guard.h"
#include "write/change_paths.h"
#include "write/comments.h"
#include "write/zip_from_memory.h"
#include "write/zip_run.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT int16_t AXAPI Ax4Zip(AxHandle* handle, const char* includeSpecs, const char* excludeSpecs,
                                   const char* options) AX_NOEXCEPT {
    return exports::guarded([&] { return write::zip(handle, includeSpecs, excludeSpecs, options); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4QZip(const char* archiveName, const char* includeSpecs,
                                    const char* options) AX_NOEXCEPT {
    return exports::guarded([&] { return write::quickZip(archiveName, includeSpecs, options); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipPtr(AxHandle* handle, const void* data, int32_t length, const char* name,
                                     const char* options) AX_NOEXCEPT {
    return exports::guarded([&] {
        if (handle == nullptr) return kNotOpen;
        return write::zipFromMemory(handle, data, length, name, options);
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipNewComment(AxHandle handle, const char* comment) AX_NOEXCEPT {
    return exports::guarded([&] {
        archive::ArchiveHandle* a = archive::lookup(handle);
        return a == nullptr ? kNotOpen : write::setArchiveComment(*a, comment);
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipNewFileComment(AxHandle* handle, const char* pattern,
                                                 const char* comment) AX_NOEXCEPT {
    return exports::guarded([&] {
        archive::ArchiveHandle* a = handle == nullptr ? nullptr : archive::lookup(*handle);
        if (a == nullptr) return kNotOpen;
        Result r = write::setEntryComments(*a, pattern, comment);
        *handle = a->file;
        return r;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ChangeDirPaths(const char* archiveName, const char* newArchiveName,
                                             const char* oldPath, const char* newPath, int16_t longNames,
                                             uint16_t* changed) AX_NOEXCEPT {
    if (changed != nullptr) *changed = 0;
    return exports::guarded([&] {
        return write::changeDirPaths(archiveName, newArchiveName, oldPath, newPath, longNames != 0, changed);
    });
}

}  // extern "C"
