// Work file of an ARC archive: headers one after another from the start of
// the file, each followed by its packed data. A header is the marker byte 26,
// the method (0 closes the archive), a 13-byte name, the packed size, DOS
// date and time, a CRC-16 and the unpacked size; method 1, the oldest, has no
// unpacked size field (its data is stored, so both sizes are the same).
#include "archive/workfile_builders.h"
#include "common/bytes.h"

namespace zar::archive {
namespace {

using namespace foreign;

struct ArcHeader {
    static constexpr uint32_t kSize = 29, kOldSize = 25;
    static constexpr size_t kMarker = 0, kMethod = 1, kName = 2, kNameWidth = 13, kPackedSize = 15, kDate = 19,
                            kTime = 21, kCrc = 23, kUnpackedSize = 25;
    static constexpr uint8_t kMarkerValue = 26;
    static constexpr uint8_t kEndMethod = 0, kOldStoredMethod = 1;
};

}  // namespace

Result buildArcRecords(ByteSource& archive, const char*, RecordSink& sink, WorkFileEnd&) {
    uint8_t header[ArcHeader::kSize];
    for (uint64_t offset = 0;;) {
        if (offset > kLastOffset) return kBadArchive;
        uint32_t done;
        if (Result r = readSome(archive, offset, header, sizeof header, &done); r != kOk) return r;
        if (done < 2) return kOk;  // the file ends without the closing header
        if (header[ArcHeader::kMarker] != ArcHeader::kMarkerValue) return kBadArchive;
        const uint8_t method = header[ArcHeader::kMethod];
        if (method == ArcHeader::kEndMethod) return kOk;
        const bool old = method == ArcHeader::kOldStoredMethod;
        const uint32_t headerSize = old ? ArcHeader::kOldSize : ArcHeader::kSize;
        // A header cut short, or one without a name, ends the list.
        if (done < headerSize || header[ArcHeader::kName] == 0 || header[ArcHeader::kName] == 26) return kOk;

        MemberRecord record;
        record.method = method;
        record.time = loadLe16(header + ArcHeader::kTime);
        record.date = loadLe16(header + ArcHeader::kDate);
        record.crc = loadLe16(header + ArcHeader::kCrc);
        record.packedSize = loadLe32(header + ArcHeader::kPackedSize);
        record.unpackedSize = old ? record.packedSize : loadLe32(header + ArcHeader::kUnpackedSize);
        record.name = fieldText(header + ArcHeader::kName, ArcHeader::kNameWidth);
        if (Result r = sink.add(record); r != kOk) return r;
        offset += headerSize + uint64_t{record.packedSize};
    }
}

}  // namespace zar::archive
