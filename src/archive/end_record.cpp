#include "archive/end_record.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"

namespace zar::archive {

namespace {

bool startsWith(const uint8_t* p, uint32_t signature) { return loadLe32(p) == signature; }

bool startsWith(const uint8_t* p, std::string_view magic) { return std::memcmp(p, magic.data(), magic.size()) == 0; }

// An end record whose directory offset is all ones defers to a Zip64 end
// record, found through the locator just before it. The real offset is taken
// when it still fits 32 bits; otherwise the all-ones value stays.
uint32_t resolveZip64Offset(ByteSource& source, uint32_t endAt, uint32_t offset) {
    if (offset != kAllOnes32 || endAt < Zip64Locator::kSize) return offset;
    uint8_t locator[Zip64Locator::kSize];
    uint32_t done;
    if (!source.readAt(endAt - Zip64Locator::kSize, locator, sizeof locator, &done) || done != sizeof locator ||
        loadLe32(locator + Zip64Locator::kSignature) != kZip64LocatorSignature)
        return offset;
    uint64_t recordAt = loadLe64(locator + Zip64Locator::kEndRecordOffset);
    if (recordAt > kAllOnes32 - Zip64EndRecord::kSize) return offset;
    uint8_t record[Zip64EndRecord::kSize];
    if (!source.readAt(static_cast<uint32_t>(recordAt), record, sizeof record, &done) || done != sizeof record ||
        loadLe32(record + Zip64EndRecord::kSignature) != kZip64EndSignature)
        return offset;
    uint64_t directory = loadLe64(record + Zip64EndRecord::kDirectoryOffset);
    return directory < kAllOnes32 ? static_cast<uint32_t>(directory) : offset;
}

Result checkTrailer(const uint8_t* trailer) {
    if (loadLe16(trailer + OldTrailer::kSmallCount) > OldTrailer::kLargestSmallCount) return kBadTrailer;
    if (loadLe32(trailer + OldTrailer::kLength) < OldTrailer::kSmallestLength) return kBadArchive;
    return kOk;
}

}  // namespace

Result locateEndRecord(ByteSource& source, EndKind kind, EndLocation* location) {
    *location = EndLocation{};
    const bool old = kind == EndKind::OldSingleFile;
    const uint32_t recordSize = old ? OldTrailer::kSize : EndRecord::kSize;

    int64_t fileLength = source.size();
    if (fileLength < 0) return kAccessDenied;
    if (fileLength < recordSize) return kBadArchive;
    // Offsets in the records are 32-bit; only the last 4 GiB can be addressed.
    const uint32_t length = static_cast<uint32_t>(std::min<int64_t>(fileLength, kAllOnes32));

    // Without a comment the record is the file's last bytes, taken as it stands.
    uint8_t last[EndRecord::kSize];
    uint32_t done;
    if (!source.readAt(length - recordSize, last, recordSize, &done)) return kAccessDenied;
    if (done != recordSize) return kAccessDenied;
    if (old ? startsWith(last, OldTrailer::kMagicBytes) : startsWith(last, kEndSignature)) {
        if (old) {
            if (Result r = checkTrailer(last); r != kOk) return r;
            location->directoryStart = 0;
        } else {
            location->directoryStart =
                resolveZip64Offset(source, length - recordSize, loadLe32(last + EndRecord::kDirectoryOffset));
        }
        location->endRecord = length - recordSize;
        return kOk;
    }

    // With a comment: scan the window that holds the largest comment.
    const uint32_t windowSize = std::min<uint32_t>(length, EndRecord::kLargestComment + recordSize);
    const uint32_t windowStart = length - windowSize;
    std::vector<uint8_t> window;
    try {
        window.resize(windowSize);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    if (!source.readAt(windowStart, window.data(), windowSize, &done) || done != windowSize) return kAccessDenied;

    for (uint32_t at = 0; at + recordSize < windowSize; ++at) {
        const uint8_t* p = window.data() + at;
        if (old) {
            if (!startsWith(p, OldTrailer::kMagicBytes)) continue;
            if (Result r = checkTrailer(p); r != kOk) return r;
            location->directoryStart = 0;
            location->endRecord = windowStart + at;
            return kOk;
        }
        if (!startsWith(p, kEndSignature)) continue;
        uint32_t directorySize = loadLe32(p + EndRecord::kDirectorySize);
        uint32_t directoryOffset = resolveZip64Offset(source, windowStart + at, loadLe32(p + EndRecord::kDirectoryOffset));
        bool accepted = false;
        if (directorySize == 0 && directoryOffset == windowStart + at) {
            accepted = true;  // no entries: the empty directory ends where it starts
        } else if (directorySize < length && directoryOffset < length) {
            uint8_t signature[4];
            if (!source.readAt(directoryOffset, signature, 4, &done)) return kAccessDenied;
            accepted = done == 4 && startsWith(signature, kCentralSignature);
        }
        if (accepted) {
            location->directoryStart = directoryOffset;
            location->endRecord = windowStart + at;
            return kOk;
        }
    }
    return kOk;
}

}  // namespace zar::archive
