#include "archive/records.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

namespace zar::archive {
namespace {

std::vector<uint8_t> privateBlock(char subtag, const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(6 + size);
    block[0] = 'K';
    block[1] = 'W';
    storeLe16(block.data() + 2, static_cast<uint16_t>(size + 2));
    block[4] = 'Z';
    block[5] = static_cast<uint8_t>(subtag);
    if (size != 0) std::memcpy(block.data() + 6, data, size);
    return block;
}

}  // namespace

std::vector<uint8_t> versionBlock(uint32_t mostSignificant, uint32_t leastSignificant) {
    uint8_t data[8];
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<uint8_t>(mostSignificant >> (24 - 8 * i));
        data[4 + i] = static_cast<uint8_t>(leastSignificant >> (24 - 8 * i));
    }
    return privateBlock(kVersionSubtag, data, sizeof data);
}

std::vector<uint8_t> longNameBlock(std::string_view longName) {
    return privateBlock(kLongNameSubtag, reinterpret_cast<const uint8_t*>(longName.data()), longName.size());
}

std::string_view findPrivateBlock(const uint8_t* extra, size_t length, char subtag) {
    size_t at = 0;
    while (at + 4 <= length) {
        size_t size = loadLe16(extra + at + 2);
        if (at + 4 + size > length) break;
        if (extra[at] == 'K' && extra[at + 1] == 'W' && size >= 2 && extra[at + 4] == 'Z' &&
            extra[at + 5] == static_cast<uint8_t>(subtag))
            return {reinterpret_cast<const char*>(extra + at + 6), size - 2};
        at += 4 + size;
    }
    return {};
}

Result writeCentralRecord(fs::FileHandle out, uint8_t* record, const char* name, const uint8_t* extra,
                          const char* comment) {
    storeLe32(record + CentralRecord::kSignature, kCentralSignature);
    uint16_t nameLength = loadLe16(record + CentralRecord::kNameLength);
    uint16_t extraLength = loadLe16(record + CentralRecord::kExtraLength);
    uint16_t commentLength = loadLe16(record + CentralRecord::kCommentLength);
    if (fs::writeAll(out, record, CentralRecord::kSize) != 0) return kWriteFailed;
    if (nameLength != 0 && fs::writeAll(out, name, nameLength) != 0) return kWriteFailed;
    if (extraLength != 0 && fs::writeAll(out, extra, extraLength) != 0) return kWriteFailed;
    if (commentLength != 0 && fs::writeAll(out, comment, commentLength) != 0) return kWriteFailed;
    return kOk;
}

bool entryVersion(const uint8_t* extra, size_t length, uint8_t version[8]) {
    static constexpr uint8_t kHead[] = {'K', 'W', 10, 0, 'Z', kVersionSubtag};
    static constexpr size_t kBlockSize = sizeof kHead + 8;
    for (size_t at = 0; extra != nullptr && length - at >= kBlockSize;) {
        if (std::memcmp(extra + at, kHead, sizeof kHead) == 0) {
            std::memcpy(version, extra + at + sizeof kHead, 8);
            return std::any_of(version, version + 8, [](uint8_t b) { return b != 0; });
        }
        at += 4 + loadLe16(extra + at + 2);
        if (at > length) break;
    }
    return false;
}

}  // namespace zar::archive
