// Work file of an ARJ archive: one record per file header; the main header
// (file type 2) gives the archive comment instead. Each header is
//
//   u16 60000, u16 basic header size (0 closes the archive),
//   the basic header: its fixed part (the first byte gives that part's size,
//     at least 30, more when the header holds further times or the position of
//     a file continued from another volume), then the NUL-terminated name and
//     the NUL-terminated comment,
//   the basic header's CRC-32 (4 bytes),
//   extended headers: each a u16 size, then that many bytes and a CRC-32; a
//     size of 0 ends them,
//   then, for file types 0 and 1, the packed data.
#include <algorithm>
#include <iterator>
#include <vector>

#include "archive/workfile_builders.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "frame/local_time.h"

namespace zar::archive {
namespace {

using namespace foreign;

struct ArjHeader {
    static constexpr uint32_t kStart = 34;  // the id, the basic size and the smallest fixed part
    static constexpr size_t kId = 0, kBasicSize = 2, kFixedSize = 4, kHostOs = 7, kFlags = 8, kMethod = 9,
                            kFileType = 10, kTime = 12, kDate = 14, kUnixTime = 12, kPackedSize = 16,
                            kUnpackedSize = 20, kCrc = 24;
    static constexpr uint16_t kIdValue = 60000;
    static constexpr uint32_t kSmallestFixedSize = 30;
    static constexpr uint32_t kLargestBasicSize = 2600;  // the largest basic header ARJ writes or reads
    static constexpr uint32_t kCrcSize = 4;
};

enum FileType : uint8_t { kBinary = 0, kText = 1, kMainHeader = 2, kDirectory = 3, kVolumeLabel = 4 };

constexpr uint8_t kGarbled = 0x01;
// Hosts whose headers carry Unix times instead of DOS date and time.
constexpr uint8_t kUnixHost = 2, kNextHost = 8;

}  // namespace

Result buildArjRecords(ByteSource& archive, const char*, RecordSink& sink, WorkFileEnd& end) {
    uint8_t start[ArjHeader::kStart];
    std::vector<uint8_t> basic;
    for (uint64_t offset = 0;;) {
        if (offset > kLastOffset) return kBadArchive;
        uint32_t done;
        std::fill(std::begin(start), std::end(start), uint8_t{0});
        if (Result r = readSome(archive, offset, start, sizeof start, &done); r != kOk) return r;
        const uint32_t basicSize = loadLe16(start + ArjHeader::kBasicSize);
        if (done < sizeof start) {
            if (basicSize == 0) return kOk;  // the closing header, or the end of the file
            return kShortRead;
        }
        if (loadLe16(start + ArjHeader::kId) != ArjHeader::kIdValue) return kBadArchive;
        if (basicSize == 0) return kOk;

        const uint32_t fixedSize = start[ArjHeader::kFixedSize];
        if (fixedSize < ArjHeader::kSmallestFixedSize || fixedSize > basicSize ||
            basicSize > ArjHeader::kLargestBasicSize)
            return kBadArchive;
        // The basic header, its CRC and the first extended header size.
        basic.resize(basicSize + ArjHeader::kCrcSize + 2);
        uint64_t at = offset + ArjHeader::kFixedSize;
        if (Result r = readExact(archive, at, basic.data(), static_cast<uint32_t>(basic.size())); r != kOk) return r;
        at += basic.size();

        // Name and comment, each ended by a NUL (a missing NUL ends at the area's end).
        const uint8_t* area = basic.data() + fixedSize;
        const uint32_t areaSize = basicSize - fixedSize;
        std::string name = fieldText(area, areaSize);
        std::string comment;
        if (name.size() < areaSize) comment = fieldText(area + name.size() + 1, areaSize - name.size() - 1);
        if (name.size() > kNameLimit) return kTooLong;
        dropLastLineEnd(comment);

        for (uint32_t size = loadLe16(basic.data() + basicSize + ArjHeader::kCrcSize); size != 0;) {
            at += size + ArjHeader::kCrcSize;
            uint8_t sizeField[2];
            if (Result r = readExact(archive, at, sizeField, 2); r != kOk) return r;
            at += 2;
            size = loadLe16(sizeField);
        }

        const uint8_t type = start[ArjHeader::kFileType];
        if (type == kBinary || type == kText) at += loadLe32(start + ArjHeader::kPackedSize);
        if (type == kMainHeader) {
            end.comment = std::move(comment);
        } else {
            MemberRecord record;
            const uint8_t host = start[ArjHeader::kHostOs];
            if (host == kUnixHost || host == kNextHost) {
                DosDateTime when = frame::unixTimeToDos(loadLe32(start + ArjHeader::kUnixTime));
                record.time = when.time;
                record.date = when.date;
            } else {
                record.time = loadLe16(start + ArjHeader::kTime);
                record.date = loadLe16(start + ArjHeader::kDate);
            }
            record.flags = start[ArjHeader::kFlags] & kGarbled;
            record.method = start[ArjHeader::kMethod];
            record.crc = loadLe32(start + ArjHeader::kCrc);
            record.packedSize = loadLe32(start + ArjHeader::kPackedSize);
            record.unpackedSize = loadLe32(start + ArjHeader::kUnpackedSize);
            record.internalAttributes = type & kInternalText;  // type 1 is text
            record.externalAttributes = type == kDirectory     ? kDosDirectory
                                        : type == kVolumeLabel ? kDosVolumeLabel
                                                               : kDosArchive;
            record.name = std::move(name);
            record.comment = std::move(comment);
            if (Result r = sink.add(record); r != kOk) return r;
        }
        offset = at;
    }
}

}  // namespace zar::archive
