// Exports of the codecs that hosts call directly.
#include "zarlib32.h"

#include "codec/crc32.h"
#include "codec/inflate.h"
#include "codec/deflate.h"

extern "C" {

ZARLIB_EXPORT uint32_t AXAPI AxCrc32A(const uint8_t* data, uint32_t count, uint32_t crc) AX_NOEXCEPT {
    return zar::codec::crc32Update(data, count, crc);
}

ZARLIB_EXPORT uint32_t AXAPI AxInflateUCBufSize(void) AX_NOEXCEPT { return zar::codec::kInflateWorkSize; }

ZARLIB_EXPORT void AXAPI AxInflateUCInit(void* work) AX_NOEXCEPT {
    if (work != nullptr) zar::codec::inflateBegin(work);
}

ZARLIB_EXPORT int32_t AXAPI AxInflateUC(const uint8_t* input, uint32_t inputOffset, uint32_t* inputCount,
                                        uint8_t* output, uint32_t outputOffset, uint32_t* outputCount, void* work,
                                        int16_t lastInput) AX_NOEXCEPT {
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

ZARLIB_EXPORT void AXAPI AxDeflateBufSize(uint32_t* mainSize, uint32_t* chainSize, uint32_t* tokenSize) AX_NOEXCEPT {
    if (mainSize) *mainSize = zar::codec::kDeflateMainSize;
    if (chainSize) *chainSize = zar::codec::kDeflateChainSize;
    if (tokenSize) *tokenSize = zar::codec::kDeflateTokenSize;
}

ZARLIB_EXPORT void AXAPI AxDeflateInit(void* mainBuffer, void* chainBuffer, void* tokenBuffer) AX_NOEXCEPT {
    if (!mainBuffer) return;
    zar::codec::initDeflate({mainBuffer, chainBuffer, tokenBuffer});
}

ZARLIB_EXPORT int32_t AXAPI AxDeflate(uint16_t chainLimit, int16_t dynamicBlocks, const uint8_t* input,
                                      uint32_t inputOffset, uint32_t* inputCount, uint8_t* output,
                                      uint32_t outputOffset, uint32_t* outputCount, int16_t lastInput,
                                      void* mainBuffer, void* chainBuffer, void* tokenBuffer) AX_NOEXCEPT {
    constexpr int32_t kStop = static_cast<int32_t>(zar::codec::DeflateStatus::kDone);
    if (!inputCount || !outputCount) return kStop;
    if (!mainBuffer || !chainBuffer || !tokenBuffer || (!input && *inputCount != 0) ||
        (!output && *outputCount != 0)) {
        *inputCount = 0;
        *outputCount = 0;
        return kStop;
    }
    zar::codec::DeflateIo io{input ? input + inputOffset : nullptr, *inputCount,
                             output ? output + outputOffset : nullptr, *outputCount};
    auto status = zar::codec::runDeflate({mainBuffer, chainBuffer, tokenBuffer}, chainLimit, dynamicBlocks != 0,
                                         lastInput != 0, io);
    *inputCount = io.inputCount;
    *outputCount = io.outputCount;
    return static_cast<int32_t>(status);
}

}  // extern "C"
