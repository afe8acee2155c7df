// Spanned sets laid out by hand, so that the volume boundaries fall where a
// reader is most easily caught out: a directory that begins on one disk and
// ends on the next, an entry that ends exactly with its volume, a comment
// after the end record; and the library's numbered kind from disks. Read
// from the disks of a removable drive (with the questions the host sees) and
// as split files on a fixed drive; damaged sets end with their result code.
#include <gtest/gtest.h>

#include <filesystem>
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
    std::string text, noise;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + "\n";
    for (int i = 0; i < 2500; ++i) noise += static_cast<char>((i * 131 + 7) % 251);
    return {zar::test::entry("text.txt", text), zar::test::entry("noise.bin", noise),
            zar::test::entry("sub/empty.txt", ""), zar::test::entry("sub/last.txt", "the last one\n")};
}

// The bytes of a spanned set before it is cut: the marker, each entry's local
// header and stored data, then the directory.
struct Stream {
    Bytes bytes;
    std::vector<size_t> entryAt, entryEnd;
    size_t directoryAt = 0;
};

Stream lay(const std::vector<ZipEntry>& entries, size_t volumeSize) {
    Stream s;
    put32(s.bytes, 0x08074B50);  // the spanning marker
    for (const ZipEntry& e : entries) {
        s.entryAt.push_back(s.bytes.size());
        put32(s.bytes, 0x04034B50);
        put16(s.bytes, 10), put16(s.bytes, 0), put16(s.bytes, 0), put16(s.bytes, e.time), put16(s.bytes, e.date);
        put32(s.bytes, e.storedCrc());
        put32(s.bytes, static_cast<uint32_t>(e.data.size())), put32(s.bytes, static_cast<uint32_t>(e.data.size()));
        put16(s.bytes, static_cast<uint32_t>(e.name.size())), put16(s.bytes, 0);
        putText(s.bytes, e.name);
        putText(s.bytes, e.data);
        s.entryEnd.push_back(s.bytes.size());
    }
    s.directoryAt = s.bytes.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        put32(s.bytes, 0x02014B50);
        put16(s.bytes, 20), put16(s.bytes, 10), put16(s.bytes, 0), put16(s.bytes, 0);
        put16(s.bytes, e.time), put16(s.bytes, e.date);
        put32(s.bytes, e.storedCrc());
        put32(s.bytes, static_cast<uint32_t>(e.data.size())), put32(s.bytes, static_cast<uint32_t>(e.data.size()));
        put16(s.bytes, static_cast<uint32_t>(e.name.size())), put16(s.bytes, 0), put16(s.bytes, 0);
        put16(s.bytes, static_cast<uint32_t>(s.entryAt[i] / volumeSize));  // disk, from 0
        put16(s.bytes, 0), put32(s.bytes, 0x20);
        put32(s.bytes, static_cast<uint32_t>(s.entryAt[i] % volumeSize));
        putText(s.bytes, e.name);
    }
    return s;
}

// The volumes of the set: the stream cut every `volumeSize` bytes, the end
// record (and `comment`) after the directory on the last one.
std::vector<Bytes> cutSet(const Stream& s, size_t entries, size_t volumeSize, const std::string& comment = "") {
    std::vector<Bytes> volumes;
    for (size_t at = 0; at < s.bytes.size(); at += volumeSize)
        volumes.emplace_back(s.bytes.begin() + static_cast<long>(at),
                             s.bytes.begin() + static_cast<long>(std::min(s.bytes.size(), at + volumeSize)));
    Bytes& last = volumes.back();
    put32(last, 0x06054B50);
    put16(last, static_cast<uint32_t>(volumes.size() - 1));
    put16(last, static_cast<uint32_t>(s.directoryAt / volumeSize));
    put16(last, static_cast<uint32_t>(entries)), put16(last, static_cast<uint32_t>(entries));
    put32(last, static_cast<uint32_t>(s.bytes.size() - s.directoryAt));
    put32(last, static_cast<uint32_t>(s.directoryAt % volumeSize));
    put16(last, static_cast<uint32_t>(comment.size()));
    putText(last, comment);
    return volumes;
}

// A volume size that starts the directory on the second volume and ends it
// on the third: twice the size falls inside the directory.
size_t directoryOverTwoVolumes(const std::vector<ZipEntry>& entries) {
    const Stream probe = lay(entries, 1 << 20);
    const size_t size = (probe.directoryAt + probe.bytes.size()) / 4;
    const Stream s = lay(entries, size);
    EXPECT_EQ(s.directoryAt / size, 1u);
    EXPECT_EQ((s.bytes.size() - 1) / size, 2u);
    return size;
}

std::string splitName(size_t volume, size_t count) {
    return volume == count ? "set.zip" : "set.z0" + std::to_string(volume);
}

class SpannedVolumes : public ::testing::Test {
protected:
    // Puts the volumes on the disks of `drive`, each labelled with its
    // number, and leaves the first disk in.
    void shelve(DiskDrive& drive, const std::vector<Bytes>& volumes) {
        for (int n = static_cast<int>(volumes.size()); n >= 1; --n) {
            drive.insert(n);
            zar::test::writeBytes(drive / "set.zip", volumes[n - 1]);
            zar::test::writeText(drive / ".volume-label", "PKBACK# 00" + std::to_string(n));
        }
        drive.clearPrompts();
    }
    void writeSplit(const std::vector<Bytes>& volumes) {
        for (size_t i = 0; i < volumes.size(); ++i)
            zar::test::writeBytes(s / splitName(i + 1, volumes.size()), volumes[i]);
    }
    std::vector<std::string> listed(AxHandle h) {
        std::vector<std::string> names;
        CDR record;
        char name[261];
        for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
             r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
            names.push_back(name);
        return names;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const ZipEntry& e : entries) out.push_back(e.name);
        return out;
    }
    void expectExtracted(AxHandle* h) {
        fsys::remove_all(s / "out");
        fsys::create_directories(s / "out");
        EXPECT_EQ(Ax4UnZip(h, (s / "out").c_str(), "*.*", nullptr, "-D"), 0);
        for (const ZipEntry& e : entries) EXPECT_EQ(zar::test::readText(s / ("out/" + e.name)), e.data) << e.name;
    }
    Scratch s;
    std::vector<ZipEntry> entries = sampleEntries();
};

TEST_F(SpannedVolumes, ADirectoryOverTwoDisksIsGatheredWithOneQuestionEach) {
    const size_t size = directoryOverTwoVolumes(entries);
    for (const std::string comment : {"", "a comment after the end record"}) {
        SCOPED_TRACE(comment);
        const auto volumes = cutSet(lay(entries, size), entries.size(), size, comment);
        ASSERT_EQ(volumes.size(), 3u);
        DiskDrive drive(s / ("disks" + std::to_string(comment.size())));
        shelve(drive, volumes);

        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
        // The last disk for the end record, then the directory from its start.
        EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{3, 0}, {1, 2}, {1, 3}}));
        EXPECT_EQ(listed(h), names());
        char text[80] = "x";
        EXPECT_EQ(Ax4ZipComment(h, text, sizeof text), 0);
        EXPECT_EQ(std::string(text), comment);
        expectExtracted(&h);
        Ax4ZipClose(&h);
    }
}

TEST_F(SpannedVolumes, ADirectoryOverTwoSplitFiles) {
    const size_t size = directoryOverTwoVolumes(entries);
    writeSplit(cutSet(lay(entries, size), entries.size(), size, "comment"));
    for (const char* opened : {"set.zip", "set.z01"}) {
        SCOPED_TRACE(opened);
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((s / opened).c_str(), AX_OPEN_DECIDE, &h), 0);
        EXPECT_EQ(listed(h), names());
        expectExtracted(&h);
        std::string noise(entries[1].data.size(), '\0');
        EXPECT_EQ(Ax4UnZipPtr(h, noise.data(), 0, -1, "noise.bin", ""), 0);
        EXPECT_EQ(noise, entries[1].data);
        Ax4ZipClose(&h);
    }
}

TEST_F(SpannedVolumes, AnEntryThatEndsWithItsVolumeAsksForNoOther) {
    // The first volume ends exactly where the first entry does.
    const size_t size = lay(entries, 1).entryEnd[0];
    const Stream stream = lay(entries, size);
    ASSERT_EQ(stream.entryEnd[0], size);
    const auto volumes = cutSet(stream, entries.size(), size);
    ASSERT_GE(volumes.size(), 2u);
    DiskDrive drive(s / "disks");
    shelve(drive, volumes);
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    drive.clearPrompts();

    fsys::create_directories(s / "out");
    EXPECT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "text.txt", nullptr, "-D"), 0);
    EXPECT_EQ(zar::test::readText(s / "out/text.txt"), entries[0].data);
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{1, 1}}));
    drive.clearPrompts();
    std::string text(entries[0].data.size(), '\0');
    EXPECT_EQ(Ax4UnZipPtr(h, text.data(), 0, -1, "text.txt", ""), 0);
    EXPECT_EQ(text, entries[0].data);
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{1, 1}}));
    // The next entry starts the second volume.
    drive.clearPrompts();
    EXPECT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "noise.bin", nullptr, "-D"), 0);
    EXPECT_EQ(zar::test::readText(s / "out/noise.bin"), entries[1].data);
    ASSERT_FALSE(drive.prompts().empty());
    EXPECT_EQ(drive.prompts().front(), (Prompt{1, 2}));
    Ax4ZipClose(&h);
}

TEST_F(SpannedVolumes, WrongDisksAtTheOpenAreAskedForAgainAndCancelLeavesNothingOpen) {
    const size_t size = directoryOverTwoVolumes(entries);
    const auto volumes = cutSet(lay(entries, size), entries.size(), size);
    DiskDrive drive(s / "disks");
    shelve(drive, volumes);
    // For the last disk: first the second disk (a disk of the set, but no end
    // record on it), then a disk without a label, then the right one. For the
    // second disk: the third one first.
    int answers = 0;
    drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
        const int chosen[] = {2, 9, 3, 3, 2, 3};
        d.insert(answers < 6 ? chosen[answers] : (p.code == 3 ? 3 : p.disk));
        ++answers;
        return 1;
    });
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{3, 0}, {3, 0}, {3, 0}, {1, 2}, {1, 2}, {1, 3}}));
    EXPECT_EQ(listed(h), names());
    Ax4ZipClose(&h);

    // Cancelled at each question of the open in turn: the open fails with
    // the cancel and leaves no archive open.
    for (size_t cancelAt : {0u, 1u, 2u}) {
        SCOPED_TRACE(cancelAt);
        drive.insert(1);
        drive.clearPrompts();
        drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
            if (d.prompts().size() == cancelAt + 1) return 2;
            d.insert(p.code == 3 ? 3 : p.disk);
            return 1;
        });
        h = AX_NO_ARCHIVE;
        EXPECT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), AX_CANCELLED);
        EXPECT_EQ(h, AX_NO_ARCHIVE);
        EXPECT_EQ(drive.prompts().size(), cancelAt + 1);
    }
}

TEST_F(SpannedVolumes, AMissingSplitFileIsReportedWithoutAQuestion) {
    const size_t size = directoryOverTwoVolumes(entries);
    writeSplit(cutSet(lay(entries, size), entries.size(), size));
    int questions = 0;
    static int* asked = nullptr;
    asked = &questions;
    Ax4SetCPrint(1);
    Ax4CPrintHook([](StatusRecord r) -> int16_t {
        if (r.kind == AX_STATUS_QUESTION) ++*asked;
        return 1;
    });
    struct Case {
        const char* missing;
        const char* opened;
    } cases[] = {
        {"set.z02", "set.zip"},  // the start of the directory
        {"set.zip", "set.z01"},  // the end record
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing);
        fsys::rename(s / c.missing, s / "aside");
        AxHandle h = AX_NO_ARCHIVE;
        EXPECT_EQ(Ax4ZipOpen((s / c.opened).c_str(), AX_OPEN_READ, &h), AX_ACCESS_DENIED);
        EXPECT_EQ(h, AX_NO_ARCHIVE);
        fsys::rename(s / "aside", s / c.missing);
    }
    // The first piece of a set cut short, under the set's own name: no end
    // record anywhere.
    const Bytes first = zar::test::readBytes(s / "set.z01");
    zar::test::writeBytes(s / "cut.zip", first);
    AxHandle h = AX_NO_ARCHIVE;
    EXPECT_EQ(Ax4ZipOpen((s / "cut.zip").c_str(), AX_OPEN_READ, &h), AX_BAD_ARCHIVE);
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
    EXPECT_EQ(questions, 0);
}

// Entries whose records reach past the set: a reader asks for no disk that is
// not the set's, however willing the host.
TEST_F(SpannedVolumes, DamagedEntriesAskForNoDiskOutsideTheSet) {
    const size_t size = directoryOverTwoVolumes(entries);
    struct Case {
        const char* what;
        size_t field;  // in the central record of the last entry
        uint32_t value;
        size_t width;
    } cases[] = {
        {"sizes past the last volume", 20, 100000, 8},
        {"a disk past the last", 34, 6, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Stream stream = lay(entries, size);
        size_t record = stream.directoryAt;
        for (size_t i = 0; i + 1 < entries.size(); ++i) record += 46 + entries[i].name.size();
        for (size_t i = 0; i < c.width; ++i)
            stream.bytes[record + c.field + i] = static_cast<uint8_t>(c.value >> (8 * (i % 4)));
        const auto volumes = cutSet(stream, entries.size(), size);
        DiskDrive drive(s / ("disks" + std::to_string(c.field)));
        shelve(drive, volumes);
        drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
            if (p.code == 1 && p.disk > static_cast<int>(volumes.size())) return 2;  // no such disk
            d.insert(p.code == 3 ? static_cast<int>(volumes.size()) : p.disk);
            return 1;
        });
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
        std::string last(100000, '\0');
        const int16_t r = Ax4UnZipPtr(h, last.data(), 0, -1, "sub/last.txt", "");
        EXPECT_NE(r, 0);
        EXPECT_NE(r, AX_CANCELLED);
        for (const Prompt& p : drive.prompts()) EXPECT_LE(p.disk, static_cast<int>(volumes.size()));
        Ax4ZipClose(&h);
    }
}

// The library's numbered kind from disks: the "AXZR" header and the whole
// directory at the front of set.001 on the first disk, the entries running
// on through set.002, set.003 ... of the next disks, whose records count
// their disks from 1. Such disks carry no labels of their own.
std::vector<Bytes> numberedSet(const std::vector<ZipEntry>& entries, size_t volumeSize) {
    size_t front = 12;
    for (const ZipEntry& e : entries) front += 46 + e.name.size();
    const Stream data = lay(entries, 1 << 20);  // for its local headers and data
    Bytes stream;
    putText(stream, "AXZR");
    put16(stream, 1), put16(stream, static_cast<uint32_t>(entries.size())), put16(stream, 1), put16(stream, 12);
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        const size_t at = front + data.entryAt[i] - 4;  // no spanning marker here
        put32(stream, 0x02015841);
        put16(stream, 20), put16(stream, 10), put16(stream, 0), put16(stream, 0), put16(stream, e.time),
            put16(stream, e.date);
        put32(stream, e.storedCrc());
        put32(stream, static_cast<uint32_t>(e.data.size())), put32(stream, static_cast<uint32_t>(e.data.size()));
        put16(stream, static_cast<uint32_t>(e.name.size())), put16(stream, 0), put16(stream, 0);
        put16(stream, static_cast<uint32_t>(at / volumeSize + 1)), put16(stream, 0), put32(stream, 0x20);
        put32(stream, static_cast<uint32_t>(at % volumeSize));
    }
    for (const ZipEntry& e : entries) putText(stream, e.name);
    stream.insert(stream.end(), data.bytes.begin() + 4, data.bytes.begin() + static_cast<long>(data.directoryAt));
    std::vector<Bytes> volumes;
    for (size_t at = 0; at < stream.size(); at += volumeSize)
        volumes.emplace_back(stream.begin() + static_cast<long>(at),
                             stream.begin() + static_cast<long>(std::min(stream.size(), at + volumeSize)));
    return volumes;
}

TEST_F(SpannedVolumes, NumberedVolumesFromDisks) {
    const auto volumes = numberedSet(entries, 1500);
    ASSERT_GE(volumes.size(), 4u);
    DiskDrive drive(s / "disks");
    for (int n = static_cast<int>(volumes.size()); n >= 1; --n) {
        drive.insert(n);
        zar::test::writeBytes(drive / ("set.00" + std::to_string(n)), volumes[n - 1]);
    }
    drive.clearPrompts();
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((drive / "set.001").c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_TRUE(drive.prompts().empty());  // the directory is on the first disk
    EXPECT_EQ(listed(h), names());
    expectExtracted(&h);
    // Each disk once, in order.
    std::vector<Prompt> everyDisk;
    for (int n = 1; n <= static_cast<int>(volumes.size()); ++n) everyDisk.push_back({1, n});
    EXPECT_EQ(drive.prompts(), everyDisk);
    drive.clearPrompts();
    std::string last(entries[3].data.size(), '\0');
    EXPECT_EQ(Ax4UnZipPtr(h, last.data(), 0, -1, "sub/last.txt", ""), 0);
    EXPECT_EQ(last, entries[3].data);
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{1, static_cast<int>(volumes.size())}}));
    // A disk without the volume on it is asked for again; cancel stops. The
    // noise is longer than a volume, so it goes on to a second disk.
    drive.clearPrompts();
    int answers = 0;
    drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
        if (++answers == 3) return 2;
        d.insert(answers == 1 ? 1 : p.disk);
        return 1;
    });
    EXPECT_EQ(Ax4UnZipPtr(h, last.data(), 0, -1, "noise.bin", ""), AX_CANCELLED);
    ASSERT_EQ(drive.prompts().size(), 3u);
    EXPECT_GT(drive.prompts()[0].disk, 1);
    EXPECT_EQ(drive.prompts()[1], drive.prompts()[0]);
    EXPECT_EQ(drive.prompts()[2].disk, drive.prompts()[0].disk + 1);
    Ax4ZipClose(&h);
}

// Sets whose records promise more than their volumes hold: each open ends
// with a code, at once, on a fixed drive.
TEST_F(SpannedVolumes, DamagedSetsEndWithTheirCode) {
    const size_t size = directoryOverTwoVolumes(entries);
    const Stream stream = lay(entries, size);
    const auto good = cutSet(stream, entries.size(), size);
    // Patches the end record of the last volume: `field` at its offset.
    auto withEnd = [&](size_t field, uint32_t value, size_t width) {
        std::vector<Bytes> volumes = good;
        Bytes& last = volumes.back();
        const size_t at = last.size() - 22 + field;
        for (size_t i = 0; i < width; ++i) last[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return volumes;
    };
    std::string manyRecords;
    for (int i = 0; i < 70000; ++i) manyRecords += std::string("PK\1\2", 4) + std::string(42, '\0');
    struct Case {
        const char* what;
        std::vector<Bytes> volumes;
        const char* opened;
        int16_t result;
    } cases[] = {
        {"a directory longer than the volumes", withEnd(12, 0x7FFFFFFF, 4), "set.zip", AX_SHORT_READ},
        {"a directory past its volume's end", withEnd(16, 0x7FFFFFF0, 4), "set.zip", AX_SHORT_READ},
        {"a directory disk after the last", withEnd(6, 7, 2), "set.zip", AX_UNKNOWN_KIND},
        {"a last disk past 999", withEnd(4, 1200, 2), "set.zip", AX_BAD_ARCHIVE},
        {"records to the end of the last volume", {Bytes(manyRecords.begin(), manyRecords.begin() + 46 * 30)},
         "front.zip", AX_ACCESS_DENIED},
        {"more records than an archive holds", {Bytes(manyRecords.begin(), manyRecords.end())}, "front.zip",
         AX_TOO_MANY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& item : fsys::directory_iterator(s.path())) fsys::remove_all(item.path());
        if (std::string(c.opened) == "front.zip")
            zar::test::writeBytes(s / "front.zip", c.volumes[0]);
        else
            writeSplit(c.volumes);
        AxHandle h = AX_NO_ARCHIVE;
        EXPECT_EQ(Ax4ZipOpen((s / c.opened).c_str(), AX_OPEN_READ, &h), c.result);
        EXPECT_EQ(h, AX_NO_ARCHIVE);
    }
}

}  // namespace
