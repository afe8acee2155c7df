// File operations over the platform layer, in the library's terms: names are
// held in the OEM code page and converted when they reach the file system;
// reads and writes move whole blocks; a closed handle variable reads invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/platform.h"

namespace zar::fs {

using platform::Disposition;
using platform::FileHandle;
using platform::kInvalidFile;

// Opens or creates a file. With `convert` the OEM name is turned into the
// ANSI form first. Returns kInvalidFile on failure.
FileHandle openFile(const char* name, uint32_t access, uint32_t share, Disposition disposition,
                    uint32_t attributes, bool convert);

// Bytes read; 0 on failure. Callers map a short count to kShortRead.
uint32_t readFile(FileHandle file, void* buffer, uint32_t count);

// 0 when all `count` bytes were written; nonzero on failure or a short write.
int writeAll(FileHandle file, const void* buffer, uint32_t count);

// Seeks to an absolute offset; false on failure.
bool seekTo(FileHandle file, uint32_t offset);

// Closes a valid handle and sets the variable to invalid; a second close does nothing.
void closeFile(FileHandle& file);

// Deletes the file of an OEM name; true on success.
bool deleteFile(const char* name);

// Owns an open file: closes it on every exit path.
class File {
public:
    File() = default;
    explicit File(FileHandle handle) : handle_(handle) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(std::exchange(other.handle_, kInvalidFile)) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, kInvalidFile);
        }
        return *this;
    }
    ~File() { close(); }

    FileHandle get() const { return handle_; }
    bool valid() const { return handle_ != kInvalidFile; }
    FileHandle release() { return std::exchange(handle_, kInvalidFile); }
    void close() { closeFile(handle_); }

private:
    FileHandle handle_ = kInvalidFile;
};

// Working memory for large buffers, freed on every exit path.
struct BlockDeleter {
    void operator()(uint8_t* block) const { platform::freeBlock(block); }
};
using Block = std::unique_ptr<uint8_t[], BlockDeleter>;

// A block of `size` bytes; empty when memory runs out.
Block allocateBlock(size_t size);

}  // namespace zar::fs
