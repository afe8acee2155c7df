#include "extract/pipeline.h"

#include <algorithm>
#include <cstring>

#include "archive/handles.h"
#include "codec/crc32.h"
#include "codec/zipcrypto.h"
#include "extract/decoders.h"
#include "frame/run_state.h"
#include "frame/status.h"

namespace zar::extract {
namespace {

void reportProgress(uint32_t done) {
    StatusRecord& status = frame::status();
    status.doneBytes = done;
    frame::progress();
}

// What a delivery tells the decoding loop: go on, stop because the caller has
// all it wants, or stop with a failure.
struct Delivery {
    Result failure = kOk;
    bool enough = false;
};
constexpr Delivery kGoOn{};
constexpr Delivery kEnough{kOk, true};

// Feeds the entry's compressed data block by block to its decoder and hands
// every produced piece to `deliver`. Reports progress when asked.
template <class Deliver>
Result runDecoder(const EntryData& entry, Decoder& decoder, const archive::WorkBuffers& buffers,
                  bool progress, const uint32_t* doneBytes, Deliver&& deliver) {
    uint32_t remaining = entry.packedSize;
    for (;;) {
        const uint32_t blockSize = std::min(remaining, kBlockSize);
        const bool last = remaining <= kBlockSize;
        if (!fs::readExact(entry.input, buffers.first(), blockSize)) return kShortRead;
        if (entry.encrypted) codec::sharedKeys().decrypt(buffers.first(), blockSize);
        remaining -= blockSize;

        bool finished = false;
        for (uint32_t at = 0;;) {
            if (progress) reportProgress(*doneBytes);
            uint32_t consumed = 0, produced = 0;
            finished = decoder.step(buffers.first() + at, blockSize - at, &consumed, buffers.second(),
                                    kBlockSize, &produced, last);
            at += consumed;
            if (produced != 0) {
                const Delivery d = deliver(buffers.second(), produced);
                if (d.failure != kOk) return d.failure;
                if (d.enough) return kOk;
            }
            frame::yield();
            if (finished) break;
            // A decoder that neither takes input nor gives output will not
            // finish: its data is cut short, which the CRC comparison reports.
            if (consumed == 0 && produced == 0) {
                finished = true;
                break;
            }
            // Past the last input a decoder may still hold output back, so it
            // is called until it finishes or stops giving any.
            if (at == blockSize && !last) break;
        }
        if (finished || frame::cancelPending()) return kOk;
    }
}

}  // namespace

Result decodeToFile(const EntryData& entry, fs::FileHandle output, uint32_t* crc) {
    *crc = 0;
    StatusRecord& status = frame::status();
    uint32_t written = 0;
    reportProgress(0);
    if (entry.packedSize < 1) return kOk;

    Result result;
    std::unique_ptr<Decoder> decoder = makeDecoder(entry.methodCode, entry.flags, &result);
    if (!decoder) return result;
    archive::WorkBuffers buffers;
    if (Result r = buffers.acquire(); r != kOk) return r;

    // Decoding stops at the entry's declared size: a stream that would decode
    // to more is cut there, and the CRC comparison judges what was produced.
    uint32_t running = 0xFFFFFFFFu;
    uint32_t decoded = 0;
    result = runDecoder(entry, *decoder, buffers, true, &written, [&](const uint8_t* bytes, uint32_t n) {
        n = std::min(n, entry.unpackedSize - decoded);
        running = codec::crc32Update(bytes, n, running);
        if (output != fs::kInvalidFile) {
            if (!fs::writeAll(output, bytes, n)) return Delivery{kWriteFailed};
            written += n;
        }
        decoded += n;
        return decoded == entry.unpackedSize ? kEnough : kGoOn;
    });
    if (result == kOk && frame::takeCancel()) result = kCancelled;
    status.doneBytes = entry.unpackedSize;
    frame::progress();
    *crc = ~running;
    return result;
}

Result decodeToMemory(const EntryData& entry, uint8_t* destination, int32_t start, int32_t count,
                      uint32_t* delivered) {
    *delivered = 0;
    // Codes that memory extraction never decodes; the rest need a decoder as well.
    if (entry.methodCode == kCodeLibraryImploded || entry.methodCode > kCodeImploded) return kUnknownMethod;
    const uint64_t wanted = count < 0 ? 2147483647u : static_cast<uint32_t>(count);
    const uint64_t from = start < 0 ? 0 : static_cast<uint32_t>(start);
    if (entry.packedSize < 1 || wanted == 0) return kOk;

    Result result;
    std::unique_ptr<Decoder> decoder = makeDecoder(entry.methodCode, entry.flags, &result);
    if (!decoder) return result;
    archive::WorkBuffers buffers;
    if (Result r = buffers.acquire(); r != kOk) return r;

    // As for files, nothing past the entry's declared size is delivered.
    const uint64_t end = std::min<uint64_t>(from + wanted, entry.unpackedSize);
    if (from >= end) return kOk;
    uint64_t position = 0;  // of the next produced byte in the decoded stream
    result = runDecoder(entry, *decoder, buffers, false, nullptr, [&](const uint8_t* bytes, uint32_t n) {
        uint64_t pieceEnd = std::min<uint64_t>(position + n, entry.unpackedSize);
        uint64_t copyFrom = std::max(position, from);
        uint64_t copyTo = std::min(pieceEnd, end);
        if (copyFrom < copyTo) {
            std::memcpy(destination + (copyFrom - from), bytes + (copyFrom - position), copyTo - copyFrom);
            *delivered = static_cast<uint32_t>(copyTo - from);
        }
        position = pieceEnd;
        return position >= end ? kEnough : kGoOn;
    });
    if (result == kOk && frame::takeCancel()) result = kCancelled;
    return result;
}

}  // namespace zar::extract
