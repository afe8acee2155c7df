// Exports of identification, opening and closing, and directory enumeration.
#include <cstring>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/identify.h"
#include "archive/records.h"
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
    if (position != nullptr)
        r = archive::readCentralRecord(*a, position, out);
    else if (which == Read::First)
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
    return a == nullptr ? archive::kNoPosition : a->cdStart;
}

ZARLIB_EXPORT uint32_t AXAPI Ax4GetNextCDR(AxHandle handle) AX_NOEXCEPT {
    archive::ArchiveHandle* a = archive::lookup(handle);
    return a == nullptr ? archive::kNoPosition : a->findCursor;
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipCount(AxHandle handle, uint16_t* count) AX_NOEXCEPT {
    if (count == nullptr) return kTooLong;
    *count = 0;
    return exports::guarded([&] {
        archive::ArchiveHandle* a = archive::lookup(handle);
        if (a == nullptr) return kNotOpen;
        return archive::entryCount(*a, count);
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
