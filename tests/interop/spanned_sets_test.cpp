// Split sets that Info-ZIP zip writes with -s, read as they lie on a fixed
// drive (name.z01, name.z02, ..., name.zip) and as disks of a removable drive
// (the same name on every disk, labelled "PKBACK# 001", ...): listing,
// testing, extraction and memory extraction byte for byte, the disk questions
// in the order a reader needs the disks, and the refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/disk_drive.h"
#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::DiskDrive;
using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::Scratch;
using zar::test::writeBytes;
using Prompt = DiskDrive::Prompt;

std::map<std::string, std::vector<uint8_t>> sampleFiles() {
    std::mt19937 random(64);
    std::vector<uint8_t> noise(250000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    std::string text;
    while (text.size() < 120000) text += "line " + std::to_string(text.size()) + " of a text\n";
    return {{"tree/noise.bin", noise},
            {"tree/text.txt", std::vector<uint8_t>(text.begin(), text.end())},
            {"tree/empty.txt", {}},
            {"tree/sub/small.txt", {'h', 'i', '\n'}}};
}

class SplitSet : public ::testing::Test {
protected:
    void SetUp() override {
        files = sampleFiles();
        for (const auto& [name, bytes] : files) {
            fsys::create_directories(fsys::path(s / name).parent_path());
            writeBytes(s / name, bytes);
        }
    }
    // zip -s 64k of the tree into `name` (.zip), with zip's options.
    void makeSet(const std::string& name, const std::string& options = "") {
        ASSERT_EQ(run("cd " + quote(s.path()) + " && zip -q -r -s 64k " + options + " " + name + " tree").status, 0);
        ASSERT_TRUE(fsys::exists(s / (name.substr(0, name.size() - 4) + ".z03")));
    }
    void expectExtracted(const std::string& out) {
        for (const auto& [name, bytes] : files) EXPECT_EQ(readBytes(out + "/" + name), bytes) << name;
    }
    Scratch s;
    std::map<std::string, std::vector<uint8_t>> files;
};

TEST_F(SplitSet, OnAFixedDriveListTestAndExtract) {
    for (const char* options : {"", "-P s3cret", "-0"}) {
        SCOPED_TRACE(options);
        makeSet("set.zip", options);
        const std::string password = *options == '-' && options[1] == 'P' ? " -S/s3cret/" : "";
        uint16_t kind = 0;
        EXPECT_EQ(Ax4IdentifyFile((s / "set.zip").c_str(), &kind), 0);
        EXPECT_EQ(kind, AX_KIND_SPANNED);

        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((s / "set.zip").c_str(), AX_OPEN_DECIDE, &h), 0);
        uint16_t count = 0;
        EXPECT_EQ(Ax4ZipCount(h, &count), 0);
        EXPECT_EQ(count, 6);  // four files and two directories
        EXPECT_EQ(Ax4UnZip(&h, nullptr, "*.*", nullptr, ("-T" + password).c_str()), 0);
        fsys::create_directories(s / "out");
        EXPECT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "*.*", nullptr, ("-D" + password).c_str()), 0);
        expectExtracted(s / "out");

        // Memory extraction of the entry that crosses the most volumes.
        std::vector<uint8_t> noise(files["tree/noise.bin"].size());
        EXPECT_EQ(Ax4UnZipPtr(h, noise.data(), 0, -1, "tree/noise.bin", password.c_str()), 0);
        EXPECT_EQ(noise, files["tree/noise.bin"]);
        std::vector<uint8_t> window(1000);
        EXPECT_EQ(Ax4UnZipPtr(h, window.data(), 100000, 1000, "tree/noise.bin", password.c_str()), 0);
        EXPECT_TRUE(std::equal(window.begin(), window.end(), files["tree/noise.bin"].begin() + 100000));
        Ax4ZipClose(&h);
        EXPECT_EQ(Ax4QUnZip((s / "set.z01").c_str(), nullptr, "*.*", ("-T" + password).c_str()), 0)
            << "opened by its first piece";
        for (const auto& item : fsys::directory_iterator(s.path()))
            if (item.path().filename().string().rfind("set.", 0) == 0) fsys::remove(item.path());
        fsys::remove_all(s / "out");
    }
}

TEST_F(SplitSet, AMissingPieceIsNamedWithoutAnyQuestion) {
    makeSet("set.zip");
    fsys::remove(s / "set.z02");
    int asked = 0;
    static int* questions = nullptr;
    questions = &asked;
    Ax4SetCPrint(1);
    Ax4CPrintHook([](StatusRecord r) -> int16_t {
        if (r.kind == AX_STATUS_QUESTION) ++*questions;
        return 1;
    });
    fsys::create_directories(s / "out");
    const int16_t r = Ax4QUnZip((s / "set.zip").c_str(), (s / "out").c_str(), "*.*", "-D");
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
    EXPECT_EQ(r, 105);
    EXPECT_EQ(asked, 0);
}

// zip never cuts a local header in two: when the next header does not fit the
// piece it starts a new one with it, and likewise with the central directory.
// The last piece of such a set starts with a header like a whole archive, yet
// is only the end of its set.
TEST_F(SplitSet, ALastPieceThatStartsWithAHeader) {
    const std::vector<uint8_t> tail(10, 't');
    fsys::create_directories(s / "piece");
    writeBytes(s / "piece/b.txt", tail);
    std::map<std::string, int> found;  // what the last piece starts with, and the size of a.txt that gave it
    for (int size = 65300; size <= 65540 && found.size() < 2; size += 8) {
        fsys::remove(s / "set.zip"), fsys::remove(s / "set.z01");
        writeBytes(s / "piece/a.txt", std::vector<uint8_t>(size, 'a'));
        ASSERT_EQ(run("cd " + quote(s.path()) + " && zip -q -0 -s 64k set.zip piece/a.txt piece/b.txt").status, 0);
        const std::vector<uint8_t> last = readBytes(s / "set.zip");
        ASSERT_GE(last.size(), 4u);
        const std::string head(last.begin(), last.begin() + 4);
        if (head == std::string("PK\3\4") || head == std::string("PK\1\2")) found.emplace(head, size);
    }
    ASSERT_EQ(found.size(), 2u) << "zip began its last piece with neither a local header nor the directory";
    for (const auto& [head, size] : found) {
        SCOPED_TRACE(head == "PK\3\4" ? "a local header first" : "the directory first");
        const std::vector<uint8_t> a(size, 'a');
        writeBytes(s / "piece/a.txt", a);
        fsys::remove(s / "set.zip"), fsys::remove(s / "set.z01");
        ASSERT_EQ(run("cd " + quote(s.path()) + " && zip -q -0 -s 64k set.zip piece/a.txt piece/b.txt").status, 0);
        uint16_t kind = 0;
        EXPECT_EQ(Ax4IdentifyFile((s / "set.zip").c_str(), &kind), 0);
        EXPECT_EQ(kind, AX_KIND_SPANNED);
        fsys::remove_all(s / "out");
        fsys::create_directories(s / "out");
        EXPECT_EQ(Ax4QUnZip((s / "set.zip").c_str(), (s / "out").c_str(), "*.*", "-D"), 0);
        EXPECT_EQ(readBytes(s / "out/piece/a.txt"), a);
        EXPECT_EQ(readBytes(s / "out/piece/b.txt"), tail);
        std::vector<uint8_t> memory(tail.size());
        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen((s / "set.zip").c_str(), AX_OPEN_DECIDE, &h), 0);
        EXPECT_EQ(Ax4UnZipPtr(h, memory.data(), 0, -1, "piece/b.txt", ""), 0);
        EXPECT_EQ(memory, tail);
        Ax4ZipClose(&h);
    }
}

TEST_F(SplitSet, TheSetsCommentIsReadFromItsLastPiece) {
    ASSERT_EQ(run("cd " + quote(s.path()) + " && echo 'pieces of a set' | zip -q -r -z -s 64k set.zip tree").status, 0);
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((s / "set.z01").c_str(), AX_OPEN_READ, &h), 0);
    char comment[64] = "x";
    EXPECT_EQ(Ax4ZipComment(h, comment, sizeof comment), 0);
    EXPECT_EQ(std::string(comment), "pieces of a set");
    EXPECT_EQ(Ax4UnZip(&h, nullptr, "*.*", nullptr, "-T"), 0);
    Ax4ZipClose(&h);
}

// The pieces of a zip -s set as the disks of a removable drive: each disk
// holds "set.zip" and the label of its number.
class SplitSetOnDisks : public SplitSet {
protected:
    void SetUp() override {
        SplitSet::SetUp();
        makeSet("set.zip");
        drive = std::make_unique<DiskDrive>(s / "disks");
        disks = 0;
        while (fsys::exists(s / ("set.z0" + std::to_string(disks + 1)))) ++disks;
        ++disks;  // the last one, set.zip
        for (int n = disks; n >= 1; --n) {
            drive->insert(n);
            const std::string piece = n == disks ? "set.zip" : "set.z0" + std::to_string(n);
            fsys::copy_file(s / piece, *drive / "set.zip");
            zar::test::writeText(*drive / ".volume-label", "PKBACK# 00" + std::to_string(n));
        }
        drive->clearPrompts();
    }
    std::unique_ptr<DiskDrive> drive;
    int disks = 0;
};

TEST_F(SplitSetOnDisks, TheDisksAreAskedForInOrder) {
    ASSERT_EQ(drive->current(), 1);  // the first disk is in
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((*drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    ASSERT_FALSE(drive->prompts().empty());
    EXPECT_EQ(drive->prompts().front(), (Prompt{3, 0}));  // the last disk, for the directory
    drive->clearPrompts();
    fsys::create_directories(s / "out");
    ASSERT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "*.*", nullptr, "-D"), 0);
    Ax4ZipClose(&h);
    expectExtracted(s / "out");
    std::vector<Prompt> expected;
    for (int n = 1; n <= disks; ++n) expected.push_back({1, n});
    EXPECT_EQ(drive->prompts(), expected);
}

TEST_F(SplitSetOnDisks, AWrongDiskIsRefusedAndCancelStops) {
    // The first answer puts in disk 1 instead of the last one: the question
    // comes again.
    int answers = 0;
    drive->setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
        d.insert(++answers == 1 ? 1 : (p.code == 3 ? disks : p.disk));
        return 1;
    });
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen((*drive / "set.zip").c_str(), AX_OPEN_READ, &h), 0);
    EXPECT_EQ(drive->prompts().size(), 2u);
    // Cancel at the first disk question of the extraction.
    drive->setPolicy([](DiskDrive&, const Prompt&) -> int16_t { return 2; });
    fsys::create_directories(s / "out");
    EXPECT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "*.*", nullptr, "-D"), AX_CANCELLED);
    Ax4ZipClose(&h);
    EXPECT_FALSE(fsys::exists(s / "out/tree/noise.bin"));
}

}  // namespace
