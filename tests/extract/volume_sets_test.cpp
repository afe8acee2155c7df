// Sets of the library's own kinds laid out by hand, volume by volume: the
// numbered kind ("AXZR" header and directory at the front of name.001, the
// entries running on through name.002, ...), its single-file form, and the
// kind whose first disk starts with the central directory. Every entry,
// split wherever a volume ends, comes back byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/disk_drive.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::DiskDrive;
using zar::test::put16;
using zar::test::put32;
using zar::test::putText;
using zar::test::Scratch;
using zar::test::ZipEntry;
using Bytes = std::vector<uint8_t>;
using Prompt = DiskDrive::Prompt;

std::vector<ZipEntry> sampleEntries() {
    std::string long1, long2;
    for (int i = 0; i < 900; ++i) long1 += "first " + std::to_string(i) + "\n";
    for (int i = 0; i < 300; ++i) long2 += char('a' + i % 26);
    return {zar::test::entry("one.txt", long1), zar::test::entry("empty.txt", ""),
            zar::test::entry("dir/two.txt", long2), zar::test::entry("dir/three.txt", "three\n")};
}

Bytes localHeader(const ZipEntry& e) {
    Bytes out;
    put32(out, 0x04034B50);
    put16(out, 10), put16(out, 0), put16(out, 0), put16(out, e.time), put16(out, e.date);
    put32(out, e.storedCrc()), put32(out, static_cast<uint32_t>(e.data.size())),
        put32(out, static_cast<uint32_t>(e.data.size()));
    put16(out, static_cast<uint32_t>(e.name.size())), put16(out, 0);
    putText(out, e.name);
    putText(out, e.data);
    return out;
}

Bytes centralRecord(const ZipEntry& e, uint32_t signature, uint16_t disk, uint32_t offset, bool withName) {
    Bytes out;
    put32(out, signature);
    put16(out, 20), put16(out, 10), put16(out, 0), put16(out, 0), put16(out, e.time), put16(out, e.date);
    put32(out, e.storedCrc()), put32(out, static_cast<uint32_t>(e.data.size())),
        put32(out, static_cast<uint32_t>(e.data.size()));
    put16(out, static_cast<uint32_t>(e.name.size())), put16(out, 0), put16(out, 0);
    put16(out, disk), put16(out, 0), put32(out, 0x20), put32(out, offset);
    if (withName) putText(out, e.name);
    return out;
}

std::vector<Bytes> cut(const Bytes& stream, size_t volumeSize) {
    std::vector<Bytes> volumes;
    for (size_t at = 0; at < stream.size(); at += volumeSize)
        volumes.emplace_back(stream.begin() + static_cast<long>(at),
                             stream.begin() + static_cast<long>(std::min(stream.size(), at + volumeSize)));
    return volumes;
}

// The numbered kind (header version 1), or its single-file form (version 3,
// whose offsets count from the start of its one file).
std::vector<Bytes> ownSet(const std::vector<ZipEntry>& entries, size_t volumeSize, bool singleFile) {
    size_t front = 12;
    for (const ZipEntry& e : entries) front += 46 + e.name.size();
    Bytes header, records, names, data;
    putText(header, "AXZR");
    put16(header, singleFile ? 3 : 1), put16(header, static_cast<uint32_t>(entries.size())), put16(header, 1),
        put16(header, 12);
    for (const ZipEntry& e : entries) {
        const size_t at = front + data.size();
        const uint16_t disk = static_cast<uint16_t>(at / volumeSize + 1);
        const uint32_t offset = static_cast<uint32_t>(singleFile ? at : at % volumeSize);
        Bytes record = centralRecord(e, 0x02015841, disk, offset, false);
        records.insert(records.end(), record.begin(), record.end());
        putText(names, e.name);
        Bytes local = localHeader(e);
        data.insert(data.end(), local.begin(), local.end());
    }
    Bytes stream = header;
    for (const Bytes* part : {&records, &names, &data}) stream.insert(stream.end(), part->begin(), part->end());
    return singleFile ? std::vector<Bytes>{stream} : cut(stream, volumeSize);
}

// The kind whose first volume starts with the central directory; the filler
// and the end record close the last volume.
std::vector<Bytes> frontDirectorySet(const std::vector<ZipEntry>& entries, size_t volumeSize) {
    size_t front = 0;
    for (const ZipEntry& e : entries) front += 46 + e.name.size();
    Bytes directory, data;
    for (const ZipEntry& e : entries) {
        const size_t at = front + data.size();
        Bytes record = centralRecord(e, 0x02014B50, static_cast<uint16_t>(at / volumeSize),
                                     static_cast<uint32_t>(at % volumeSize), true);
        directory.insert(directory.end(), record.begin(), record.end());
        Bytes local = localHeader(e);
        data.insert(data.end(), local.begin(), local.end());
    }
    Bytes stream = directory;
    stream.insert(stream.end(), data.begin(), data.end());
    std::vector<Bytes> volumes = cut(stream, volumeSize);
    Bytes& last = volumes.back();
    put32(last, 0x08074B50);
    putText(last, "_FILLER12345");
    put32(last, 0x06054B50);
    put16(last, static_cast<uint32_t>(volumes.size() - 1)), put16(last, 0);
    put16(last, static_cast<uint32_t>(entries.size())), put16(last, static_cast<uint32_t>(entries.size()));
    put32(last, static_cast<uint32_t>(directory.size())), put32(last, 0), put16(last, 0);
    return volumes;
}

class VolumeSets : public ::testing::Test {
protected:
    void expectEverything(AxHandle* h) {
        std::vector<std::string> names;
        CDR record;
        char name[261];
        for (int16_t r = Ax4ZipFindFirst(*h, &record, name, nullptr, 0, nullptr, 0); r == 0;
             r = Ax4ZipFindNext(*h, &record, name, nullptr, 0, nullptr, 0))
            names.push_back(name);
        std::vector<std::string> expected;
        for (const ZipEntry& e : entries) expected.push_back(e.name);
        EXPECT_EQ(names, expected);
        fsys::create_directories(s / "out");
        EXPECT_EQ(Ax4UnZip(h, (s / "out").c_str(), "*.*", nullptr, "-D"), 0);
        for (const ZipEntry& e : entries) EXPECT_EQ(zar::test::readText(s / ("out/" + e.name)), e.data) << e.name;
        std::string two(entries[2].data.size(), '\0');
        EXPECT_EQ(Ax4UnZipPtr(*h, two.data(), 0, -1, "dir/two.txt", ""), 0);
        EXPECT_EQ(two, entries[2].data);
    }
    Scratch s;
    std::vector<ZipEntry> entries = sampleEntries();
};

TEST_F(VolumeSets, NumberedVolumesOnAFixedDrive) {
    for (size_t volumeSize : {1000, 4096, 100000}) {
        SCOPED_TRACE(volumeSize);
        const auto volumes = ownSet(entries, volumeSize, false);
        for (size_t i = 0; i < volumes.size(); ++i) {
            std::string digits = std::to_string(i + 1);
            zar::test::writeBytes(s / ("set." + std::string(3 - digits.size(), '0') + digits), volumes[i]);
        }
        uint16_t kind = 0;
        EXPECT_EQ(Ax4IdentifyFile((s / "set.001").c_str(), &kind), 0);
        EXPECT_EQ(kind, AX_KIND_OWN_MULTI_VOLUME);
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((s / "set.001").c_str(), AX_OPEN_DECIDE, &h), 0);
        expectEverything(&h);
        Ax4ZipClose(&h);
        if (volumes.size() > 2) {
            fsys::remove(s / "set.002");
            EXPECT_EQ(Ax4QUnZip((s / "set.001").c_str(), nullptr, "*.*", "-T"), 105);
        }
        fsys::remove_all(s / "out");
        for (const auto& item : fsys::directory_iterator(s.path())) fsys::remove(item.path());
    }
}

TEST_F(VolumeSets, TheSingleFileKind) {
    zar::test::writeBytes(s / "one.001", ownSet(entries, 1000, true)[0]);
    uint16_t kind = 0;
    EXPECT_EQ(Ax4IdentifyFile((s / "one.001").c_str(), &kind), 0);
    EXPECT_EQ(kind, AX_KIND_OWN_MULTI_VOLUME_3);
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((s / "one.001").c_str(), AX_OPEN_READ, &h), 0);
    expectEverything(&h);
    Ax4ZipClose(&h);
}

TEST_F(VolumeSets, DirectoryFirstCopiedToAFixedDrive) {
    // The first disk under the set's name, the others under split names.
    const auto volumes = frontDirectorySet(entries, 2000);
    for (size_t i = 0; i < volumes.size(); ++i)
        zar::test::writeBytes(s / (i == 0 ? std::string("set.zip") : "set.z0" + std::to_string(i + 1)), volumes[i]);
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((s / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    expectEverything(&h);
    Ax4ZipClose(&h);
}

TEST_F(VolumeSets, DirectoryFirstOnDisks) {
    DiskDrive drive(s / "disks");
    const auto volumes = frontDirectorySet(entries, 2000);
    ASSERT_GT(volumes.size(), 3u);
    for (int n = static_cast<int>(volumes.size()); n >= 1; --n) {
        drive.insert(n);
        zar::test::writeBytes(drive / "set.zip", volumes[n - 1]);
        zar::test::writeText(drive / ".volume-label", "PKBACK# 00" + std::to_string(n));
    }
    drive.clearPrompts();
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_TRUE(drive.prompts().empty());  // the directory fits the first disk
    expectEverything(&h);
    Ax4ZipClose(&h);
    // Extraction goes through the disks in order, each asked for once; the
    // memory read of the last entry asks again for what it needs.
    ASSERT_GE(drive.prompts().size(), volumes.size());
    for (size_t i = 0; i < volumes.size(); ++i) EXPECT_EQ(drive.prompts()[i], (Prompt{1, static_cast<int>(i + 1)}));
}

}  // namespace
