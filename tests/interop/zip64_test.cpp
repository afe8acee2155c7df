// Archives past the limits of the classic records: entries of 4 GiB or more,
// data that starts past 4 GiB, and more than 65535 entries. The big ones are
// sparse files, so gigabytes of zeros cost no disk; other tools check that
// the hand-laid archive is sound before the library is judged on it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::Scratch;
namespace fsys = std::filesystem;

constexpr uint64_t kGiB = uint64_t{1} << 30;

void put16(std::string& out, uint16_t v) {
    for (int i = 0; i < 2; ++i) out += static_cast<char>(v >> (8 * i));
}
void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
void put64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
}

// The CRC-32 of `count` zero bytes, from the CRC of one block combined.
uint32_t zerosCrc(uint64_t count) {
    static const std::vector<uint8_t> block(1 << 20, 0);
    const uLong blockCrc = crc32(0, block.data(), static_cast<uInt>(block.size()));
    uLong crc = 0;
    for (; count >= block.size(); count -= block.size()) crc = crc32_combine64(crc, blockCrc, block.size());
    return static_cast<uint32_t>(crc32_combine64(crc, crc32(0, block.data(), static_cast<uInt>(count)), count));
}

// A stored entry laid out by hand.
struct HandEntry {
    std::string name;
    uint64_t size;       // of its data: zeros, or `text` when that is set
    std::string text;
    uint64_t offset = 0; // of its local header, filled in when laid out
    uint32_t crc = 0;
};

// Writes a ZIP archive of stored entries to `path`, their zeros left as holes
// of a sparse file, with Zip64 blocks exactly where a value does not fit 32
// bits and the Zip64 end records when the directory's offset does not.
void layArchive(const std::string& path, std::vector<HandEntry>& entries) {
    constexpr uint16_t kDate = (44 << 9) | (1 << 5) | 2, kTime = 12 << 11;
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    ASSERT_TRUE(out);
    uint64_t at = 0;
    for (HandEntry& e : entries) {
        e.offset = at;
        e.crc = e.text.empty() ? zerosCrc(e.size)
                               : static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.text.data()),
                                                             static_cast<uInt>(e.text.size())));
        const bool big = e.size >= 0xFFFFFFFFu;
        std::string header;
        put32(header, 0x04034B50);
        put16(header, big ? 45 : 10);
        put16(header, 0);
        put16(header, 0);
        put16(header, kTime);
        put16(header, kDate);
        put32(header, e.crc);
        put32(header, big ? 0xFFFFFFFFu : static_cast<uint32_t>(e.size));
        put32(header, big ? 0xFFFFFFFFu : static_cast<uint32_t>(e.size));
        put16(header, static_cast<uint16_t>(e.name.size()));
        put16(header, big ? 20 : 0);
        header += e.name;
        if (big) {
            put16(header, 1);
            put16(header, 16);
            put64(header, e.size);
            put64(header, e.size);
        }
        out.seekp(static_cast<std::streamoff>(at));
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        out.write(e.text.data(), static_cast<std::streamsize>(e.text.size()));
        at += header.size() + e.size;
    }
    const uint64_t directoryStart = at;
    std::string directory;
    for (const HandEntry& e : entries) {
        const bool bigSize = e.size >= 0xFFFFFFFFu, farOffset = e.offset >= 0xFFFFFFFFu;
        std::string zip64;
        if (bigSize) put64(zip64, e.size), put64(zip64, e.size);
        if (farOffset) put64(zip64, e.offset);
        put32(directory, 0x02014B50);
        put16(directory, (3 << 8) | 45);
        put16(directory, zip64.empty() ? 10 : 45);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, kTime);
        put16(directory, kDate);
        put32(directory, e.crc);
        put32(directory, bigSize ? 0xFFFFFFFFu : static_cast<uint32_t>(e.size));
        put32(directory, bigSize ? 0xFFFFFFFFu : static_cast<uint32_t>(e.size));
        put16(directory, static_cast<uint16_t>(e.name.size()));
        put16(directory, static_cast<uint16_t>(zip64.empty() ? 0 : 4 + zip64.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0100644u << 16);
        put32(directory, farOffset ? 0xFFFFFFFFu : static_cast<uint32_t>(e.offset));
        directory += e.name;
        if (!zip64.empty()) {
            put16(directory, 1);
            put16(directory, static_cast<uint16_t>(zip64.size()));
            directory += zip64;
        }
    }
    const uint64_t zip64End = directoryStart + directory.size();
    put32(directory, 0x06064B50);
    put64(directory, 44);
    put16(directory, (3 << 8) | 45);
    put16(directory, 45);
    put32(directory, 0);
    put32(directory, 0);
    put64(directory, entries.size());
    put64(directory, entries.size());
    put64(directory, zip64End - directoryStart);
    put64(directory, directoryStart);
    put32(directory, 0x07064B50);
    put32(directory, 0);
    put64(directory, zip64End);
    put32(directory, 1);
    put32(directory, 0x06054B50);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, static_cast<uint16_t>(entries.size()));
    put16(directory, static_cast<uint16_t>(entries.size()));
    put32(directory, static_cast<uint32_t>(zip64End - directoryStart));
    put32(directory, directoryStart >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(directoryStart));
    put16(directory, 0);
    out.seekp(static_cast<std::streamoff>(directoryStart));
    out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
    ASSERT_TRUE(out.good());
}

// What the enumeration shows of one entry: the host record and the full-width values.
struct Listed {
    std::string name;
    CDR record;
    uint64_t packed, unpacked, offset, count;
};

std::vector<Listed> listArchive(const std::string& path) {
    std::vector<Listed> listed;
    AxHandle h = AX_NO_ARCHIVE;
    EXPECT_EQ(Ax4ZipOpen(path.c_str(), AX_OPEN_READ, &h), 0);
    char name[261];
    CDR record;
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0)) {
        Listed l{name, record, 0, 0, 0, 0};
        EXPECT_EQ(Ax4ZipFoundSizes64(h, &l.packed, &l.unpacked, &l.offset, &l.count), 0);
        listed.push_back(l);
    }
    Ax4ZipClose(&h);
    return listed;
}

// An entry of 4.5 GiB, and after it an entry whose local header starts past
// 4 GiB: the directory and the end records lie past 4 GiB too.
TEST(Zip64Reading, EntriesPastFourGibibytes) {
    Scratch dir;
    const std::string archive = dir / "far.zip";
    std::vector<HandEntry> entries = {{"zeros.bin", 4 * kGiB + kGiB / 2, ""},
                                      {"past.txt", 0, "these bytes start past 4 GiB\n"}};
    entries[1].size = entries[1].text.size();
    layArchive(archive, entries);
    ASSERT_GT(entries[1].offset, 0xFFFFFFFFu);

    // The layout is sound as other readers see it.
    auto unzip = run("unzip -tq " + quote(archive) + " 2>&1");
    EXPECT_EQ(unzip.status, 0) << unzip.output;
    auto python = run("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                      "print([(i.filename, i.file_size, i.header_offset) for i in z.infolist()])' " +
                      quote(archive) + " 2>&1");
    EXPECT_EQ(python.status, 0) << python.output;

    const std::vector<Listed> listed = listArchive(archive);
    ASSERT_EQ(listed.size(), 2u);
    // The host record keeps 32-bit fields: a value past them shows as all ones.
    EXPECT_EQ(listed[0].name, "zeros.bin");
    EXPECT_EQ(listed[0].record.unpackedSize, 0xFFFFFFFFu);
    EXPECT_EQ(listed[0].record.packedSize, 0xFFFFFFFFu);
    EXPECT_EQ(listed[0].unpacked, entries[0].size);
    EXPECT_EQ(listed[0].packed, entries[0].size);
    EXPECT_EQ(listed[0].offset, 0u);
    EXPECT_EQ(listed[1].record.unpackedSize, entries[1].size);
    EXPECT_EQ(listed[1].record.localOffset, 0xFFFFFFFFu);
    EXPECT_EQ(listed[1].offset, entries[1].offset);
    EXPECT_EQ(listed[1].count, 2u);

    // The far entry extracts alone; both test sound, the big one to its CRC.
    const std::string out = dir / "out";
    fsys::create_directory(out);
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "past.txt", ""), 0);
    const auto bytes = readBytes(out + "/past.txt");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), entries[1].text);
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-T"), 0);

    // A window of the big entry decoded into memory, as far in as a host's
    // 31-bit start reaches.
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
    std::vector<uint8_t> window(16, 0xAA);
    EXPECT_EQ(Ax4UnZipPtr(h, window.data(), 0x7FFFFFF0, 16, "zeros.bin", ""), 0);
    EXPECT_EQ(window, std::vector<uint8_t>(16, 0));
    Ax4ZipClose(&h);

    // A new archive comment goes after the end record past 4 GiB, and the
    // archive stays whole.
    const auto sizeBefore = fsys::file_size(archive);
    const std::string comment = "a comment past 4 GiB";
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &h), 0);
    EXPECT_EQ(Ax4ZipNewComment(h, comment.c_str()), 0);
    Ax4ZipClose(&h);
    EXPECT_EQ(fsys::file_size(archive), sizeBefore + comment.size());
    auto commented = run("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                         "print(z.comment.decode(), len(z.infolist()))' " + quote(archive) + " 2>&1");
    EXPECT_EQ(commented.output, comment + " 2\n");
    EXPECT_EQ(run("unzip -tq " + quote(archive) + " 2>&1").status, 0);
}

// More than 65535 entries: the end record's count says "65535 or more", the
// Zip64 end record the rest.
TEST(Zip64Reading, SeventyThousandEntriesFromPython) {
    Scratch dir;
    const std::string archive = dir / "many.zip";
    auto python = run("python3 -c 'import sys,zipfile\n"
                      "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
                      "    for i in range(70000): z.writestr(\"d%02d/f%05d.txt\" % (i % 50, i), \"x%d\\n\" % i)' " +
                      quote(archive) + " 2>&1");
    ASSERT_EQ(python.status, 0) << python.output;

    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
    uint16_t count = 0;
    EXPECT_EQ(Ax4ZipCount(h, &count), 0);
    EXPECT_EQ(count, 65535);
    char name[261];
    CDR record;
    uint64_t total = 0, seen = 0;
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        ++seen;
    EXPECT_EQ(Ax4ZipFoundSizes64(h, nullptr, nullptr, nullptr, &total), 0);
    EXPECT_EQ(seen, 70000u);
    EXPECT_EQ(total, 70000u);
    Ax4ZipClose(&h);

    const std::string out = dir / "out";
    fsys::create_directory(out);
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-T"), 0);
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "d49/f69999.txt", "-D"), 0);
    const auto bytes = readBytes(out + "/d49/f69999.txt");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "x69999\n");
}

// What the other tools say of an archive: unzip, Python's zipfile and 7z must
// all find it sound.
void expectToolsAccept(const std::string& archive) {
    auto unzip = run("unzip -tq " + quote(archive) + " 2>&1");
    EXPECT_EQ(unzip.status, 0) << unzip.output;
    auto python = run("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                      "bad=z.testzip(); sys.exit(bad is not None)' " + quote(archive) + " 2>&1");
    EXPECT_EQ(python.status, 0) << python.output;
    auto sevenZip = run("7z t " + quote(archive) + " 2>&1");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.output;
}

// A file of 5 GiB becomes an entry with its sizes in Zip64 blocks; Python
// streams it back equal to the file, and the library extracts it whole.
TEST(Zip64Writing, AFileOfFiveGibibytes) {
    Scratch dir;
    const std::string source = dir / "src";
    fsys::create_directory(source);
    const std::string big = source + "/big.bin";
    {
        std::ofstream out(big, std::ios::binary);
        out << "head";
        out.seekp(static_cast<std::streamoff>(5 * kGiB));
        out << "tail";
    }
    const std::string archive = dir / "big.zip";
    ASSERT_EQ(Ax4QZip(archive.c_str(), big.c_str(), ""), 0);
    expectToolsAccept(archive);
    auto python = run("python3 -c 'import sys,zipfile\n"
                      "z=zipfile.ZipFile(sys.argv[1]); f=open(sys.argv[2],\"rb\")\n"
                      "with z.open(\"big.bin\") as e:\n"
                      "    while True:\n"
                      "        a=e.read(1<<22); b=f.read(1<<22)\n"
                      "        assert a==b\n"
                      "        if not a: break' " +
                      quote(archive) + " " + quote(big) + " 2>&1");
    EXPECT_EQ(python.status, 0) << python.output;
    const std::vector<Listed> listed = listArchive(archive);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].unpacked, 5 * kGiB + 4);
    EXPECT_EQ(listed[0].record.unpackedSize, 0xFFFFFFFFu);

    const std::string out = dir / "out";
    fsys::create_directory(out);
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", ""), 0);
    EXPECT_EQ(fsys::file_size(out + "/big.bin"), 5 * kGiB + 4);
    EXPECT_EQ(run("cmp " + quote(big) + " " + quote(out + "/big.bin")).status, 0);
}

// A stored entry of 4.5 GiB pushes the next entry's local header past 4 GiB;
// updating and deleting copy both, and the tools agree after every run.
TEST(Zip64Writing, EntriesThatStartPastFourGibibytes) {
    Scratch dir;
    const std::string source = dir / "src";
    fsys::create_directory(source);
    std::ofstream(source + "/a-zeros.bin").close();
    fsys::resize_file(source + "/a-zeros.bin", 4 * kGiB + kGiB / 2);  // sparse
    std::ofstream(source + "/b-note.txt") << "after the zeros\n";
    const std::string archive = dir / "far.zip";
    // Written in the order the directory walk met them: the note is the one
    // that comes after the zeros.
    ASSERT_EQ(Ax4QZip(archive.c_str(), (source + "/a-zeros.bin").c_str(), "-ET"), 0);
    ASSERT_EQ(Ax4QZip(archive.c_str(), (source + "/b-note.txt").c_str(), ""), 0);
    std::vector<Listed> listed = listArchive(archive);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].name, "b-note.txt");
    EXPECT_GT(listed[1].offset, 0xFFFFFFFFu);
    EXPECT_EQ(listed[1].record.localOffset, 0xFFFFFFFFu);
    expectToolsAccept(archive);

    // An update adds a file after both; a delete drops the first, which
    // brings the note back below 4 GiB.
    std::ofstream(source + "/c-more.txt") << "added later\n";
    ASSERT_EQ(Ax4QZip(archive.c_str(), (source + "/c-more.txt").c_str(), ""), 0);
    listed = listArchive(archive);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_GT(listed[2].offset, 0xFFFFFFFFu);
    expectToolsAccept(archive);
    ASSERT_EQ(Ax4QZip(archive.c_str(), "a-zeros.bin", "-D"), 0);
    listed = listArchive(archive);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "b-note.txt");
    EXPECT_LT(listed[0].offset, 100u);
    expectToolsAccept(archive);
}

// 70,000 files in 70 directories make an archive whose count lives in the
// Zip64 end record.
TEST(Zip64Writing, SeventyThousandFiles) {
    Scratch dir;
    const std::string source = dir / "src";
    for (int d = 0; d < 70; ++d) {
        const std::string sub = source + "/d" + std::to_string(d);
        fsys::create_directories(sub);
        for (int f = 0; f < 1000; ++f) std::ofstream(sub + "/f" + std::to_string(f)) << d << '/' << f << '\n';
    }
    const std::string archive = dir / "many.zip";
    ASSERT_EQ(Ax4QZip(archive.c_str(), (source + "/*.*").c_str(), "-R -P"), 0);
    const std::vector<Listed> listed = listArchive(archive);
    EXPECT_EQ(listed.size(), 70070u);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0].count, 70070u);
    expectToolsAccept(archive);
}

// Archives that other tools write with Zip64 records: forced onto small
// entries (zip -fz, Python's force_zip64) and needed by a 5 GiB file (zip and
// 7z, stored so that the tools spend no time deflating zeros). Each is
// listed with its full sizes, tested, extracted, updated and shrunk again,
// and the tools accept every archive the library rewrote.
TEST(Zip64Interop, ArchivesOtherToolsWrite) {
    struct Maker {
        const char* name;
        const char* command;  // run in the source folder; writes ../made.zip
        bool large;
    } makers[] = {
        {"zip -fz", "zip -q -fz ../made.zip note.txt", false},
        {"python force_zip64",
         "python3 -c 'import zipfile\n"
         "with zipfile.ZipFile(\"../made.zip\", \"w\", zipfile.ZIP_DEFLATED) as z:\n"
         "    with z.open(\"note.txt\", \"w\", force_zip64=True) as e: e.write(open(\"note.txt\", \"rb\").read())'",
         false},
        {"zip", "zip -q -0 ../made.zip note.txt big.bin", true},
        {"7z", "7z a -tzip -mx0 ../made.zip note.txt big.bin >/dev/null", true},
    };
    const std::string note = "a note beside the big file\n";
    for (const Maker& m : makers) {
        SCOPED_TRACE(m.name);
        Scratch dir;
        const std::string source = dir / "src";
        fsys::create_directory(source);
        std::ofstream(source + "/note.txt") << note;
        if (m.large) {
            std::ofstream(source + "/big.bin").close();
            fsys::resize_file(source + "/big.bin", 5 * kGiB + 1);  // sparse
        }
        auto made = run("cd " + quote(source) + " && " + m.command + " 2>&1");
        ASSERT_EQ(made.status, 0) << made.output;
        const std::string archive = dir / "made.zip";

        std::vector<Listed> listed = listArchive(archive);
        ASSERT_EQ(listed.size(), m.large ? 2u : 1u);
        for (const Listed& l : listed)
            EXPECT_EQ(l.unpacked, l.name == "big.bin" ? 5 * kGiB + 1 : note.size()) << l.name;
        const std::string out = dir / "out";
        fsys::create_directory(out);
        EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-T"), 0);
        EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "note.txt", ""), 0);
        const auto bytes = readBytes(out + "/note.txt");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), note);

        // An update copies every entry; a delete takes the added one out again.
        std::ofstream(source + "/added.txt") << "added by the library\n";
        ASSERT_EQ(Ax4QZip(archive.c_str(), (source + "/added.txt").c_str(), ""), 0);
        EXPECT_EQ(listArchive(archive).size(), listed.size() + 1);
        expectToolsAccept(archive);
        ASSERT_EQ(Ax4QZip(archive.c_str(), "added.txt", "-D"), 0);
        listed = listArchive(archive);
        EXPECT_EQ(listed.size(), m.large ? 2u : 1u);
        auto unzip = run("unzip -tq " + quote(archive) + " 2>&1");
        EXPECT_EQ(unzip.status, 0) << unzip.output;
    }
}

}  // namespace
