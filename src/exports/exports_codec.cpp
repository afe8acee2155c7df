// Exports of the codecs that hosts call directly.
#include "zarlib32.h"

#include "codec/crc32.h"
#include "codec/inflate.h"

extern "C" {

ZARLIB_EXPORT uint32_t AXAPI AxCrc32A(const uint8_t* data, uint32_t count, uint32_t crc) AX_NOEXCEPT {
    return zar::codec::crc32Update(data, count, crc);
}

ZARLIB_EXPORT uint32_t AXAPI AxInflateUCBufSize(void) { return zar::codec::kInflateWorkSize; }

ZARLIB_EXPORT void AXAPI AxInflateUCInit(void* work) {
    if (work != nullptr) zar::codec::inflateBegin(work);
}

ZARLIB_EXPORT int32_t AXAPI AxInflateUC(const uint8_t* input, uint32_t inputOffset, uint32_t* inputCount,
                                        uint8_t* output, uint32_t outputOffset, uint32_t* outputCount, void* work,
                                        int16_t lastInput) {
    if (inputCount == nullptr || outputCount == nullptr) return -1;
    const uint32_t offered = *inputCount;
    const uint32_t room = *outputCount;
    *inputCount = 0;
    *outputCount = 0;
    if (work == nullptr || (input == nullptr && offered != 0) || (output == nullptr && room != 0)) return -1;
    const auto r = zar::codec::inflateStep(work, offered != 0 ? input + inputOffset : nullptr, offered,
                                           room != 0 ? output + outputOffset : nullptr, room, lastInput != 0);
    *inputCount = static_cast<uint32_t>(r.taken);
    *outputCount = static_cast<uint32_t>(r.written);
    return r.status == zar::codec::InflateStatus::kMore ? 0 : -1;
}

}  // extern "C"
