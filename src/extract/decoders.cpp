#include "extract/decoders.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

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
        case 8: return static_cast<int16_t>(1 + ((flags >> 1) & 3));
        case 10: return 5;
        case 6: return 6;
        case 11: return 7;
        case 12: return 8;
        case 1: return 9;
        default: return 0;
    }
}

bool hasDecoder(int16_t code) { return code >= 0 && code <= 4; }

std::unique_ptr<Decoder> makeDecoder(int16_t code, uint16_t /*flags*/, Result* result) {
    *result = kOk;
    try {
        switch (code) {
            case 0: return std::make_unique<StoredDecoder>();
            case 1: case 2: case 3: case 4: return std::make_unique<InflateDecoder>();
            default: *result = kUnknownMethod; return nullptr;
        }
    } catch (const std::bad_alloc&) {
        *result = kNoMemory;
        return nullptr;
    }
}

}  // namespace zar::extract
