// Exports of archive writing.
#include "exports/guard.h"
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

}  // extern "C"
