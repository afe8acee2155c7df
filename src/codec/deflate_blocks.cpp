// Deflate block coder: code building, the code description of dynamic blocks,
// and the resumable writing of header, tokens and end-of-block code.
#include "codec/deflate_blocks.h"

#include <bit>
#include <cstring>

#include "common/bytes.h"

namespace zar::codec {
namespace {

// Where continueBlock resumes. A block goes through the phases in this order;
// within a phase `item` counts what has been put already.
enum Phase : uint8_t {
    kPhaseHeader,       // BFINAL, BTYPE and, for dynamic codes, HLIT, HDIST, HCLEN
    kPhaseCodeLengths,  // item: next of the HCLEN 3-bit code-length lengths
    kPhaseRecords,      // item: byte offset of the next run-length record
    kPhaseTokens,       // item: next token; dataOffset: its data
    kPhaseEnd,          // the end-of-block code
    kPhaseDone,
};

// ---- Fixed codes, built at compile time by the same canonical rule ----------

struct FixedCodes {
    std::array<uint16_t, kLitLenSymbols> litCode{};
    std::array<uint8_t, kLitLenSymbols> litLength{};
    std::array<uint16_t, kDistSymbols> distCode{};
    std::array<uint8_t, kDistSymbols> distLength{};
};

constexpr FixedCodes makeFixedCodes() {
    FixedCodes f;
    for (unsigned s = 0; s < kLitLenSymbols; ++s) f.litLength[s] = fixedLitLenLength(s);
    assignCanonicalCodes(f.litLength.data(), kLitLenSymbols, f.litCode.data());
    for (auto& l : f.distLength) l = kFixedDistLength;
    assignCanonicalCodes(f.distLength.data(), kDistSymbols, f.distCode.data());
    return f;
}

constexpr FixedCodes kFixed = makeFixedCodes();
// Literal 0 is 00110000, 144 is 110010000, end-of-block 0000000, 280 11000000.
static_assert(kFixed.litCode[0] == reverseBits(0x30, 8) && kFixed.litCode[144] == reverseBits(0x190, 9) &&
              kFixed.litCode[256] == 0 && kFixed.litCode[280] == reverseBits(0xC0, 8) &&
              kFixed.litCode[287] == reverseBits(0xC7, 8) && kFixed.distCode[6] == reverseBits(6, 5));

// ---- Bit output ---------------------------------------------------------------

// The pending bits of one call, held in registers and stored back on return.
struct Bits {
    uint64_t bits;
    uint32_t count;

    void put(uint32_t value, unsigned n) {
        bits |= uint64_t{value} << count;
        count += n;
    }

    // Writes complete bytes while there is room. False means the call stops:
    // this drain filled the last byte of room, or a complete byte waits and
    // there is no room at all.
    bool drain(OutputCursor& out) {
        if (count < 8) return true;
        if (out.room == 0) return false;
        do {
            *out.next++ = static_cast<uint8_t>(bits);
            bits >>= 8;
            count -= 8;
            if (--out.room == 0) return false;
        } while (count >= 8);
        return true;
    }

    // With at least 8 bytes of room: writes the complete bytes with one store.
    // The bytes past them within the room receive the partial byte and zeros,
    // which later writes replace. Leaves at least 2 bytes of room, since no
    // more than 55 bits are ever pending.
    void drainFast(OutputCursor& out) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out.next, &bits, 8);
        } else {
            for (int i = 0; i < 8; ++i) out.next[i] = static_cast<uint8_t>(bits >> (8 * i));
        }
        unsigned n = count >> 3;
        out.next += n;
        out.room -= n;
        bits >>= count & ~7u;
        count &= 7;
    }
};

// ---- Dynamic code description -----------------------------------------------

// Run-length codes the HLIT literal/length lengths followed by the HDIST
// distance lengths, as one sequence, and counts the records' symbols.
void makeCodeLengthRecords(BlockCoder& c) {
    unsigned at = 0;
    auto emit = [&](unsigned sym) {
        c.records[at++] = static_cast<uint8_t>(sym);
        ++c.codeLengthFreq[sym];
    };
    int previous = -1;  // none yet
    unsigned repeats = 0, zeros = 0;
    auto flushRepeats = [&] {
        if (repeats < 3) {
            for (; repeats > 0; --repeats) emit(static_cast<unsigned>(previous));
        } else {
            emit(16);
            c.records[at++] = static_cast<uint8_t>(repeats - 3);
        }
        repeats = 0;
    };
    auto flushZeros = [&] {
        if (zeros < 3) {
            for (; zeros > 0; --zeros) emit(0);
        } else if (zeros <= 10) {
            emit(17);
            c.records[at++] = static_cast<uint8_t>(zeros - 3);
        } else {
            emit(18);
            c.records[at++] = static_cast<uint8_t>(zeros - 11);
        }
        zeros = 0;
    };

    for (unsigned i = 0; i < kCodeLengthSymbols; ++i) c.codeLengthFreq[i] = 0;
    for (unsigned i = 0; i < unsigned{c.hlit} + c.hdist; ++i) {
        int len = i < c.hlit ? c.litLength[i] : c.distLength[i - c.hlit];
        if (len == 0) {
            flushRepeats();
            previous = 0;
            if (++zeros == 138) flushZeros();
        } else if (len == previous) {
            if (++repeats == 6) flushRepeats();
        } else {
            flushRepeats();
            flushZeros();
            emit(static_cast<unsigned>(len));
            previous = len;
        }
    }
    flushRepeats();
    flushZeros();
    c.recordBytes = static_cast<uint16_t>(at);
}

void buildDynamicCodes(BlockCoder& c, const uint8_t* tokens, unsigned count) {
    for (auto& f : c.litFreq) f = 0;
    for (auto& f : c.distFreq) f = 0;
    const uint8_t* data = tokens + kTokenDataOffset;
    for (unsigned k = 0; k < count; k += 8) {
        unsigned kinds = tokens[k >> 3];
        for (unsigned i = 0, n = count - k < 8 ? count - k : 8; i < n; ++i) {
            if (kinds >> i & 1) {
                ++c.litFreq[257 + kLengthSymbol[data[0]]];
                ++c.distFreq[distSymbol(loadLe16(data + 1))];
                data += 3;
            } else {
                ++c.litFreq[*data++];
            }
        }
    }
    c.litFreq[kEndOfBlock] = 1;

    buildCodeLengths(c.litFreq, kLitLenSymbols, kMaxCodeLength, c.litLength, c.scratch);
    assignCanonicalCodes(c.litLength, kLitLenSymbols, c.litCode);
    buildCodeLengths(c.distFreq, kDistSymbols, kMaxCodeLength, c.distLength, c.scratch);
    assignCanonicalCodes(c.distLength, kDistSymbols, c.distCode);

    unsigned hlit = 286;
    while (hlit > 257 && c.litLength[hlit - 1] == 0) --hlit;
    unsigned hdist = 30;
    while (hdist > 1 && c.distLength[hdist - 1] == 0) --hdist;
    c.hlit = static_cast<uint16_t>(hlit);
    c.hdist = static_cast<uint16_t>(hdist);

    makeCodeLengthRecords(c);
    buildCodeLengths(c.codeLengthFreq, kCodeLengthSymbols, kMaxCodeLengthCodeLength, c.codeLengthLength, c.scratch);
    assignCanonicalCodes(c.codeLengthLength, kCodeLengthSymbols, c.codeLengthCode);

    unsigned hclen = kCodeLengthSymbols;
    while (hclen > 4 && c.codeLengthLength[kCodeLengthOrder[hclen - 1]] == 0) --hclen;
    c.hclen = static_cast<uint16_t>(hclen);
}

constexpr uint32_t pack(uint32_t code, unsigned length) { return code | uint32_t{length} << 24; }

// Packs the block's codes for the token loop (see BlockCoder::PackedCodes).
void packCodes(BlockCoder& c) {
    for (unsigned s = 0; s < kLitLenSymbols; ++s) c.packed.lit[s] = pack(c.litCode[s], c.litLength[s]);
    for (unsigned l = 0; l < 256; ++l) {
        unsigned sym = kLengthSymbol[l], code = 257 + sym;
        c.packed.length[l] = pack(c.litCode[code] | (l + 3 - kLengthBase[sym]) << c.litLength[code],
                                  c.litLength[code] + kLengthExtra[sym]);
    }
    for (unsigned s = 0; s < kDistSymbols; ++s) c.packed.dist[s] = pack(c.distCode[s], c.distLength[s]);
}

// Puts one token's codes, a match when isMatch is nonzero; at most 48 bits.
inline void putToken(Bits& b, const BlockCoder::PackedCodes& codes, const uint8_t* tokens, unsigned isMatch,
                     unsigned& offset) {
    const uint8_t* data = tokens + kTokenDataOffset + offset;
    if (isMatch) {
        uint32_t e = codes.length[data[0]];
        b.put(e & 0xFFFFFF, e >> 24);
        unsigned d = loadLe16(data + 1);
        unsigned ds = distSymbol(d);
        e = codes.dist[ds];
        b.put((e & 0xFFFFFF) | (d - kDistBase[ds]) << (e >> 24), (e >> 24) + kDistExtra[ds]);
        offset += 3;
    } else {
        uint32_t e = codes.lit[data[0]];
        b.put(e & 0xFFFFFF, e >> 24);
        offset += 1;
    }
}

}  // namespace

void startBlock(BlockCoder& c, const uint8_t* tokens, unsigned count, bool dynamic, bool last) {
    c.tokenCount = static_cast<uint16_t>(count);
    c.dynamic = dynamic;
    c.last = last;
    c.phase = kPhaseHeader;
    c.item = 0;
    c.dataOffset = 0;
    if (dynamic) {
        buildDynamicCodes(c, tokens, count);
    } else {
        c.hclen = 0;
        c.recordBytes = 0;
        for (unsigned s = 0; s < kLitLenSymbols; ++s) {
            c.litCode[s] = kFixed.litCode[s];
            c.litLength[s] = kFixed.litLength[s];
        }
        for (unsigned s = 0; s < kDistSymbols; ++s) {
            c.distCode[s] = kFixed.distCode[s];
            c.distLength[s] = kFixed.distLength[s];
        }
    }
    packCodes(c);
}

bool continueBlock(BlockCoder& c, const uint8_t* tokens, OutputCursor& out) {
    // The pending bits live in registers during the call and go back to the
    // coder on every return.
    struct Pending : Bits {
        BlockCoder& coder;
        ~Pending() {
            coder.bits = bits;
            coder.bitCount = count;
        }
    } b{{c.bits, c.bitCount}, c};

    // Every put is followed by a drain; when a drain says stop, the resume
    // point has already moved past what was put.
    if (!b.drain(out)) return false;
    switch (c.phase) {
    case kPhaseHeader:
        b.put(c.last ? 1u : 0u, 1);
        b.put(c.dynamic ? 2u : 1u, 2);
        if (c.dynamic) b.put((c.hlit - 257u) | (c.hdist - 1u) << 5 | (c.hclen - 4u) << 10, 14);
        c.phase = kPhaseCodeLengths;
        c.item = 0;
        if (!b.drain(out)) return false;
        [[fallthrough]];
    case kPhaseCodeLengths:  // none for fixed codes: hclen is 0
        while (c.item < c.hclen) {
            b.put(c.codeLengthLength[kCodeLengthOrder[c.item++]], 3);
            if (!b.drain(out)) return false;
        }
        c.phase = kPhaseRecords;
        c.item = 0;
        [[fallthrough]];
    case kPhaseRecords:  // none for fixed codes: recordBytes is 0
        while (c.item < c.recordBytes) {
            unsigned sym = c.records[c.item++];
            b.put(c.codeLengthCode[sym], c.codeLengthLength[sym]);
            if (sym >= 16) b.put(c.records[c.item++], codeLengthExtra(sym));
            if (!b.drain(out)) return false;
        }
        c.phase = kPhaseTokens;
        c.item = 0;
        [[fallthrough]];
    case kPhaseTokens: {
        unsigned k = c.item, offset = c.dataOffset, count = c.tokenCount;
        auto isMatch = [tokens](unsigned i) { return tokens[i >> 3] >> (i & 7) & 1u; };
        while (k < count) {
            // Eight whole tokens of one kind byte while the room takes their
            // worst case (8 x 6 bytes) and the 8-byte store of the last.
            if ((k & 7) == 0 && count - k >= 8 && out.room >= 56) {
                do {
                    unsigned kinds = tokens[k >> 3];
                    for (unsigned i = 0; i < 8; ++i) {
                        putToken(b, c.packed, tokens, kinds >> i & 1, offset);
                        b.drainFast(out);
                    }
                    k += 8;
                } while (count - k >= 8 && out.room >= 56);
            } else if (out.room >= 8) {
                putToken(b, c.packed, tokens, isMatch(k++), offset);
                b.drainFast(out);
            } else {
                putToken(b, c.packed, tokens, isMatch(k++), offset);
                if (!b.drain(out)) {
                    c.item = static_cast<uint16_t>(k);
                    c.dataOffset = static_cast<uint16_t>(offset);
                    return false;
                }
            }
        }
        c.phase = kPhaseEnd;
        [[fallthrough]];
    }
    case kPhaseEnd:
        b.put(c.litCode[kEndOfBlock], c.litLength[kEndOfBlock]);
        c.phase = kPhaseDone;
        if (!b.drain(out)) return false;
        [[fallthrough]];
    default:
        return true;
    }
}

bool finishStream(BlockCoder& c, OutputCursor& out) {
    Bits b{c.bits, c.bitCount};
    b.count = (b.count + 7) & ~7u;
    bool done = b.drain(out) && b.count == 0;
    c.bits = b.bits;
    c.bitCount = b.count;
    return done;
}

}  // namespace zar::codec
