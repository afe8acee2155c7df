// Exports of identification, opening and closing, and directory enumeration.
#include <algorithm>
#include <cstring>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/identify.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "exports/cdr_convert.h"
#include "exports/guard.h"
#include "span/volumes.h"
#include "zarlib32.h"

using namespace zar;
using archive::CentralRecord;

namespace {

using exports::fromVb32;
using exports::toCdr;
using exports::toVb32;

// Hosts hold the archive's file handle; "no archive" is the invalid file.
static_assert(AX_NO_ARCHIVE == fs::kInvalidFile);

enum class Read { First, Next };

// A position as a 32-bit host holds it: all ones when it is unset or lies past 4 GiB.
uint32_t hostPosition(uint64_t position) {
    return position >= archive::kAllOnes32 ? archive::kAllOnes32 : static_cast<uint32_t>(position);
}

// One directory read into the host's record and buffers. The record is
// written back whatever the result, as the directory reader left it.
Result readInto(Read which, AxHandle handle, uint32_t* position, CDR* record, char* name, uint8_t* extra,
                uint16_t extraSize, char* comment, uint16_t commentSize) {
    if (record == nullptr || name == nullptr) return kMissingArgument;
    name[0] = '\0';
    if (comment != nullptr && commentSize != 0 && commentSize != archive::kSkipPart) comment[0] = '\0';
    archive::ArchiveHandle* a = archive::lookup(handle);
    if (a == nullptr) return kNotOpen;
    uint8_t bytes[CentralRecord::kSize] = {};
    archive::RecordBuffers out{bytes, name, extra, extraSize, comment, commentSize};
    Result r;
    if (position != nullptr) {
        // Hosts hold 32-bit positions: all ones is the unset one, and a
        // position past 4 GiB is handed back as all ones too.
        uint64_t at = *position == archive::kAllOnes32 ? archive::kNoPosition : *position;
        r = archive::readCentralRecord(*a, &at, out);
        *position = hostPosition(at);
    } else if (which == Read::First)
        r = archive::findFirst(*a, out);
    else
        r = archive::findNext(*a, out);
    toCdr(bytes, record);
    return r;
}

Result readIntoVb32(Read which, AxHandle handle, CDRVB32* record, char* name, uint8_t* extra, uint16_t extraSize,
                    char* comment, uint16_t commentSize) {
    if (record == nullptr) return kMissingArgument;
    CDR packed;
    fromVb32(*record, &packed);
    Result r = readInto(which, handle, nullptr, &packed, name, extra, extraSize, comment, commentSize);
    toVb32(packed, record);
    return r;
}

}  // namespace

extern "C" {

ZARLIB_EXPORT int16_t AXAPI Ax4IdentifyFile(const char* path, uint16_t* kind) AX_NOEXCEPT {
    return exports::guarded([&] {
        if (kind != nullptr) *kind = 0;
        if (path == nullptr || kind == nullptr) return kAccessDenied;
        archive::Kind found;
        Result r = archive::identifyFile(path, &found);
        *kind = static_cast<uint16_t>(found);
        return r;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipOpen(const char* path, int16_t mode, AxHandle* handle) AX_NOEXCEPT {
    if (handle == nullptr) return kMissingArgument;
    *handle = AX_NO_ARCHIVE;
    return exports::guarded([&] { return archive::openArchive(path, static_cast<uint16_t>(mode), handle); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipCreateMV(const char* archiveName, uint16_t kind, uint32_t firstVolumeSize,
                                           uint32_t nextVolumeSize, AxHandle* handle) AX_NOEXCEPT {
    if (handle == nullptr) return kMissingArgument;
    *handle = AX_NO_ARCHIVE;
    return exports::guarded(
        [&] { return span::createMultiVolume(archiveName, kind, firstVolumeSize, nextVolumeSize, handle); });
}

ZARLIB_EXPORT void AXAPI Ax4ZipClose(AxHandle* handle) AX_NOEXCEPT {
    if (handle == nullptr) return;
    exports::guarded([&] {
        archive::closeArchive(handle);
        return kOk;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindFirst(AxHandle handle, CDR* record, char* name, uint8_t* extra,
                                            uint16_t extraSize, char* comment, uint16_t commentSize) AX_NOEXCEPT {
    return exports::guarded(
        [&] { return readInto(Read::First, handle, nullptr, record, name, extra, extraSize, comment, commentSize); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindNext(AxHandle handle, CDR* record, char* name, uint8_t* extra,
                                           uint16_t extraSize, char* comment, uint16_t commentSize) AX_NOEXCEPT {
    return exports::guarded(
        [&] { return readInto(Read::Next, handle, nullptr, record, name, extra, extraSize, comment, commentSize); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindFirstVB32(AxHandle handle, CDRVB32* record, char* name, uint8_t* extra,
                                                uint16_t extraSize, char* comment,
                                                uint16_t commentSize) AX_NOEXCEPT {
    return exports::guarded(
        [&] { return readIntoVb32(Read::First, handle, record, name, extra, extraSize, comment, commentSize); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindNextVB32(AxHandle handle, CDRVB32* record, char* name, uint8_t* extra,
                                               uint16_t extraSize, char* comment, uint16_t commentSize) AX_NOEXCEPT {
    return exports::guarded(
        [&] { return readIntoVb32(Read::Next, handle, record, name, extra, extraSize, comment, commentSize); });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ReadCDR(AxHandle handle, uint32_t* position, CDR* record, char* name,
                                       uint8_t* extra, uint16_t extraSize, char* comment,
                                       uint16_t commentSize) AX_NOEXCEPT {
    if (position == nullptr) return kMissingArgument;
    return exports::guarded(
        [&] { return readInto(Read::Next, handle, position, record, name, extra, extraSize, comment, commentSize); });
}

ZARLIB_EXPORT uint32_t AXAPI Ax4GetCDR(AxHandle handle) AX_NOEXCEPT {
    archive::ArchiveHandle* a = archive::lookup(handle);
    return a == nullptr ? archive::kAllOnes32 : hostPosition(a->cdStart);
}

ZARLIB_EXPORT uint32_t AXAPI Ax4GetNextCDR(AxHandle handle) AX_NOEXCEPT {
    archive::ArchiveHandle* a = archive::lookup(handle);
    return a == nullptr ? archive::kAllOnes32 : hostPosition(a->findCursor);
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipCount(AxHandle handle, uint16_t* count) AX_NOEXCEPT {
    if (count == nullptr) return kTooLong;
    *count = 0;
    return exports::guarded([&] {
        archive::ArchiveHandle* a = archive::lookup(handle);
        if (a == nullptr) return kNotOpen;
        uint64_t total = 0;
        Result r = archive::entryCount(*a, &total);
        // 65535 stands for "65535 or more"; Ax4ZipFoundSizes64 gives the full count.
        *count = static_cast<uint16_t>(std::min<uint64_t>(total, archive::kAllOnes16));
        return r;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipFoundSizes64(AxHandle handle, uint64_t* packedSize, uint64_t* unpackedSize,
                                               uint64_t* localOffset, uint64_t* entryCount) AX_NOEXCEPT {
    for (uint64_t* out : {packedSize, unpackedSize, localOffset, entryCount})
        if (out != nullptr) *out = 0;
    return exports::guarded([&] {
        archive::ArchiveHandle* a = archive::lookup(handle);
        if (a == nullptr) return kNotOpen;
        if (!a->endLocated || a->findCursor == archive::kNoPosition) return kFindFirstNeeded;
        if (packedSize != nullptr) *packedSize = a->lastFound.packedSize;
        if (unpackedSize != nullptr) *unpackedSize = a->lastFound.unpackedSize;
        if (localOffset != nullptr) *localOffset = a->lastFound.localOffset;
        if (entryCount == nullptr) return kOk;
        return archive::entryCount(*a, entryCount);
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipComment(AxHandle handle, char* comment, int32_t size) AX_NOEXCEPT {
    return exports::guarded([&] {
        archive::ArchiveHandle* a = archive::lookup(handle);
        if (a == nullptr) return kNotOpen;
        uint8_t record[archive::EndRecord::kSize];
        uint32_t room = size < 0 ? 0 : static_cast<uint32_t>(size);
        return archive::readEnd(*a, record, comment, room);
    });
}

ZARLIB_EXPORT void AXAPI Ax4EffectiveFileName(const char* stored, const uint8_t* extra, uint16_t extraLength,
                                              char* name) AX_NOEXCEPT {
    if (stored == nullptr || name == nullptr) return;
    archive::effectiveFileName(stored, extra, extra == nullptr ? 0 : extraLength, name);
}

}  // extern "C"
