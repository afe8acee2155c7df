#include "archive/records.h"

#include "common/bytes.h"

namespace zar::archive {

Result writeCentralRecord(fs::FileHandle out, uint8_t* record, const char* name, const uint8_t* extra,
                          const char* comment) {
    storeLe32(record + CentralRecord::kSignature, kCentralSignature);
    uint16_t nameLength = loadLe16(record + CentralRecord::kNameLength);
    uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    uint16_t commentLength = loadLe16(record + CentralRecord::kCommentLength);
    if (!fs::writeAll(out, record, CentralRecord::kSize)) return kWriteFailed;
    if (nameLength != 0 && !fs::writeAll(out, name, nameLength)) return kWriteFailed;
    if (extraLength != 0 && !fs::writeAll(out, extra, extraLength)) return kWriteFailed;
    if (commentLength != 0 && !fs::writeAll(out, comment, commentLength)) return kWriteFailed;
    return kOk;
}

}  // namespace zar::archive
