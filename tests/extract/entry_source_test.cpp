// Where an entry's data is read from when entries are read ahead a window at a
// time: small entries in order come from memory, one read for many; an entry
// that does not fit, or whose local header is longer than its central record
// lets one guess, is read from the archive file instead; either way the bytes
// are the entry's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/handles.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "extract/entry_source.h"
#include "fs/file_io.h"

namespace {

using namespace zar;
using archive::CentralRecord;
using archive::LocalHeader;

struct Laid {
    std::string name;
    uint16_t localExtra;  // bytes of local extra field; the central record claims none
    uint32_t size;
    bool held;            // expected to come from the window
};

// An archive of `bytes` at `path`, open for reading as a ZIP archive.
archive::ArchiveHandle zipOf(const std::string& path, const std::vector<uint8_t>& bytes) {
    test::writeBytes(path, bytes);
    archive::ArchiveHandle archive;
    archive.kind = archive::Kind::Zip;
    archive.file = fs::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead,
                                fs::Disposition::OpenExisting, 0, false);
    return archive;
}

TEST(EntrySource, ReadsAheadAWindowAtATime) {
    constexpr uint32_t kWindow = extract::EntrySource::kWindowSize;
    const std::vector<Laid> entries = {
        {"a", 0, 100, true},
        {"b", 0, 0, true},
        {"c", 0, 5000, true},
        {"big", 0, kWindow + 1, false},  // never fits
        {"d", 0, 70000, true},           // a new window starts here
        {"e", 4000, 10, true},           // the longer local header still fits
        {"f", 1000, kWindow - 100, false},  // the guess fits a new window, the entry does not
        {"g", 0, 1, true},
        {"h", 60000, 100, true},        // in g's window, its long local header too
        {"i", 60000, 150000, false},    // its guess fits g's window, its local header pushes it past
        {"j", 0, 10, true},
    };
    // The archive: local headers, extra fields and data, back to back.
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> offsets;
    std::vector<std::vector<uint8_t>> data;
    uint32_t seed = 1;
    for (const Laid& e : entries) {
        offsets.push_back(bytes.size());
        uint8_t local[LocalHeader::kSize] = {};
        storeLe32(local + LocalHeader::kSignature, archive::kLocalSignature);
        storeLe16(local + LocalHeader::kNameLength, static_cast<uint16_t>(e.name.size()));
        storeLe16(local + LocalHeader::kExtraLength, e.localExtra);
        bytes.insert(bytes.end(), local, local + sizeof local);
        bytes.insert(bytes.end(), e.name.begin(), e.name.end());
        bytes.insert(bytes.end(), e.localExtra, 0xEE);
        data.emplace_back();
        for (uint32_t i = 0; i < e.size; ++i) {
            seed = seed * 1103515245 + 12345;
            data.back().push_back(static_cast<uint8_t>(seed >> 16));
        }
        bytes.insert(bytes.end(), data.back().begin(), data.back().end());
    }
    test::Scratch s;
    archive::ArchiveHandle archive = zipOf(s / "a.zip", bytes);
    ASSERT_NE(archive.file, fs::kInvalidFile);
    for (const bool readAhead : {true, false}) {
        extract::EntrySource source(readAhead);
        for (size_t k = 0; k < entries.size(); ++k) {
            const Laid& e = entries[k];
            SCOPED_TRACE(e.name + (readAhead ? ", read ahead" : ", from the file"));
            uint8_t record[CentralRecord::kSize] = {};
            storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(e.name.size()));
            const archive::EntryExtent extent{e.size, e.size, offsets[k]};
            ASSERT_EQ(source.locate(archive, record, extent), kOk);
            EXPECT_EQ(source.held() != nullptr, readAhead && e.held);
            std::vector<uint8_t> got(e.size);
            ASSERT_TRUE(e.size == 0 || source.read(got.data(), e.size));
            EXPECT_EQ(got, data[k]);
            uint8_t past;
            if (source.held() != nullptr) {
                EXPECT_FALSE(source.read(&past, 1));  // no byte past the entry
            }
        }
    }
    fs::closeFile(archive.file);
}

// A local header that names lengths past the end of the file, or a window
// cut short by the end of the file, is read from the file, which then reports
// the short read.
TEST(EntrySource, HeadersThatPointPastTheEnd) {
    std::vector<uint8_t> bytes(LocalHeader::kSize + 10, 0);
    storeLe32(bytes.data(), archive::kLocalSignature);
    storeLe16(bytes.data() + LocalHeader::kExtraLength, 0xFFFF);
    test::Scratch s;
    archive::ArchiveHandle archive = zipOf(s / "a.zip", bytes);
    extract::EntrySource source(true);
    uint8_t record[CentralRecord::kSize] = {};
    for (const uint64_t packed : {uint64_t{5}, uint64_t{100}}) {
        const archive::EntryExtent extent{packed, packed, 0};
        ASSERT_EQ(source.locate(archive, record, extent), kOk);
        EXPECT_EQ(source.held(), nullptr);
        uint8_t buffer[100];
        EXPECT_FALSE(source.read(buffer, static_cast<uint32_t>(packed)));
    }
    fs::closeFile(archive.file);
}

}  // namespace
