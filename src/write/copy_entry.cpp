#include "write/copy_entry.h"

#include <algorithm>
#include <cstring>

#include "archive/extra_field.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "fs/copy.h"

namespace zar::write {
namespace {

using archive::CentralRecord;
using archive::LocalHeader;

using archive::DataDescriptor;

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

}  // namespace

bool dataEnd(fs::FileHandle data, uint32_t* offset) {
    const int64_t end = fs::seekToEnd(data);
    if (end < 0 || end > int64_t{archive::kAllOnes32}) return false;
    *offset = static_cast<uint32_t>(end);
    return true;
}

Result copyEntry(fs::FileHandle from, fs::FileHandle data, fs::FileHandle directory, ExistingEntry& entry) {
    uint8_t* record = entry.record;
    if (entry.name.size() > archive::kNameLimit) return kTooLong;
    const uint16_t extraLength =
        withoutOwnLongName(entry.extra, loadLe16(record + CentralRecord::kExtraLength), entry.name);
    storeLe16(record + CentralRecord::kExtraLength, extraLength);
    storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(entry.name.size()));

    uint32_t offset;
    if (!dataEnd(data, &offset)) return kWriteFailed;
    uint8_t local[LocalHeader::kSize];
    if (!fs::seekTo(from, loadLe32(record + CentralRecord::kLocalOffset)) ||
        !fs::readExact(from, local, sizeof local))
        return kShortRead;
    const int64_t oldParts = loadLe16(local + LocalHeader::kNameLength) + loadLe16(local + LocalHeader::kExtraLength);
    // The old header's signature is not trusted: a damaged one is not copied.
    storeLe32(local + LocalHeader::kSignature, archive::kLocalSignature);
    storeLe16(local + LocalHeader::kNameLength, static_cast<uint16_t>(entry.name.size()));
    storeLe16(local + LocalHeader::kExtraLength, extraLength);
    storeLe32(record + CentralRecord::kLocalOffset, offset);

    if (!fs::writeAll(data, local, sizeof local)) return kWriteFailed;
    if (!fs::skip(from, oldParts)) return kAccessDenied;
    if (!entry.name.empty() && !fs::writeAll(data, entry.name.data(), static_cast<uint32_t>(entry.name.size())))
        return kWriteFailed;
    if (extraLength != 0 && !fs::writeAll(data, entry.extra, extraLength)) return kWriteFailed;
    if (Result r = fs::copyBytes(from, data, loadLe32(record + CentralRecord::kPackedSize)); r != kOk) return r;

    // A local header that says its sizes follow the data must be followed by
    // them, or readers that walk the local headers lose their way; the old
    // descriptor may have any of three layouts, so a fresh one is written.
    if (loadLe16(local + LocalHeader::kFlags) & archive::kFlagDataDescriptor) {
        uint8_t descriptor[DataDescriptor::kSize];
        storeLe32(descriptor + DataDescriptor::kSignature, archive::kDescriptorSignature);
        // CRC, packed and unpacked size lie in the same order in both records.
        std::memcpy(descriptor + DataDescriptor::kCrc, record + CentralRecord::kCrc, 12);
        if (!fs::writeAll(data, descriptor, sizeof descriptor)) return kWriteFailed;
    }
    return archive::writeCentralRecord(directory, record, entry.name.c_str(), entry.extra, entry.comment);
}

}  // namespace zar::write
