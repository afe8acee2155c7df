// LZH work files: headers built field by field for extended names, the
// closing byte, and damage of every kind. (Archives of jlha:
// workfile_lzh_posix_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/kinds.h"
#include "common/zip_builder.h"
#include "workfile_support.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One member header of a chosen level, field by field, followed by its data.
struct Member {
    int level = 2;
    std::string method = "-lh5-";
    std::string data = "packed bytes";
    uint32_t unpacked = 100;
    uint16_t time = 0x20A3, date = 0x2A43;  // 04:05:06, 2001-02-03: levels 0 and 1
    uint32_t unixTime = 981173106;           // the same moment in UTC: level 2
    uint8_t attribute = 0x20;
    std::string name;                        // the header's own name: levels 0 and 1
    uint16_t crc = 0xBEEF;                   // CRC-16 of the data
    std::vector<std::pair<uint8_t, std::string>> extensions;  // type and data

    // Extended headers: each is its type, its data and the size of the next one.
    std::vector<uint8_t> extensionBytes() const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < extensions.size(); ++i) {
            out.push_back(extensions[i].first);
            putText(out, extensions[i].second);
            put16(out, i + 1 < extensions.size() ? 3 + extensions[i + 1].second.size() : 0);
        }
        return out;
    }
    uint16_t firstExtensionSize() const {
        return extensions.empty() ? 0 : static_cast<uint16_t>(3 + extensions[0].second.size());
    }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> ext = extensionBytes(), h;
        const uint32_t packed = static_cast<uint32_t>(data.size() + (level == 1 ? ext.size() : 0));
        if (level == 2) {
            put16(h, 0);            // header size, set below
        } else {
            h.push_back(0);         // header size after these two bytes, set below
            h.push_back(0);         // header checksum (not checked)
        }
        putText(h, method);         // 2: method
        put32(h, packed);           // 7: packed size (level 1: extended headers included)
        put32(h, unpacked);         // 11: unpacked size
        if (level == 2) {
            put32(h, unixTime);     // 15: Unix time
        } else {
            put16(h, time);         // 15: DOS time
            put16(h, date);         // 17: DOS date
        }
        h.push_back(attribute);     // 19: attribute
        h.push_back(static_cast<uint8_t>(level));  // 20: level
        if (level == 2) {
            put16(h, crc);          // 21: CRC-16 of the data
            h.push_back('U');       // 23: OS
            put16(h, firstExtensionSize());  // 24: first extended header size
            h.insert(h.end(), ext.begin(), ext.end());
            h[0] = static_cast<uint8_t>(h.size());
            h[1] = static_cast<uint8_t>(h.size() >> 8);
        } else {
            h.push_back(static_cast<uint8_t>(name.size()));  // 21: name length
            putText(h, name);       // 22: name
            put16(h, crc);          // CRC-16 of the data
            if (level == 1) {
                h.push_back('U');   // OS
                put16(h, firstExtensionSize());
            }
            h[0] = static_cast<uint8_t>(h.size() - 2);
            if (level == 1) h.insert(h.end(), ext.begin(), ext.end());
        }
        putText(h, data);
        return h;
    }
};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Member level2(std::vector<std::pair<uint8_t, std::string>> extensions) {
    Member m;
    m.extensions = std::move(extensions);
    return m;
}

const std::string kCrcExtension("\x12\x34", 2);

TEST(LzhWorkFile, Level2NamesFromExtendedHeaders) {
    ScopedZone zone("UTC0");
    const struct {
        const char* what;
        Member member;
        std::string name;
    } cases[] = {
        {"directory without a closing separator",
         level2({{0x00, kCrcExtension}, {0x02, "dir\xFFsub"}, {0x01, "file.txt"}, {0x50, "\x01\x02"}}),
         "dir/sub/file.txt"},
        {"directory after the name", level2({{0x01, "file.txt"}, {0x02, "dir\xFF"}}), "dir/file.txt"},
        {"no directory", level2({{0x01, "plain"}}), "plain"},
        {"a directory member", level2({{0x01, ""}, {0x02, "a\xFF" "b\xFF"}}), "a/b/"},
        {"no name at all", level2({{0x00, kCrcExtension}}), ""},
        {"no extended headers", level2({}), ""},
        {"name of 260 bytes", level2({{0x02, repeat("d", 99)}, {0x01, repeat("f", 160)}}),
         repeat("d", 99) + "/" + repeat("f", 160)},
    };
    for (const auto& c : cases) {
        Listing listing = listBytes(Kind::Lzh, join({c.member.bytes(), {0}}));
        ASSERT_EQ(listing.result, kOk) << c.what;
        ASSERT_EQ(listing.records.size(), 1u) << c.what;
        const MemberRecord& r = listing.records[0];
        EXPECT_EQ(r.name, c.name) << c.what;
        EXPECT_EQ(r.packedSize, c.member.data.size());
        EXPECT_EQ(r.unpackedSize, 100u);
        EXPECT_EQ(r.crc, 0xBEEFu);
        EXPECT_EQ(r.method, 5);
        EXPECT_EQ(r.date, localDos(kFebruary2001).date);  // 2001-02-03 04:05:06 where the clock is UTC
        EXPECT_EQ(r.time, localDos(kFebruary2001).time);
        EXPECT_EQ(r.externalAttributes, 0x20u);
    }
}

TEST(LzhWorkFile, ChainOfAllLevelsAndItsEnd) {
    Member zero, one, two = level2({{0x01, "two"}});
    zero.level = 0, zero.name = "zero\\path", zero.attribute = 0x21, zero.method = "-lh0-";
    one.level = 1, one.name = "one", one.extensions = {{0x02, "d\xFF"}, {0x40, "\x20\x00"}};
    one.data = std::string(1000, 'z');
    const std::vector<uint8_t> members = join({zero.bytes(), one.bytes(), two.bytes()});
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
    } ends[] = {
        {"the closing byte", {0}},
        {"the closing byte and padding", std::vector<uint8_t>(100, 0)},
        {"nothing", {}},
        {"a part of a header", {0x22, 0x00, '-', 'l', 'h'}},
    };
    for (const auto& e : ends) {
        Listing listing = listBytes(Kind::Lzh, join({members, e.tail}));
        ASSERT_EQ(listing.result, kOk) << e.what;
        ASSERT_EQ(listing.records.size(), 3u) << e.what;
        EXPECT_EQ(listing.records[0].name, "zero\\path");
        EXPECT_EQ(listing.records[0].method, 0);
        EXPECT_EQ(listing.records[0].externalAttributes, 0x21u);
        EXPECT_EQ(listing.records[0].time, 0x20A3);
        EXPECT_EQ(listing.records[0].date, 0x2A43);
        EXPECT_EQ(listing.records[1].name, "d/one");
        EXPECT_EQ(listing.records[1].packedSize, 1000u);  // the extended headers are not data
        EXPECT_EQ(listing.records[2].name, "two");
    }
}

TEST(LzhWorkFile, DamagedHeaders) {
    auto changed = [](Member m, auto change) {
        change(m);
        return m.bytes();
    };
    auto patched = [](std::vector<uint8_t> bytes, size_t at, std::vector<uint8_t> value) {
        std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return bytes;
    };
    auto cut = [](std::vector<uint8_t> bytes, size_t length) {
        bytes.resize(length);
        return bytes;
    };
    Member zero;
    zero.level = 0, zero.name = "name.txt";
    Member one = zero;
    one.level = 1, one.extensions = {{0x01, "long name"}};
    const Member two = level2({{0x01, "name.txt"}});
    const std::vector<uint8_t> zeroBytes = zero.bytes(), oneBytes = one.bytes(), twoBytes = two.bytes();
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
    } cases[] = {
        {"another method family", changed(zero, [](Member& m) { m.method = "-lz5-"; }), kBadArchive},
        {"no closing dash", changed(two, [](Member& m) { m.method = "-lh5x"; }), kBadArchive},
        {"level 3", patched(twoBytes, 20, {3}), kBadArchive},
        {"level 0 header smaller than its name", patched(zeroBytes, 0, {20}), kBadArchive},
        {"level 1 header without room for its extension size", patched(oneBytes, 0, {30}), kBadArchive},
        {"level 2 header smaller than its fixed part", patched(twoBytes, 0, {25, 0}), kBadArchive},
        {"level 0 name cut", cut(zeroBytes, 25), kShortRead},
        {"level 0 CRC cut", cut(zeroBytes, 22 + 8 + 1), kShortRead},
        {"level 1 extended header cut", cut(oneBytes, 22 + 8 + 5 + 4), kShortRead},
        {"level 2 header cut", cut(twoBytes, 30), kShortRead},
        {"level 1 extension size below 3", patched(oneBytes, 22 + 8 + 3, {2, 0}), kBadArchive},
        {"level 2 extension size below 3", patched(twoBytes, 24, {2, 0}), kBadArchive},
        {"level 2 extension past the header", patched(twoBytes, 24, {200, 0}), kBadArchive},
        {"level 2 file name of 261 bytes", level2({{0x01, repeat("f", 261)}}).bytes(), kTooLong},
        {"level 1 file name of 261 bytes",
         changed(one, [](Member& m) { m.extensions = {{0x01, repeat("f", 261)}}; }), kTooLong},
        {"directory and name over 260", level2({{0x02, repeat("d", 100)}, {0x01, repeat("f", 160)}}).bytes(),
         kTooLong},
        // The packed size sends the next header past the 32-bit range.
        {"offset past 4 GiB", patched(zeroBytes, 7, {0xF0, 0xFF, 0xFF, 0xFF}), kBadArchive},
    };
    for (const auto& c : cases) {
        Listing listing = listBytes(Kind::Lzh, c.bytes);
        EXPECT_EQ(listing.result, c.result) << c.what;
    }

    // Level-1 extended headers counted in the packed size may not exceed it.
    std::vector<uint8_t> bytes = oneBytes;
    bytes[7] = 3;  // packed size 3, but the extended header alone is 12 bytes
    bytes[8] = bytes[9] = bytes[10] = 0;
    EXPECT_EQ(listBytes(Kind::Lzh, bytes).result, kBadArchive);
}

}  // namespace
