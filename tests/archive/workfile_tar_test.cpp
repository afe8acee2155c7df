// TAR work files: headers built field by field, descriptive headers, damage,
// and offsets past 4 GiB. (Archives of GNU tar:
// workfile_tar_posix_test.cpp.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "archive/workfile.h"
#include "workfile_support.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;
// A header block built field by field, with its checksum.
struct Header {
    std::vector<uint8_t> block = std::vector<uint8_t>(512, 0);

    Header(const std::string& name, uint64_t size, char type = '0') {
        text(0, name);                       // name
        text(100, "0000644");                // mode
        text(108, "0001750");                // uid
        text(116, "0001750");                // gid
        octal(124, 12, size);                // size
        text(136, "07236701562");            // mtime: 2001-02-03 04:05:06 UTC
        block[156] = static_cast<uint8_t>(type);
        std::memcpy(&block[257], "ustar\0" "00", 8);  // POSIX magic and version
        seal();
    }
    void text(size_t at, const std::string& value) { std::memcpy(&block[at], value.data(), value.size()); }
    void octal(size_t at, size_t width, uint64_t value) {
        std::string digits(width - 1, '0');
        for (size_t i = width - 1; i-- > 0; value >>= 3) digits[i] = static_cast<char>('0' + (value & 7));
        text(at, digits);
        block[at + width - 1] = 0;
    }
    // Writes the checksum: the byte sum with the field taken as blanks.
    void seal() {
        std::memset(&block[148], ' ', 8);
        unsigned sum = 0;
        for (uint8_t b : block) sum += b;
        octal(148, 7, sum);
        block[155] = ' ';
    }
};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<uint8_t> block(const std::string& text) {
    std::vector<uint8_t> b(512, 0);
    std::memcpy(b.data(), text.data(), std::min<size_t>(text.size(), 512));
    return b;
}

const std::vector<uint8_t> kZeros(1024, 0);

// One pax record, "<length> <key>=<value>\n", its length counting its own digits.
std::string paxRecord(const std::string& key, const std::string& value) {
    std::string rest = " " + key + "=" + value + "\n";
    size_t length = rest.size() + 1;
    while (std::to_string(length).size() + rest.size() != length) ++length;
    return std::to_string(length) + rest;
}

TEST(TarWorkFile, BuiltHeaders) {
    ScopedZone zone("UTC0");
    Header plain("plain.txt", 5);
    Listing listing = listBytes(Kind::Tar, join({plain.block, block("hello"), kZeros}));
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].name, "plain.txt");
    // 04:05:06 on 3 February 2001 where the clock is UTC.
    EXPECT_EQ(listing.records[0].date, localDos(kFebruary2001).date);
    EXPECT_EQ(listing.records[0].time, localDos(kFebruary2001).time);
    EXPECT_EQ(listing.records[0].localOffset, 512u);

    // A prefix joins the name; the old GNU magic has times there instead.
    Header prefixed("name", 0);
    prefixed.text(345, "the/prefix");
    prefixed.seal();
    Header gnu("name", 0);
    gnu.text(257, std::string("ustar  \0", 8));
    gnu.text(345, "07236701562");  // an access time
    gnu.seal();
    listing = listBytes(Kind::Tar, join({prefixed.block, gnu.block, kZeros}));
    ASSERT_EQ(listing.records.size(), 2u);
    EXPECT_EQ(listing.records[0].name, "the/prefix/name");
    EXPECT_EQ(listing.records[1].name, "name");

    // A name ending in '/' is a directory whatever its type; mode 444 is read-only.
    Header slash("folder/", 0, '0');
    slash.text(100, "0000444");
    slash.seal();
    listing = listBytes(Kind::Tar, join({slash.block, kZeros}));
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].externalAttributes, 32u + 16u + 1u);

    // A size in GNU's base-256 form.
    Header binary("binary", 0);
    std::memset(&binary.block[124], 0, 12);
    binary.block[124] = 0x80;
    binary.block[135] = 3;
    binary.seal();
    listing = listBytes(Kind::Tar, join({binary.block, block("abc"), kZeros}));
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].unpackedSize, 3u);
}

TEST(TarWorkFile, DescriptiveHeadersNameTheNextMember) {
    std::string path = "deep/" + repeat("p", 200);
    std::string pax = paxRecord("mtime", "981173106.123456789") + paxRecord("path", path);
    Header x("PaxHeaders/x", pax.size(), 'x');
    Header global("GlobalHead", 20, 'g');
    Header longLink("././@LongLink", 4, 'K');
    Header longName("././@LongLink", 12, 'L');
    Listing listing = listBytes(
        Kind::Tar, join({global.block, block(paxRecord("comment", "abc")), x.block, block(pax), Header("short", 0).block,
                         longName.block, block("gnu/long.txt"), longLink.block, block("tgt"),
                         Header("trunc", 0, '2').block, Header("plain", 0).block, kZeros}));
    ASSERT_EQ(listing.result, kOk);
    ASSERT_EQ(listing.records.size(), 3u);
    EXPECT_EQ(listing.records[0].name, path);
    EXPECT_EQ(listing.records[1].name, "gnu/long.txt");
    EXPECT_EQ(listing.records[2].name, "plain");
}

TEST(TarWorkFile, DamagedHeaders) {
    auto with = [](Header h, size_t at, const std::string& value, bool reseal = true) {
        h.text(at, value);
        if (reseal) h.seal();
        return h.block;
    };
    Header good("good", 0);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
    } cases[] = {
        {"checksum wrong", with(good, 0, "bad!", false), kBadArchive},
        {"checksum not a number", with(good, 148, "xxxxxxx", false), kBadArchive},
        {"size not a number", with(good, 124, "zzzzzzzzzzz"), kBadArchive},
        {"size over 4 GiB", with(good, 124, "77777777777"), kBadArchive},
        {"size left empty", with(good, 124, std::string(12, '\0')), kOk},
        {"mode and time not numbers", [&] {
             Header h = good;
             h.text(100, "rw-r--r");
             h.text(136, "yesterday");
             h.seal();
             return h.block;
         }(),
         kOk},
        {"size past the end", with(good, 124, "00000001000"), kShortRead},
        {"long name of 262 bytes", join({Header("././@LongLink", 262, 'L').block, block(repeat("n", 262))}),
         kTooLong},
        {"long name whose data is cut", Header("././@LongLink", 100, 'L').block, kShortRead},
        {"pax header of 2 MiB", join({Header("PaxHeaders/x", 2u << 20, 'x').block, std::vector<uint8_t>(2u << 20, 'a')}),
         kTooLong},
        {"pax record without newline", join({Header("PaxHeaders/x", 10, 'x').block, block("10 path=ab")}),
         kBadArchive},
        {"pax record longer than the header", join({Header("PaxHeaders/x", 10, 'x').block, block("99 path=a\n")}),
         kBadArchive},
        {"pax record without a length", join({Header("PaxHeaders/x", 8, 'x').block, block(" path=a\n")}),
         kBadArchive},
        {"pax record without '='", join({Header("PaxHeaders/x", 8, 'x').block, block("8 patha\n")}), kBadArchive},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = join({c.bytes, kZeros});
        if (c.result == kShortRead) bytes = c.bytes;  // nothing after the damaged member
        EXPECT_EQ(listBytes(Kind::Tar, bytes).result, c.result) << c.what;
    }
}

// A source far larger than its bytes: what lies past them reads as zeros.
class SparseSource final : public archive::ByteSource {
public:
    SparseSource(std::vector<uint8_t> bytes, int64_t size) : bytes_(std::move(bytes)), size_(size) {}
    int64_t size() override { return size_; }
    bool readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) override {
        *done = static_cast<uint32_t>(std::min<int64_t>(count, std::max<int64_t>(0, size_ - offset)));
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < *done; ++i) {
            uint64_t at = uint64_t{offset} + i;
            out[i] = at < bytes_.size() ? bytes_[at] : 0;
        }
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    int64_t size_;
};

TEST(TarWorkFile, OffsetsPastFourGibibytesEndTheList) {
    // The member's data fills the rest of the 32-bit range: the next header
    // would lie at 4 GiB, which no 32-bit offset reaches.
    SparseSource source(Header("huge", 0xFFFFFE00).block, int64_t{1} << 33);
    CollectingSink sink;
    WorkFileEnd end;
    EXPECT_EQ(archive::foreignBuilder(Kind::Tar)(source, "x.tar", sink, end), kBadArchive);
    EXPECT_EQ(sink.records.size(), 1u);
}

TEST(TarWorkFile, FailedReadIsAccessDenied) {
    class Failing final : public archive::ByteSource {
    public:
        int64_t size() override { return 4096; }
        bool readAt(uint64_t, void*, uint32_t, uint32_t* done) override {
            *done = 0;
            return false;
        }
    } source;
    CollectingSink sink;
    WorkFileEnd end;
    EXPECT_EQ(archive::foreignBuilder(Kind::Tar)(source, "x.tar", sink, end), kAccessDenied);
}

}  // namespace
