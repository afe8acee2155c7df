// Work file of an LZH archive: one record per member header, the headers
// chained by their sizes from the start of the file. Three header levels are
// read:
//
//   level 0 and 1: byte 0 is the size of the header after its first two bytes;
//     DOS time and date at 15 and 17; the name (its length at 21) at 22, then
//     the CRC-16 of the data. Level 1 then holds the OS byte and the size of
//     the first extended header, and its extended headers follow the basic
//     header, counted in the packed size.
//   level 2: the u16 at 0 is the size of the whole header, extended headers
//     included; a Unix time at 15; the CRC-16 of the data at 21, the OS byte
//     at 23 and the size of the first extended header at 24.
//
// An extended header is its type byte, its data, and the u16 size of the next
// one; its own size counts all three. Type 1 holds the file name and type 2
// the directory, with 0xFF as the separator.
#include <vector>

#include "archive/workfile_builders.h"
#include "common/bytes.h"
#include "frame/local_time.h"

namespace zar::archive {
namespace {

using namespace foreign;

struct LzhHeader {
    static constexpr uint32_t kFixedSize = 22;  // read first; enough to tell the level
    static constexpr size_t kSize = 0, kMethod = 2, kMethodChar = 5, kPackedSize = 7, kUnpackedSize = 11,
                            kTime = 15, kDate = 17, kUnixTime = 15, kAttribute = 19, kLevel = 20, kNameLength = 21,
                            kName = 22;
    // Level 2: the CRC-16 of the data, then the OS byte and the first extended header's size.
    static constexpr size_t kLevel2Crc = 21, kLevel2FirstExtension = 24;
    static constexpr uint32_t kLevel2FixedSize = 26;
};

constexpr uint8_t kFileNameExtension = 0x01, kDirectoryExtension = 0x02;
constexpr uint8_t kLzhSeparator = 0xFF;

// The name parts found in a run of extended headers.
struct ExtendedNames {
    bool haveFile = false, haveDirectory = false;
    std::string file, directory;
};

// Takes one extended header (`data` of `size` bytes: type, data, next size).
// Requires size >= 3.
Result takeExtension(const uint8_t* data, uint32_t size, ExtendedNames* names) {
    std::string text(reinterpret_cast<const char*>(data + 1), size - 3);
    if (data[0] != kFileNameExtension && data[0] != kDirectoryExtension) return kOk;
    if (text.size() > kNameLimit) return kTooLong;
    if (data[0] == kFileNameExtension) {
        names->file = std::move(text);
        names->haveFile = true;
    } else {
        names->directory = std::move(text);
        names->haveDirectory = true;
    }
    return kOk;
}

// The member name: the directory, its 0xFF separators made '/', then the file name.
Result joinName(const ExtendedNames& names, std::string headerName, std::string* name) {
    std::string file = names.haveFile ? names.file : std::move(headerName);
    std::string directory = names.directory;
    for (char& c : directory)
        if (static_cast<uint8_t>(c) == kLzhSeparator) c = '/';
    if (!directory.empty() && directory.back() != '/' && directory.back() != '\\') directory += '/';
    if (directory.size() + file.size() > kNameLimit) return kTooLong;
    *name = directory + file;
    return kOk;
}

// A level-0 or level-1 header at `offset`, whose first 22 bytes are in `fixed`.
Result readLevel01(ByteSource& archive, uint64_t offset, const uint8_t* fixed, MemberRecord* record,
                   uint64_t* next) {
    const uint32_t headerSize = fixed[LzhHeader::kSize];  // bytes after the first two
    const uint32_t nameLength = fixed[LzhHeader::kNameLength];
    const bool level1 = fixed[LzhHeader::kLevel] == 1;
    // The name and the CRC (and for level 1 the OS byte and the first extended
    // header size) must lie inside the header.
    if (headerSize + 2 < LzhHeader::kName + nameLength + 2 + (level1 ? 3u : 0u)) return kBadArchive;

    std::vector<uint8_t> tail(nameLength + 2);
    if (Result r = readExact(archive, offset + LzhHeader::kName, tail.data(), nameLength + 2); r != kOk) return r;
    std::string headerName(reinterpret_cast<const char*>(tail.data()), nameLength);

    record->time = loadLe16(fixed + LzhHeader::kTime);
    record->date = loadLe16(fixed + LzhHeader::kDate);
    record->crc = loadLe16(tail.data() + nameLength);
    const uint32_t packed = loadLe32(fixed + LzhHeader::kPackedSize);
    *next = offset + headerSize + 2 + packed;

    ExtendedNames names;
    if (level1) {
        // The extended headers come first in the packed size; what is left is the data.
        uint8_t sizeField[2];
        uint64_t at = offset + headerSize;  // the header's last two bytes
        if (Result r = readExact(archive, at, sizeField, 2); r != kOk) return r;
        at += 2;
        uint64_t extensions = 0;
        std::vector<uint8_t> extension;
        for (uint32_t size = loadLe16(sizeField); size != 0;) {
            if (size < 3) return kBadArchive;
            extensions += size;
            if (extensions > packed) return kBadArchive;
            extension.resize(size);
            if (Result r = readExact(archive, at, extension.data(), size); r != kOk) return r;
            if (Result r = takeExtension(extension.data(), size, &names); r != kOk) return r;
            at += size;
            size = loadLe16(extension.data() + size - 2);
        }
        record->packedSize = packed - static_cast<uint32_t>(extensions);
    } else {
        record->packedSize = packed;
    }
    return joinName(names, std::move(headerName), &record->name);
}

// A level-2 header at `offset`, whose first 22 bytes are in `fixed`.
Result readLevel2(ByteSource& archive, uint64_t offset, const uint8_t* fixed, MemberRecord* record,
                  uint64_t* next) {
    const uint32_t headerSize = loadLe16(fixed + LzhHeader::kSize);
    if (headerSize < LzhHeader::kLevel2FixedSize) return kBadArchive;
    std::vector<uint8_t> header(headerSize);
    if (Result r = readExact(archive, offset, header.data(), headerSize); r != kOk) return r;

    DosDateTime when = frame::unixTimeToDos(loadLe32(fixed + LzhHeader::kUnixTime));
    record->time = when.time;
    record->date = when.date;
    record->crc = loadLe16(header.data() + LzhHeader::kLevel2Crc);
    record->packedSize = loadLe32(fixed + LzhHeader::kPackedSize);
    *next = offset + headerSize + record->packedSize;

    ExtendedNames names;
    uint32_t at = LzhHeader::kLevel2FixedSize;
    for (uint32_t size = loadLe16(header.data() + LzhHeader::kLevel2FirstExtension); size != 0;) {
        if (size < 3 || size > headerSize - at) return kBadArchive;
        if (Result r = takeExtension(header.data() + at, size, &names); r != kOk) return r;
        at += size;
        size = loadLe16(header.data() + at - 2);
    }
    return joinName(names, std::string(), &record->name);
}

}  // namespace

Result buildLzhRecords(ByteSource& archive, const char*, RecordSink& sink, WorkFileEnd&) {
    uint8_t fixed[LzhHeader::kFixedSize];
    for (uint64_t offset = 0;;) {
        if (offset > kLastOffset) return kBadArchive;
        uint32_t done;
        if (Result r = readSome(archive, offset, fixed, sizeof fixed, &done); r != kOk) return r;
        if (done < sizeof fixed) return kOk;  // the byte 0 that closes the archive, or its end
        const uint8_t level = fixed[LzhHeader::kLevel];
        // A header size of 0 closes the archive; what follows is padding.
        if (level == 2 ? loadLe16(fixed) == 0 : fixed[LzhHeader::kSize] == 0) return kOk;
        if (fixed[LzhHeader::kMethod] != '-' || fixed[LzhHeader::kMethod + 1] != 'l' ||
            fixed[LzhHeader::kMethod + 2] != 'h' || fixed[LzhHeader::kMethod + 4] != '-')
            return kBadArchive;

        MemberRecord record;
        uint64_t next;
        Result r = level <= 1   ? readLevel01(archive, offset, fixed, &record, &next)
                   : level == 2 ? readLevel2(archive, offset, fixed, &record, &next)
                                : kBadArchive;  // no other level is known
        if (r != kOk) return r;
        record.method = static_cast<uint16_t>(fixed[LzhHeader::kMethodChar] - '0');
        record.unpackedSize = loadLe32(fixed + LzhHeader::kUnpackedSize);
        record.externalAttributes = fixed[LzhHeader::kAttribute];
        if (Result added = sink.add(record); added != kOk) return added;
        offset = next;
    }
}

}  // namespace zar::archive
