// Creating multi-volume sets and moving between their volumes, on fixed
// drives and on a removable drive played by a directory and a shelf of disks.
#include "span/volumes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/handles.h"
#include "common/disk_drive.h"
#include "common/scratch.h"
#include "archive/volume_names.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::DiskDrive;
using zar::test::Scratch;
using zar::test::readBytes;
using zar::test::readText;
using zar::test::writeText;
using Prompt = DiskDrive::Prompt;

TEST(VolumeNames, DigitsLabelsAndNames) {
    struct Case {
        uint16_t volume;
        const char* digits;
        const char* frontHeader;
        const char* split;
    } cases[] = {
        {1, "001", "set/backup.001", "set/backup.z01"},
        {12, "012", "set/backup.012", "set/backup.z12"},
        {100, "100", "set/backup.100", "set/backup.z100"},
        {999, "999", "set/backup.999", "set/backup.z999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volume);
        EXPECT_EQ(zar::archive::volumeDigits(c.volume), c.digits);
        EXPECT_EQ(zar::archive::volumeLabel(c.volume), std::string("PKBACK# ") + c.digits);
        EXPECT_EQ(zar::archive::frontHeaderVolumeName("set/backup.001", c.volume), c.frontHeader);
        EXPECT_EQ(zar::archive::splitVolumeName("set/backup.zip", c.volume), c.split);
    }
    EXPECT_TRUE(zar::archive::labelMatches("pkback# 007", 7));
    EXPECT_FALSE(zar::archive::labelMatches("PKBACK# 007", 8));
    EXPECT_EQ(zar::archive::splitVolumeName("set.d/backup", 3), "set.d/backup.z03");
}

class CreateMultiVolume : public ::testing::Test {
protected:
    Scratch s;
};

TEST_F(CreateMultiVolume, NamesTheFirstVolumeByKind) {
    struct Case {
        const char* given;
        uint16_t kind;
        const char* made;
    } cases[] = {
        {"data", 2, "data.001"},       {"data.zip", 2, "data.001"}, {"data.001", 2, "data.001"},
        {"part.tar.gz", 10, "part.tar.001"}, {"plain", 10, "plain.001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        AxHandle handle = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipCreateMV((s / c.given).c_str(), c.kind, 1000, 1000, &handle), 0);
        ASSERT_NE(handle, AX_NO_ARCHIVE);
        zar::archive::ArchiveHandle* record = zar::archive::lookup(handle);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->volume, 1);
        EXPECT_EQ(record->volumeRoom, 1000u);
        EXPECT_TRUE(record->writable());
        Ax4ZipClose(&handle);
        EXPECT_TRUE(fsys::exists(s / c.made));
        fsys::remove(s / c.made);
    }
}

TEST_F(CreateMultiVolume, RefusesWhatItCannotMake) {
    struct Case {
        const char* name;
        uint16_t kind;
        int16_t result;
    } cases[] = {
        {"set.zip", 3, AX_NOT_REMOVABLE},  // disks are needed, and nothing is made
        {"set.zip", 4, AX_NOT_REMOVABLE},
        {"set.zip", 1, -1},
        {"set.zip", 11, -1},
        {"s*t.zip", 2, 102},
        {"missing-dir/set", 2, 105},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AxHandle handle = 123;
        EXPECT_EQ(Ax4ZipCreateMV((s / c.name).c_str(), c.kind, 0, 0, &handle), c.result);
        EXPECT_EQ(handle, AX_NO_ARCHIVE);
    }
    EXPECT_TRUE(fsys::is_empty(s.path()));
    AxHandle handle = 123;
    EXPECT_EQ(Ax4ZipCreateMV("  \t", 2, 0, 0, &handle), 102);
    EXPECT_EQ(Ax4ZipCreateMV(nullptr, 2, 0, 0, &handle), 102);
}

TEST_F(CreateMultiVolume, FreeSpaceStandsInForAMissingSize) {
    AxHandle handle = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipCreateMV((s / "free").c_str(), 2, 0, 0, &handle), 0);
    EXPECT_GT(zar::archive::lookup(handle)->volumeRoom, 0u);
    Ax4ZipClose(&handle);
}

TEST_F(CreateMultiVolume, DiskKindsLabelTheFirstDisk) {
    DiskDrive drive(s.path());
    AxHandle handle = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipCreateMV((drive / "backup").c_str(), 3, 0, 0, &handle), 0);
    Ax4ZipClose(&handle);
    EXPECT_TRUE(fsys::exists(drive / "backup.ZIP"));
    EXPECT_EQ(readText(drive / ".volume-label"), "PKBACK# 001");
    EXPECT_TRUE(drive.prompts().empty());
}

// Moving an open set from volume to volume.
class ChangeVolume : public ::testing::Test {
protected:
    zar::archive::ArchiveHandle& create(const std::string& name, uint16_t kind, uint32_t first, uint32_t next) {
        EXPECT_EQ(Ax4ZipCreateMV(name.c_str(), kind, first, next, &handle), 0);
        return *zar::archive::lookup(handle);
    }
    void TearDown() override { Ax4ZipClose(&handle); }

    Scratch s;
    AxHandle handle = AX_NO_ARCHIVE;
};

TEST_F(ChangeVolume, FrontHeaderVolumesAreNumberedFiles) {
    auto& set = create(s / "set", 2, 100, 200);
    for (uint16_t volume : {2, 12}) {
        set.volume = volume;
        ASSERT_EQ(zar::span::changeVolume(set, true), 0);
        EXPECT_EQ(set.volumeRoom, 200u);
        EXPECT_EQ(set.name, s / ("set.0" + std::to_string(volume / 10) + std::to_string(volume % 10)));
    }
    EXPECT_TRUE(fsys::exists(s / "set.002"));
    EXPECT_TRUE(fsys::exists(s / "set.012"));

    // Reading wants the volume to be there; on a fixed drive nobody is asked.
    set.volume = 2;
    EXPECT_EQ(zar::span::changeVolume(set, false), 0);
    set.volume = 3;
    EXPECT_EQ(zar::span::changeVolume(set, false), 105);
    set.volume = 1000;
    EXPECT_EQ(zar::span::changeVolume(set, true), 105);
    set.volume = 1;
    EXPECT_EQ(zar::span::changeVolume(set, false), 0);
    handle = set.file;
}

TEST_F(ChangeVolume, AVolumeWrittenAgainLosesItsOldTail) {
    auto& set = create(s / "set", 2, 100, 100);
    writeText(s / "set.002", "an older set's second volume");
    set.volume = 2;
    ASSERT_EQ(zar::span::changeVolume(set, true), 0);
    handle = set.file;
    EXPECT_EQ(fsys::file_size(s / "set.002"), 0u);
}

TEST_F(ChangeVolume, TheSingleFileKindGoesOnWhereItStopped) {
    auto& set = create(s / "one", 10, 100, 100);
    ASSERT_TRUE(zar::fs::writeAll(set.file, "12345", 5));
    set.volume = 2;
    ASSERT_EQ(zar::span::changeVolume(set, true), 0);
    handle = set.file;
    EXPECT_EQ(zar::fs::positionOf(set.file), 5);
    EXPECT_EQ(set.name, s / "one.001");
}

TEST_F(ChangeVolume, DisksAreAskedForAndTheirLabelsChecked) {
    DiskDrive drive(s.path());
    auto& set = create(drive / "backup.zip", 3, 0, 0);
    // Writing: each new disk is asked for, labelled and given the set's name.
    for (uint16_t volume : {2, 3}) {
        set.volume = volume;
        ASSERT_EQ(zar::span::changeVolume(set, true), 0);
        ASSERT_TRUE(zar::fs::writeAll(set.file, "v", 1));
    }
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{1, 2}, {1, 3}}));
    EXPECT_EQ(readText(drive.fileOn(2, ".volume-label")), "PKBACK# 002");
    EXPECT_TRUE(fsys::exists(drive.fileOn(2, "backup.zip")));

    // Reading: a disk with the wrong label is refused and the prompt repeats.
    drive.clearPrompts();
    int tries = 0;
    drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
        d.insert(++tries == 1 ? 3 : p.disk);
        return 1;
    });
    set.volume = 2;
    ASSERT_EQ(zar::span::changeVolume(set, false), 0);
    EXPECT_EQ(drive.prompts(), (std::vector<Prompt>{{1, 2}, {1, 2}}));
    EXPECT_EQ(drive.current(), 2);

    // A disk with the right label but without the file is refused as well;
    // any answer but 1 ends the change.
    drive.clearPrompts();
    fsys::remove(drive / "backup.zip");
    drive.setPolicy([&](DiskDrive&, const Prompt&) -> int16_t { return drive.prompts().size() < 3 ? 1 : 2; });
    EXPECT_EQ(zar::span::changeVolume(set, false), -4);
    EXPECT_EQ(drive.prompts().size(), 3u);
    EXPECT_EQ(set.file, zar::fs::kInvalidFile);
    handle = AX_NO_ARCHIVE;
    // The record stays in the list under its last handle; close it by name.
    zar::archive::closeAllArchives();
}

TEST_F(ChangeVolume, SplitNamesStandInForDisksOnAFixedDrive) {
    // A spanned set copied off its disks: the last volume under the set's
    // name, the others under the split names.
    writeText(s / "copy.z01", "first");
    writeText(s / "copy.zip", "last");
    zar::archive::ArchiveHandle set;
    set.kind = zar::archive::Kind::Spanned;
    set.access = zar::platform::kAccessRead;
    set.share = zar::platform::kShareRead;
    set.name = s / "copy.zip";
    set.lastVolume = 2;
    set.volume = 1;
    ASSERT_EQ(zar::span::changeVolume(set, false), 0);
    EXPECT_EQ(zar::fs::fileLength(set.file), 5);
    set.volume = 2;
    ASSERT_EQ(zar::span::changeVolume(set, false), 0);
    EXPECT_EQ(zar::fs::fileLength(set.file), 4);
    set.volume = 1;
    fsys::remove(s / "copy.z01");
    EXPECT_EQ(zar::span::changeVolume(set, false), 105);
}

}  // namespace
