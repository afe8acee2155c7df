#include "archive/extra_field.h"

#include <algorithm>
#include <cstring>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"

namespace zar::archive {

bool ExtraBlock::isPrivate(char subtag) const {
    return tag == kTagPrivate && size >= 2 && data[0] == kPrivateSubtagLead && data[1] == static_cast<uint8_t>(subtag);
}

std::string_view ExtraBlock::privateData() const {
    return size < 2 ? std::string_view{} : std::string_view(reinterpret_cast<const char*>(data + 2), size - 2);
}

bool ExtraFieldCursor::next(ExtraBlock* block) {
    if (length_ - at_ < 4 || at_ > length_) return false;
    const uint8_t* head = field_ + at_;
    const size_t room = length_ - at_ - 4;
    size_t size = loadLe16(head + 2);
    if (size > room) {
        if (overrun_ == Overrun::EndsWalk) {
            at_ = length_;
            return false;
        }
        size = room;
    }
    *block = ExtraBlock{loadLe16(head), head + 4, size, at_};
    at_ += 4 + size;
    return true;
}

namespace {

std::vector<uint8_t> privateBlock(char subtag, const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(6 + size);
    storeLe16(block.data(), kTagPrivate);
    storeLe16(block.data() + 2, static_cast<uint16_t>(size + 2));
    block[4] = kPrivateSubtagLead;
    block[5] = static_cast<uint8_t>(subtag);
    if (size != 0) std::memcpy(block.data() + 6, data, size);
    return block;
}

}  // namespace

std::vector<uint8_t> versionBlock(uint32_t mostSignificant, uint32_t leastSignificant) {
    uint8_t data[kVersionBytes];
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<uint8_t>(mostSignificant >> (24 - 8 * i));
        data[4 + i] = static_cast<uint8_t>(leastSignificant >> (24 - 8 * i));
    }
    return privateBlock(kVersionSubtag, data, sizeof data);
}

std::vector<uint8_t> longNameBlock(std::string_view longName) {
    return privateBlock(kLongNameSubtag, reinterpret_cast<const uint8_t*>(longName.data()), longName.size());
}

std::vector<uint8_t> zip64Block(const std::vector<uint64_t>& values) {
    std::vector<uint8_t> block(4 + 8 * values.size());
    storeLe16(block.data(), kTagZip64);
    storeLe16(block.data() + 2, static_cast<uint16_t>(8 * values.size()));
    for (size_t i = 0; i < values.size(); ++i) storeLe64(block.data() + 4 + 8 * i, values[i]);
    return block;
}

std::string_view findPrivateBlock(const uint8_t* extra, size_t length, char subtag,
                                  ExtraFieldCursor::Overrun overrun) {
    ExtraFieldCursor cursor(extra, length, overrun);
    for (ExtraBlock block; cursor.next(&block);)
        if (block.isPrivate(subtag)) return block.privateData();
    return {};
}

Zip64Fields zip64Fields(const uint8_t* record, const uint8_t* extra, size_t length) {
    Zip64Fields out;
    struct Field {
        size_t inRecord;
        uint64_t* value;
        size_t* at;
    } fields[] = {{CentralRecord::kUnpackedSize, &out.unpackedSize, &out.unpackedAt},
                  {CentralRecord::kPackedSize, &out.packedSize, &out.packedAt},
                  {CentralRecord::kLocalOffset, &out.localOffset, &out.offsetAt}};
    for (Field& f : fields) *f.value = loadLe32(record + f.inRecord);

    ExtraFieldCursor cursor(extra, length);
    for (ExtraBlock block; cursor.next(&block);) {
        if (block.tag != kTagZip64) continue;
        size_t used = 0;
        for (Field& f : fields) {
            if (*f.value != kAllOnes32) continue;
            if (used + 8 > block.size) break;
            *f.value = loadLe64(block.data + used);
            *f.at = static_cast<size_t>(block.data - extra) + used;
            used += 8;
        }
        break;  // only the first Zip64 block counts
    }
    return out;
}

bool entryVersion(const uint8_t* extra, size_t length, uint8_t version[kVersionBytes]) {
    ExtraFieldCursor cursor(extra, length);
    for (ExtraBlock block; cursor.next(&block);) {
        // Only a block of exactly the version's size counts.
        if (!block.isPrivate(kVersionSubtag) || block.size != 2 + kVersionBytes) continue;
        std::memcpy(version, block.data + 2, kVersionBytes);
        return std::any_of(version, version + kVersionBytes, [](uint8_t b) { return b != 0; });
    }
    return false;
}

}  // namespace zar::archive
