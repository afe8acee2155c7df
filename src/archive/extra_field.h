// The extra field of local headers and central records: one cursor that walks
// its blocks (a u16 tag, a u16 data size, the data), and the library's own
// "KW" blocks built and found on top of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zar::archive {

// One block of an extra field. `data` points into the field; `offset` is
// where the block's tag lies.
struct ExtraBlock {
    uint16_t tag = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t offset = 0;

    size_t whole() const { return 4 + size; }
    // A "KW" block whose data starts with 'Z' and `subtag`.
    bool isPrivate(char subtag) const;
    // The data after the two subtag bytes of a private block.
    std::string_view privateData() const;
};

// Yields the blocks of an extra field in order. The walk ends at a tail too
// short for a block's four header bytes, and at a block whose size runs past
// the end of the field, which is not yielded.
class ExtraFieldCursor {
public:
    enum class Overrun {
        EndsWalk,
        // The last block is yielded cut to the field's end: names in
        // long-name blocks written by older tools may overrun the field, and
        // are read as far as the field goes.
        ClipToField,
    };

    ExtraFieldCursor(const uint8_t* field, size_t length, Overrun overrun = Overrun::EndsWalk)
        : field_(field), length_(field == nullptr ? 0 : length), overrun_(overrun) {}

    bool next(ExtraBlock* block);

private:
    const uint8_t* field_;
    size_t length_;
    size_t at_ = 0;
    Overrun overrun_;
};

// The version block: the file's version number, most significant 32-bit word
// first, each word most significant byte first.
inline constexpr size_t kVersionBytes = 8;
std::vector<uint8_t> versionBlock(uint32_t mostSignificant, uint32_t leastSignificant);
// The long-name block: the long name with '/' separators, no NUL.
std::vector<uint8_t> longNameBlock(std::string_view longName);
// A Zip64 block of the given 64-bit values, in the order the format gives:
// unpacked size, packed size, local header offset (each only where needed).
std::vector<uint8_t> zip64Block(const std::vector<uint64_t>& values);

// The data of the first private block with `subtag`, after its subtag bytes;
// empty when there is none.
std::string_view findPrivateBlock(const uint8_t* extra, size_t length, char subtag,
                                  ExtraFieldCursor::Overrun overrun = ExtraFieldCursor::Overrun::EndsWalk);

// The 64-bit values of a central record that holds all ones in its sizes or
// local header offset. Its Zip64 block carries, in this order, the unpacked
// size, the packed size and the offset, each only where the record holds all
// ones. A value the record holds itself is taken from it; a value that the
// block lacks (or cuts short) stays all ones.
struct Zip64Fields {
    static constexpr size_t kInRecord = static_cast<size_t>(-1);
    uint64_t unpackedSize = 0, packedSize = 0, localOffset = 0;
    // Where each value's eight bytes lie in the extra field; kInRecord when
    // the record's own 32-bit field is the value.
    size_t unpackedAt = kInRecord, packedAt = kInRecord, offsetAt = kInRecord;
};
// `record` is the 46-byte central record, `extra` its extra field.
Zip64Fields zip64Fields(const uint8_t* record, const uint8_t* extra, size_t length);

// The file version an entry's extra field holds in its version block. False
// when there is no version block or its version bytes are all zero.
bool entryVersion(const uint8_t* extra, size_t length, uint8_t version[kVersionBytes]);

}  // namespace zar::archive
