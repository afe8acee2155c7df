// Locating the end of the central directory: the end record of a ZIP archive,
// or the end trailer of the older single-file kind.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

// Random-access reads over an archive file or a buffer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The length in bytes, or -1 when it cannot be had.
    virtual int64_t size() = 0;
    // Reads up to `count` bytes at `offset`; false on a seek or read failure.
    // `*done` holds the bytes read, fewer than asked at the end of the data.
    virtual bool readAt(uint32_t offset, void* buffer, uint32_t count, uint32_t* done) = 0;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(fs::FileHandle file) : file_(file) {}
    int64_t size() override;
    bool readAt(uint32_t offset, void* buffer, uint32_t count, uint32_t* done) override;

private:
    fs::FileHandle file_;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t size() override { return static_cast<int64_t>(size_); }
    bool readAt(uint32_t offset, void* buffer, uint32_t count, uint32_t* done) override;

private:
    const uint8_t* data_;
    size_t size_;
};

enum class EndKind {
    Zip,            // the end record "PK\5\6", 22 bytes
    OldSingleFile,  // the trailer "KQB3", 18 bytes; the directory starts at 0
};

// Where the directory starts and where its end record lies; both are
// kNotFound when the search found no end record.
struct EndLocation {
    static constexpr uint32_t kNotFound = 0xFFFFFFFFu;
    uint32_t directoryStart = kNotFound;
    uint32_t endRecord = kNotFound;
};

// Looks for the end record. An end record in the last bytes of the file is
// taken as it stands. Otherwise the last 65535 + record-size bytes are scanned
// from the oldest byte forward, and the first candidate whose directory offset
// leads to a central record is taken (or, for an archive without entries,
// whose empty directory starts where the candidate itself lies).
//
// Returns kBadArchive for a file too short to hold the record, kAccessDenied
// for a failed read, kNoMemory, and for the older kind kBadTrailer or
// kBadArchive for a trailer with bad fields. Finding nothing is not a failure:
// the location then holds kNotFound, so every later read of the directory fails.
Result locateEndRecord(ByteSource& source, EndKind kind, EndLocation* location);

}  // namespace zar::archive
