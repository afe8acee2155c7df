#include "archive/directory.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string_view>
#include <vector>

#include "archive/extra_field.h"
#include "archive/name_coding.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

void toSlashes(char* text) {
    for (; *text; ++text)
        if (*text == '\\') *text = '/';
}

bool endsDirectory(const uint8_t* signature) {
    // The Zip64 end record sits between the last central record and the end
    // record in archives written with Zip64 forced; it ends the directory too.
    uint32_t s = loadLe32(signature);
    return s == kEndSignature || s == kZip64EndSignature;
}

bool readExactly(ArchiveHandle& archive, uint64_t offset, void* buffer, uint32_t count) {
    uint32_t done;
    return readDirectory(archive, offset, buffer, count, &done) && done == count;
}

EntryExtent extentOf(const uint8_t* record, const uint8_t* extra, size_t length) {
    const Zip64Fields real = zip64Fields(record, extra, length);
    return {real.packedSize, real.unpackedSize, real.localOffset};
}

// Records of archives written with Zip64 carry all ones in the sizes and the
// local offset, and the real values in the Zip64 extra block. `*extent` gets
// the real values; the host view has those that fit 32 bits put into the
// record, and all ones stays where a value does not fit.
Result applyZip64Extra(ArchiveHandle& archive, uint64_t extraAt, uint16_t extraLength, uint8_t* record,
                       EntryExtent* extent) {
    extent->packedSize = loadLe32(record + CentralRecord::kPackedSize);
    extent->unpackedSize = loadLe32(record + CentralRecord::kUnpackedSize);
    extent->localOffset = loadLe32(record + CentralRecord::kLocalOffset);
    static constexpr size_t kFields[] = {CentralRecord::kUnpackedSize, CentralRecord::kPackedSize,
                                         CentralRecord::kLocalOffset};
    bool any = false;
    for (size_t field : kFields) any |= loadLe32(record + field) == kAllOnes32;
    if (!any || extraLength == 0) return kOk;
    std::vector<uint8_t> extra(extraLength);
    if (!readExactly(archive, extraAt, extra.data(), extraLength)) return kShortRead;
    *extent = extentOf(record, extra.data(), extra.size());
    const uint64_t values[] = {extent->unpackedSize, extent->packedSize, extent->localOffset};
    for (size_t i = 0; i < std::size(kFields); ++i)
        if (values[i] < kAllOnes32) storeLe32(record + kFields[i], static_cast<uint32_t>(values[i]));
    return kOk;
}

// Reads the 46 bytes of the record at `start` and finds where the record ends,
// its name, extra field and comment included: kOk; kNothingDone at the end of
// the directory; kBadArchive without the signature; kShortRead, kAccessDenied.
Result readFixedPart(ArchiveHandle& archive, uint64_t start, uint8_t* record, uint64_t* end) {
    uint32_t done;
    if (!readDirectory(archive, start, record, CentralRecord::kSize, &done)) return kAccessDenied;
    if (done < CentralRecord::kSize) return done >= 4 && endsDirectory(record) ? kNothingDone : kShortRead;
    if (endsDirectory(record)) return kNothingDone;
    if (loadLe32(record) != kCentralSignature) return kBadArchive;
    *end = start + CentralRecord::kSize + loadLe16(record + CentralRecord::kNameLength) +
           loadLe16(record + CentralRecord::kExtraLength) + loadLe16(record + CentralRecord::kCommentLength);
    return kOk;
}

// A stored name as the enumeration hands it out, before any long name: in
// the host's code page by the record's flags and host, '/' separators. `name`
// holds kNameLimit + 1 bytes.
void fromStored(char* name, const uint8_t* record) {
    const std::string host = hostFormOfName(name, loadLe16(record + CentralRecord::kFlags),
                                            loadLe16(record + CentralRecord::kVersionMadeBy), kNameLimit);
    std::memcpy(name, host.c_str(), host.size() + 1);
    toSlashes(name);
}

// Checks that the enumeration can go on over this archive.
Result canWalk(const ArchiveHandle& archive) {
    return archive.converted() && archive.writable() ? kNotWritable : kOk;
}

Result startWalk(ArchiveHandle& archive) {
    if (Result r = canWalk(archive); r != kOk) return r;
    if (!archive.endLocated)
        if (Result r = locateEnd(archive); r != kOk) return r;
    archive.findCursor = archive.cdStart;
    return kOk;
}

Result continueWalk(const ArchiveHandle& archive) {
    if (Result r = canWalk(archive); r != kOk) return r;
    return archive.endLocated ? kOk : kFindFirstNeeded;
}

// Reads the record at the enumeration cursor and keeps its extent for hosts
// that ask for the sizes beyond 32 bits.
Result readFound(ArchiveHandle& archive, RecordBuffers out) {
    EntryExtent extent;
    if (out.extent == nullptr) out.extent = &extent;
    Result r = readCentralRecord(archive, &archive.findCursor, out);
    archive.lastFound = *out.extent;
    return r;
}

Result readFound(ArchiveHandle& archive, RawRecord* out) {
    Result r = readRawRecord(archive, &archive.findCursor, out);
    archive.lastFound = out->extent;
    return r;
}

}  // namespace

void effectiveFileName(const char* stored, const uint8_t* extra, uint16_t extraLength, char* out) {
    std::string_view name =
        findPrivateBlock(extra, extraLength, kLongNameSubtag, ExtraFieldCursor::Overrun::ClipToField);
    if (!name.empty()) {
        if (!name.empty() && (name[0] == '\\' || name[0] == '/')) name.remove_prefix(1);
        name = name.substr(0, kNameLimit);
        std::memmove(out, name.data(), name.size());
        out[name.size()] = '\0';
        toSlashes(out);
        platform::oemToAnsi(out);
        return;
    }
    if (out != stored) {
        size_t length = strnlen(stored, kNameLimit);
        std::memmove(out, stored, length);
        out[length] = '\0';
    }
    toSlashes(out);
}

Result readCentralRecord(ArchiveHandle& archive, uint64_t* position, const RecordBuffers& out) {
    const bool extraWanted = out.extra != nullptr && out.extraSize != kSkipPart;
    const bool commentWanted = out.comment != nullptr && out.commentSize != kSkipPart;
    out.name[0] = '\0';
    if (commentWanted && out.commentSize != 0) out.comment[0] = '\0';

    struct ClearKeepFlag {
        ArchiveHandle& a;
        ~ClearKeepFlag() { a.keepNameLength = false; }
    } clearKeep{archive};

    const uint64_t start = *position;
    uint8_t* record = out.record;
    uint64_t end;
    if (Result r = readFixedPart(archive, start, record, &end); r != kOk) return r;
    const uint16_t nameLength = loadLe16(record + CentralRecord::kNameLength);
    const uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    const uint16_t commentLength = loadLe16(record + CentralRecord::kCommentLength);
    bool cut = false;

    if (nameLength > kNameLimit) {
        // No name, but the enumeration moves on: a host that reads until the
        // directory ends must not meet this record again.
        *position = end;
        return kTooLong;
    }
    uint64_t at = start + CentralRecord::kSize;
    if (!readExactly(archive, at, out.name, nameLength)) {
        out.name[0] = '\0';
        return kShortRead;
    }
    out.name[nameLength] = '\0';
    fromStored(out.name, record);
    at += nameLength;

    EntryExtent extent;
    if (Result r = applyZip64Extra(archive, at, extraLength, record, &extent); r != kOk) return r;
    if (out.extent != nullptr) *out.extent = extent;
    if (extraLength != 0) {
        if (archive.longNameMode) {
            std::vector<uint8_t> field;
            try {
                field.resize(extraLength);
            } catch (const std::bad_alloc&) {
                return kNoMemory;
            }
            if (!readExactly(archive, at, field.data(), extraLength)) return kShortRead;
            if (extraWanted) {
                uint16_t take = std::min(extraLength, out.extraSize);
                std::memcpy(out.extra, field.data(), take);
                cut |= take < extraLength;
            }
            effectiveFileName(out.name, field.data(), extraLength, out.name);
            if (!archive.keepNameLength)
                storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(std::strlen(out.name)));
        } else if (extraWanted) {
            uint16_t take = std::min(extraLength, out.extraSize);
            if (!readExactly(archive, at, out.extra, take)) return kShortRead;
            cut |= take < extraLength;
        }
        at += extraLength;
    }

    if (commentLength != 0 && commentWanted) {
        uint16_t size = out.commentSize;
        uint16_t take = commentLength;
        if (size <= commentLength) {
            take = size == 0 ? 0 : size - 1;
            cut = true;
        }
        if (size != 0) {
            if (!readExactly(archive, at, out.comment, take)) {
                out.comment[0] = '\0';
                return kShortRead;
            }
            out.comment[take] = '\0';
            platform::oemToAnsi(out.comment);
        }
    }

    // Every part must be there, read or skipped: a record cut off by the end
    // of the file is a short read, not a complete entry.
    uint8_t last;
    if (end > start + CentralRecord::kSize && !readExactly(archive, end - 1, &last, 1)) return kShortRead;

    // Hosts are handed DOS attributes only: another system's are handed on as 0.
    if (out.storedAttributes != nullptr) *out.storedAttributes = loadLe32(record + CentralRecord::kExternalAttributes);
    if (hostSystem(loadLe16(record + CentralRecord::kVersionMadeBy)) != HostSystem::Dos)
        storeLe32(record + CentralRecord::kExternalAttributes, 0);
    *position = end;
    return cut ? kTooLong : kOk;
}

Result readRawRecord(ArchiveHandle& archive, uint64_t* position, RawRecord* out) {
    const uint64_t start = *position;
    const uint8_t* record = out->record;
    uint64_t end;
    if (Result r = readFixedPart(archive, start, out->record, &end); r != kOk) return r;
    const uint16_t nameLength = loadLe16(record + CentralRecord::kNameLength);
    const uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    const uint16_t commentLength = loadLe16(record + CentralRecord::kCommentLength);
    if (nameLength > kNameLimit) {
        *position = end;
        return kTooLong;
    }
    try {
        out->name.resize(nameLength);
        out->extra.resize(extraLength);
        out->comment.resize(commentLength);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    uint64_t at = start + CentralRecord::kSize;
    for (std::vector<uint8_t>* part : {&out->name, &out->extra, &out->comment}) {
        const uint32_t size = static_cast<uint32_t>(part->size());
        if (size != 0 && !readExactly(archive, at, part->data(), size)) return kShortRead;
        at += size;
    }

    out->extent = extentOf(record, out->extra.data(), out->extra.size());
    if (nameLength != 0) std::memcpy(out->handedName, out->name.data(), nameLength);
    out->handedName[nameLength] = '\0';
    fromStored(out->handedName, record);
    out->longName = false;
    if (archive.longNameMode && extraLength != 0) {
        out->longName = !findPrivateBlock(out->extra.data(), extraLength, kLongNameSubtag,
                                          ExtraFieldCursor::Overrun::ClipToField)
                             .empty();
        effectiveFileName(out->handedName, out->extra.data(), extraLength, out->handedName);
    }
    *position = end;
    return kOk;
}

Result findFirst(ArchiveHandle& archive, const RecordBuffers& out) {
    if (Result r = startWalk(archive); r != kOk) return r;
    return readFound(archive, out);
}

Result findNext(ArchiveHandle& archive, const RecordBuffers& out) {
    if (Result r = continueWalk(archive); r != kOk) return r;
    return readFound(archive, out);
}

Result findFirst(ArchiveHandle& archive, RawRecord* out) {
    if (Result r = startWalk(archive); r != kOk) return r;
    return readFound(archive, out);
}

Result findNext(ArchiveHandle& archive, RawRecord* out) {
    if (Result r = continueWalk(archive); r != kOk) return r;
    return readFound(archive, out);
}

Result entryCount(ArchiveHandle& archive, uint64_t* count) {
    *count = 0;
    uint8_t record[EndRecord::kSize];
    if (Result r = readEnd(archive, record, nullptr, 0); r != kOk) return r;
    *count = loadLe16(record + EndRecord::kTotalEntries);
    if (*count != kAllOnes16 || archive.zip64EndPos == kNoPosition) return kOk;
    uint8_t total[8];
    if (!readExactly(archive, archive.zip64EndPos + Zip64EndRecord::kTotalEntries, total, sizeof total))
        return kShortRead;
    *count = loadLe64(total);
    return kOk;
}

}  // namespace zar::archive
