// Work files of gzip-compressed files: headers with every optional field,
// refused flags and cut or overlong fields, built byte by byte. (Files of gzip
// itself: workfile_gzip_posix_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/kinds.h"
#include "common/zip_builder.h"
#include "workfile_support.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// A gzip header byte by byte: magic, method, flags, time, extra flags, OS.
std::vector<uint8_t> header(uint8_t flags, uint32_t mtime = 0) {
    std::vector<uint8_t> h = {0x1F, 0x8B, 8, flags};
    put32(h, mtime);
    h.push_back(0);  // extra flags
    h.push_back(3);  // OS: Unix
    return h;
}

std::vector<uint8_t> withTrailer(std::vector<uint8_t> bytes, uint32_t crc, uint32_t size) {
    bytes.insert(bytes.end(), {0x03, 0x00});  // an empty final Deflate block
    put32(bytes, crc);
    put32(bytes, size);
    return bytes;
}

TEST(GzipWorkFile, EveryOptionalField) {
    // Text flag, an extra field, a name and a comment, in that order.
    std::vector<uint8_t> h = header(0x01 | 0x04 | 0x08 | 0x10, 981173106);
    put16(h, 6);
    putText(h, "AB");
    put16(h, 2);
    putText(h, "xy");  // the extra field: one subfield of 2 bytes
    putText(h, "stored.tar");
    h.push_back(0);
    putText(h, "a comment that is skipped");
    h.push_back(0);
    const uint32_t dataStart = static_cast<uint32_t>(h.size());
    ScopedZone zone("UTC0");
    Listing listing = listBytes(Kind::Gzip, withTrailer(h, 0x12345678, 0xFEDCBA98), "ignored.tgz");
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 1u);
    const MemberRecord& r = listing.records[0];
    EXPECT_EQ(r.name, "stored.tar");
    EXPECT_EQ(r.internalAttributes, 1);
    EXPECT_EQ(r.localOffset, dataStart);
    EXPECT_EQ(r.packedSize, 2u);
    EXPECT_EQ(r.crc, 0x12345678u);
    EXPECT_EQ(r.unpackedSize, 0xFEDCBA98u);
    EXPECT_EQ(r.date, localDos(kFebruary2001).date);  // 2001-02-03 04:05:06 where the clock is UTC
    EXPECT_EQ(r.time, localDos(kFebruary2001).time);
}

std::vector<uint8_t> join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(GzipWorkFile, BadHeaders) {
    auto named = [](const std::string& name, bool terminated) {
        std::vector<uint8_t> h = header(0x08);
        putText(h, name);
        if (terminated) h.push_back(0);
        return h;
    };
    std::vector<uint8_t> commentOnly = header(0x10);
    putText(commentOnly, repeat("c", 10000));
    std::vector<uint8_t> extraCut = header(0x04);
    put16(extraCut, 100);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
    } cases[] = {
        {"header CRC flag", withTrailer(header(0x02), 0, 0), kNotOnThisKind},
        {"flag bit 5", withTrailer(header(0x20), 0, 0), kNotOnThisKind},
        {"reserved flag bit 7", withTrailer(header(0x80), 0, 0), kNotOnThisKind},
        {"method other than Deflate", withTrailer({0x1F, 0x8B, 7, 0, 0, 0, 0, 0, 0, 3}, 0, 0), kBadArchive},
        {"not gzip at all", withTrailer({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0}, 0, 0), kBadArchive},
        {"header of 9 bytes", {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0}, kShortRead},
        {"empty", {}, kShortRead},
        {"no room for the trailer", header(0), kShortRead},
        {"trailer of 7 bytes after the header", join(header(0), std::vector<uint8_t>(7, 0)), kShortRead},
        {"name without its NUL", named("name", false), kShortRead},
        {"name of 260 bytes", withTrailer(named(repeat("n", 260), true), 0, 0), kOk},
        {"name of 261 bytes", withTrailer(named(repeat("n", 261), true), 0, 0), kTooLong},
        {"name of 5000 bytes", withTrailer(named(repeat("n", 5000), true), 0, 0), kTooLong},
        {"comment without its NUL", commentOnly, kShortRead},
        {"extra field longer than the file", extraCut, kShortRead},
        {"extra length cut", {0x1F, 0x8B, 8, 4, 0, 0, 0, 0, 0, 3, 9}, kShortRead},
    };
    for (const auto& c : cases) {
        Listing listing = listBytes(Kind::Gzip, c.bytes, "x.tgz");
        EXPECT_EQ(listing.result, c.result) << c.what;
        EXPECT_EQ(listing.records.size(), c.result == kOk ? 1u : 0u) << c.what;
    }
}

}  // namespace
