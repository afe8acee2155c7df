#include "extract/decoders.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/zip_format.h"
#include "codec/explode.h"
#include "codec/inflate.h"
#include "codec/reduce.h"
#include "codec/unshrink.h"

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
    // Left uninitialised: a begin function clears what the decoder needs.
    explicit InflateDecoder(bool lazy) : work_(new uint8_t[codec::kInflateWorkSize]) {
        if (lazy)
            codec::inflateBeginLazy(work_.get());
        else
            codec::inflateBegin(work_.get());
    }

    bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
              uint32_t* produced, bool last) override {
        codec::InflateResult r = codec::inflateStep(work_.get(), in, inCount, out, outRoom, last);
        *consumed = static_cast<uint32_t>(r.taken);
        *produced = static_cast<uint32_t>(r.written);
        return r.status != codec::InflateStatus::kMore;
    }

private:
    std::unique_ptr<uint8_t[]> work_;
};

// The older methods, each a resumable filter over a state of its own (the
// state holds the dictionary, so it lives on the heap).
template <class State, auto kStep>
class LegacyDecoder final : public Decoder {
public:
    template <class Begin>
    // Left uninitialised: the begin function sets what the decoder reads.
    explicit LegacyDecoder(Begin begin) : state_(new State) {
        begin(*state_);
    }

    bool step(const uint8_t* in, uint32_t inCount, uint32_t* consumed, uint8_t* out, uint32_t outRoom,
              uint32_t* produced, bool last) override {
        const auto r = kStep(*state_, in, inCount, out, outRoom, last);
        *consumed = static_cast<uint32_t>(r.taken);
        *produced = static_cast<uint32_t>(r.written);
        return r.status != codec::LegacyStatus::kMore;
    }

private:
    std::unique_ptr<State> state_;
};

using UnshrinkDecoder = LegacyDecoder<codec::UnshrinkState, codec::unshrinkStep>;
using ExplodeDecoder = LegacyDecoder<codec::ExplodeState, codec::explodeStep>;
using ReduceDecoder = LegacyDecoder<codec::ReduceState, codec::reduceStep>;

bool reduced(uint16_t method) {
    return method >= archive::kMethodReducedFirst && method <= archive::kMethodReducedLast;
}

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
    return method == archive::kMethodStored || method == archive::kMethodShrunk || reduced(method) ||
           method == archive::kMethodImploded || method == archive::kMethodDeflated ||
           method == archive::kMethodLibraryImploded || method == archive::kMethodReserved11 ||
           method == archive::kMethodBzip2;
}

bool hasDecoder(uint16_t method) {
    return method == archive::kMethodStored || method == archive::kMethodShrunk || reduced(method) ||
           method == archive::kMethodImploded || method == archive::kMethodDeflated;
}

std::unique_ptr<Decoder> makeDecoder(uint16_t method, uint16_t flags, Result* result, bool privateOutput) {
    *result = kOk;
    try {
        switch (method) {
            case archive::kMethodStored: return std::make_unique<StoredDecoder>();
            case archive::kMethodDeflated: return std::make_unique<InflateDecoder>(privateOutput);
            case archive::kMethodShrunk: return std::make_unique<UnshrinkDecoder>(codec::unshrinkBegin);
            case archive::kMethodImploded:
                return std::make_unique<ExplodeDecoder>([flags](codec::ExplodeState& state) {
                    codec::explodeBegin(state, flags & archive::kFlagImplodeThreeTrees,
                                        flags & archive::kFlagImplode8kDictionary);
                });
            default:
                if (reduced(method))
                    return std::make_unique<ReduceDecoder>(
                        [method](codec::ReduceState& state) { codec::reduceBegin(state, method); });
                *result = kUnknownMethod;
                return nullptr;
        }
    } catch (const std::bad_alloc&) {
        *result = kNoMemory;
        return nullptr;
    }
}

}  // namespace zar::extract
