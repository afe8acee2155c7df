// The work-file builders of the single-file foreign kinds, one file each
// (workfile_tar.cpp, workfile_gzip.cpp, ...), and the few reading helpers they
// share. Every builder reads only through a ByteSource and works out each
// offset in 64 bits, so that a length field can never wrap an offset around.
#pragma once

#include <cstdint>
#include <string>

#include "archive/records.h"
#include "archive/workfile.h"

namespace zar::archive {

Result buildLzhRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);
Result buildArjRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);
Result buildZooRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);
Result buildArcRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);
Result buildTarRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);
Result buildGzipRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd& end);

namespace foreign {

// Offsets past this cannot be read: sources are addressed with 32 bits.
inline constexpr uint64_t kLastOffset = 0xFFFFFFFFu;

// Reads up to `count` bytes at `offset` into `buffer`; `*done` holds how many
// came (0 for an offset past the 32-bit range). kAccessDenied when the seek or
// the read failed.
inline Result readSome(ByteSource& source, uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (offset > kLastOffset) return kOk;
    uint64_t room = kLastOffset - offset + 1;
    if (count > room) count = static_cast<uint32_t>(room);
    if (!source.readAt(static_cast<uint32_t>(offset), buffer, count, done)) return kAccessDenied;
    if (*done > count) *done = count;  // a source that claims more than it was asked for
    return kOk;
}

// Reads exactly `count` bytes: kShortRead when the data ends first.
inline Result readExact(ByteSource& source, uint64_t offset, void* buffer, uint32_t count) {
    uint32_t done;
    if (Result r = readSome(source, offset, buffer, count, &done); r != kOk) return r;
    return done == count ? kOk : kShortRead;
}

// Reads exactly `count` bytes into a string.
inline Result readString(ByteSource& source, uint64_t offset, uint32_t count, std::string* out) {
    out->assign(count, '\0');
    if (count == 0) return kOk;
    return readExact(source, offset, out->data(), count);
}

// The text of a fixed field up to its first NUL (all of it when it has none).
inline std::string fieldText(const uint8_t* field, size_t width) {
    size_t length = 0;
    while (length < width && field[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}

// Comments of these kinds are stored with the line end of their last line;
// the listing drops it.
inline void dropLastLineEnd(std::string& comment) {
    if (!comment.empty() && (comment.back() == '\n' || comment.back() == '\0')) comment.pop_back();
}

}  // namespace foreign
}  // namespace zar::archive
