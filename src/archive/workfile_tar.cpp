// Work file of a TAR archive: one record per member header, in 512-byte
// blocks from the start of the file. Each record's local header offset is
// where the member's data starts, so the members can be extracted as stored.
//
// Headers that only describe the next member (a GNU long name 'L' or long
// link 'K', a pax extended header 'x' or global header 'g') give no record of
// their own; a long name or a pax "path" becomes the next member's name.
#include <cstring>
#include <string_view>

#include "archive/workfile_builders.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "frame/local_time.h"

namespace zar::archive {
namespace {

using namespace foreign;

// The fields of a header block: offset and width.
struct TarHeader {
    static constexpr uint32_t kSize = 512;
    static constexpr size_t kName = 0, kNameWidth = 100;
    static constexpr size_t kMode = 100, kModeWidth = 8;
    static constexpr size_t kFileSize = 124, kFileSizeWidth = 12;
    static constexpr size_t kMtime = 136, kMtimeWidth = 12;
    static constexpr size_t kChecksum = 148, kChecksumWidth = 8;
    static constexpr size_t kType = 156;
    static constexpr size_t kLinkName = 157;
    static constexpr size_t kMagic = 257;
    static constexpr size_t kPrefix = 345, kPrefixWidth = 155;
};

// The old GNU format keeps access and change times where POSIX has the
// prefix, so its headers never carry one.
constexpr std::string_view kGnuMagic{"ustar  \0", 8};

constexpr uint32_t kOwnerWrite = 0200;

// The largest pax extended header read; its records hold a name of at most
// 260 bytes and a few times and ids, so a larger one is not worth the memory.
constexpr uint64_t kLargestPaxHeader = 1u << 20;

// A numeric field: octal digits after optional blanks, ended by a blank or a
// NUL; or, when its first byte has the high bit, a big-endian two's-complement
// binary number (the form GNU tar uses for values too large for the digits).
// A field of only blanks and NULs is 0. False for anything else.
bool parseNumber(const uint8_t* field, size_t width, int64_t* value) {
    if (field[0] & 0x80) {
        // Base-256: the low 7 bits of the first byte and every later byte, with
        // bit 6 of the first byte as the sign.
        const bool negative = (field[0] & 0x40) != 0;
        const uint64_t signByte = negative ? 0xFF : 0;
        uint64_t v = ((negative ? ~uint64_t{0} : 0) << 6) | (field[0] & 0x3F);
        for (size_t i = 1; i < width; ++i) {
            if ((v >> 56) != signByte) return false;  // would not fit in 64 bits
            v = (v << 8) | field[i];
        }
        if (((v >> 63) != 0) != negative) return false;
        *value = static_cast<int64_t>(v);
        return true;
    }
    size_t i = 0;
    while (i < width && field[i] == ' ') ++i;
    size_t first = i;
    uint64_t v = 0;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (v >> 60) return false;
        v = v * 8 + (field[i] - '0');
    }
    if (i < width && field[i] != ' ' && field[i] != 0) return false;
    if (i == first) {
        // No digits: a field left empty (all blanks and NULs) reads as 0.
        for (; i < width; ++i)
            if (field[i] != ' ' && field[i] != 0) return false;
    }
    *value = static_cast<int64_t>(v);
    return true;
}

// The header's checksum is the sum of its bytes with the checksum field taken
// as blanks; old writers summed signed bytes, so either sum is accepted.
bool checksumMatches(const uint8_t* header, int64_t stored) {
    int64_t unsignedSum = 0, signedSum = 0;
    for (size_t i = 0; i < TarHeader::kSize; ++i) {
        bool inField = i >= TarHeader::kChecksum && i < TarHeader::kChecksum + TarHeader::kChecksumWidth;
        uint8_t b = inField ? uint8_t{' '} : header[i];
        unsignedSum += b;
        signedSum += static_cast<int8_t>(b);
    }
    return stored == unsignedSum || stored == signedSum;
}

// Finds the "path" record of a pax extended header. Each record reads
// "<length> <key>=<value>\n", the length counting the whole record.
// kBadArchive for a malformed record.
Result paxPath(const std::string& data, std::string* path, bool* found) {
    *found = false;
    size_t at = 0;
    while (at < data.size()) {
        if (data[at] == '\0') break;  // padding after the last record
        size_t length = 0, i = at;
        while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
            length = length * 10 + static_cast<size_t>(data[i] - '0');
            if (length > data.size()) return kBadArchive;
            ++i;
        }
        if (i == at || i >= data.size() || data[i] != ' ') return kBadArchive;
        if (length > data.size() - at || length < i - at + 2 || data[at + length - 1] != '\n') return kBadArchive;
        std::string_view record(data.data() + i + 1, at + length - 1 - (i + 1));
        size_t equals = record.find('=');
        if (equals == std::string_view::npos) return kBadArchive;
        if (record.substr(0, equals) == "path") {
            *path = std::string(record.substr(equals + 1));
            *found = true;
        }
        at += length;
    }
    return kOk;
}

}  // namespace

Result buildTarRecords(ByteSource& archive, const char*, RecordSink& sink, WorkFileEnd&) {
    const int64_t fileLength = archive.size();
    if (fileLength < 0) return kAccessDenied;

    std::string longName;  // from an 'L' or pax header, for the next member
    bool haveLongName = false;
    uint8_t header[TarHeader::kSize];
    for (uint64_t offset = 0;;) {
        if (offset > kLastOffset) return kBadArchive;
        uint32_t done;
        if (Result r = readSome(archive, offset, header, TarHeader::kSize, &done); r != kOk) return r;
        // Archives are often cut right after the last member's data; a block
        // boundary at the end of the file ends the list like the zero blocks.
        if (done == 0) return kOk;
        if (done < TarHeader::kSize) return kShortRead;
        if (header[0] == 0 && header[TarHeader::kLinkName] == 0 && header[TarHeader::kMagic] == 0) return kOk;

        int64_t checksum, size, mode, mtime;
        if (!parseNumber(header + TarHeader::kChecksum, TarHeader::kChecksumWidth, &checksum) ||
            !checksumMatches(header, checksum))
            return kBadArchive;
        if (!parseNumber(header + TarHeader::kFileSize, TarHeader::kFileSizeWidth, &size) || size < 0 ||
            static_cast<uint64_t>(size) > kLastOffset)
            return kBadArchive;
        // A mode or time that is no number at all reads as 0.
        if (!parseNumber(header + TarHeader::kMode, TarHeader::kModeWidth, &mode)) mode = 0;
        if (!parseNumber(header + TarHeader::kMtime, TarHeader::kMtimeWidth, &mtime)) mtime = 0;

        const uint64_t dataStart = offset + TarHeader::kSize;
        const uint64_t dataEnd = dataStart + static_cast<uint64_t>(size);
        if (dataEnd > static_cast<uint64_t>(fileLength)) return kShortRead;  // the member's data is cut off
        const uint64_t next = dataStart + ((static_cast<uint64_t>(size) + TarHeader::kSize - 1) & ~uint64_t{511});
        const char type = static_cast<char>(header[TarHeader::kType]);

        if (type == 'L' || type == 'x') {
            std::string data;
            if (type == 'L' && size > static_cast<int64_t>(kNameLimit + 1)) return kTooLong;
            if (type == 'x' && static_cast<uint64_t>(size) > kLargestPaxHeader) return kTooLong;
            if (Result r = readString(archive, dataStart, static_cast<uint32_t>(size), &data); r != kOk) return r;
            if (type == 'L') {
                longName = data.substr(0, data.find('\0'));
                haveLongName = true;
            } else {
                std::string path;
                bool found;
                if (Result r = paxPath(data, &path, &found); r != kOk) return r;
                if (found) longName = std::move(path), haveLongName = true;
            }
            if (longName.size() > kNameLimit) return kTooLong;
            offset = next;
            continue;
        }
        if (type == 'K' || type == 'g') {  // a long link target or global settings: nothing to list
            offset = next;
            continue;
        }

        MemberRecord record;
        if (haveLongName) {
            record.name = std::move(longName);
            longName.clear();
            haveLongName = false;
        } else {
            std::string name = fieldText(header + TarHeader::kName, TarHeader::kNameWidth);
            bool gnu = std::memcmp(header + TarHeader::kMagic, kGnuMagic.data(), kGnuMagic.size()) == 0;
            if (!gnu && header[TarHeader::kPrefix] != 0)
                name = fieldText(header + TarHeader::kPrefix, TarHeader::kPrefixWidth) + "/" + name;
            record.name = std::move(name);
        }
        DosDateTime when = frame::unixTimeToDos(mtime);
        record.method = kMethodStored;
        record.time = when.time;
        record.date = when.date;
        record.crc = static_cast<uint32_t>(checksum);
        record.packedSize = static_cast<uint32_t>(size);
        record.unpackedSize = static_cast<uint32_t>(size);
        record.externalAttributes = kDosArchive;
        if (type == '5' || (!record.name.empty() && record.name.back() == '/'))
            record.externalAttributes |= kDosDirectory;
        if ((mode & kOwnerWrite) == 0) record.externalAttributes |= kDosReadOnly;
        if (dataStart > kLastOffset) return kBadArchive;
        record.localOffset = static_cast<uint32_t>(dataStart);
        if (Result r = sink.add(record); r != kOk) return r;
        offset = next;
    }
}

}  // namespace zar::archive
