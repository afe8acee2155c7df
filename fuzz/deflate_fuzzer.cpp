// Compresses arbitrary data at an arbitrary chain limit and block kind, whole
// and in random input pieces and output rooms, and checks that both streams
// are identical and that zlib inflates them back to the data.
//
// Input: 2 bytes chain limit, 1 byte flags (bit 0 dynamic blocks, bits 1-5
// repeat count), 4 bytes split seed, then the data. The data is repeated with
// a changing mask so that short inputs still reach window wraps.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zarlib32.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

struct Split {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        uint32_t r = state;
        // Mostly tiny pieces, sometimes large ones.
        switch (r & 3) {
        case 0: return 1;
        case 1: return 1 + (r >> 8) % 16;
        case 2: return 1 + (r >> 8) % 700;
        default: return 1 + (r >> 8) % 70000;
        }
    }
};

struct Work {
    std::vector<uint8_t> main, chain, tokens;
    Work(size_t shift) : main(57613 + shift), chain(65536 + shift), tokens(25600 + shift) {}
};

std::vector<uint8_t> compress(const std::vector<uint8_t>& data, uint16_t limit, int16_t dynamic, Split* split) {
    size_t shift = split ? split->state % 8 : 0;  // any alignment
    Work w(shift);
    uint8_t* m = w.main.data() + shift;
    uint8_t* c = w.chain.data() + shift;
    uint8_t* t = w.tokens.data() + shift;
    AxDeflateInit(m, c, t);
    std::vector<uint8_t> out;
    std::vector<uint8_t> room;
    size_t pos = 0;
    for (;;) {
        uint32_t piece = split ? split->next() : static_cast<uint32_t>(data.size() - pos);
        if (piece > data.size() - pos) piece = static_cast<uint32_t>(data.size() - pos);
        uint32_t roomSize = split ? split->next() : static_cast<uint32_t>(data.size() + data.size() / 4 + 1024);
        room.assign(roomSize, 0);
        uint32_t taken = piece, written = roomSize;
        int16_t last = pos + piece == data.size();
        int32_t r = AxDeflate(limit, dynamic, data.data(), static_cast<uint32_t>(pos), &taken, room.data(), 0,
                              &written, last, m, c, t);
        check(taken <= piece && written <= roomSize);
        out.insert(out.end(), room.begin(), room.begin() + written);
        pos += taken;
        if (r == -1) break;
        check(r == 0);
        // A stop leaves either no input of the piece or no room.
        check(taken == piece || written == roomSize);
    }
    check(pos == data.size());
    return out;
}

std::vector<uint8_t> inflateRaw(const std::vector<uint8_t>& stream, size_t expected) {
    std::vector<uint8_t> out(expected + 1);
    z_stream z{};
    check(inflateInit2(&z, -15) == Z_OK);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int r = inflate(&z, Z_FINISH);
    check(r == Z_STREAM_END && z.avail_in == 0);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
    if (size < 7) return 0;
    uint16_t limit = static_cast<uint16_t>(in[0] | in[1] << 8);
    // Long chains on repetitive data are slow; keep most runs quick.
    if (limit > 600) limit = static_cast<uint16_t>(limit % 600 + (limit >= 0xF000 ? 2000 : 0));
    int16_t dynamic = in[2] & 1;
    unsigned repeats = 1 + ((in[2] >> 1) & 31);
    uint32_t seed = static_cast<uint32_t>(in[3] | in[4] << 8 | in[5] << 16 | uint32_t{in[6]} << 24) | 1;
    std::vector<uint8_t> data;
    for (unsigned k = 0; k < repeats; ++k)
        for (size_t i = 7; i < size; ++i) data.push_back(static_cast<uint8_t>(in[i] ^ (k * 0x3B & (k & 1 ? 0xFF : 0))));

    auto whole = compress(data, limit, dynamic, nullptr);
    Split split{seed};
    check(compress(data, limit, dynamic, &split) == whole);
    check(inflateRaw(whole, data.size()) == data);
    return 0;
}
