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

// The Zip64 end record named by the locator in the 20 bytes before the end
// record at `endAt`, or kNoPosition when there is none: the locator and the
// record must both carry their signatures, the record lying before the locator.
uint64_t findZip64Record(ByteSource& source, uint64_t endAt) {
    if (endAt < Zip64Locator::kSize + Zip64EndRecord::kSize) return kNoPosition;
    uint8_t locator[Zip64Locator::kSize];
    uint32_t done;
    if (!source.readAt(endAt - Zip64Locator::kSize, locator, sizeof locator, &done) || done != sizeof locator ||
        loadLe32(locator + Zip64Locator::kSignature) != kZip64LocatorSignature)
        return kNoPosition;
    const uint64_t recordAt = loadLe64(locator + Zip64Locator::kEndRecordOffset);
    if (recordAt > endAt - Zip64Locator::kSize - Zip64EndRecord::kSize) return kNoPosition;
    uint8_t signature[4];
    if (!source.readAt(recordAt, signature, sizeof signature, &done) || done != sizeof signature ||
        loadLe32(signature) != kZip64EndSignature)
        return kNoPosition;
    return recordAt;
}

// The directory's offset and size as an end record gives them, with the Zip64
// end record's values where the record holds all ones.
struct DirectoryFields {
    uint64_t offset = 0, size = 0;
    uint64_t zip64Record = kNoPosition;
};

DirectoryFields directoryFields(ByteSource& source, uint64_t endAt, const uint8_t* end) {
    DirectoryFields out;
    out.offset = loadLe32(end + EndRecord::kDirectoryOffset);
    out.size = loadLe32(end + EndRecord::kDirectorySize);
    const bool deferred = out.offset == kAllOnes32 || out.size == kAllOnes32 ||
                          loadLe16(end + EndRecord::kTotalEntries) == kAllOnes16 ||
                          loadLe16(end + EndRecord::kThisDisk) == kAllOnes16;
    if (!deferred) return out;
    out.zip64Record = findZip64Record(source, endAt);
    if (out.zip64Record == kNoPosition) return out;
    uint8_t record[Zip64EndRecord::kSize];
    uint32_t done;
    if (!source.readAt(out.zip64Record, record, sizeof record, &done) || done != sizeof record) {
        out.zip64Record = kNoPosition;
        return out;
    }
    if (out.offset == kAllOnes32) out.offset = loadLe64(record + Zip64EndRecord::kDirectoryOffset);
    if (out.size == kAllOnes32) out.size = loadLe64(record + Zip64EndRecord::kDirectorySize);
    return out;
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
    const uint64_t length = static_cast<uint64_t>(fileLength);

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
            const DirectoryFields fields = directoryFields(source, length - recordSize, last);
            location->directoryStart = fields.offset;
            location->zip64Record = fields.zip64Record;
        }
        location->endRecord = length - recordSize;
        return kOk;
    }

    // With a comment: scan the window that holds the largest comment.
    const uint32_t windowSize =
        static_cast<uint32_t>(std::min<uint64_t>(length, EndRecord::kLargestComment + recordSize));
    const uint64_t windowStart = length - windowSize;
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
        const DirectoryFields fields = directoryFields(source, windowStart + at, p);
        const uint64_t directoryEnd = fields.zip64Record != kNoPosition ? fields.zip64Record : windowStart + at;
        bool accepted = false;
        if (fields.size == 0 && fields.offset == directoryEnd) {
            accepted = true;  // no entries: the empty directory ends where it starts
        } else if (fields.size < length && fields.offset < length) {
            uint8_t signature[4];
            if (!source.readAt(fields.offset, signature, 4, &done)) return kAccessDenied;
            accepted = done == 4 && startsWith(signature, kCentralSignature);
        }
        if (accepted) {
            location->directoryStart = fields.offset;
            location->endRecord = windowStart + at;
            location->zip64Record = fields.zip64Record;
            return kOk;
        }
    }
    return kOk;
}

}  // namespace zar::archive
