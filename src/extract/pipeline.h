// The entry decoding pipeline: an entry's compressed data is read in blocks of
// at most 65520 bytes, decrypted when it is encrypted, decoded by the decoder of
// its method code, and delivered to a file (with a CRC-32 and progress
// reports) or into host memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/handles.h"
#include "codec/zipcrypto.h"
#include "extract/decoders.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::extract {

// Compressed data is read, and decoded data delivered, in pieces of this size.
inline constexpr uint32_t kBlockSize = archive::kWorkBufferSize;

struct EntryData {
    fs::FileHandle input = fs::kInvalidFile;  // at the first byte of compressed data
    uint64_t packedSize = 0;                  // not counting an encryption header
    uint64_t unpackedSize = 0;
    uint16_t method = 0;                      // the ZIP method, which chooses the decoder
    uint16_t flags = 0;                       // general-purpose flags
    bool encrypted = false;                   // decrypt with the shared keys
    const uint8_t* held = nullptr;            // the compressed data in memory, read instead of input
};

// Positions the archive file at the data of the entry whose local header
// lies at `localOffset`: past the local header, its name and its extra field
// for ZIP entries; at the recorded offset for the members of TAR and gzip
// files, which have no local headers. kOk, or kShortRead when the seek or the
// read of the local header fails.
Result locateData(const archive::ArchiveHandle& archive, uint64_t localOffset);

// Decodes an entry into `output`, or only checks it when `output` is invalid
// (test mode). `*crc` receives the CRC-32 of the decoded bytes whatever the
// outcome (0 for an entry without data). kOk, kUnknownMethod, kCancelled,
// kWriteFailed, kShortRead, kNoMemory.
Result decodeToFile(const EntryData& entry, fs::FileHandle output, uint32_t* crc);

// Decoding into host memory, one window of the decoded bytes after another.
// The decode keeps its own input block, decoder state and keys, so that a
// window that starts at or after the end of the last one goes on from there
// instead of decoding the entry again from its first byte. Decoded bytes go
// straight into the host's memory; those before a window go through a work
// buffer and are dropped. Nothing is ever written outside the window, and no
// byte past the entry's declared size is delivered.
class MemoryDecode {
public:
    // Prepares the decode of `entry`, whose input stands at its compressed
    // data; an encrypted entry's data is decrypted from the shared keys as
    // they are now (just after its password check). kOk; kUnknownMethod for a
    // method code without a decoder; kShortRead when the input's position
    // cannot be had; kNoMemory.
    Result begin(const EntryData& entry);

    // Delivers the decoded bytes [from, end) to `destination`, which has room
    // for end - from bytes; `end` is cut to the declared size, and `from` must
    // not lie before position(). `*delivered` receives how many bytes were put
    // there. Stops reading as soon as the window is full. No CRC-32 is kept:
    // a window cannot be judged by it, and a host that reads a whole entry
    // checks it itself.
    // kOk; kCrcMismatch when the data ends (or turns out invalid) before the
    // window does although the declared size reaches further: the window
    // could not be filled; kShortRead; kCancelled (the cancel flag, seen after
    // each block read, is cleared); kNoMemory. After any failure the decode
    // can go no further.
    Result deliver(uint8_t* destination, uint64_t from, uint64_t end, uint32_t* delivered);

    // How many decoded bytes lie behind: where the next window may start.
    uint64_t position() const { return position_; }
    // True while a later window can still be decoded from here.
    bool resumable() const { return state_ == State::Decoding && position_ < entry_.unpackedSize; }

private:
    enum class State { Idle, Decoding, Ended, Failed };
    Result fail(Result code) {
        state_ = State::Failed;
        failure_ = code;
        return code;
    }

    EntryData entry_;
    std::unique_ptr<Decoder> decoder_;
    codec::ZipCryptoKeys keys_;
    std::vector<uint8_t> input_;  // the compressed block in hand, decrypted
    uint32_t filled_ = 0;         // bytes of it read
    uint32_t taken_ = 0;          // bytes of it the decoder has consumed
    uint64_t remaining_ = 0;      // compressed bytes not read yet
    int64_t inputAt_ = 0;         // where they start in the input file
    uint64_t position_ = 0;       // decoded bytes so far
    State state_ = State::Idle;
    Result failure_ = kOk;
};

// One window of an entry decoded into memory from its first byte: bytes
// [start, start + count) to `destination`; a negative count means no limit, a
// negative start counts as 0. `*delivered` receives how many bytes were put
// there. Results as MemoryDecode::begin and deliver.
Result decodeToMemory(const EntryData& entry, uint8_t* destination, int32_t start, int32_t count,
                      uint32_t* delivered);

}  // namespace zar::extract
