#include "archive/byte_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zar::archive {

int64_t FileSource::size() { return fs::fileLength(file_); }

bool FileSource::readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (offset > uint64_t{INT64_MAX} || !fs::seekTo(file_, static_cast<int64_t>(offset))) return false;
    return fs::readSome(file_, buffer, count, done);
}

bool MemorySource::readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (offset >= size_) return true;
    *done = static_cast<uint32_t>(std::min<size_t>(count, size_ - offset));
    std::memcpy(buffer, data_ + offset, *done);
    return true;
}

}  // namespace zar::archive
