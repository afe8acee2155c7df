// Exports of extraction.
#include "exports/guard.h"
#include "extract/output_paths.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT int16_t AXAPI Ax4AddUnZipPathFilter(const char* fromDir, const char* toDir) AX_NOEXCEPT {
    return exports::guarded([&] { return extract::addPathFilter(fromDir, toDir); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4DirExist(const char* path) AX_NOEXCEPT {
    if (path == nullptr) return 0;
    return exports::guarded([&] { return static_cast<Result>(extract::directoryExists(path) ? 1 : 0); });
}

}  // extern "C"
