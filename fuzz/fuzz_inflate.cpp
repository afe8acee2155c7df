// Inflate on arbitrary bytes at arbitrary split points. The first four bytes
// seed the choice of input pieces and output rooms; the rest is the stream.
// Every input piece, output room and the work buffer are heap blocks of exactly
// their size, so any access outside them is caught. The stream is decoded
// whole and in pieces: both must agree, the counts must obey the protocol, and
// whatever zlib decodes completely must come out the same. Decodes that start
// with inflateBeginLazy on a work area full of garbage must match those that
// start on a cleared one.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "codec/inflate.h"
#include "zarlib32.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxOutput = 1 << 20;  // output past this is not compared

void check(bool ok) {
    if (!ok) std::abort();
}

struct Result {
    int32_t result = 0;
    Bytes output;
    bool capped = false;
};

// Without rng: all the input that is left and 64 KiB of room per call.
// With it: pieces of 0 to 300 bytes and rooms of 0 to 5000 bytes. With lazy
// the work area is filled with `garbage` and started the lazy way.
Result decode(const uint8_t* stream, size_t size, std::mt19937* rng, size_t cap, bool lazy = false,
              uint8_t garbage = 0) {
    Result r;
    auto work = std::make_unique<uint8_t[]>(AxInflateUCBufSize() + 1);
    uint8_t* w = work.get() + (rng != nullptr && (*rng)() % 2 ? 1 : 0);
    if (lazy) {
        std::memset(work.get(), garbage, AxInflateUCBufSize() + 1);
        zar::codec::inflateBeginLazy(w);
    } else {
        AxInflateUCInit(w);
    }
    size_t pos = 0;
    for (int calls = 0;; ++calls) {
        const size_t left = size - pos;
        size_t piece = left, room = 65536;
        if (rng != nullptr) {
            const uint32_t k = (*rng)() % 4;
            piece = std::min(left, k == 0 ? size_t{1} : k == 1 ? (*rng)() % 8 : (*rng)() % 300 + 1);
            const uint32_t j = (*rng)() % 4;
            room = j == 0 ? 1 : j == 1 ? (*rng)() % 8 : (*rng)() % 5000 + 1;
        }
        Bytes in(stream + pos, stream + pos + piece);
        auto out = std::make_unique<uint8_t[]>(room + 1);  // +1: a zero room still gets an address
        uint32_t inCount = static_cast<uint32_t>(piece), outCount = static_cast<uint32_t>(room);
        const int16_t last = piece == left;
        r.result = AxInflateUC(in.empty() ? nullptr : in.data(), 0, &inCount, out.get(), 0, &outCount, w, last);
        check(r.result == 0 || r.result == -1);
        check(inCount <= piece && outCount <= room);
        if (r.result == 0) check(inCount == piece || outCount == room);
        r.output.insert(r.output.end(), out.get(), out.get() + outCount);
        pos += inCount;
        if (r.result != 0) return r;
        if (r.output.size() >= cap) {
            r.capped = true;
            return r;
        }
        check(calls < 50 * 1000 * 1000);
    }
}

// zlib's raw inflate: true with the complete output when it reaches the end of the stream.
bool zlibDecode(const uint8_t* stream, size_t size, Bytes& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(size);
    Bytes buf(65536);
    int rc;
    do {
        z.next_out = buf.data();
        z.avail_out = static_cast<uInt>(buf.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buf.data(), buf.data() + (buf.size() - z.avail_out));
    } while (rc == Z_OK && out.size() < kMaxOutput);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t seed;
    std::memcpy(&seed, data, 4);
    data += 4;
    size -= 4;

    const Result whole = decode(data, size, nullptr, kMaxOutput);
    const uint8_t garbage = static_cast<uint8_t>(seed >> 24);
    const Result wholeLazy = decode(data, size, nullptr, kMaxOutput, true, garbage);
    check(wholeLazy.result == whole.result && wholeLazy.output == whole.output && wholeLazy.capped == whole.capped);
    std::mt19937 rng(seed);
    const Result pieces = decode(data, size, &rng, 64 * 1024, seed % 2 != 0, garbage);
    if (!whole.capped && !pieces.capped) {
        check(pieces.result == whole.result);
        check(pieces.output == whole.output);
    } else {
        const size_t n = std::min(whole.output.size(), pieces.output.size());
        check(std::memcmp(whole.output.data(), pieces.output.data(), n) == 0);
    }

    Bytes reference;
    if (zlibDecode(data, size, reference) && !whole.capped) {
        check(whole.result == -1);
        check(whole.output == reference);
    }
    return 0;
}
