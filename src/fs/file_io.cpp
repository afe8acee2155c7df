#include "fs/file_io.h"

#include <string>

namespace zar::fs {
namespace {

std::string ansiName(const char* name) {
    std::string out(name);
    platform::oemToAnsi(out.data());
    return out;
}

}  // namespace

FileHandle openFile(const char* name, uint32_t access, uint32_t share, Disposition disposition,
                    uint32_t attributes, bool convert) {
    if (name == nullptr) return kInvalidFile;
    if (!convert) return platform::openFile(name, access, share, disposition, attributes);
    return platform::openFile(ansiName(name).c_str(), access, share, disposition, attributes);
}

bool readSome(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    return platform::readFile(file, buffer, count, done);
}

bool readExact(FileHandle file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    return platform::readFile(file, buffer, count, &done) && done == count;
}

bool writeAll(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    return platform::writeFile(file, buffer, count, &done) && done == count;
}

bool seekTo(FileHandle file, int64_t offset) {
    return offset >= 0 && platform::seekFile(file, offset, platform::SeekFrom::Begin) == offset;
}

bool skip(FileHandle file, int64_t distance) {
    return platform::seekFile(file, distance, platform::SeekFrom::Current) >= 0;
}

int64_t positionOf(FileHandle file) { return platform::seekFile(file, 0, platform::SeekFrom::Current); }

int64_t seekToEnd(FileHandle file) { return platform::seekFile(file, 0, platform::SeekFrom::End); }

int64_t fileLength(FileHandle file) { return platform::fileSize(file); }

bool truncateHere(FileHandle file) { return platform::truncateFile(file); }

void closeFile(FileHandle& file) {
    if (file == kInvalidFile) return;
    platform::closeFile(file);
    file = kInvalidFile;
}

bool deleteFile(const char* name) { return platform::deleteFile(ansiName(name).c_str()); }

Block allocateBlock(size_t size) { return Block(static_cast<uint8_t*>(platform::allocateBlock(size))); }

}  // namespace zar::fs
