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

// Reads and writes say whether they failed apart from how much they moved:
// a read that meets the end of the file succeeds with a short count.

// Reads up to `count` bytes. False when the read fails; otherwise `*done`
// holds what was read, fewer than asked only at the end of the file.
bool readSome(FileHandle file, void* buffer, uint32_t count, uint32_t* done);

// True when all `count` bytes were read. The end of the file and a failure
// both give false: for the callers that need the bytes, either is kShortRead.
bool readExact(FileHandle file, void* buffer, uint32_t count);

// True when all `count` bytes were written.
bool writeAll(FileHandle file, const void* buffer, uint32_t count);

// Seeks to an absolute offset; false on failure.
bool seekTo(FileHandle file, int64_t offset);

// Moves `distance` bytes on from the current position; false on failure.
bool skip(FileHandle file, int64_t distance);

// The current position, or -1.
int64_t positionOf(FileHandle file);

// Seeks to the end: the file's length, or -1.
int64_t seekToEnd(FileHandle file);

// The file's length without moving, or -1.
int64_t fileLength(FileHandle file);

// Cuts the file off at the current position; false on failure.
bool truncateHere(FileHandle file);

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
