// ARJ work files: headers built field by field for extended headers, member
// types and damage of every kind. (Archives of arj itself:
// workfile_arj_posix_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/zip_builder.h"
#include "fs/temp_files.h"
#include "workfile_support.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One ARJ header, field by field, with its extended headers and data.
struct Header {
    uint16_t id = 60000;
    uint8_t fixedSize = 30;
    uint8_t hostOs = 0;         // MS-DOS: DOS date and time
    uint8_t flags = 0;
    uint8_t method = 1;
    uint8_t type = 0;           // binary file
    uint32_t stamp = 0x2A4320A3;  // DOS date (high) and time (low): 2001-02-03 04:05:06
    uint32_t unpacked = 100;
    uint32_t crc = 0xCAFEF00D;
    std::string name = "member.txt", comment;
    bool terminated = true;     // the name and comment end with NULs
    std::vector<std::string> extensions;
    std::string data = "data";

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> basic;
        basic.push_back(fixedSize);  // 4: size of the fixed part
        basic.push_back(11);         // 5: archiver version
        basic.push_back(1);          // 6: version needed
        basic.push_back(hostOs);     // 7: host OS
        basic.push_back(flags);      // 8: flags
        basic.push_back(method);     // 9: method
        basic.push_back(type);       // 10: file type
        basic.push_back(0);          // 11: reserved
        put32(basic, stamp);         // 12: modification time
        put32(basic, type <= 1 ? static_cast<uint32_t>(data.size()) : 0);  // 16: packed size
        put32(basic, unpacked);      // 20: unpacked size
        put32(basic, crc);           // 24: CRC-32
        put16(basic, 0);             // 28: file spec position
        put16(basic, 0x20);          // 30: access mode
        put16(basic, 0);             // 32: host data
        basic.resize(fixedSize, 0);  // further times or a continuation position
        putText(basic, name);
        if (terminated) basic.push_back(0);
        putText(basic, comment);
        if (terminated) basic.push_back(0);
        std::vector<uint8_t> out;
        put16(out, id);
        put16(out, static_cast<uint32_t>(basic.size()));
        out.insert(out.end(), basic.begin(), basic.end());
        put32(out, 0x12345678);      // basic header CRC (not checked)
        for (const std::string& e : extensions) {
            put16(out, static_cast<uint32_t>(e.size()));
            putText(out, e);
            put32(out, 0x9ABCDEF0);  // its CRC
        }
        put16(out, 0);
        if (type <= 1) putText(out, data);
        return out;
    }
};

const std::vector<uint8_t> kEnd = {0x60, 0xEA, 0, 0};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ArjWorkFile, BuiltHeaders) {
    Header main;
    main.type = 2, main.name = "built.arj", main.comment = "no line end";
    Header extended;
    extended.extensions = {"first extension", "second"}, extended.name = "ext.txt", extended.data = repeat("d", 300);
    Header text;
    text.type = 1, text.flags = 0x01 | 0x10, text.name = "text.txt", text.comment = "one line\n";
    Header directory;
    directory.type = 3, directory.name = "folder";
    Header label;
    label.type = 4, label.name = "LABEL";
    Header longer;
    longer.fixedSize = 46, longer.name = "later.txt";  // the fixed part of newer versions
    Header nameless;
    nameless.terminated = false, nameless.name = "unterminated";
    const std::vector<uint8_t> members =
        join({main.bytes(), extended.bytes(), text.bytes(), directory.bytes(), label.bytes(), longer.bytes()});
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
    } ends[] = {
        {"the closing header", kEnd},
        {"the closing header and more", join({kEnd, std::vector<uint8_t>(100, 0x55)})},
        {"a part of the closing header", {0x60, 0xEA}},
        {"nothing", {}},
    };
    for (const auto& e : ends) {
        Listing listing = listBytes(Kind::Arj, join({members, e.tail}));
        ASSERT_EQ(listing.result, kOk) << e.what;
        EXPECT_EQ(listing.end.comment, "no line end");
        ASSERT_EQ(listing.records.size(), 5u) << e.what;
        const struct {
            const char* name;
            uint16_t flags, internal;
            uint32_t external, packed;
            const char* comment;
        } expected[] = {
            {"ext.txt", 0, 0, 32, 300, ""},  {"text.txt", 1, 1, 32, 4, "one line"}, {"folder", 0, 1, 16, 0, ""},
            {"LABEL", 0, 0, 8, 0, ""},       {"later.txt", 0, 0, 32, 4, ""},
        };
        for (size_t i = 0; i < 5; ++i) {
            const MemberRecord& r = listing.records[i];
            EXPECT_EQ(r.name, expected[i].name);
            EXPECT_EQ(r.flags, expected[i].flags) << r.name;
            EXPECT_EQ(r.internalAttributes, expected[i].internal) << r.name;
            EXPECT_EQ(r.externalAttributes, expected[i].external) << r.name;
            EXPECT_EQ(r.packedSize, expected[i].packed) << r.name;
            EXPECT_EQ(r.comment, expected[i].comment) << r.name;
            EXPECT_EQ(r.time, 0x20A3);
            EXPECT_EQ(r.date, 0x2A43);
            EXPECT_EQ(r.crc, 0xCAFEF00Du);
            EXPECT_EQ(r.unpackedSize, 100u);
            EXPECT_EQ(r.method, 1);
        }
    }
    Listing unterminated = listBytes(Kind::Arj, join({nameless.bytes(), kEnd}));
    ASSERT_EQ(unterminated.result, kOk);
    EXPECT_EQ(unterminated.records.at(0).name, "unterminated");

    // A Unix host stores a Unix time in the same four bytes.
    Header unix;
    unix.hostOs = 2, unix.stamp = kFebruary2001;
    ScopedZone zone("UTC0");
    Listing listing = listBytes(Kind::Arj, join({unix.bytes(), kEnd}));
    ASSERT_EQ(listing.records.size(), 1u);
    // 04:05:06 on 3 February 2001 where the clock is UTC.
    EXPECT_EQ(listing.records[0].date, localDos(kFebruary2001).date);
    EXPECT_EQ(listing.records[0].time, localDos(kFebruary2001).time);
}

TEST(ArjWorkFile, DamagedHeaders) {
    auto changed = [](auto change) {
        Header h;
        change(h);
        return join({h.bytes(), kEnd});
    };
    auto cut = [](Header h, size_t length) {
        std::vector<uint8_t> bytes = h.bytes();
        bytes.resize(length);
        return bytes;
    };
    Header plain, extended;
    extended.extensions = {"extension"};
    std::vector<uint8_t> fixedTooLarge = plain.bytes();
    fixedTooLarge[4] = 200;  // the fixed part would run past the basic header
    std::vector<uint8_t> dataPastTheEnd = plain.bytes();
    storeLe32(&dataPastTheEnd[16], 1000);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
    } cases[] = {
        {"wrong id", changed([](Header& h) { h.id = 0xEA61; }), kBadArchive},
        {"fixed part below 30", changed([](Header& h) { h.fixedSize = 29; }), kBadArchive},
        {"fixed part larger than the basic header", fixedTooLarge, kBadArchive},
        {"basic header over 2600 bytes", changed([](Header& h) { h.comment = std::string(2600, 'c'); }),
         kBadArchive},
        {"name of 260 bytes", changed([](Header& h) { h.name = repeat("n", 260); }), kOk},
        {"name of 261 bytes", changed([](Header& h) { h.name = repeat("n", 261); }), kTooLong},
        {"fixed part cut", cut(plain, 20), kShortRead},
        {"name cut", cut(plain, 38), kShortRead},
        {"header CRC cut", cut(plain, 4 + 30 + 11 + 1 + 2), kShortRead},
        // The basic header, its CRC, the extension's size, data and CRC, then one byte of the next size.
        {"extended header chain cut", cut(extended, 4 + 30 + 12 + 4 + 2 + 9 + 4 + 1), kShortRead},
        // The file ends inside the data: the list ends after the last whole header.
        {"data past the end", dataPastTheEnd, kOk},
    };
    for (const auto& c : cases) EXPECT_EQ(listBytes(Kind::Arj, c.bytes).result, c.result) << c.what;

    // A packed size that sends the next header past the 32-bit range.
    std::vector<uint8_t> wrapped = Header().bytes();
    storeLe32(&wrapped[16], 0xFFFFFFF0);
    Listing listing = listBytes(Kind::Arj, wrapped);
    EXPECT_EQ(listing.result, kBadArchive);
    EXPECT_EQ(listing.records.size(), 1u);
}

}  // namespace

namespace {

TEST(ForeignBuilders, OneForEachSingleFileForeignKind) {
    using zar::archive::foreignBuilder;
    using zar::archive::Kind;
    const Kind foreign[] = {Kind::Lzh, Kind::Arj, Kind::Zoo, Kind::Arc, Kind::Tar, Kind::Gzip};
    for (size_t i = 0; i < std::size(foreign); ++i) {
        ASSERT_NE(foreignBuilder(foreign[i]), nullptr) << static_cast<int>(foreign[i]);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(foreignBuilder(foreign[i]), foreignBuilder(foreign[j]));
    }
    for (Kind other : {Kind::None, Kind::Zip, Kind::OwnMultiVolume, Kind::Spanned, Kind::FrontDirectory,
                       Kind::OldSingleFile, Kind::OwnMultiVolume3, Kind::SelfExtracting})
        EXPECT_EQ(foreignBuilder(other), nullptr) << static_cast<int>(other);
}

}  // namespace
