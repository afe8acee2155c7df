#include "extract/pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/handles.h"
#include "archive/records.h"
#include "codec/crc32.h"
#include "codec/zipcrypto.h"
#include "common/bytes.h"
#include "extract/decoders.h"
#include "frame/run_state.h"
#include "frame/status.h"

namespace zar::extract {
namespace {

void reportProgress(uint64_t done) {
    frame::setDoneBytes(done);
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
                  bool progress, const uint64_t* doneBytes, Deliver&& deliver) {
    uint64_t remaining = entry.packedSize;
    for (;;) {
        const uint32_t blockSize = static_cast<uint32_t>(std::min<uint64_t>(remaining, kBlockSize));
        const bool last = remaining <= kBlockSize;
        // Held bytes are decoded where they are, unless they are encrypted:
        // decryption works on a copy, and the window stays as the archive has it.
        const uint8_t* block = buffers.first();
        if (entry.held != nullptr && !entry.encrypted)
            block = entry.held + (entry.packedSize - remaining);
        else if (entry.held != nullptr)
            std::memcpy(buffers.first(), entry.held + (entry.packedSize - remaining), blockSize);
        else if (!fs::readExact(entry.input, buffers.first(), blockSize))
            return kShortRead;
        if (entry.encrypted) codec::sharedKeys().decrypt(buffers.first(), blockSize);
        remaining -= blockSize;

        bool finished = false;
        for (uint32_t at = 0;;) {
            if (progress) reportProgress(*doneBytes);
            uint32_t consumed = 0, produced = 0;
            finished = decoder.step(block + at, blockSize - at, &consumed, buffers.second(),
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
    uint64_t written = 0;
    reportProgress(0);
    if (entry.packedSize < 1) return kOk;

    Result result;
    std::unique_ptr<Decoder> decoder = makeDecoder(entry.method, entry.flags, &result, true);
    if (!decoder) return result;
    archive::WorkBuffers buffers;
    if (Result r = buffers.acquire(); r != kOk) return r;

    // Decoding stops at the entry's declared size: a stream that would decode
    // to more is cut there, and the CRC comparison judges what was produced.
    uint32_t running = 0xFFFFFFFFu;
    uint64_t decoded = 0;
    result = runDecoder(entry, *decoder, buffers, true, &written, [&](const uint8_t* bytes, uint32_t n) {
        n = static_cast<uint32_t>(std::min<uint64_t>(n, entry.unpackedSize - decoded));
        running = codec::crc32Update(bytes, n, running);
        if (output != fs::kInvalidFile) {
            if (!fs::writeAll(output, bytes, n)) return Delivery{kWriteFailed};
            written += n;
        }
        decoded += n;
        return decoded == entry.unpackedSize ? kEnough : kGoOn;
    });
    if (result == kOk && frame::takeCancel()) result = kCancelled;
    reportProgress(entry.unpackedSize);
    *crc = ~running;
    return result;
}

Result MemoryDecode::begin(const EntryData& entry) {
    entry_ = entry;
    state_ = State::Failed;
    failure_ = kShortRead;
    Result result;
    decoder_ = makeDecoder(entry.method, entry.flags, &result);
    if (!decoder_) return result;
    try {
        input_.resize(kBlockSize);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    inputAt_ = fs::positionOf(entry.input);
    if (inputAt_ < 0) return kShortRead;
    if (entry.encrypted) keys_ = codec::sharedKeys();
    filled_ = taken_ = 0;
    remaining_ = entry.packedSize;
    position_ = 0;
    state_ = State::Decoding;
    failure_ = kOk;
    return kOk;
}

Result MemoryDecode::deliver(uint8_t* destination, uint64_t from, uint64_t end, uint32_t* delivered) {
    *delivered = 0;
    end = std::min<uint64_t>(end, entry_.unpackedSize);
    if (from >= end) return kOk;
    if (state_ == State::Idle) return kShortRead;  // begin() was not called, or failed
    if (state_ == State::Failed) return failure_;
    if (from < position_) return fail(kShortRead);  // a window behind the decode: the caller starts anew

    archive::WorkBuffers buffers;  // where the bytes before the window go
    if (from > position_)
        if (Result r = buffers.acquire(); r != kOk) return fail(r);
    if (state_ == State::Decoding && remaining_ != 0 && !fs::seekTo(entry_.input, inputAt_)) return fail(kShortRead);

    while (state_ == State::Decoding && position_ < end) {
        if (taken_ == filled_ && remaining_ != 0) {
            const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(remaining_, kBlockSize));
            if (!fs::readExact(entry_.input, input_.data(), size)) return fail(kShortRead);
            if (entry_.encrypted) keys_.decrypt(input_.data(), size);
            remaining_ -= size;
            inputAt_ += size;
            filled_ = size;
            taken_ = 0;
            if (frame::takeCancel()) return fail(kCancelled);
        }
        // The room never reaches past the window, nor into it while bytes
        // before it are still being decoded.
        uint8_t* out;
        uint32_t room;
        if (position_ >= from) {
            out = destination + (position_ - from);
            room = static_cast<uint32_t>(std::min<uint64_t>(kBlockSize, end - position_));
        } else {
            out = buffers.second();
            room = static_cast<uint32_t>(std::min<uint64_t>(kBlockSize, from - position_));
        }
        uint32_t consumed = 0, produced = 0;
        const bool finished = decoder_->step(input_.data() + taken_, filled_ - taken_, &consumed, out, room,
                                             &produced, remaining_ == 0);
        taken_ += consumed;
        position_ += produced;
        frame::yield();
        // A decoder that neither takes input nor gives output will not finish.
        if (finished || (consumed == 0 && produced == 0)) state_ = State::Ended;
    }
    if (position_ > from) *delivered = static_cast<uint32_t>(std::min(position_, end) - from);

    if (position_ == entry_.unpackedSize) state_ = State::Ended;  // every declared byte is decoded
    // The data ended short of what the entry declares and the window wants.
    if (position_ < end) return fail(kCrcMismatch);
    return kOk;
}

Result decodeToMemory(const EntryData& entry, uint8_t* destination, int32_t start, int32_t count,
                      uint32_t* delivered) {
    *delivered = 0;
    const uint64_t from = start < 0 ? 0 : static_cast<uint32_t>(start);
    const uint64_t end = from + (count < 0 ? 2147483647u : static_cast<uint32_t>(count));
    if (from >= std::min<uint64_t>(end, entry.unpackedSize)) return kOk;
    MemoryDecode decode;
    if (Result r = decode.begin(entry); r != kOk) return r;
    return decode.deliver(destination, from, end, delivered);
}

Result locateData(const archive::ArchiveHandle& archive, uint64_t localOffset) {
    if (localOffset > uint64_t{INT64_MAX}) return kShortRead;
    const int64_t offset = static_cast<int64_t>(localOffset);
    if (!fs::seekTo(archive.file, offset)) return kShortRead;
    const archive::Kind kind = archive.kind;
    if (kind == archive::Kind::Tar || kind == archive::Kind::Gzip || archive::isForeign(kind)) return kOk;
    uint8_t local[archive::LocalHeader::kSize];
    if (!fs::readExact(archive.file, local, sizeof local)) return kShortRead;
    const int64_t data = offset + archive::LocalHeader::kSize +
                         loadLe16(local + archive::LocalHeader::kNameLength) +
                         loadLe16(local + archive::LocalHeader::kExtraLength);
    if (!fs::seekTo(archive.file, data)) return kShortRead;
    return kOk;
}

}  // namespace zar::extract
