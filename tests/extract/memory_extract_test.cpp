// Extraction into memory through Ax4UnZipPtr: which entry a specification
// picks, windows of every shape (against slices of the whole entry), test
// mode, passwords, methods without a decoder, damaged data, and windows that
// go on from the last one only while the archive file is unchanged. (The TAR
// and gzip kinds: memory_extract_posix_test.cpp.)
#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/zip_builder.h"
#include "extract/memory_extract.h"
#include "platform/platform.h"
#include "memory_extract_support.h"
#include "zarlib32.h"

namespace {

using zar::test::entry;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
using zar::test::memory::MemoryExtract;
using zar::test::memory::notices;
using zar::test::memory::pattern;

constexpr int32_t kBlock = 65520;

std::string rawDeflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

ZipEntry deflatedEntry(const std::string& name, const std::string& data) {
    ZipEntry e = entry(name, data);
    e.method = 8;
    e.packed = rawDeflate(data);
    return e;
}

ZipEntry methodEntry(const std::string& name, uint16_t method) {
    ZipEntry e = entry(name, "whatever the bytes");
    e.method = method;
    return e;
}

// Three full blocks and a part of one: every block boundary lies inside.
const std::string kStored = pattern(3 * kBlock + 4321, 7);
const std::string kDeflated = pattern(3 * kBlock + 1, 11);

ZipArchive sample() {
    ZipArchive a;
    a.entries = {
        entry("docs/", ""),
        entry("docs/notes.txt", "notes in docs\n"),
        entry("stored.bin", kStored),
        deflatedEntry("deflated.bin", kDeflated),
        entry("sub/notes.txt", "notes in sub\n"),
        entry("README", "upper\n"),
        entry("readme", "lower\n"),
        entry("empty.txt", ""),
        methodEntry("bzip2.bin", 12),
        methodEntry("lzma.bin", 14),
    };
    a.entries[0].externalAttributes = 0x10;
    return a;
}

TEST_F(MemoryExtract, WhichEntryAndWhichBytes) {
    open(sample());
    const std::string untouched(16, '\xEE');
    struct Case {
        const char* spec;
        int32_t start, count;
        size_t room;
        int16_t result;
        std::string bytes;  // the room as it must be afterwards
    } cases[] = {
        // A negative count delivers the whole entry.
        {"docs/notes.txt", 0, -1, 14, 0, "notes in docs\n"},
        {"docs/notes.txt", 6, 5, 5, 0, "in do"},
        // A window that runs past the end stops there; one past it delivers nothing.
        {"docs/notes.txt", 10, 100, 16, 0, "ocs\n" + untouched.substr(0, 12)},
        {"docs/notes.txt", 14, 5, 16, 0, untouched},
        {"docs/notes.txt", 100000, -1, 16, 0, untouched},
        {"docs/notes.txt", 3, 0, 16, 0, untouched},
        // A negative start counts from the first byte.
        {"docs/notes.txt", -5, 5, 5, 0, "notes"},
        // Only the first of several matches, in directory order: a wildcard
        // file part matches in every directory below.
        {"notes.txt", 0, -1, 16, -7, untouched},
        {"*.txt", 0, -1, 14, 0, "notes in docs\n"},
        {"sub/*", 0, -1, 13, 0, "notes in sub\n"},
        {"sub\\notes.txt", 0, -1, 13, 0, "notes in sub\n"},
        // Case twins: the one spelled as asked; otherwise the first match.
        // Where names ignore case the twins are one name: the first match.
        {"readme", 0, -1, 6, 0, zar::platform::namesIgnoreCase() ? "upper\n" : "lower\n"},
        {"README", 0, -1, 6, 0, "upper\n"},
        {"ReadMe", 0, -1, 6, 0, "upper\n"},
        {"read?e", 0, -1, 6, 0, "upper\n"},
        // An empty entry, and a directory, deliver nothing.
        {"empty.txt", 0, -1, 16, 0, untouched},
        {"docs/", 0, -1, 16, 0, untouched},
        // Methods without a decoder here.
        {"bzip2.bin", 0, -1, 16, -3, untouched},
        {"lzma.bin", 0, -1, 16, -3, untouched},
        {"missing.bin", 0, -1, 16, -7, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.spec) + " " + std::to_string(c.start) + "+" + std::to_string(c.count));
        Window w = read(c.spec, c.start, c.count, c.room);
        EXPECT_EQ(w.result, c.result);
        EXPECT_EQ(w.bytes, c.bytes);
    }
}

TEST_F(MemoryExtract, NoticesArgumentsAndHandles) {
    open(sample());
    EXPECT_EQ(read("lzma.bin", 0, -1, 4).result, -3);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].code, -3);
    EXPECT_EQ(notices[0].entry, "lzma.bin");
    // Method 12 is accepted but has no decoder: no notice.
    notices.clear();
    EXPECT_EQ(read("bzip2.bin", 0, -1, 4).result, -3);
    EXPECT_TRUE(notices.empty());

    EXPECT_EQ(Ax4UnZipPtr(handle, nullptr, 0, -1, "stored.bin", ""), AX_MISSING_ARGUMENT);
    EXPECT_EQ(Ax4UnZipPtr(handle, nullptr, 0, -1, "stored.bin", "-T"), 0) << "test mode needs no room";
    char room[4];
    EXPECT_EQ(Ax4UnZipPtr(handle, room, 0, 4, "stored.bin", "-Q"), AX_BAD_OPTION);
    EXPECT_EQ(Ax4UnZipPtr(12345, room, 0, 4, "stored.bin", ""), AX_NOT_OPEN);
}

// Every window around every block boundary, read from a fresh decode and
// going on from the last window, gives the bytes of the whole entry there.
TEST_F(MemoryExtract, WindowsAcrossBlockBoundariesAreSlicesOfTheWhole) {
    open(sample());
    for (const auto& [spec, data] : {std::pair{"stored.bin", &kStored}, std::pair{"deflated.bin", &kDeflated}}) {
        SCOPED_TRACE(spec);
        Window whole = read(spec, 0, -1, data->size());
        ASSERT_EQ(whole.result, 0);
        ASSERT_TRUE(whole.bytes == *data);
        for (int32_t boundary = kBlock; boundary < static_cast<int32_t>(data->size()); boundary += kBlock) {
            for (int32_t before : {1, 7, 100}) {
                for (int32_t count : {1, 2, 200}) {
                    const int32_t start = boundary - before;
                    const size_t room = std::min<size_t>(count, data->size() - start);
                    Window w = read(spec, start, count, room);
                    EXPECT_EQ(w.result, 0) << start;
                    EXPECT_TRUE(w.bytes == data->substr(start, room)) << start << "+" << count;
                }
            }
        }
        // Windows one after the other, each going on from the last, with a
        // gap now and then, over the whole entry.
        size_t at = 0;
        for (int32_t piece : {1, 65519, 2, 40000, 100000, 7}) {
            for (int i = 0; i < 2 && at < data->size(); ++i) {
                const size_t n = std::min<size_t>(piece, data->size() - at);
                Window w = read(spec, static_cast<int32_t>(at), piece, n);
                EXPECT_EQ(w.result, 0) << at;
                EXPECT_TRUE(w.bytes == data->substr(at, n)) << at << "+" << piece;
                at = std::min(at + n + (i == 1 ? 13 : 0), data->size());
            }
        }
        Window rest = read(spec, static_cast<int32_t>(at), -1, data->size() - at);
        EXPECT_EQ(rest.result, 0);
        EXPECT_TRUE(rest.bytes == data->substr(at));
        // Back to an earlier window: decoded afresh.
        Window again = read(spec, 1000, 10, 10);
        EXPECT_EQ(again.bytes, data->substr(1000, 10));
    }
}

TEST_F(MemoryExtract, TestModeLeavesTheDestinationAlone) {
    ZipArchive a = sample();
    a.entries[2].crc = 0x12345678;  // damaged: test mode does not decode
    open(a);
    for (const char* spec : {"stored.bin", "deflated.bin", "empty.txt", "docs/"}) {
        Window w = read(spec, 0, -1, 64, "-T");
        EXPECT_EQ(w.result, 0) << spec;
        EXPECT_EQ(w.bytes, std::string(64, '\xEE')) << spec;
    }
    EXPECT_EQ(read("lzma.bin", 0, -1, 4, "-T").result, -3);
    EXPECT_EQ(read("nothing", 0, -1, 4, "-T").result, -7);
}

// A window the data cannot fill is told as damage, never delivered as if it
// were whole: data that ends, or turns out invalid, short of the window while
// the entry declares more. A window the data does reach is delivered as it
// is. The CRC-32 is the host's to check: no window can be judged by it.
TEST_F(MemoryExtract, DamagedData) {
    ZipArchive a;
    ZipEntry badCrc = entry("bad-crc.txt", "twelve bytes");
    badCrc.crc = 0x01020304;
    ZipEntry cut = deflatedEntry("cut.bin", kDeflated);
    cut.packed = cut.packed->substr(0, cut.packed->size() / 2);
    ZipEntry longer = entry("longer.txt", "0123456789");
    longer.packed = std::string("0123456789ABCDEF");  // the data goes on past the declared size
    longer.crc = zar::test::crcOf("0123456789");
    ZipEntry garbage = entry("garbage.bin", "x");
    garbage.method = 8;
    garbage.packed = std::string("\xFF\xFF\xFF\xFF", 4);
    a.entries = {badCrc, cut, longer, garbage};
    open(a);
    struct Case {
        const char* spec;
        int32_t start, count;
        int16_t result;
        std::string bytes;
    } cases[] = {
        {"bad-crc.txt", 0, -1, 0, "twelve bytes"},
        {"bad-crc.txt", 6, 100, 0, " bytes"},
        {"cut.bin", 0, 1000, 0, kDeflated.substr(0, 1000)},
        {"cut.bin", 0, -1, AX_CRC_MISMATCH, ""},
        {"longer.txt", 0, -1, 0, "0123456789"},
        {"garbage.bin", 0, -1, AX_CRC_MISMATCH, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        const size_t room = c.count < 0 ? kDeflated.size() : static_cast<size_t>(c.count);
        Window w = read(c.spec, c.start, c.count, room);
        EXPECT_EQ(w.result, c.result);
        EXPECT_TRUE(w.bytes.compare(0, c.bytes.size(), c.bytes) == 0);
    }
}

TEST_F(MemoryExtract, EncryptedEntriesWithRightAndWrongPasswords) {
    zar::test::writeBytes(s / "plain.bin", std::vector<uint8_t>(kDeflated.begin(), kDeflated.end()));
    zar::test::writeText(s / "small.txt", "secret text\n");
    const std::string archive = s / "locked.zip";
    // A wrong password passes the header's one-byte check once in 256
    // headers, and the headers are random: the archive is made again until
    // the wrong ones below are caught by the check on both entries.
    auto checkCatches = [&](const char* spec, const char* options) {
        notices.clear();
        return read(spec, 0, 1, 1, options).result == AX_BAD_PASSWORD;
    };
    for (int attempt = 0; attempt < 20; ++attempt) {
        close();
        std::filesystem::remove(archive);
        ASSERT_EQ(Ax4QZip(archive.c_str(), (s.path() + "/plain.bin " + s.path() + "/small.txt").c_str(), "-S/right/"),
                  0);
        openFile(archive);
        if (checkCatches("plain.bin", "-S/wrong/") && checkCatches("plain.bin", "") &&
            checkCatches("small.txt", "-S/wrong/"))
            break;
    }
    struct Case {
        const char* spec;
        const char* options;
        int32_t start, count;
        int16_t result;
    } cases[] = {
        {"plain.bin", "-S/right/", 0, -1, 0},
        {"plain.bin", "-S/right/", 65000, 2000, 0},
        {"plain.bin", "-S/right/", 131000, 70000, 0},  // goes on from the window before
        {"small.txt", "-S/right/", 0, -1, 0},
        {"plain.bin", "-S/wrong/", 0, -1, AX_BAD_PASSWORD},
        {"plain.bin", "", 0, -1, AX_BAD_PASSWORD},
        {"small.txt", "-S/wrong/ -T", 0, -1, AX_BAD_PASSWORD},
        {"small.txt", "-S/right/ -T", 0, -1, 0},
    };
    const std::string small = "secret text\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.spec) + " " + c.options + " " + std::to_string(c.start));
        notices.clear();
        const std::string& data = std::string(c.spec) == "small.txt" ? small : kDeflated;
        const size_t room = c.count < 0 ? data.size() : std::min<size_t>(c.count, data.size() - c.start);
        Window w = read(c.spec, c.start, c.count, room, c.options);
        EXPECT_EQ(w.result, c.result);
        if (c.result == 0 && std::strstr(c.options, "-T") == nullptr) {
            EXPECT_TRUE(w.bytes == data.substr(c.start, room));
        } else {
            EXPECT_EQ(w.bytes, std::string(room, '\xEE')) << "nothing delivered";
        }
        if (c.result == AX_BAD_PASSWORD) {
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_EQ(notices[0].code, AX_WRONG_PASSWORD);
        }
    }
    // A window that went on from a decode opened with the right password
    // still needs the password each time.
    EXPECT_EQ(read("plain.bin", 0, 10, 10, "-S/right/").result, 0);
    EXPECT_EQ(read("plain.bin", 10, 10, 10, "-S/wrong/").result, AX_BAD_PASSWORD);
}

// The decode that a window goes on from belongs to the archive file as it was:
// a file changed in place, or another archive opened under the same handle
// number, is decoded afresh.
TEST_F(MemoryExtract, ChangedArchivesAreDecodedAfresh) {
    // Two archives whose central records are the same byte for byte.
    auto variant = [](char fill) {
        ZipArchive a;
        ZipEntry e = entry("same.bin", std::string(200000, fill));
        e.crc = 0x0BADC0DE;
        a.entries = {e};
        return a.bytes();
    };
    zar::test::writeBytes(s / "one.zip", variant('1'));
    zar::test::writeBytes(s / "two.zip", variant('2'));
    openFile(s / "one.zip");
    EXPECT_EQ(read("same.bin", 0, 100, 100).bytes, std::string(100, '1'));

    close();
    // Shared, so that another writer may change it while it is open (Windows
    // keeps writers out of an archive opened for reading alone).
    openFile(s / "two.zip", AX_OPEN_READ | AX_OPEN_SHARED);
    EXPECT_EQ(read("same.bin", 100, 100, 100).bytes, std::string(100, '2'));

    // The change time only moves with the clock's tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    {
        std::fstream f(s / "two.zip", std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(f.is_open());
        const std::vector<uint8_t> bytes = variant('3');
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(read("same.bin", 200, 100, 100).bytes, std::string(100, '3'));
}

}  // namespace
