// ARC work files: headers built byte by byte for the oldest header form, the
// ways a list ends, and damage. (Archives of arc itself:
// workfile_arc_posix_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/kinds.h"
#include "common/bytes.h"
#include "common/zip_builder.h"
#include "workfile_support.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One ARC header and its data, byte by byte.
struct Member {
    uint8_t method = 2;
    std::string name = "FILE.TXT";  // up to 12 characters and a NUL; 13 fill the field
    std::string data = "data";
    uint16_t date = 0x2A43, time = 0x20A3, crc = 0x4E51;
    uint32_t unpacked = 4;

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out = {26, method};  // marker, method
        std::string field = name;
        field.resize(13, '\0');
        putText(out, field);                      // 2: name
        put32(out, static_cast<uint32_t>(data.size()));  // 15: packed size
        put16(out, date);                         // 19: date
        put16(out, time);                         // 21: time
        put16(out, crc);                          // 23: CRC-16
        if (method != 1) put32(out, unpacked);    // 25: unpacked size, absent in the oldest form
        putText(out, data);
        return out;
    }
};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ArcWorkFile, BuiltHeadersAndTheEndsOfTheList) {
    Member old, full, crunched;
    old.method = 1, old.name = "OLD", old.data = "stored long ago";
    full.name = "THIRTEENCHARS";  // fills its field: no NUL
    crunched.method = 8, crunched.name = "CRUNCH.DAT", crunched.unpacked = 1000;
    const std::vector<uint8_t> members = join({old.bytes(), full.bytes(), crunched.bytes()});
    std::vector<uint8_t> cutShort = Member().bytes();
    cutShort.resize(20);
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
    } ends[] = {
        {"the closing header", {26, 0}},
        {"the closing header and more", join({{26, 0}, std::vector<uint8_t>(100, 0x55)})},
        {"nothing", {}},
        {"one byte", {26}},
        {"a header cut short", cutShort},
        {"a header without a name", {26, 8, 0, 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0}},
        {"a header whose name starts with 26", {26, 8, 26, 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& e : ends) {
        Listing listing = listBytes(Kind::Arc, join({members, e.tail}));
        ASSERT_EQ(listing.result, kOk) << e.what;
        ASSERT_EQ(listing.records.size(), 3u) << e.what;
        EXPECT_EQ(listing.records[0].name, "OLD");
        EXPECT_EQ(listing.records[0].method, 1);
        EXPECT_EQ(listing.records[0].packedSize, 15u);
        EXPECT_EQ(listing.records[0].unpackedSize, 15u);
        EXPECT_EQ(listing.records[1].name, "THIRTEENCHARS");
        EXPECT_EQ(listing.records[2].name, "CRUNCH.DAT");
        EXPECT_EQ(listing.records[2].unpackedSize, 1000u);
        for (const MemberRecord& r : listing.records) {
            EXPECT_EQ(r.date, 0x2A43);
            EXPECT_EQ(r.time, 0x20A3);
            EXPECT_EQ(r.crc, 0x4E51u);
        }
    }
}

TEST(ArcWorkFile, DamagedHeaders) {
    std::vector<uint8_t> wrong = join({Member().bytes(), Member().bytes()});
    wrong[Member().bytes().size()] = 27;  // the second header's marker
    Listing listing = listBytes(Kind::Arc, wrong);
    EXPECT_EQ(listing.result, kBadArchive);
    EXPECT_EQ(listing.records.size(), 1u);

    // A packed size that sends the next header past the 32-bit range.
    std::vector<uint8_t> wrapped = Member().bytes();
    storeLe32(&wrapped[15], 0xFFFFFFF0);
    listing = listBytes(Kind::Arc, wrapped);
    EXPECT_EQ(listing.result, kBadArchive);
    EXPECT_EQ(listing.records.size(), 1u);
}

}  // namespace
