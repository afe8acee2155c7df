// ZOO work files. No packaged tool writes ZOO archives, so the archives are
// laid out byte by byte: the archive header, then each directory entry
// followed by its comment and data, chained by next-entry offsets and closed
// by an entry whose next offset is 0.
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

constexpr uint32_t kMagic = 0xFDC4A7DC;

struct Member {
    std::string name = "FILE.TXT";  // 8.3, NUL-terminated in a 13-byte field
    uint8_t method = 2;
    uint16_t date = 0x2A43, time = 0x20A3, crc = 0x4E51;
    uint32_t unpacked = 1000;
    std::string data = "packed data";
    std::string comment;  // stored as it stands; its size field counts all of it
    uint8_t deleted = 0, structure = 0;
};

struct Layout {
    std::vector<uint8_t> bytes;
    std::vector<size_t> entries;  // offset of each entry, the closing one last
};

Layout lay(const std::vector<Member>& members) {
    Layout out;
    std::vector<uint8_t>& b = out.bytes;
    putText(b, std::string("ZOO 2.10 Archive.\x1A\0\0", 20));  // 0: text
    put32(b, kMagic);                                         // 20: magic
    put32(b, 34);                                             // 24: first entry
    put32(b, static_cast<uint32_t>(-34));                    // 28: its negation
    b.push_back(2);                                           // 32: version
    b.push_back(0);                                           // 33
    for (size_t i = 0; i <= members.size(); ++i) {
        const bool closing = i == members.size();
        const Member m = closing ? Member{} : members[i];
        const size_t at = b.size();
        out.entries.push_back(at);
        const uint32_t commentAt = static_cast<uint32_t>(at + 51);
        const uint32_t dataAt = commentAt + static_cast<uint32_t>(m.comment.size());
        const uint32_t next = closing ? 0 : dataAt + static_cast<uint32_t>(m.data.size());
        put32(b, kMagic);                          // 0: magic
        b.push_back(1);                            // 4: entry type
        b.push_back(m.method);                     // 5: method
        put32(b, next);                            // 6: next entry
        put32(b, dataAt);                          // 10: data
        put16(b, m.date);                          // 14: date
        put16(b, m.time);                          // 16: time
        put16(b, m.crc);                           // 18: CRC-16
        put32(b, m.unpacked);                      // 20: unpacked size
        put32(b, static_cast<uint32_t>(m.data.size()));  // 24: packed size
        b.push_back(2);                            // 28: version needed
        b.push_back(0);                            // 29
        b.push_back(m.deleted);                    // 30: deleted
        b.push_back(m.structure);                  // 31: file structure
        put32(b, m.comment.empty() ? 0 : commentAt);  // 32: comment
        put16(b, static_cast<uint32_t>(m.comment.size()));  // 36: comment size
        std::string field = m.name;
        field.resize(13, '\0');
        putText(b, field);                         // 38: name
        if (closing) break;
        putText(b, m.comment);
        putText(b, m.data);
    }
    return out;
}

TEST(ZooWorkFile, ListsLiveEntriesWithTheirComments) {
    Member first, removed, commented, odd, last;
    first.name = "FIRST.TXT";
    removed.name = "GONE.TXT", removed.deleted = 1, removed.comment = std::string(5000, 'x');
    commented.name = "NOTE.DOC", commented.comment = "line one\nline two\n", commented.method = 0;
    commented.date = 0x1234, commented.time = 0x5678, commented.crc = 0x9ABC, commented.unpacked = 11;
    odd.name = "ODD", odd.structure = 1;
    last.name = "TWELVE.CHARS", last.comment = std::string("kept\0", 5);
    Layout zoo = lay({first, removed, commented, odd, last});
    Listing listing = listBytes(Kind::Zoo, zoo.bytes);
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 3u);
    const MemberRecord& a = listing.records[0];
    EXPECT_EQ(a.name, "FIRST.TXT");
    EXPECT_EQ(a.method, 2);
    EXPECT_EQ(a.date, 0x2A43);
    EXPECT_EQ(a.time, 0x20A3);
    EXPECT_EQ(a.crc, 0x4E51u);
    EXPECT_EQ(a.unpackedSize, 1000u);
    EXPECT_EQ(a.packedSize, 11u);
    EXPECT_TRUE(a.comment.empty());
    EXPECT_EQ(a.externalAttributes, 0u);
    EXPECT_EQ(a.localOffset, 0u);
    const MemberRecord& b = listing.records[1];
    EXPECT_EQ(b.name, "NOTE.DOC");
    EXPECT_EQ(b.method, 0);
    EXPECT_EQ(b.date, 0x1234);
    EXPECT_EQ(b.time, 0x5678);
    EXPECT_EQ(b.crc, 0x9ABCu);
    EXPECT_EQ(b.unpackedSize, 11u);
    EXPECT_EQ(b.comment, "line one\nline two");  // without the line end of its last line
    EXPECT_EQ(listing.records[2].name, "TWELVE.CHARS");
    EXPECT_EQ(listing.records[2].comment, "kept");

    // A name that fills its field has no NUL.
    Member full;
    full.name = "THIRTEEN.CHAR";
    listing = listBytes(Kind::Zoo, lay({full}).bytes);
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].name, "THIRTEEN.CHAR");
    // An archive of no entries holds only the closing one.
    listing = listBytes(Kind::Zoo, lay({}).bytes);
    EXPECT_EQ(listing.result, kOk);
    EXPECT_TRUE(listing.records.empty());
}

TEST(ZooWorkFile, CommentSizes) {
    const struct {
        size_t size;
        Result result;
    } cases[] = {{0, kOk}, {1, kOk}, {260, kOk}, {261, kTooLong}, {5000, kTooLong}};
    for (const auto& c : cases) {
        Member m;
        m.comment = std::string(c.size, 'c');
        Listing listing = listBytes(Kind::Zoo, lay({m}).bytes);
        EXPECT_EQ(listing.result, c.result) << c.size;
        if (c.result == kOk) {
            EXPECT_EQ(listing.records.at(0).comment.size(), c.size) << c.size;
        }
    }
}

TEST(ZooWorkFile, DamagedChains) {
    Member m;
    m.comment = "comment\n";
    const Layout good = lay({m, m, m});
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> bytes = good.bytes;
        storeLe32(&bytes[at], value);
        return bytes;
    };
    auto cut = [&](size_t length) { return std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + length); };
    const size_t second = good.entries[1], third = good.entries[2];
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
        size_t records;
    } cases[] = {
        {"next entry is itself", patched(second + 6, static_cast<uint32_t>(second)), kBadArchive, 1},
        {"next entry lies before", patched(third + 6, static_cast<uint32_t>(second)), kBadArchive, 2},
        {"next entry at the archive header", patched(second + 6, 0x14), kBadArchive, 1},
        {"next entry past the end", patched(second + 6, 0x7FFFFFFF), kShortRead, 2},
        {"first entry past the end", patched(24, 0xFFFFFFF0), kShortRead, 0},
        {"first entry offset cut", cut(26), kBadArchive, 0},
        {"entry cut", cut(third + 40), kShortRead, 2},
        {"wrong entry magic", patched(third, 0xFDC4A7DD), kBadArchive, 2},
        {"comment past the end", patched(second + 32, 0xFFFFFF00), kShortRead, 1},
    };
    for (const auto& c : cases) {
        Listing listing = listBytes(Kind::Zoo, c.bytes);
        EXPECT_EQ(listing.result, c.result) << c.what;
        EXPECT_EQ(listing.records.size(), c.records) << c.what;
    }
}

}  // namespace
