// Work file of a gzip-compressed file (a compressed TAR, as a rule): one
// record for the whole compressed member, which is not decompressed. The
// record's data is the raw Deflate stream after the gzip header; its CRC and
// size come from the trailer in the file's last 8 bytes.
#include <cctype>
#include <cstring>
#include <string>

#include "archive/workfile_builders.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "frame/local_time.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

using namespace foreign;

struct GzipHeader {
    static constexpr uint32_t kSize = 10;
    static constexpr size_t kMagic = 0, kMethod = 2, kFlags = 3, kMtime = 4;
    static constexpr uint32_t kTrailerSize = 8;  // CRC-32, then the size modulo 2^32
};

constexpr uint8_t kText = 0x01, kHeaderCrc = 0x02, kExtra = 0x04, kName = 0x08, kComment = 0x10;
// A header checksum and the reserved bits are not taken: a reader that does
// not know what a reserved bit means cannot know where the data starts.
constexpr uint8_t kRefused = kHeaderCrc | 0xE0;

// Finds the NUL that ends a string starting at `offset`. Reads at most
// `limit` + 1 bytes: kTooLong when the string is longer than `limit`,
// kShortRead when the file ends first. `text` receives the string when not null.
Result readZeroTerminated(ByteSource& source, uint64_t offset, uint64_t limit, std::string* text,
                          uint64_t* after) {
    uint8_t chunk[4096];
    uint64_t length = 0;
    for (;;) {
        uint32_t done;
        if (Result r = readSome(source, offset + length, chunk, sizeof chunk, &done); r != kOk) return r;
        if (done == 0) return kShortRead;
        const void* zero = std::memchr(chunk, 0, done);
        uint32_t take = zero ? static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - chunk) : done;
        if (length + take > limit) return kTooLong;
        if (text) text->append(reinterpret_cast<const char*>(chunk), take);
        length += take;
        if (zero) {
            *after = offset + length + 1;
            return kOk;
        }
    }
}

// The member name of a file that stores none: the archive's own file name,
// without drive, directory and extension, with ".tar" for a ".tgz" file. The
// directory is where the archive happens to lie, not part of its contents:
// kept, it would extract "../s.tgz" to "../s.tar" (which extraction refuses)
// and "/home/x/s.tgz" to "out/home/x/s.tar".
std::string nameFromPath(const char* path) {
    std::string name = path ? path : "";
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string::npos)
        name.erase(0, separator + 1);
    else if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string extension = name.substr(dot);
        for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        name.erase(dot);
        if (extension == ".TGZ") name += ".tar";
    }
    return name;
}

}  // namespace

Result buildGzipRecords(ByteSource& archive, const char* archivePath, RecordSink& sink, WorkFileEnd&) {
    const int64_t fileLength = archive.size();
    if (fileLength < 0) return kAccessDenied;
    // The trailer must be addressable: offsets are 32-bit.
    if (static_cast<uint64_t>(fileLength) > kLastOffset + 1) return kBadArchive;

    uint8_t header[GzipHeader::kSize];
    if (Result r = readExact(archive, 0, header, sizeof header); r != kOk) return r;
    if (header[GzipHeader::kMagic] != 0x1F || header[GzipHeader::kMagic + 1] != 0x8B ||
        header[GzipHeader::kMethod] != 8)
        return kBadArchive;
    const uint8_t flags = header[GzipHeader::kFlags];
    if (flags & kRefused) return kNotOnThisKind;

    MemberRecord record;
    uint64_t at = GzipHeader::kSize;
    if (flags & kExtra) {
        uint8_t length[2];
        if (Result r = readExact(archive, at, length, sizeof length); r != kOk) return r;
        at += 2 + loadLe16(length);
    }
    if (flags & kName) {
        if (Result r = readZeroTerminated(archive, at, kNameLimit, &record.name, &at); r != kOk) return r;
    } else {
        record.name = nameFromPath(archivePath);
        if (record.name.size() > kNameLimit) return kTooLong;
    }
    if (flags & kComment) {
        if (Result r = readZeroTerminated(archive, at, kLastOffset, nullptr, &at); r != kOk) return r;
    }

    const uint64_t dataStart = at;
    if (dataStart + GzipHeader::kTrailerSize > static_cast<uint64_t>(fileLength)) return kShortRead;
    uint8_t trailer[GzipHeader::kTrailerSize];
    if (Result r = readExact(archive, static_cast<uint64_t>(fileLength) - sizeof trailer, trailer, sizeof trailer);
        r != kOk)
        return r;

    // A modification time of 0 means that the compressor stored none; the
    // member then carries the gzip file's own time, as gunzip gives it,
    // rather than the first day of DOS dates.
    const uint32_t mtime = loadLe32(header + GzipHeader::kMtime);
    DosDateTime when = frame::unixTimeToDos(mtime);
    uint64_t fileTime = 0;
    if (mtime == 0 && archivePath != nullptr) {
        std::string ansi = archivePath;
        platform::oemToAnsi(ansi.data());
        if (platform::fileTimeOf(ansi.c_str(), &fileTime)) when = frame::utcToDos(fileTime);
    }
    record.versionNeeded = kVersionDeflated;
    record.method = kMethodDeflated;
    record.time = when.time;
    record.date = when.date;
    record.crc = loadLe32(trailer);
    record.unpackedSize = loadLe32(trailer + 4);
    record.packedSize = static_cast<uint32_t>(static_cast<uint64_t>(fileLength) - dataStart - sizeof trailer);
    record.internalAttributes = flags & kText;
    record.externalAttributes = kDosArchive;
    record.localOffset = static_cast<uint32_t>(dataStart);
    return sink.add(record);
}

}  // namespace zar::archive
