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

uint32_t readFile(FileHandle file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!platform::readFile(file, buffer, count, &done)) return 0;
    return done;
}

int writeAll(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!platform::writeFile(file, buffer, count, &done) || done != count) return 1;
    return 0;
}

bool seekTo(FileHandle file, uint32_t offset) {
    return platform::seekFile(file, offset, platform::SeekFrom::Begin) == static_cast<int64_t>(offset);
}

void closeFile(FileHandle& file) {
    if (file == kInvalidFile) return;
    platform::closeFile(file);
    file = kInvalidFile;
}

bool deleteFile(const char* name) { return platform::deleteFile(ansiName(name).c_str()); }

Block allocateBlock(size_t size) { return Block(static_cast<uint8_t*>(platform::allocateBlock(size))); }

}  // namespace zar::fs
