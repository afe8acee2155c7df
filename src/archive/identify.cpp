#include "archive/identify.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/records.h"
#include "common/bytes.h"
#include "fs/names.h"

namespace zar::archive {
namespace {

constexpr uint32_t kZooMagic = 0xFDC4A7DC;
constexpr uint16_t kArjMagic = 60000;

bool hasExtension(const char* path, const char* extension) {
    std::string ext;
    fs::splitPath(path, nullptr, nullptr, nullptr, &ext);
    return fs::namesEqual(ext.c_str(), extension);
}

bool readExactly(ByteSource& file, uint64_t offset, void* buffer, uint32_t count) {
    uint32_t done;
    return file.readAt(offset, buffer, count, &done) && done == count;
}

// An end record in the file's last 22 bytes; `*disks` gets its two disk fields.
bool endRecordAtTheEnd(ByteSource& file, int64_t length, uint32_t* disks) {
    uint8_t record[EndRecord::kSize];
    if (length < static_cast<int64_t>(EndRecord::kSize) ||
        !readExactly(file, static_cast<uint64_t>(length) - EndRecord::kSize, record, sizeof record))
        return false;
    if (loadLe32(record) != kEndSignature) return false;
    *disks = loadLe32(record + EndRecord::kThisDisk);
    return true;
}

// The two disk fields of the end record that closes the file: the last
// "PK\5\6" of its tail whose comment runs exactly to the end. A spanned set's
// last volume may carry the set's comment after its end record.
bool closingEndRecord(ByteSource& file, int64_t length, uint32_t* disks) {
    if (length < static_cast<int64_t>(EndRecord::kSize)) return false;
    const uint32_t tail = static_cast<uint32_t>(std::min<int64_t>(length, EndRecord::kSize + 0xFFFF));
    std::vector<uint8_t> bytes(tail);
    if (!readExactly(file, static_cast<uint64_t>(length) - tail, bytes.data(), tail)) return false;
    for (uint32_t at = tail - EndRecord::kSize + 1; at-- > 0;) {
        if (loadLe32(bytes.data() + at) != kEndSignature) continue;
        if (at + EndRecord::kSize + loadLe16(bytes.data() + at + EndRecord::kCommentLength) != tail) continue;
        *disks = loadLe32(bytes.data() + at + EndRecord::kThisDisk);
        return true;
    }
    return false;
}

// The last volume of a spanned set begins wherever its writer began it: often
// with a local header (writers start a new volume rather than cut one), with
// the central directory, or with the end record alone. Its end record, naming
// a disk other than the first, tells it from a whole archive (0xFFFF there is
// the mark of an end record continued in a ZIP64 record, no disk number).
bool lastVolumeOfASet(ByteSource& file, int64_t length) {
    uint32_t disks = 0;
    if (!closingEndRecord(file, length, &disks)) return false;
    const uint32_t thisDisk = disks & 0xFFFF, directoryDisk = disks >> 16;
    return thisDisk != 0 && thisDisk != 0xFFFF && directoryDisk <= thisDisk;
}

Result fromHead(ByteSource& file, const char* path, int64_t length, const uint8_t* head, Kind* kind) {
    auto found = [kind](Kind k) {
        *kind = k;
        return kOk;
    };
    if (std::memcmp(head, OldTrailer::kFileMagic.data(), 4) == 0) return found(Kind::OldSingleFile);
    if (head[0] == 'M' && head[1] == 'Z') {
        uint8_t stub[6];
        if (readExactly(file, 30, stub, sizeof stub) && std::memcmp(stub, "PKLITE", 6) == 0)
            return found(Kind::SelfExtracting);
        uint32_t disks;
        if (endRecordAtTheEnd(file, length, &disks)) return found(Kind::SelfExtracting);
        return kUnknownKind;
    }
    if (std::memcmp(head, OwnVolumeHeader::kMagicBytes.data(), 4) == 0) {
        uint8_t version[2];
        if (!readExactly(file, OwnVolumeHeader::kVersion, version, 2)) return kUnknownKind;
        switch (loadLe16(version)) {
            case 1: case 2: return found(Kind::OwnMultiVolume);
            case 3: return found(Kind::OwnMultiVolume3);
            default: return kUnknownKind;
        }
    }
    switch (loadLe32(head)) {
        case kCentralSignature:
            return found(lastVolumeOfASet(file, length) ? Kind::Spanned : Kind::FrontDirectory);
        case kSpanMarker: return found(Kind::Spanned);
        case kLocalSignature:
        case kEndSignature: return found(lastVolumeOfASet(file, length) ? Kind::Spanned : Kind::Zip);
        default: break;
    }
    if (loadLe16(head) == kArjMagic) return found(Kind::Arj);
    if (head[0] == 0x1F && head[1] == 0x8B && head[2] == 0x08) return found(Kind::Gzip);
    if (head[0] == 26 && head[1] < 32 && head[2] != 0) return found(Kind::Arc);

    uint8_t lh[3];
    if (!readExactly(file, 2, lh, 3)) return kUnknownKind;
    if (std::memcmp(lh, "-lh", 3) == 0) return found(Kind::Lzh);
    uint8_t zoo[4];
    if (readExactly(file, 20, zoo, 4) && loadLe32(zoo) == kZooMagic) return found(Kind::Zoo);
    uint8_t ustar[6];
    if (readExactly(file, 257, ustar, 6) && std::memcmp(ustar, "ustar", 6) == 0) return found(Kind::Tar);
    if (hasExtension(path, ".TAR")) return found(Kind::Tar);

    // The last volume of a spanned set starts with no marker at all, but its
    // end record names a disk other than the first.
    if (lastVolumeOfASet(file, length)) return found(Kind::Spanned);
    return kUnknownKind;
}

}  // namespace

Result identifyBytes(ByteSource& file, const char* path, Kind* kind) {
    *kind = Kind::None;
    int64_t length = file.size();
    if (length < 0) return kUnknownKind;
    if (length == 0) {
        *kind = hasExtension(path, ".SQS") ? Kind::OldSingleFile : Kind::Zip;
        return kOk;
    }
    uint8_t head[4];
    if (!readExactly(file, 0, head, sizeof head)) return kUnknownKind;
    return fromHead(file, path, length, head, kind);
}

Result identifyFile(const char* path, Kind* kind) {
    *kind = Kind::None;
    fs::File file(fs::openFile(path, platform::kAccessRead, platform::kShareRead, fs::Disposition::OpenExisting, 0,
                               true));
    if (!file.valid()) return kAccessDenied;
    FileSource source(file.get());
    return identifyBytes(source, path, kind);
}

}  // namespace zar::archive
