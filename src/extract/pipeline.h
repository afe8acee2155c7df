// The entry decoding pipeline: an entry's compressed data is read in blocks of
// at most 65520 bytes, decrypted when it is encrypted, decoded by the decoder of
// its method code, and delivered to a file (with a CRC-32 and progress
// reports) or into host memory.
#pragma once

#include <cstdint>

#include "archive/handles.h"
#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::extract {

// Compressed data is read, and decoded data delivered, in pieces of this size.
inline constexpr uint32_t kBlockSize = archive::kWorkBufferSize;

struct EntryData {
    fs::FileHandle input = fs::kInvalidFile;  // at the first byte of compressed data
    uint32_t packedSize = 0;                  // not counting an encryption header
    uint32_t unpackedSize = 0;
    int16_t methodCode = 0;
    uint16_t flags = 0;                       // general-purpose flags
    bool encrypted = false;                   // decrypt with the shared keys
};

// Decodes an entry into `output`, or only checks it when `output` is invalid
// (test mode). `*crc` receives the CRC-32 of the decoded bytes whatever the
// outcome (0 for an entry without data). kOk, kUnknownMethod, kCancelled,
// kWriteFailed, kShortRead, kNoMemory.
Result decodeToFile(const EntryData& entry, fs::FileHandle output, uint32_t* crc);

// Delivers bytes [start, start + count) of an entry's decoded data to
// `destination`; a negative count means no limit. `*delivered` receives how
// many bytes were put there. Stops reading as soon as the count is reached.
Result decodeToMemory(const EntryData& entry, uint8_t* destination, int32_t start, int32_t count,
                      uint32_t* delivered);

}  // namespace zar::extract
