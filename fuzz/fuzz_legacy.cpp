// The decoders of the older methods (unshrink, explode in its four variants,
// unreduce with its four factors) on arbitrary bytes. The first byte picks the
// decoder, the next four seed the pieces; the rest is the stream. It is
// decoded whole and in random pieces of input and room, each a heap block of
// exactly its size: both runs must agree and obey the protocol.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "codec/explode.h"
#include "codec/reduce.h"
#include "codec/unshrink.h"

namespace {

using namespace zar::codec;
using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxOutput = 1 << 20;

void check(bool ok) {
    if (!ok) std::abort();
}

struct Decoder {
    std::unique_ptr<UnshrinkState> unshrink;
    std::unique_ptr<ExplodeState> explode;
    std::unique_ptr<ReduceState> reduce;

    explicit Decoder(uint8_t pick) {
        pick %= 9;
        if (pick == 0) {
            unshrink = std::make_unique<UnshrinkState>();
            unshrinkBegin(*unshrink);
        } else if (pick <= 4) {
            explode = std::make_unique<ExplodeState>();
            explodeBegin(*explode, (pick - 1) & 1, (pick - 1) & 2);
        } else {
            reduce = std::make_unique<ReduceState>();
            reduceBegin(*reduce, static_cast<uint16_t>(pick - 3));
        }
    }
    LegacyResult step(const uint8_t* in, size_t inCount, uint8_t* out, size_t room, bool last) {
        if (unshrink) return unshrinkStep(*unshrink, in, inCount, out, room, last);
        if (explode) return explodeStep(*explode, in, inCount, out, room, last);
        return reduceStep(*reduce, in, inCount, out, room, last);
    }
};

Bytes decode(uint8_t pick, const uint8_t* stream, size_t size, std::mt19937* rng) {
    Decoder decoder(pick);
    Bytes output;
    size_t pos = 0;
    for (;;) {
        const size_t left = size - pos;
        size_t piece = left, room = 65520;
        if (rng != nullptr) {
            piece = std::min<size_t>(left, (*rng)() % 3 == 0 ? 1 : (*rng)() % 200);
            room = (*rng)() % 3 == 0 ? 1 : (*rng)() % 3000 + 1;
        }
        Bytes in(stream + pos, stream + pos + piece);
        auto out = std::make_unique<uint8_t[]>(room);
        const bool last = piece == left;
        const LegacyResult r = decoder.step(in.empty() ? nullptr : in.data(), piece, out.get(), room, last);
        check(r.taken <= piece && r.written <= room);
        if (r.status == LegacyStatus::kMore) check(r.taken == piece || r.written == room);
        output.insert(output.end(), out.get(), out.get() + r.written);
        pos += r.taken;
        if (r.status != LegacyStatus::kMore || output.size() >= kMaxOutput) break;
    }
    if (output.size() > kMaxOutput) output.resize(kMaxOutput);
    return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t pick = data[0];
    std::mt19937 rng(static_cast<uint32_t>(data[1]) | data[2] << 8 | data[3] << 16 | static_cast<uint32_t>(data[4]) << 24);
    const Bytes whole = decode(pick, data + 5, size - 5, nullptr);
    const Bytes pieces = decode(pick, data + 5, size - 5, &rng);
    const size_t common = std::min(whole.size(), pieces.size());
    check(std::equal(whole.begin(), whole.begin() + static_cast<long>(common), pieces.begin()));
    if (whole.size() < kMaxOutput && pieces.size() < kMaxOutput) check(whole.size() == pieces.size());
    return 0;
}
