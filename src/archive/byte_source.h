// Random-access reads over an archive file or over bytes in memory: what the
// end-record search, identification and the work-file builders read through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fs/file_io.h"

namespace zar::archive {

// The position the library keeps for a directory or record it has not found:
// all ones, which no read reaches.
inline constexpr uint64_t kNoPosition = ~uint64_t{0};

// Random-access reads over an archive file or a buffer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The length in bytes, or -1 when it cannot be had.
    virtual int64_t size() = 0;
    // Reads up to `count` bytes at `offset`; false on a seek or read failure.
    // `*done` holds the bytes read, fewer than asked at the end of the data.
    virtual bool readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) = 0;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(fs::FileHandle file) : file_(file) {}
    int64_t size() override;
    bool readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) override;

private:
    fs::FileHandle file_;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t size() override { return static_cast<int64_t>(size_); }
    bool readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) override;

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace zar::archive
