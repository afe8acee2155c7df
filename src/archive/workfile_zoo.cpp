// Work file of a ZOO archive: the archive header at offset 0 points to the
// first directory entry, and each entry to the next; an entry whose next
// pointer is 0 closes the chain. Entries marked deleted are left out.
#include "archive/workfile_builders.h"
#include "common/bytes.h"

namespace zar::archive {
namespace {

using namespace foreign;

struct ZooArchiveHeader {
    static constexpr size_t kFirstEntry = 24;
};

struct ZooEntry {
    static constexpr uint32_t kSize = 51;
    static constexpr size_t kMagic = 0, kMethod = 5, kNext = 6, kDate = 14, kTime = 16, kCrc = 18,
                            kUnpackedSize = 20, kPackedSize = 24, kDeleted = 30, kStructure = 31,
                            kCommentOffset = 32, kCommentSize = 36, kName = 38, kNameWidth = 13;
    static constexpr uint32_t kMagicValue = 0xFDC4A7DC;
};

}  // namespace

Result buildZooRecords(ByteSource& archive, const char*, RecordSink& sink, WorkFileEnd&) {
    uint8_t first[4];
    if (Result r = readExact(archive, ZooArchiveHeader::kFirstEntry, first, sizeof first); r != kOk)
        return r == kShortRead ? kBadArchive : r;

    uint8_t entry[ZooEntry::kSize];
    for (uint64_t offset = loadLe32(first);;) {
        if (Result r = readExact(archive, offset, entry, sizeof entry); r != kOk) return r;
        if (loadLe32(entry + ZooEntry::kMagic) != ZooEntry::kMagicValue) return kBadArchive;
        const uint32_t next = loadLe32(entry + ZooEntry::kNext);
        if (next == 0) return kOk;
        // Entries are only ever appended, so the chain runs forward; one that
        // turns back would go round for ever.
        if (next <= offset) return kBadArchive;

        if (entry[ZooEntry::kDeleted] == 0 && entry[ZooEntry::kStructure] == 0) {
            MemberRecord record;
            if (uint32_t stored = loadLe16(entry + ZooEntry::kCommentSize); stored != 0) {
                // The stored comment ends with the line end of its last line.
                if (stored - 1 >= kNameLimit) return kTooLong;
                if (Result r = readString(archive, loadLe32(entry + ZooEntry::kCommentOffset), stored,
                                          &record.comment);
                    r != kOk)
                    return r;
                dropLastLineEnd(record.comment);
            }
            record.method = entry[ZooEntry::kMethod];
            record.time = loadLe16(entry + ZooEntry::kTime);
            record.date = loadLe16(entry + ZooEntry::kDate);
            record.crc = loadLe16(entry + ZooEntry::kCrc);
            record.packedSize = loadLe32(entry + ZooEntry::kPackedSize);
            record.unpackedSize = loadLe32(entry + ZooEntry::kUnpackedSize);
            record.name = fieldText(entry + ZooEntry::kName, ZooEntry::kNameWidth);
            if (Result r = sink.add(record); r != kOk) return r;
        }
        offset = next;
    }
}

}  // namespace zar::archive
