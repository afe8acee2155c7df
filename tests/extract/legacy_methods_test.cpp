// Entries of the older methods (shrunk, reduced, imploded) in real archives
// from other projects: each extracts and tests to the size and CRC-32 that
// the tools which made or checked the archive recorded, also when read into
// memory window by window; damaged streams end in defined codes and never
// write past the declared size.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::readBytes;
using zar::test::Scratch;

struct Listed {
    std::string archive, entry;
    int method;
    uint32_t size, crc;
};

std::string dataDir() { return std::string(std::getenv("ZARLIB_TEST_DATA")) + "/legacy"; }

std::vector<Listed> listedEntries() {
    std::vector<Listed> entries;
    std::ifstream in(dataDir() + "/entries.tsv");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Listed e;
        std::string method, flags, size, crc;
        std::getline(fields, e.archive, '\t');
        std::getline(fields, e.entry, '\t');
        std::getline(fields, method, '\t');
        std::getline(fields, flags, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, crc, '\t');
        e.method = std::stoi(method);
        e.size = static_cast<uint32_t>(std::stoul(size));
        e.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
        entries.push_back(e);
    }
    return entries;
}

// The name a UTF-8 name of the list has on this host: itself where host names
// are UTF-8 (POSIX); on Windows the same characters in the ANSI code page.
std::string hostName(const std::string& utf8) {
#ifdef _WIN32
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
    const int m = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(m), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), m, nullptr, nullptr);
    ansi.resize(std::strlen(ansi.c_str()));
    return ansi;
#else
    return utf8;
#endif
}

uint32_t crcOf(const std::vector<uint8_t>& bytes) {
    return ~AxCrc32A(bytes.data(), static_cast<uint32_t>(bytes.size()), 0xFFFFFFFFu);
}

TEST(LegacyMethods, EveryEntryExtractsToItsRecordedSizeAndCrc) {
    const auto entries = listedEntries();
    ASSERT_GT(entries.size(), 100u);
    std::map<std::string, int> perMethod;
    Scratch s;
    std::string lastArchive;
    for (const Listed& e : entries) {
        SCOPED_TRACE(e.archive + ": " + e.entry);
        const std::string out = s / e.archive;
        if (e.archive != lastArchive) {
            lastArchive = e.archive;
            const std::string archive = dataDir() + "/" + e.archive;
            EXPECT_EQ(Ax4QUnZip(archive.c_str(), nullptr, "*.*", "-T"), 0);
            fsys::create_directories(out);
            EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-D"), 0);
        }
        if (!e.entry.empty() && e.entry.back() == '/') continue;
        const std::vector<uint8_t> bytes = readBytes(out + "/" + hostName(e.entry));
        EXPECT_EQ(bytes.size(), e.size);
        EXPECT_EQ(crcOf(bytes), e.crc);
        ++perMethod[std::to_string(e.method)];
    }
    // Every older method is there to be decoded.
    EXPECT_GT(perMethod["1"], 0);
    EXPECT_GT(perMethod["5"], 0);
    EXPECT_GT(perMethod["6"], 0);
}

TEST(LegacyMethods, MemoryWindowsGiveTheSameBytes) {
    // The largest shrunk and imploded entries, read whole and in windows that
    // cross the 65520-byte blocks.
    for (const char* archive : {"commons-compress_moby-imploded.zip", "commons-compress_lorem-ipsum-implode.zip",
                                "sharpcompress_Zip.shrink.zip"}) {
        SCOPED_TRACE(archive);
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((dataDir() + "/" + archive).c_str(), AX_OPEN_READ, &h), 0);
        CDR record;
        char name[261];
        std::string biggest;
        uint32_t size = 0;
        for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
             r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
            if (record.method != 0 && record.unpackedSize > size) size = record.unpackedSize, biggest = name, biggest.shrink_to_fit();
        uint32_t crc = 0;
        for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
             r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
            if (biggest == name) crc = record.crc;
        std::vector<uint8_t> whole(size);
        ASSERT_EQ(Ax4UnZipPtr(h, whole.data(), 0, -1, biggest.c_str(), ""), 0);
        EXPECT_EQ(crcOf(whole), crc);
        std::vector<uint8_t> pieces;
        for (uint32_t at = 0; at < size; at += 40000) {
            std::vector<uint8_t> window(40000);
            ASSERT_EQ(Ax4UnZipPtr(h, window.data(), static_cast<int32_t>(at), 40000, biggest.c_str(), ""), 0);
            window.resize(std::min<uint32_t>(40000, size - at));
            pieces.insert(pieces.end(), window.begin(), window.end());
        }
        EXPECT_EQ(pieces, whole);
        Ax4ZipClose(&h);
    }
}

TEST(LegacyMethods, DamagedStreamsEndInNoticesWithinTheirSizes) {
    Scratch s;
    for (const char* name : {"commons-compress_moby-imploded.zip", "sharpcompress_Zip.shrink.zip", "zip2_reduce.zip",
                             "libarchive_test_compat_zip_implode.zip"}) {
        const std::vector<uint8_t> original = readBytes(dataDir() + "/" + name);
        for (size_t damage = 0; damage < 6; ++damage) {
            SCOPED_TRACE(std::string(name) + " damage " + std::to_string(damage));
            // Bytes flipped in the first half, where the entries' data lie.
            std::vector<uint8_t> bytes = original;
            for (size_t i = 0; i < 8; ++i) bytes[(damage * 7919 + i * 104729) % (bytes.size() / 2) + 40] ^= 0x5A;
            const std::string archive = s / "damaged.zip";
            zar::test::writeBytes(archive, bytes);
            const std::string out = s / ("out" + std::to_string(damage) + name);
            fsys::create_directories(out);
            const int16_t r = Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-D");
            EXPECT_TRUE(r == 0 || r == AX_SOME_ENTRIES_FAILED || r == AX_BAD_ARCHIVE) << r;
            AxHandle h = AX_NO_ARCHIVE;
            if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) continue;
            CDR record;
            char entry[261];
            for (int16_t f = Ax4ZipFindFirst(h, &record, entry, nullptr, 0, nullptr, 0); f == 0;
                 f = Ax4ZipFindNext(h, &record, entry, nullptr, 0, nullptr, 0)) {
                std::error_code ec;
                const auto size = fsys::file_size(out + "/" + entry, ec);
                if (!ec) {
                    EXPECT_LE(size, record.unpackedSize) << entry;
                }
            }
            Ax4ZipClose(&h);
        }
    }
}

}  // namespace
