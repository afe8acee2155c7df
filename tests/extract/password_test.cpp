// Password checks on entries encrypted by independent tools, with and without
// data descriptors, through the export and its Basic twin.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "archive/handles.h"
#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::Scratch;

struct Entry {
    CDR record;
    uint32_t dataStart;  // first byte after the local header, name and extra field
};

// The first entry of an archive and where its data starts.
Entry firstEntry(const std::string& path) {
    AxHandle h;
    Entry e{};
    EXPECT_EQ(Ax4ZipOpen(path.c_str(), AX_OPEN_READ, &h), 0);
    char name[261];
    EXPECT_EQ(Ax4ZipFindFirst(h, &e.record, name, nullptr, 0, nullptr, 0), 0);
    Ax4ZipClose(&h);
    auto bytes = zar::test::readBytes(path);
    const uint8_t* local = bytes.data() + e.record.localOffset;
    e.dataStart = e.record.localOffset + 30 + (local[26] | local[27] << 8) + (local[28] | local[29] << 8);
    return e;
}

int16_t check(const std::string& path, const Entry& e, const char* password, CDR* out = nullptr) {
    int fd = ::open(path.c_str(), O_RDONLY);
    ::lseek(fd, e.dataStart, SEEK_SET);
    CDR record = e.record;
    int16_t r = Ax4ZipCheckPassword(static_cast<uint32_t>(fd), &record, password);
    if (out) *out = record;
    ::close(fd);
    return r;
}

TEST(Password, EntriesOfIndependentTools) {
    Scratch s;
    std::string src = s / "plain.txt";
    zar::test::writeText(src, std::string(3000, 'p') + "the end\n");
    struct Tool {
        const char* name;
        std::string command;
        bool dataDescriptor;
    } tools[] = {
        {"zip", "cd " + s.path() + " && zip -q -P 'pass word' zip.zip plain.txt", true},
        {"7z", "cd " + s.path() + " && 7z a -bd -bso0 -tzip '-ppass word' 7z.zip plain.txt", false},
        {"bsdtar", "cd " + s.path() +
                       " && bsdtar --format zip --options zip:encryption=traditional --passphrase 'pass word' "
                       "-cf bsdtar.zip plain.txt",
         true},
    };
    for (const Tool& t : tools) {
        ASSERT_EQ(zar::test::run(t.command).status, 0) << t.name;
        std::string path = s / (std::string(t.name) + ".zip");
        ASSERT_TRUE(std::filesystem::exists(path)) << t.name;
        Entry e = firstEntry(path);
        ASSERT_TRUE(e.record.flags & 1) << t.name;
        EXPECT_EQ((e.record.flags & 8) != 0, t.dataDescriptor) << t.name;
        CDR after;
        EXPECT_EQ(check(path, e, "pass word", &after), 0) << t.name;
        EXPECT_EQ(+after.packedSize, +e.record.packedSize - 12) << t.name;
        // The headers of these tools are random: a wrong password passes the
        // one-byte check now and then (the CRC catches it later), never often.
        int passed = 0;
        for (int i = 0; i < 16; ++i) passed += check(path, e, ("wrong " + std::to_string(i)).c_str()) == 0;
        EXPECT_LE(passed, 4) << t.name;
        EXPECT_EQ(check(path, e, ""), AX_BAD_PASSWORD) << t.name;
        EXPECT_EQ(check(path, e, nullptr), AX_BAD_PASSWORD) << t.name;
    }
}

TEST(Password, PlainEntryPassesWithoutReading) {
    Scratch s;
    zar::test::writeText(s / "a.txt", "abc");
    ASSERT_EQ(zar::test::run("cd " + s.path() + " && zip -q p.zip a.txt").status, 0);
    Entry e = firstEntry(s / "p.zip");
    int fd = ::open((s / "p.zip").c_str(), O_RDONLY);
    ::lseek(fd, 5, SEEK_SET);
    EXPECT_EQ(Ax4ZipCheckPassword(static_cast<uint32_t>(fd), &e.record, nullptr), 0);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
    ::close(fd);
}

TEST(Password, ShortHeaderAndTheBasicTwin) {
    Scratch s;
    zar::test::writeText(s / "a.txt", "some text to protect");
    ASSERT_EQ(zar::test::run("cd " + s.path() + " && zip -q -P pw e.zip a.txt").status, 0);
    Entry e = firstEntry(s / "e.zip");
    int fd = ::open((s / "e.zip").c_str(), O_RDONLY);
    ::lseek(fd, -5, SEEK_END);
    EXPECT_EQ(Ax4ZipCheckPassword(static_cast<uint32_t>(fd), &e.record, "pw"), AX_SHORT_READ);

    CDRVB32 basic{};
    basic.flags = e.record.flags;
    basic.crc = e.record.crc;
    basic.time = e.record.time;
    basic.packedSize = e.record.packedSize;
    ::lseek(fd, e.dataStart, SEEK_SET);
    EXPECT_EQ(Ax4ZipCheckPasswordVB32(static_cast<uint32_t>(fd), &basic, "pw"), 0);
    EXPECT_EQ(+basic.packedSize, +e.record.packedSize) << "the host's record keeps its size";
    ::close(fd);
}

}  // namespace
