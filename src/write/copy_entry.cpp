#include "write/copy_entry.h"

#include <cstring>

#include "archive/records.h"
#include "common/bytes.h"
#include "fs/copy.h"

namespace zar::write {
namespace {

using archive::CentralRecord;
using archive::LocalHeader;

constexpr uint32_t kDescriptorSignature = 0x08074B50;  // "PK\7\8"
constexpr size_t kDescriptorSize = 16;

// Cuts the first long-name block out of an extra field when the name it holds
// ('\' read as '/') is `name` exactly; returns the field's new length. Blocks
// are walked by their sizes; a block that runs past the field ends the walk.
uint16_t withoutOwnLongName(uint8_t* extra, uint16_t length, const std::string& name) {
    for (size_t at = 0; length - at >= 7;) {
        const size_t whole = 4 + size_t{loadLe16(extra + at + 2)};
        if (whole > length - at) break;
        if (extra[at] == 'K' && extra[at + 1] == 'W' && extra[at + 4] == 'Z' &&
            extra[at + 5] == static_cast<uint8_t>(archive::kLongNameSubtag)) {
            std::string stored(reinterpret_cast<const char*>(extra + at + 6), whole - 6);
            for (char& c : stored)
                if (c == '\\') c = '/';
            if (stored != name) break;
            std::memmove(extra + at, extra + at + whole, length - at - whole);
            return static_cast<uint16_t>(length - whole);
        }
        at += whole;
    }
    return length;
}

}  // namespace

bool dataEnd(fs::FileHandle data, uint32_t* offset) {
    const int64_t end = platform::seekFile(data, 0, platform::SeekFrom::End);
    if (end < 0 || end > int64_t{0xFFFFFFFF}) return false;
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
        fs::readFile(from, local, sizeof local) != sizeof local)
        return kShortRead;
    const int64_t oldParts = loadLe16(local + LocalHeader::kNameLength) + loadLe16(local + LocalHeader::kExtraLength);
    // The old header's signature is not trusted: a damaged one is not copied.
    storeLe32(local + LocalHeader::kSignature, archive::kLocalSignature);
    storeLe16(local + LocalHeader::kNameLength, static_cast<uint16_t>(entry.name.size()));
    storeLe16(local + LocalHeader::kExtraLength, extraLength);
    storeLe32(record + CentralRecord::kLocalOffset, offset);

    if (fs::writeAll(data, local, sizeof local) != 0) return kWriteFailed;
    if (platform::seekFile(from, oldParts, platform::SeekFrom::Current) < 0) return kAccessDenied;
    if (!entry.name.empty() && fs::writeAll(data, entry.name.data(), static_cast<uint32_t>(entry.name.size())) != 0)
        return kWriteFailed;
    if (extraLength != 0 && fs::writeAll(data, entry.extra, extraLength) != 0) return kWriteFailed;
    if (Result r = fs::copyBytes(from, data, loadLe32(record + CentralRecord::kPackedSize)); r != kOk) return r;

    // A local header that says its sizes follow the data must be followed by
    // them, or readers that walk the local headers lose their way; the old
    // descriptor may have any of three layouts, so a fresh one is written.
    if (loadLe16(local + LocalHeader::kFlags) & 0x0008) {
        uint8_t descriptor[kDescriptorSize];
        storeLe32(descriptor, kDescriptorSignature);
        std::memcpy(descriptor + 4, record + CentralRecord::kCrc, 12);  // CRC, packed and unpacked size
        if (fs::writeAll(data, descriptor, sizeof descriptor) != 0) return kWriteFailed;
    }
    return archive::writeCentralRecord(directory, record, entry.name.c_str(), entry.extra, entry.comment);
}

}  // namespace zar::write
