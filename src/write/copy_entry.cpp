#include "write/copy_entry.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "archive/extra_field.h"
#include "archive/name_coding.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "fs/copy.h"

namespace zar::write {
namespace {

using archive::CentralRecord;
using archive::DataDescriptor;
using archive::LocalHeader;
using archive::Zip64DataDescriptor;
using archive::kAllOnes32;

// Cuts the first long-name block out of an extra field when the name it holds
// ('\\' read as '/') is `name` exactly; returns the field's new length.
uint16_t withoutOwnLongName(uint8_t* extra, uint16_t length, const std::string& name) {
    archive::ExtraFieldCursor cursor(extra, length);
    for (archive::ExtraBlock block; cursor.next(&block);) {
        if (!block.isPrivate(archive::kLongNameSubtag)) continue;
        std::string stored(block.privateData());
        std::replace(stored.begin(), stored.end(), '\\', '/');
        if (stored != name) break;
        std::memmove(extra + block.offset, extra + block.offset + block.whole(), length - block.offset - block.whole());
        return static_cast<uint16_t>(length - block.whole());
    }
    return length;
}

// The data size of the first Zip64 block of an extra field, or -1 when there
// is none.
int zip64BlockSize(const uint8_t* extra, size_t length) {
    archive::ExtraFieldCursor cursor(extra, length);
    for (archive::ExtraBlock block; cursor.next(&block);)
        if (block.tag == archive::kTagZip64) return static_cast<int>(block.size);
    return -1;
}

// Makes the sizes of a local header readable: sizes of all ones need a Zip64
// block with a value for each of them (unpacked size first, then packed
// size). Without one the header gets the real sizes, which then must fit.
Result soundLocalSizes(uint8_t* local, const uint8_t* extra, size_t extraLength, uint64_t packedSize,
                       uint64_t unpackedSize) {
    size_t allOnes = 0;
    for (size_t field : {LocalHeader::kPackedSize, LocalHeader::kUnpackedSize})
        allOnes += loadLe32(local + field) == kAllOnes32;
    if (allOnes == 0 || zip64BlockSize(extra, extraLength) >= static_cast<int>(8 * allOnes)) return kOk;
    if (packedSize >= kAllOnes32 || unpackedSize >= kAllOnes32) return kBadArchive;
    storeLe32(local + LocalHeader::kPackedSize, static_cast<uint32_t>(packedSize));
    storeLe32(local + LocalHeader::kUnpackedSize, static_cast<uint32_t>(unpackedSize));
    return kOk;
}

// A local header that says its sizes follow the data must be followed by
// them, or readers that walk the local headers lose their way. The old
// descriptor may have any of four layouts, so a fresh one is written: with
// 8-byte sizes where the local header has a Zip64 block, as readers expect.
Result writeDescriptor(fs::FileHandle data, const uint8_t* record, bool zip64, uint64_t packedSize,
                       uint64_t unpackedSize) {
    zip64 |= packedSize > kAllOnes32 || unpackedSize > kAllOnes32;
    uint8_t descriptor[Zip64DataDescriptor::kSize];
    storeLe32(descriptor + DataDescriptor::kSignature, archive::kDescriptorSignature);
    storeLe32(descriptor + DataDescriptor::kCrc, loadLe32(record + CentralRecord::kCrc));
    if (zip64) {
        storeLe64(descriptor + Zip64DataDescriptor::kPackedSize, packedSize);
        storeLe64(descriptor + Zip64DataDescriptor::kUnpackedSize, unpackedSize);
    } else {
        storeLe32(descriptor + DataDescriptor::kPackedSize, static_cast<uint32_t>(packedSize));
        storeLe32(descriptor + DataDescriptor::kUnpackedSize, static_cast<uint32_t>(unpackedSize));
    }
    const uint32_t size = zip64 ? Zip64DataDescriptor::kSize : DataDescriptor::kSize;
    return fs::writeAll(data, descriptor, size) ? kOk : kWriteFailed;
}

// The central extra field with the entry's Zip64 block remade to carry
// `offset` as well: the sizes it held (the record's all-ones fields) first,
// then the offset, the block put first and every other block after it. The
// record's offset becomes all ones, its extra length the new one's, and the
// version needed at least the one Zip64 needs. kTooLong when the field would
// outgrow 65535 bytes.
Result withZip64Offset(uint8_t* record, const uint8_t* extra, uint16_t extraLength, const archive::Zip64Fields& real,
                       uint64_t offset, std::vector<uint8_t>* out) {
    std::vector<uint64_t> values;
    if (real.unpackedAt != archive::Zip64Fields::kInRecord) values.push_back(real.unpackedSize);
    if (real.packedAt != archive::Zip64Fields::kInRecord) values.push_back(real.packedSize);
    values.push_back(offset);
    *out = archive::zip64Block(values);
    archive::ExtraFieldCursor cursor(extra, extraLength);
    size_t walked = 0;
    for (archive::ExtraBlock block; cursor.next(&block); walked = block.offset + block.whole())
        if (block.tag != archive::kTagZip64)
            out->insert(out->end(), extra + block.offset, extra + block.offset + block.whole());
    // Bytes after the last whole block go along as they are.
    if (walked < extraLength) out->insert(out->end(), extra + walked, extra + extraLength);
    if (out->size() > 0xFFFF) return kTooLong;
    storeLe32(record + CentralRecord::kLocalOffset, kAllOnes32);
    storeLe16(record + CentralRecord::kExtraLength, static_cast<uint16_t>(out->size()));
    if (loadLe16(record + CentralRecord::kVersionNeeded) < archive::kVersionZip64)
        storeLe16(record + CentralRecord::kVersionNeeded, archive::kVersionZip64);
    return kOk;
}

}  // namespace

bool dataEnd(fs::FileHandle data, uint64_t* offset) {
    const int64_t end = fs::seekToEnd(data);
    if (end < 0) return false;
    *offset = static_cast<uint64_t>(end);
    return true;
}

Result copyEntry(fs::FileHandle from, fs::FileHandle data, fs::FileHandle directory, ExistingEntry& entry) {
    uint8_t* record = entry.record;
    const char* name = reinterpret_cast<const char*>(entry.storedName);
    uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    // The name a long-name block must hold to go with the old name.
    const std::string& blockName = entry.formerLongName.empty() ? entry.name : entry.formerLongName;
    // Readers take a name without flag bit 11 for code page 437.
    const bool utf8Name = entry.renamed && archive::takesUtf8Flag(entry.name);
    if (entry.renamed) {
        if (entry.name.size() > archive::kNameLimit) return kTooLong;
        name = entry.name.c_str();
        extraLength = withoutOwnLongName(entry.extra, extraLength, blockName);
        storeLe16(record + CentralRecord::kExtraLength, extraLength);
        storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(entry.name.size()));
        if (utf8Name)
            storeLe16(record + CentralRecord::kFlags, loadLe16(record + CentralRecord::kFlags) | archive::kFlagUtf8);
    }
    // The real sizes and offset: the Zip64 block's where the record holds all ones.
    const archive::Zip64Fields real = archive::zip64Fields(record, entry.extra, extraLength);
    if (real.localOffset > uint64_t{INT64_MAX} || real.packedSize > uint64_t{INT64_MAX}) return kShortRead;

    uint64_t offset;
    if (!dataEnd(data, &offset)) return kWriteFailed;
    uint8_t local[LocalHeader::kSize];
    if (!fs::seekTo(from, static_cast<int64_t>(real.localOffset)) || !fs::readExact(from, local, sizeof local))
        return kShortRead;
    const uint16_t localNameLength = loadLe16(local + LocalHeader::kNameLength);
    uint16_t localExtraLength = loadLe16(local + LocalHeader::kExtraLength);
    std::vector<uint8_t> parts;
    try {
        parts.resize(size_t{localNameLength} + localExtraLength);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    if (!parts.empty() && !fs::readExact(from, parts.data(), static_cast<uint32_t>(parts.size()))) return kShortRead;
    const uint8_t* localName = parts.data();
    uint8_t* localExtra = localExtraLength == 0 ? nullptr : parts.data() + localNameLength;
    if (entry.renamed) {
        localExtraLength = withoutOwnLongName(localExtra, localExtraLength, blockName);
        storeLe16(local + LocalHeader::kNameLength, static_cast<uint16_t>(entry.name.size()));
        if (utf8Name) storeLe16(local + LocalHeader::kFlags, loadLe16(local + LocalHeader::kFlags) | archive::kFlagUtf8);
        localName = reinterpret_cast<const uint8_t*>(entry.name.data());
    }
    // The old header's signature is not trusted: a damaged one is not copied.
    storeLe32(local + LocalHeader::kSignature, archive::kLocalSignature);
    storeLe16(local + LocalHeader::kExtraLength, localExtraLength);
    if (Result r = soundLocalSizes(local, localExtra, localExtraLength, real.packedSize, real.unpackedSize); r != kOk)
        return r;

    const uint16_t newNameLength = loadLe16(local + LocalHeader::kNameLength);
    if (!fs::writeAll(data, local, sizeof local)) return kWriteFailed;
    if (newNameLength != 0 && !fs::writeAll(data, localName, newNameLength)) return kWriteFailed;
    if (localExtraLength != 0 && !fs::writeAll(data, localExtra, localExtraLength)) return kWriteFailed;
    if (Result r = fs::copyBytes(from, data, static_cast<int64_t>(real.packedSize)); r != kOk) return r;
    if (loadLe16(local + LocalHeader::kFlags) & archive::kFlagDataDescriptor) {
        const bool zip64 = zip64BlockSize(localExtra, localExtraLength) >= 0;
        if (Result r = writeDescriptor(data, record, zip64, real.packedSize, real.unpackedSize); r != kOk) return r;
    }

    // The new offset goes where the old one was: into the Zip64 block when the
    // record holds all ones. An offset that no longer fits 32 bits moves into
    // a Zip64 block, which is made or lengthened for it.
    if (real.offsetAt != archive::Zip64Fields::kInRecord) {
        storeLe64(entry.extra + real.offsetAt, offset);
    } else if (offset < kAllOnes32) {
        storeLe32(record + CentralRecord::kLocalOffset, static_cast<uint32_t>(offset));
    } else {
        std::vector<uint8_t> extra;
        if (Result r = withZip64Offset(record, entry.extra, extraLength, real, offset, &extra); r != kOk) return r;
        return archive::writeCentralRecord(directory, record, name, extra.data(), entry.comment);
    }
    return archive::writeCentralRecord(directory, record, name, entry.extra, entry.comment);
}

}  // namespace zar::write
