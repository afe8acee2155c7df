// Exports of the codecs that hosts call directly.
#include "zarlib32.h"

#include "codec/crc32.h"

extern "C" {

ZARLIB_EXPORT uint32_t AXAPI AxCrc32A(const uint8_t* data, uint32_t count, uint32_t crc) AX_NOEXCEPT {
    return zar::codec::crc32Update(data, count, crc);
}

}  // extern "C"
