// Multi-volume sets written by the library and read back by it: every kind,
// volumes small enough that entries cross them, an entry larger than a whole
// volume, empty files, encrypted entries and a set of one volume. Every file
// comes back byte for byte, the listing says what was written, and the disks
// are asked for in the order a reader needs them.
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

enum class Medium { Fixed, Disks };

struct SetCase {
    const char* label;
    uint16_t kind;
    Medium medium;
    uint32_t volumeSize;
    const char* password;  // empty: not encrypted
};

void PrintTo(const SetCase& c, std::ostream* out) { *out << c.label; }

// Files of every size that matters against 16 KB volumes.
std::map<std::string, std::vector<uint8_t>> sampleTree() {
    std::mt19937 random(15);
    std::vector<uint8_t> noise(50000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    std::string text;
    while (text.size() < 40000) text += "the quick brown fox " + std::to_string(text.size()) + "\n";
    return {
        {"empty.txt", {}},
        {"small.txt", std::vector<uint8_t>(text.begin(), text.begin() + 200)},
        {"noise.bin", noise},  // larger than any volume, and incompressible
        {"docs/text.txt", std::vector<uint8_t>(text.begin(), text.end())},
        {"docs/tail.bin", std::vector<uint8_t>(noise.begin(), noise.begin() + 7000)},
    };
}

class MultiVolumeRoundTrip : public ::testing::TestWithParam<SetCase> {
protected:
    void SetUp() override {
        tree = sampleTree();
        for (const auto& [name, bytes] : tree) {
            fsys::create_directories(fsys::path(s / ("src/" + name)).parent_path());
            writeBytes(s / ("src/" + name), bytes);
        }
        fsys::create_directories(s / "out");
        fsys::create_directories(s / "fixed");
    }

    std::string passwordOption() const {
        const std::string password = GetParam().password;
        return password.empty() ? "" : " -S/" + password + "/";
    }

    Scratch s;
    std::map<std::string, std::vector<uint8_t>> tree;
};

TEST_P(MultiVolumeRoundTrip, EveryFileComesBack) {
    const SetCase& c = GetParam();
    std::unique_ptr<DiskDrive> drive;
    if (c.medium == Medium::Disks) drive = std::make_unique<DiskDrive>(s / "disks");
    const std::string given = c.medium == Medium::Disks ? *drive / "backup.zip" : s / "fixed/backup";

    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipCreateMV(given.c_str(), c.kind, c.volumeSize, c.volumeSize, &h), 0);
    ASSERT_EQ(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, ("-R -P" + passwordOption()).c_str()), 0);
    EXPECT_EQ(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, "-R -P"), AX_NOT_ON_THIS_KIND);
    Ax4ZipClose(&h);

    // The disks of a spanned set copied to a fixed drive under the split
    // names make a set that other tools read, and so do we.
    if (drive && c.kind == AX_KIND_SPANNED) {
        const int disks = drive->highestDisk();
        for (int n = 1; n <= disks; ++n) {
            const std::string to = n == disks ? "copy/backup.zip" : "copy/backup.z0" + std::to_string(n);
            fsys::create_directories(s / "copy");
            fsys::copy_file(drive->fileOn(n, "backup.zip"), s / to);
        }
        const std::string password = c.password;
        const auto tested = run("7z t " + (password.empty() ? std::string() : "-p" + password + " ") +
                                quote(s / "copy/backup.zip") + " 2>&1");
        EXPECT_EQ(tested.status, 0) << tested.output;
        EXPECT_EQ(Ax4QUnZip((s / "copy/backup.zip").c_str(), nullptr, "*.*", ("-T" + passwordOption()).c_str()), 0);
    }

    // A spanned set is opened on its first disk, as a user would insert it.
    std::string first = given;
    if (drive) {
        const int disks = drive->highestDisk();
        if (c.volumeSize < 100000) {
            EXPECT_GT(disks, 2);
        }
        drive->insert(1);
        drive->clearPrompts();
        if (c.kind == AX_KIND_OWN_MULTI_VOLUME) first = *drive / "backup.001";
    } else {
        first = s / "fixed/backup.001";
        if (c.kind == AX_KIND_OWN_MULTI_VOLUME) {
            EXPECT_TRUE(fsys::exists(s / "fixed/backup.004"));
        }
    }

    ASSERT_EQ(Ax4ZipOpen(first.c_str(), 1, &h), 0);
    if (drive && c.kind == AX_KIND_SPANNED && c.volumeSize < 100000) {
        ASSERT_FALSE(drive->prompts().empty());
        EXPECT_EQ(drive->prompts().front().code, 3);  // the last disk, for the directory
    }
    std::map<std::string, std::pair<uint32_t, uint32_t>> listed;  // name: size, CRC
    CDR record;
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        listed[name] = {record.unpackedSize, record.crc};
    std::map<std::string, std::pair<uint32_t, uint32_t>> written = {{"docs/", {0, 0}}};
    for (const auto& [file, bytes] : tree)
        written[file] = {static_cast<uint32_t>(bytes.size()),
                         ~AxCrc32A(bytes.data(), static_cast<uint32_t>(bytes.size()), 0xFFFFFFFFu)};
    EXPECT_EQ(listed, written);

    if (drive) drive->clearPrompts();
    ASSERT_EQ(Ax4UnZip(&h, (s / "out").c_str(), "*.*", nullptr, ("-D" + passwordOption()).c_str()), 0);
    Ax4ZipClose(&h);
    for (const auto& [file, bytes] : tree) EXPECT_EQ(readBytes(s / ("out/" + file)), bytes) << file;

    // Reading goes through the volumes in order, each asked for once.
    if (drive) {
        std::vector<Prompt> inOrder;
        for (const Prompt& p : drive->prompts()) inOrder.push_back(p);
        for (size_t i = 1; i < inOrder.size(); ++i) EXPECT_LT(inOrder[i - 1].disk, inOrder[i].disk);
        for (const Prompt& p : inOrder) EXPECT_EQ(p.code, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MultiVolumeRoundTrip,
                         ::testing::Values(SetCase{"numbered", AX_KIND_OWN_MULTI_VOLUME, Medium::Fixed, 16384, ""},
                                           SetCase{"numberedOnDisks", AX_KIND_OWN_MULTI_VOLUME, Medium::Disks, 16384, ""},
                                           SetCase{"singleFile", AX_KIND_OWN_MULTI_VOLUME_3, Medium::Fixed, 16384, ""},
                                           SetCase{"spanned", AX_KIND_SPANNED, Medium::Disks, 16384, ""},
                                           SetCase{"spannedEncrypted", AX_KIND_SPANNED, Medium::Disks, 16384, "s3cret"},
                                           SetCase{"frontDirectory", AX_KIND_FRONT_DIRECTORY, Medium::Disks, 16384, ""},
                                           SetCase{"numberedEncrypted", AX_KIND_OWN_MULTI_VOLUME, Medium::Fixed, 16384, "s3cret"},
                                           SetCase{"oneVolume", AX_KIND_SPANNED, Medium::Disks, 1000000, ""}),
                         [](const auto& info) { return std::string(info.param.label); });

// Stopping on the way: a run cancelled at a disk question, or refused before
// it starts, leaves no volume that claims to complete a set.
TEST(MultiVolumeWriting, StoppedOrRefusedRunsLeaveNoSetThatLooksWhole) {
    Scratch s;
    const auto tree = sampleTree();
    for (const auto& [name, bytes] : tree) {
        fsys::create_directories(fsys::path(s / ("src/" + name)).parent_path());
        writeBytes(s / ("src/" + name), bytes);
    }
    auto endsWithEndRecord = [](const std::vector<uint8_t>& bytes) {
        return bytes.size() >= 22 && bytes[bytes.size() - 22] == 'P' && bytes[bytes.size() - 21] == 'K' &&
               bytes[bytes.size() - 20] == 5 && bytes[bytes.size() - 19] == 6;
    };
    {
        // Cancel when the third disk is asked for.
        DiskDrive drive(s / "disks");
        drive.setPolicy([](DiskDrive& d, const Prompt& p) -> int16_t {
            if (p.disk >= 3) return 2;
            d.insert(p.disk);
            return 1;
        });
        for (uint16_t kind : {AX_KIND_SPANNED, AX_KIND_FRONT_DIRECTORY}) {
            SCOPED_TRACE(kind);
            AxHandle h = AX_NO_ARCHIVE;
            drive.insert(1);
            ASSERT_EQ(Ax4ZipCreateMV((drive / "set.zip").c_str(), kind, 16384, 16384, &h), 0);
            EXPECT_EQ(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, "-R -P"), AX_CANCELLED);
            Ax4ZipClose(&h);
            for (int n = 1; n <= 2; ++n) EXPECT_FALSE(endsWithEndRecord(readBytes(drive.fileOn(n, "set.zip")))) << n;
            if (kind == AX_KIND_FRONT_DIRECTORY) {
                // The directory that belongs at the front was never written.
                const auto first = readBytes(drive.fileOn(1, "set.zip"));
                ASSERT_GE(first.size(), 4u);
                EXPECT_FALSE(first[0] == 'P' && first[1] == 'K' && first[2] == 1 && first[3] == 2);
            }
        }
    }
    // The numbered kind writes its header last: a stopped run's first volume
    // is no set at all.
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipCreateMV((s / "num").c_str(), AX_KIND_OWN_MULTI_VOLUME, 16384, 16384, &h), 0);
    fsys::create_directories(s / "num.003");  // the third volume cannot be made
    EXPECT_NE(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, "-R -P"), 0);
    Ax4ZipClose(&h);
    uint16_t kind = 99;
    EXPECT_NE(Ax4IdentifyFile((s / "num.001").c_str(), &kind), 0);

    // Refusals before anything is written: no room for the leading bytes,
    // a front directory that does not fit the first volume.
    ASSERT_EQ(Ax4ZipCreateMV((s / "tiny").c_str(), AX_KIND_OWN_MULTI_VOLUME, 8, 16384, &h), 0);
    EXPECT_EQ(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, "-R -P"), AX_WRITE_FAILED);
    Ax4ZipClose(&h);
    ASSERT_EQ(Ax4ZipCreateMV((s / "small").c_str(), AX_KIND_OWN_MULTI_VOLUME, 100, 16384, &h), 0);
    EXPECT_EQ(Ax4Zip(&h, (s / "src/*.*").c_str(), nullptr, "-R -P"), AX_TOO_MANY);
    Ax4ZipClose(&h);
    EXPECT_EQ(fsys::file_size(s / "small.001"), 0u);
}

}  // namespace
