// A deliberately plain Deflate decoder for tests: bit by bit, canonical codes
// decoded by walking code lengths, every structure recorded. It shares no code
// or table with the library.
#include "deflate_trace.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "codec/inflate.h"
#include "zarlib32.h"

namespace zar::test {
namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& data) : data_(data) {}

    unsigned bit() {
        if (pos_ >= data_.size() * 8) throw Failure("stream ends early");
        unsigned b = data_[pos_ >> 3] >> (pos_ & 7) & 1;
        ++pos_;
        return b;
    }
    unsigned bits(unsigned n) {
        unsigned v = 0;
        for (unsigned i = 0; i < n; ++i) v |= bit() << i;
        return v;
    }
    void alignToByte() { pos_ = (pos_ + 7) & ~size_t{7}; }
    size_t position() const { return pos_; }

private:
    const std::vector<uint8_t>& data_;
    size_t pos_ = 0;
};

// Canonical decoding: codes of each length are consecutive, in symbol order.
class Code {
public:
    explicit Code(const std::vector<uint8_t>& lengths) : lengths_(lengths) {
        unsigned used = 0;
        for (uint8_t l : lengths) {
            if (l > 15) throw Failure("code length above 15");
            if (l) ++used;
        }
        if (used > 1 && !isCompleteCode(lengths)) throw Failure("incomplete or over-subscribed code");
        if (used == 1 && std::count(lengths.begin(), lengths.end(), 1) != 1) throw Failure("single code not of length 1");
    }

    unsigned decode(BitReader& in) const {
        unsigned code = 0, first = 0;
        for (unsigned len = 1; len <= 15; ++len) {
            code |= in.bit();
            unsigned count = 0;
            for (uint8_t l : lengths_) count += l == len;
            if (code - first < count) {
                unsigned k = code - first;
                for (size_t s = 0; s < lengths_.size(); ++s)
                    if (lengths_[s] == len && k-- == 0) return static_cast<unsigned>(s);
            }
            first = (first + count) << 1;
            code <<= 1;
        }
        throw Failure("no symbol for the code");
    }

private:
    std::vector<uint8_t> lengths_;
};

const unsigned kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const unsigned kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void decodeTokens(BitReader& in, const Code& lit, const Code* dist, TraceBlock& block, std::vector<uint8_t>& out) {
    for (;;) {
        unsigned sym = lit.decode(in);
        if (sym < 256) {
            block.tokens.push_back({static_cast<uint32_t>(out.size()), 0, 0});
            out.push_back(static_cast<uint8_t>(sym));
        } else if (sym == 256) {
            return;
        } else {
            if (sym > 285) throw Failure("length symbol above 285");
            unsigned len = kLenBase[sym - 257] + in.bits(kLenExtra[sym - 257]);
            if (!dist) throw Failure("match without a distance code");
            unsigned ds = dist->decode(in);
            if (ds > 29) throw Failure("distance symbol above 29");
            unsigned d = kDistBase[ds] + in.bits(kDistExtra[ds]);
            if (d > out.size()) throw Failure("distance before the start");
            block.tokens.push_back({static_cast<uint32_t>(out.size()), static_cast<uint16_t>(len), static_cast<uint16_t>(d)});
            for (unsigned i = 0; i < len; ++i) out.push_back(out[out.size() - d]);
        }
    }
}

}  // namespace

bool isCompleteCode(const std::vector<uint8_t>& lengths) {
    uint64_t sum = 0;
    for (uint8_t l : lengths)
        if (l) sum += uint64_t{1} << (32 - l);
    return sum == (uint64_t{1} << 32);
}

Trace traceDeflate(const std::vector<uint8_t>& stream) {
    Trace t;
    t.streamBytes = stream.size();
    BitReader in(stream);
    try {
        for (;;) {
            TraceBlock b;
            b.final = in.bit();
            b.type = in.bits(2);
            if (b.type == 0) {
                in.alignToByte();
                unsigned len = in.bits(16), nlen = in.bits(16);
                if ((len ^ 0xFFFF) != nlen) throw Failure("stored length check");
                for (unsigned i = 0; i < len; ++i) t.output.push_back(static_cast<uint8_t>(in.bits(8)));
            } else if (b.type == 1) {
                std::vector<uint8_t> lit(288), dist(32, 5);
                for (unsigned s = 0; s < 288; ++s) lit[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
                Code litCode(lit), distCode(dist);
                decodeTokens(in, litCode, &distCode, b, t.output);
            } else if (b.type == 2) {
                b.hlit = in.bits(5) + 257;
                b.hdist = in.bits(5) + 1;
                b.hclen = in.bits(4) + 4;
                b.codeLengthLengths.assign(19, 0);
                for (unsigned i = 0; i < b.hclen; ++i) b.codeLengthLengths[kOrder[i]] = static_cast<uint8_t>(in.bits(3));
                Code clen(b.codeLengthLengths);
                std::vector<uint8_t> lengths;
                while (lengths.size() < b.hlit + b.hdist) {
                    unsigned sym = clen.decode(in);
                    TraceRecord r{static_cast<uint8_t>(sym), 0};
                    unsigned repeat = 0, value = 0;
                    if (sym < 16) {
                        lengths.push_back(static_cast<uint8_t>(sym));
                    } else if (sym == 16) {
                        if (lengths.empty()) throw Failure("repeat with no previous length");
                        r.extra = static_cast<uint8_t>(in.bits(2));
                        repeat = 3 + r.extra;
                        value = lengths.back();
                    } else if (sym == 17) {
                        r.extra = static_cast<uint8_t>(in.bits(3));
                        repeat = 3 + r.extra;
                    } else {
                        r.extra = static_cast<uint8_t>(in.bits(7));
                        repeat = 11 + r.extra;
                    }
                    for (unsigned i = 0; i < repeat; ++i) lengths.push_back(static_cast<uint8_t>(value));
                    b.records.push_back(r);
                }
                if (lengths.size() != b.hlit + b.hdist) throw Failure("repeat past the lengths");
                b.litLengths.assign(lengths.begin(), lengths.begin() + b.hlit);
                b.distLengths.assign(lengths.begin() + b.hlit, lengths.end());
                if (b.litLengths[256] == 0) throw Failure("no end-of-block code");
                Code litCode(b.litLengths);
                bool anyDist = std::any_of(b.distLengths.begin(), b.distLengths.end(), [](uint8_t l) { return l != 0; });
                if (anyDist) {
                    Code distCode(b.distLengths);
                    decodeTokens(in, litCode, &distCode, b, t.output);
                } else {
                    decodeTokens(in, litCode, nullptr, b, t.output);
                }
            } else {
                throw Failure("block type 3");
            }
            bool final = b.final;
            t.blocks.push_back(std::move(b));
            if (final) break;
        }
        t.bitsUsed = in.position();
        t.ok = true;
    } catch (const Failure& f) {
        t.error = f.what();
    }
    return t;
}

std::vector<uint8_t> zlibInflate(const std::vector<uint8_t>& stream, bool* ok) {
    std::vector<uint8_t> out;
    z_stream z{};
    *ok = false;
    if (inflateInit2(&z, -15) != Z_OK) return out;
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    uint8_t buffer[16384];
    int r;
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    } while (r == Z_OK);
    *ok = r == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return out;
}

std::vector<uint8_t> ownInflate(const std::vector<uint8_t>& stream, bool* ok) {
    std::vector<uint8_t> out, work(codec::kInflateWorkSize), room(65520);
    codec::inflateBegin(work.data());
    size_t at = 0;
    *ok = false;
    for (;;) {
        size_t piece = std::min<size_t>(65520, stream.size() - at);
        bool last = at + piece == stream.size();
        codec::InflateResult r = codec::inflateStep(work.data(), stream.data() + at, piece, room.data(), room.size(), last);
        at += r.taken;
        out.insert(out.end(), room.begin(), room.begin() + static_cast<long>(r.written));
        if (r.status == codec::InflateStatus::kEnd) {
            *ok = true;
            return out;
        }
        if (r.status == codec::InflateStatus::kBadData) return out;
        if (r.taken == 0 && r.written == 0 && last) return out;
    }
}

std::vector<uint8_t> deflateWhole(const std::vector<uint8_t>& input, uint16_t chainLimit, bool dynamicBlocks) {
    uint32_t sizes[3];
    AxDeflateBufSize(&sizes[0], &sizes[1], &sizes[2]);
    std::vector<uint8_t> main(sizes[0]), chain(sizes[1]), tokens(sizes[2]);
    AxDeflateInit(main.data(), chain.data(), tokens.data());
    std::vector<uint8_t> out(input.size() + input.size() / 4 + 1024);
    uint32_t taken = static_cast<uint32_t>(input.size()), written = static_cast<uint32_t>(out.size());
    int32_t r = AxDeflate(chainLimit, dynamicBlocks, input.data(), 0, &taken, out.data(), 0, &written, 1, main.data(),
                          chain.data(), tokens.data());
    if (r != -1 || taken != input.size()) throw std::runtime_error("deflateWhole did not finish in one call");
    out.resize(written);
    return out;
}

std::vector<uint8_t> deflatePieces(const std::vector<uint8_t>& input, uint16_t chainLimit, bool dynamicBlocks,
                                   const std::function<uint32_t(size_t)>& inputPiece,
                                   const std::function<uint32_t(size_t)>& outputRoom) {
    uint32_t sizes[3];
    AxDeflateBufSize(&sizes[0], &sizes[1], &sizes[2]);
    // Odd addresses: the buffers need no alignment.
    std::vector<uint8_t> main(sizes[0] + 1), chain(sizes[1] + 1), tokens(sizes[2] + 1);
    AxDeflateInit(main.data() + 1, chain.data() + 1, tokens.data() + 1);
    std::vector<uint8_t> out;
    std::vector<uint8_t> room;
    size_t pos = 0, pieceIndex = 0, roomIndex = 0;
    uint32_t pieceLeft = 0, roomLeft = 0;
    size_t pieceStart = 0;
    for (size_t calls = 0;; ++calls) {
        if (calls > 100 * (input.size() + 1000)) throw std::runtime_error("deflatePieces makes no progress");
        if (pieceLeft == 0 && pos < input.size()) {
            pieceLeft = std::min<uint32_t>(std::max<uint32_t>(inputPiece(pieceIndex++), 1),
                                           static_cast<uint32_t>(input.size() - pos));
            pieceStart = pos;
        }
        if (roomLeft == 0) {
            roomLeft = std::max<uint32_t>(outputRoom(roomIndex++), 1);
            room.assign(roomLeft + 2, 0xA5);
        }
        uint32_t taken = pieceLeft, written = roomLeft;
        int16_t last = pos + pieceLeft == input.size();
        // Offsets into the piece and the room exercise the offset arguments.
        int32_t r = AxDeflate(chainLimit, dynamicBlocks, input.data() + pieceStart, static_cast<uint32_t>(pos - pieceStart),
                              &taken, room.data(), 1, &written, last, main.data() + 1, chain.data() + 1,
                              tokens.data() + 1);
        if (taken > pieceLeft || written > roomLeft) throw std::runtime_error("counts beyond what was offered");
        if (room[0] != 0xA5 || room[1 + roomLeft] != 0xA5) throw std::runtime_error("wrote outside the room");
        out.insert(out.end(), room.begin() + 1, room.begin() + 1 + written);
        pos += taken;
        pieceLeft -= taken;
        roomLeft -= written;
        room.erase(room.begin() + 1, room.begin() + 1 + written);
        if (r == -1) break;
        if (r != 0) throw std::runtime_error("unexpected result");
        // A stop with room and input left over is a protocol fault.
        if (roomLeft != 0 && pieceLeft != 0) throw std::runtime_error("stopped with input and room left");
    }
    if (pos != input.size()) throw std::runtime_error("input not all taken");
    return out;
}

}  // namespace zar::test
