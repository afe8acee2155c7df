// Filling empty multi-volume sets: what lands on each volume, read back
// byte by byte without the library, for the spanned kind on a removable
// drive, the front-directory kind, the numbered front-header files and the
// single-file kind; and the runs that must be refused or that stop halfway.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "archive/handles.h"
#include "common/disk_drive.h"
#include "common/scratch.h"
#include "common/volume_sets.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using namespace zar::test;
using Prompt = DiskDrive::Prompt;

std::string noise(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) seed = seed * 1103515245u + 12345u, c = char(seed >> 24);
    return out;
}

// The data of an unencrypted entry, inflated when deflated.
std::string entryData(const SetImage& image, const SetEntry& e) {
    const uint64_t at = e.position + 30 + le16(image.joined, e.position + 26) + le16(image.joined, e.position + 28);
    const uint32_t packed = le32(e.record, 20), size = le32(e.record, 24);
    if (at + packed > image.joined.size()) return "<data cut off>";
    std::string data(reinterpret_cast<const char*>(image.joined.data() + at), packed);
    if (le16(e.record, 10) == 0) return data;
    std::string out(size, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = packed;
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = size;
    const int r = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return r == Z_STREAM_END ? out : "<bad deflate data>";
}

class VolumeSets : public ::testing::Test {
protected:
    void SetUp() override {
        tzset();
        fsys::create_directories(s / "tmp");
        fsys::create_directories(src + "/sub");
        files = {{"a.txt", std::string(700, 'a') + "\n"},
                 {"big.bin", noise(5000, 7)},
                 {"empty.txt", ""},
                 {"sub/c.txt", "in a folder\n"}};
        for (auto& [name, content] : files) writeText(src + "/" + name, content);
    }

    // Creates a set and fills it with `spec`; the handle stays open.
    int16_t makeSet(const std::string& name, uint16_t kind, uint32_t first, uint32_t next, const std::string& spec,
                    const char* options) {
        int16_t r = Ax4ZipCreateMV(name.c_str(), kind, first, next, &handle);
        if (r != 0) return r;
        return Ax4Zip(&handle, spec.c_str(), nullptr, options);
    }
    void TearDown() override { Ax4ZipClose(&handle); }

    // The volumes of a set on a fixed drive, in order.
    static std::vector<std::vector<uint8_t>> numberedVolumes(const std::string& stem) {
        std::vector<std::vector<uint8_t>> volumes;
        for (int n = 1;; ++n) {
            char digits[16];
            std::snprintf(digits, sizeof digits, ".%03d", n);
            if (!fsys::exists(stem + digits)) break;
            volumes.push_back(readBytes(stem + digits));
        }
        return volumes;
    }
    static std::vector<std::vector<uint8_t>> diskVolumes(const DiskDrive& drive, const std::string& name) {
        std::vector<std::vector<uint8_t>> volumes;
        for (int n = 1; n <= drive.highestDisk(); ++n) volumes.push_back(readBytes(drive.fileOn(n, name)));
        return volumes;
    }

    // The files `names` (default: the whole tree) are in the set once each,
    // with their exact content.
    void expectContent(const SetImage& image, bool encrypted = false, std::vector<std::string> names = {}) {
        ASSERT_EQ(image.error, "");
        if (names.empty())
            for (auto& [name, content] : files) names.push_back(name);
        std::vector<std::string> seen;
        for (const SetEntry& e : image.entries) {
            if (e.name.back() == '/') continue;
            seen.push_back(e.name);
            ASSERT_TRUE(files.count(e.name)) << e.name;
            EXPECT_EQ(le16(e.record, 8) & 1, encrypted ? 1 : 0) << e.name;
            if (encrypted) continue;
            const std::string data = entryData(image, e);
            EXPECT_TRUE(data == files.at(e.name)) << e.name << ": content differs";
            EXPECT_EQ(le32(e.record, 16), crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, names);
    }

    Scratch s;
    ScopedEnv tmp{"TMPDIR", (s / "tmp").c_str()};
    ScopedEnv tz{"TZ", "UTC0"};
    std::string src = s / "src";
    std::map<std::string, std::string> files;
    AxHandle handle = AX_NO_ARCHIVE;
};

// Every kind, with the tree split over several small volumes, stored,
// deflated and encrypted; the structure of what each kind puts where.
TEST_F(VolumeSets, EveryKindHoldsTheTreeOverItsVolumes) {
    struct Case {
        uint16_t kind;
        const char* options;
    } cases[] = {
        {kSpannedKind, "-R -P -ET"},        {kSpannedKind, "-R -P"},        {kSpannedKind, "-R -P -S/pw/"},
        {kFrontDirectoryKind, "-R -P -ET"}, {kFrontDirectoryKind, "-R -P"}, {kFrontDirectoryKind, "-R -P -.V"},
        {kFrontHeaderKind, "-R -P -ET"},    {kFrontHeaderKind, "-R -P"},    {kFrontHeaderKind, "-R -P -.V"},
        {kFrontHeaderKind, "-R -P -S/pw/"}, {kSingleFileKind, "-R -P -ET"}, {kSingleFileKind, "-R -P -.V"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " " + c.options);
        const std::string base = s / ("r" + std::to_string(++round));
        fsys::create_directories(base);
        const bool disks = c.kind == kSpannedKind || c.kind == kFrontDirectoryKind;
        std::optional<DiskDrive> drive;
        if (disks) drive.emplace(base);
        const std::string name = disks ? *drive / "set.zip" : base + "/set";
        ASSERT_EQ(makeSet(name, c.kind, 1500, 1200, src + "/*.*", c.options), 0);
        // The host's variable holds the volume the run ended on.
        zar::archive::ArchiveHandle* record = zar::archive::lookup(handle);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->file, handle);

        std::vector<std::vector<uint8_t>> volumes =
            disks ? diskVolumes(*drive, "set.zip") : numberedVolumes(base + "/set");
        const SetImage image = readSet(c.kind, volumes);
        expectContent(image, std::string(c.options).find("-S") != std::string::npos);
        EXPECT_EQ(image.entries.size(), 5u);  // four files and the folder
        const size_t count = volumes.size();
        if (c.kind == kSingleFileKind) {
            EXPECT_EQ(count, 1u);
            EXPECT_EQ(le16(volumes[0], 4), 3);
            EXPECT_GT(volumes[0].size(), 1500u);  // it went on past its first volume
            EXPECT_GT(image.entries.back().record[34], 1);  // and counted the volumes it passed
            Ax4ZipClose(&handle);
            continue;
        }
        EXPECT_GE(count, 4u);
        // No volume is larger than it was allowed to be.
        EXPECT_LE(volumes[0].size(), 1500u);
        for (size_t v = 1; v < count; ++v) EXPECT_LE(volumes[v].size(), 1200u) << v;
        if (c.kind == kSpannedKind) {
            EXPECT_TRUE(startsWith(volumes[0], 0, "PK\7\b"));
        } else if (c.kind == kFrontDirectoryKind) {
            EXPECT_TRUE(startsWith(volumes[0], 0, "PK\1\2"));
        } else {
            EXPECT_EQ(le16(volumes[0], 4), std::string(c.options).find(".V") != std::string::npos ? 2 : 1);
            EXPECT_EQ(le16(volumes[0], 6), 5);
            EXPECT_EQ(record->name, base + "/set.001");
        }
        if (disks) {
            std::vector<Prompt> asked;
            for (int n = 2; n <= int(count); ++n) asked.push_back({1, n});
            if (c.kind == kFrontDirectoryKind) asked.push_back({1, 1});  // back for the directory
            EXPECT_EQ(drive->prompts(), asked);
            for (int n = 1; n <= int(count); ++n)
                EXPECT_EQ(readText(drive->fileOn(n, ".volume-label")), "PKBACK# 00" + std::to_string(n));
        }
        Ax4ZipClose(&handle);
    }
}

TEST_F(VolumeSets, ASpannedSetThatFitsOneDiskSaysDiskZero) {
    DiskDrive drive(s.path());
    ASSERT_EQ(makeSet(drive / "one.zip", kSpannedKind, 0, 0, src + "/*.txt", ""), 0);
    const std::vector<uint8_t> bytes = readBytes(drive / "one.zip");
    ASSERT_TRUE(startsWith(bytes, 0, "PK\7\b"));
    ASSERT_TRUE(startsWith(bytes, 4, "PK\3\4"));
    const size_t end = bytes.size() - 22;
    ASSERT_TRUE(startsWith(bytes, end, "PK\5\6"));
    EXPECT_EQ(le16(bytes, end + 4), 0);
    EXPECT_EQ(le16(bytes, end + 6), 0);
    EXPECT_EQ(le16(bytes, end + 10), 2);
    EXPECT_EQ(le32(bytes, end + 16) + le32(bytes, end + 12), end);
    EXPECT_TRUE(drive.prompts().empty());
    EXPECT_EQ(readSet(kSpannedKind, {bytes}).error, "");
}

// An entry larger than the room left fills the volume to its last byte and
// goes on at the start of the next; an entry larger than a whole volume
// passes through several.
TEST_F(VolumeSets, EntriesSplitAtAnyByte) {
    for (uint16_t kind : {kSpannedKind, kFrontHeaderKind}) {
        SCOPED_TRACE(kind);
        const std::string base = s / ("k" + std::to_string(kind));
        fsys::create_directories(base);
        std::optional<DiskDrive> drive;
        if (kind == kSpannedKind) drive.emplace(base);
        const std::string name = drive ? *drive / "big.zip" : base + "/big";
        ASSERT_EQ(makeSet(name, kind, 1000, 1000, src + "/big.bin", "-ET"), 0);
        auto volumes = drive ? diskVolumes(*drive, "big.zip") : numberedVolumes(base + "/big");
        ASSERT_EQ(volumes.size(), 6u);
        for (size_t v = 0; v + 1 < volumes.size(); ++v) EXPECT_EQ(volumes[v].size(), 1000u) << v;
        const SetImage image = readSet(kind, volumes);
        ASSERT_EQ(image.error, "");
        // The local header follows the leading bytes (and the reserve) of
        // volume 1; the data runs on into volume 2 from its first byte.
        const size_t header = kind == kSpannedKind ? 4 : 12 + 46 + 7;
        EXPECT_EQ(image.entries[0].position, header);
        const std::string data = files.at("big.bin");
        const size_t onFirst = 1000 - header - 30 - 7;
        EXPECT_EQ(std::string(volumes[0].end() - onFirst, volumes[0].end()), data.substr(0, onFirst));
        EXPECT_EQ(std::string(volumes[1].begin(), volumes[1].begin() + 100), data.substr(onFirst, 100));
        expectContent(image, false, {"big.bin"});
        Ax4ZipClose(&handle);
    }
}

// After an entry that leaves fewer than 30 bytes, the next local header
// starts on a new disk of the spanned kinds, and in those last bytes of a
// front-header volume.
TEST_F(VolumeSets, TheLastFewBytesOfAVolume) {
    for (uint16_t kind : {kSpannedKind, kFrontHeaderKind}) {
        SCOPED_TRACE(kind);
        const std::string base = s / ("k" + std::to_string(kind));
        fsys::create_directories(base + "/in");
        // Two stored files "1.bin" and "2.bin"; the first leaves 10 bytes.
        const size_t lead = kind == kSpannedKind ? 4 : 12 + 2 * (46 + 5);
        const size_t firstSize = 1000 - 10 - lead - 30 - 5;
        writeText(base + "/in/1.bin", noise(firstSize, 1));
        writeText(base + "/in/2.bin", noise(50, 2));
        std::optional<DiskDrive> drive;
        if (kind == kSpannedKind) drive.emplace(base);
        const std::string name = drive ? *drive / "few.zip" : base + "/few";
        ASSERT_EQ(makeSet(name, kind, 1000, 1000, base + "/in/1.bin " + base + "/in/2.bin", "-ET"), 0);
        auto volumes = drive ? diskVolumes(*drive, "few.zip") : numberedVolumes(base + "/few");
        const SetImage image = readSet(kind, volumes);
        ASSERT_EQ(image.error, "");
        ASSERT_EQ(image.entries.size(), 2u);
        const SetEntry& second = image.entries[1];
        if (kind == kSpannedKind) {
            EXPECT_EQ(volumes[0].size(), 990u);
            EXPECT_EQ(second.disk, 1);
            EXPECT_EQ(le32(second.record, 42), 0u);
        } else {
            EXPECT_EQ(volumes[0].size(), 1000u);
            EXPECT_EQ(second.disk, 0);
            EXPECT_EQ(le32(second.record, 42), 990u);
        }
        Ax4ZipClose(&handle);
    }
}

// The directory reserved at the front holds what the entries really got:
// folders' names with their '/', the version blocks and the label entry.
TEST_F(VolumeSets, TheFrontReserveHoldsEveryBlockAndTheLabel) {
    fsys::create_directories(s / "labelled");
    writeText(s / "labelled/.volume-label", "MYDISK");
    ScopedEnv removable{"ZARLIB_REMOVABLE", (s / "labelled").c_str()};
    const fsys::path cwd = fsys::current_path();
    fsys::current_path(s / "labelled");
    for (uint16_t kind : {kFrontHeaderKind, kSingleFileKind}) {
        SCOPED_TRACE(kind);
        const std::string stem = s / ("set" + std::to_string(kind));
        const int16_t r = makeSet(stem, kind, 100000, 100000, src + "/*.*", "-R -P -.V -$");
        ASSERT_EQ(r, 0);
        const SetImage image = readSet(kind, numberedVolumes(stem));
        ASSERT_EQ(image.error, "");
        ASSERT_EQ(image.entries.size(), 6u);
        EXPECT_EQ(image.entries.back().name, "MYDISK");
        EXPECT_EQ(le32(image.entries.back().record, 38) & 0xFF, 0x08u);
        // The first entry starts right after the reserve, which was exact.
        size_t directory = 12;
        for (const SetEntry& e : image.entries) directory += 46 + 14 + e.name.size();
        EXPECT_EQ(image.entries[0].position, directory);
        Ax4ZipClose(&handle);
    }
    fsys::current_path(cwd);
}

TEST_F(VolumeSets, RefusedRunsLeaveTheFirstVolumeEmpty) {
    DiskDrive drive(s.path());
    struct Case {
        const char* name;
        uint16_t kind;
        uint32_t first;
        int16_t result;
    } cases[] = {
        {"marker", kSpannedKind, 3, -10},        // no room for the spanning marker
        {"header", kFrontHeaderKind, 11, -10},   // nor for the front header
        {"single", kSingleFileKind, 11, -10},
        {"dir", kFrontDirectoryKind, 200, -21},  // five records and their names do not fit
        {"own", kFrontHeaderKind, 250, -21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = (c.kind == kSpannedKind || c.kind == kFrontDirectoryKind) ? drive / c.name
                                                                                          : s / c.name;
        ASSERT_EQ(makeSet(name, c.kind, c.first, 1000, src + "/*.*", "-R -P"), c.result);
        ASSERT_NE(zar::archive::lookup(handle), nullptr);
        EXPECT_EQ(zar::fs::fileLength(handle), 0);
        Ax4ZipClose(&handle);
    }
    EXPECT_TRUE(drive.prompts().empty());
}

TEST_F(VolumeSets, ASetIsWrittenOnce) {
    ASSERT_EQ(makeSet(s / "once", kFrontHeaderKind, 0, 0, src + "/a.txt", ""), 0);
    EXPECT_EQ(Ax4Zip(&handle, (src + "/empty.txt").c_str(), nullptr, ""), -26);
    EXPECT_EQ(Ax4Zip(&handle, "", nullptr, "-O"), -26);
    EXPECT_EQ(readSet(kFrontHeaderKind, numberedVolumes(s / "once")).entries.size(), 1u);
    Ax4ZipClose(&handle);

    // A run that selects nothing leaves the set empty and ready.
    ASSERT_EQ(makeSet(s / "later", kFrontHeaderKind, 0, 0, src + "/*.none", ""), -7);
    EXPECT_EQ(Ax4Zip(&handle, (src + "/a.txt").c_str(), nullptr, ""), 0);
}

// -K and -O have no archive to stamp: the volumes keep the time they were
// written at.
TEST_F(VolumeSets, NoFileTimeIsSet) {
    const auto old = fsys::file_time_type::clock::now() - std::chrono::hours(24 * 3000);
    fsys::last_write_time(src + "/a.txt", old);
    for (const char* options : {"-K", "-O"}) {
        SCOPED_TRACE(options);
        const std::string stem = s / (std::string("t") + options);
        ASSERT_EQ(Ax4ZipCreateMV(stem.c_str(), kFrontHeaderKind, 0, 0, &handle), 0);
        fsys::last_write_time(stem + ".001", old);
        ASSERT_EQ(Ax4Zip(&handle, (src + "/a.txt").c_str(), nullptr, options), 0);
        Ax4ZipClose(&handle);
        EXPECT_GT(fsys::last_write_time(stem + ".001"), old + std::chrono::hours(24));
    }
}

// A run stopped halfway, by a disk prompt answered with cancel or by
// Ax4Cancel, leaves no volume that claims to finish a set: the spanned kind
// has no end record, the front kinds no directory or header at the front.
TEST_F(VolumeSets, ACancelledSetNeverLooksComplete) {
    struct Case {
        uint16_t kind;
        int cancelAtPrompt;  // 0: Ax4Cancel from a progress report
    } cases[] = {{kSpannedKind, 3}, {kFrontDirectoryKind, 3}, {kFrontDirectoryKind, 1},
                 {kFrontHeaderKind, 0}, {kSingleFileKind, 0}};
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " at " + std::to_string(c.cancelAtPrompt));
        const std::string base = s / ("c" + std::to_string(++round));
        fsys::create_directories(base);
        DiskDrive drive(base);
        int progress = 0;
        static int* progressCount;
        progressCount = &progress;
        if (c.cancelAtPrompt != 0) {
            drive.setPolicy([&](DiskDrive& d, const Prompt& p) -> int16_t {
                if (p.disk == c.cancelAtPrompt) return 2;
                d.insert(p.disk);
                return 1;
            });
        } else {
            Ax4CPrintHook([](StatusRecord r) -> int16_t {
                if (r.kind == AX_STATUS_PROGRESS && ++*progressCount == 3) Ax4Cancel();
                return 1;
            });
        }
        const bool disks = c.kind == kSpannedKind || c.kind == kFrontDirectoryKind;
        const std::string name = disks ? drive / "set.zip" : base + "/set";
        EXPECT_EQ(makeSet(name, c.kind, 1500, 1200, src + "/*.*", "-R -P -ET"), -4);
        auto volumes = disks ? diskVolumes(drive, "set.zip") : numberedVolumes(base + "/set");
        ASSERT_FALSE(volumes.empty());
        EXPECT_NE(readSet(c.kind, volumes).error, "");
        if (c.kind == kSpannedKind)
            for (auto& v : volumes) EXPECT_FALSE(v.size() >= 22 && startsWith(v, v.size() - 22, "PK\5\6"));
        else
            EXPECT_FALSE(startsWith(volumes[0], 0, "PK\1\2") || startsWith(volumes[0], 0, "AXZR"));
        // Stopped halfway, the set is not written into again. A disk that
        // never came leaves no volume open: the set is closed.
        if (c.cancelAtPrompt != 0) {
            EXPECT_EQ(handle, AX_NO_ARCHIVE);
            EXPECT_EQ(zar::archive::openArchiveCount(), 0);
        } else {
            EXPECT_EQ(Ax4Zip(&handle, (src + "/a.txt").c_str(), nullptr, ""), -26);
        }
        zar::archive::closeAllArchives();
        handle = AX_NO_ARCHIVE;
    }
}

}  // namespace
