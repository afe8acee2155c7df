// Exports of extraction.
#include "exports/guard.h"
#include "extract/memory_extract.h"
#include "extract/output_paths.h"
#include "extract/unzip.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT int16_t AXAPI Ax4UnZip(AxHandle* handle, const char* outputDir, const char* includeSpecs,
                                     const char* excludeSpecs, const char* options) AX_NOEXCEPT {
    return exports::guarded([&] { return extract::unzip(handle, outputDir, includeSpecs, excludeSpecs, options); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4QUnZip(const char* archiveName, const char* outputDir, const char* fileSpecs,
                                      const char* options) AX_NOEXCEPT {
    return exports::guarded([&] { return extract::quickUnzip(archiveName, outputDir, fileSpecs, options); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4UnZipPtr(AxHandle handle, void* destination, int32_t startOffset, int32_t count,
                                        const char* fileSpec, const char* options) AX_NOEXCEPT {
    return exports::guarded(
        [&] { return extract::unzipToMemory(handle, destination, startOffset, count, fileSpec, options); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4AddUnZipPathFilter(const char* fromDir, const char* toDir) AX_NOEXCEPT {
    return exports::guarded([&] { return extract::addPathFilter(fromDir, toDir); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4DirExist(const char* path) AX_NOEXCEPT {
    if (path == nullptr) return 0;
    return exports::guarded([&] { return static_cast<Result>(extract::directoryExists(path) ? 1 : 0); });
}

}  // extern "C"
