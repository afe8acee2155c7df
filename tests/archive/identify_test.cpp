// Identification by magic bytes, places and extensions.
#include <gtest/gtest.h>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace {

using zar::test::Scratch;

std::vector<uint8_t> bytesAt(std::vector<uint8_t> base, size_t offset, const std::string& text) {
    if (base.size() < offset + text.size()) base.resize(offset + text.size(), 'x');
    std::copy(text.begin(), text.end(), base.begin() + static_cast<long>(offset));
    return base;
}

std::vector<uint8_t> withEndRecord(std::vector<uint8_t> base, uint16_t disk) {
    zar::test::put32(base, 0x06054B50);
    zar::test::put16(base, disk);
    zar::test::put16(base, disk);
    base.resize(base.size() + 14, 0);
    return base;
}

// An end record of the given disks closing `base`, its comment after it.
std::vector<uint8_t> withEndRecord(std::vector<uint8_t> base, uint16_t thisDisk, uint16_t directoryDisk,
                                   const std::string& comment) {
    zar::test::put32(base, 0x06054B50);
    zar::test::put16(base, thisDisk);
    zar::test::put16(base, directoryDisk);
    base.resize(base.size() + 12, 0);
    zar::test::put16(base, static_cast<uint32_t>(comment.size()));
    zar::test::putText(base, comment);
    return base;
}

TEST(Identify, KindsByContent) {
    const std::vector<uint8_t> filler(600, 'x');
    zar::test::ZipArchive zip;
    zip.entries.push_back(zar::test::entry("a", "b"));
    zar::test::ZipArchive commented = zip;
    commented.comment = std::string("PK\5\6\1\0\1\0", 8) + std::string(30, '.');
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* name;
        int16_t result;
        uint16_t kind;
    } cases[] = {
        {"empty zip", {}, "x.zip", 0, 1},
        {"empty sqs", {}, "x.SqS", 0, 9},
        {"local header", zip.bytes(), "a.bin", 0, 1},
        {"end record first", withEndRecord({}, 0), "a.bin", 0, 1},
        {"front directory", bytesAt(filler, 0, "PK\1\2"), "a", 0, 4},
        {"span marker", bytesAt(filler, 0, "PK\7\x08"), "a", 0, 3},
        {"own kind v1", bytesAt(filler, 0, std::string("AXZR\1\0", 6)), "a", 0, 2},
        {"own kind v2", bytesAt(filler, 0, std::string("AXZR\2\0", 6)), "a", 0, 2},
        {"own kind v3", bytesAt(filler, 0, std::string("AXZR\3\0", 6)), "a", 0, 10},
        {"own kind v4", bytesAt(filler, 0, std::string("AXZR\4\0", 6)), "a", -1, 0},
        {"own kind cut", {'A', 'X', 'Z', 'R', 1}, "a", -1, 0},
        {"older kind", bytesAt(filler, 0, "QVEP"), "a", 0, 9},
        {"pklite stub", bytesAt(bytesAt(filler, 0, "MZ"), 30, "PKLITE"), "a.exe", 0, 13},
        {"stub and zip", withEndRecord(bytesAt(filler, 0, "MZ"), 0), "a.exe", 0, 13},
        {"plain program", bytesAt(filler, 0, "MZ"), "a.exe", -1, 0},
        {"arj", bytesAt(filler, 0, "\x60\xEA"), "a", 0, 6},
        {"gzip", bytesAt(filler, 0, "\x1F\x8B\x08"), "a", 0, 12},
        {"arc", bytesAt(filler, 0, "\x1A\x08n"), "a", 0, 8},
        {"arc byte 1 too big", bytesAt(filler, 0, "\x1A\x20n"), "a", -1, 0},
        {"lzh", bytesAt(filler, 2, "-lh5-"), "a", 0, 5},
        {"zoo", bytesAt(filler, 20, "\xDC\xA7\xC4\xFD"), "a", 0, 7},
        {"ustar", bytesAt(filler, 257, std::string("ustar\0", 6)), "a", 0, 11},
        {"gnu tar magic", bytesAt(filler, 257, "ustar  "), "a", -1, 0},
        {"gnu tar by name", bytesAt(filler, 257, "ustar  "), "b.TaR", 0, 11},
        {"last volume", withEndRecord(filler, 2), "a.zip", 0, 3},
        // A set's last volume is known by its end record, whatever it starts with.
        {"last volume with a comment", withEndRecord(filler, 2, 2, "the set"), "a.zip", 0, 3},
        {"last volume starting with a header", withEndRecord(bytesAt(filler, 0, "PK\3\4"), 1, 0, ""), "a.zip", 0, 3},
        {"last volume starting with the directory", withEndRecord(bytesAt(filler, 0, "PK\1\2"), 3, 3, ""), "a.zip",
         0, 3},
        {"last volume holding only the end record", withEndRecord({}, 1, 0, ""), "a.zip", 0, 3},
        {"zip with a comment", commented.bytes(), "a.zip", 0, 1},
        {"zip64 marks in the disk fields", withEndRecord(zip.bytes(), 0xFFFF, 0xFFFF, ""), "a.zip", 0, 1},
        {"directory-first set of one volume", withEndRecord(bytesAt(filler, 0, "PK\1\2"), 0, 0, ""), "a.zip", 0, 4},
        {"directory disk after this one", withEndRecord(bytesAt(filler, 0, "PK\3\4"), 1, 2, ""), "a.zip", 0, 1},
        {"junk before zip", withEndRecord(filler, 0), "a.zip", -1, 0},
        {"three bytes", {'P', 'K', 3}, "a.zip", -1, 0},
    };
    Scratch scratch;
    for (const Case& c : cases) {
        std::string path = scratch / c.name;
        zar::test::writeBytes(path, c.bytes);
        uint16_t kind = 77;
        EXPECT_EQ(Ax4IdentifyFile(path.c_str(), &kind), c.result) << c.what;
        EXPECT_EQ(kind, c.kind) << c.what;
    }
}

TEST(Identify, MissingFileCannotBeOpened) {
    Scratch scratch;
    uint16_t kind = 5;
    EXPECT_EQ(Ax4IdentifyFile((scratch / "missing.zip").c_str(), &kind), AX_ACCESS_DENIED);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(Ax4IdentifyFile(scratch.path().c_str(), &kind), AX_ACCESS_DENIED);  // a directory
}

}  // namespace
