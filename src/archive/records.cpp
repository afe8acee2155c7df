#include "archive/records.h"

#include <vector>

#include "common/bytes.h"

namespace zar::archive {

Result writeCentralRecord(fs::FileHandle out, uint8_t* record, const char* name, const uint8_t* extra,
                          const char* comment) {
    storeLe32(record + CentralRecord::kSignature, kCentralSignature);
    uint16_t nameLength = loadLe16(record + CentralRecord::kNameLength);
    uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    uint16_t commentLength = loadLe16(record + CentralRecord::kCommentLength);
    // One write for the whole record.
    std::vector<uint8_t> bytes(record, record + CentralRecord::kSize);
    bytes.reserve(size_t{CentralRecord::kSize} + nameLength + extraLength + commentLength);
    if (nameLength != 0) bytes.insert(bytes.end(), name, name + nameLength);
    if (extraLength != 0) bytes.insert(bytes.end(), extra, extra + extraLength);
    if (commentLength != 0) bytes.insert(bytes.end(), comment, comment + commentLength);
    return fs::writeAll(out, bytes.data(), static_cast<uint32_t>(bytes.size())) ? kOk : kWriteFailed;
}

}  // namespace zar::archive
