#include "extract/decoders.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "archive/zip_format.h"
#include "codec/inflate.h"

namespace zar::extract {
namespace {

// Stored data: copied as it comes, complete with the last piece.
class StoredDecoder final : public Decoder {
public:
    bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
              uint32_t* produced, bool last) override {
        uint32_t n = std::min(inCount, outRoom);
        if (n != 0) std::memcpy(out, in, n);
        *consumed = *produced = n;
        return last && n == inCount;
    }
};

// Deflated data through the resumable inflater; its work area is the
// decoder's own for the entry.
class InflateDecoder final : public Decoder {
public:
    InflateDecoder() : work_(codec::kInflateWorkSize) { codec::inflateBegin(work_.data()); }

    bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
              uint32_t* produced, bool last) override {
        codec::InflateResult r = codec::inflateStep(work_.data(), in, inCount, out, outRoom, last);
        *consumed = static_cast<uint32_t>(r.taken);
        *produced = static_cast<uint32_t>(r.written);
        return r.status != codec::InflateStatus::kMore;
    }

private:
    std::vector<uint8_t> work_;
};

}  // namespace

int16_t methodCode(uint16_t zipMethod, uint16_t flags) {
    switch (zipMethod) {
        case archive::kMethodDeflated:
            return static_cast<int16_t>(kCodeDeflatedFirst + archive::methodOptions(flags));
        case archive::kMethodLibraryImploded: return kCodeLibraryImploded;
        case archive::kMethodImploded: return kCodeImploded;
        case archive::kMethodReserved11: return kCodeMethod11;
        case archive::kMethodBzip2: return kCodeBzip2;
        case archive::kMethodShrunk: return kCodeShrunk;
        default: return kCodeStored;
    }
}

bool acceptedMethod(uint16_t method) {
    return method == archive::kMethodStored || method == archive::kMethodShrunk ||
           method == archive::kMethodImploded || method == archive::kMethodDeflated ||
           method == archive::kMethodLibraryImploded || method == archive::kMethodReserved11 ||
           method == archive::kMethodBzip2;
}

bool hasDecoder(int16_t code) { return code >= kCodeStored && code <= kCodeDeflatedLast; }

std::unique_ptr<Decoder> makeDecoder(int16_t code, uint16_t /*flags*/, Result* result) {
    *result = kOk;
    try {
        if (code == kCodeStored) return std::make_unique<StoredDecoder>();
        if (code >= kCodeDeflatedFirst && code <= kCodeDeflatedLast) return std::make_unique<InflateDecoder>();
        *result = kUnknownMethod;
        return nullptr;
    } catch (const std::bad_alloc&) {
        *result = kNoMemory;
        return nullptr;
    }
}

}  // namespace zar::extract
