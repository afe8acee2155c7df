// The entry writer: record set-up, the level table and the exact Deflate
// streams, storing when compression does not pay, text detection, names and
// private blocks, encryption, files that changed since they were listed,
// sizes past the format's reach, failures, and cancel. (Archives of written
// entries checked by independent readers: entry_writer_posix_test.cpp.)
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/crc32.h"
#include "codec/deflate.h"
#include "codec/zipcrypto.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "entry_writer_support.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "platform/platform.h"
#include "write/entry_writer.h"
#include "zarlib32.h"

namespace {

using namespace zar;
using namespace zar::test::writer;
using zar::test::shortForm;
using archive::CentralRecord;
using archive::LocalHeader;

struct LevelRow {
    uint16_t level, flagBits, chainLimit;
};
constexpr LevelRow kDeflateLevels[] = {{1, 0x0006, 8}, {2, 0x0004, 25}, {3, 0x0000, 55}, {4, 0x0002, 505}};

// The flag bits of a level; none at 0 and above 4.
uint16_t levelFlags(uint16_t level) { return level >= 1 && level <= 4 ? kDeflateLevels[level - 1].flagBits : 0; }

TEST_F(EntryWriter, InitialisesTheRecord) {
    ASSERT_TRUE(fs::writeAll(data_.get(), "0123456789", 10));
    ASSERT_TRUE(fs::seekTo(data_.get(), 3));  // the record takes the end, not the position
    fs::FileRecord file;
    file.size = 1234;
    file.attributes = 0x121;  // only the DOS attribute byte is stored
    file.date = kDate;
    file.time = kTime;
    uint8_t record[CentralRecord::kSize];
    std::memset(record, 0xAA, sizeof record);
    archive::EntryExtent extent;
    ASSERT_EQ(write::initEntryRecord(record, file, "NAME.TXT", frame::kZipPassword, data_.get(), &extent), kOk);
    EXPECT_EQ(extent.unpackedSize, 1234u);
    EXPECT_EQ(extent.localOffset, 10u);
    EXPECT_EQ(loadLe16(record + CentralRecord::kVersionMadeBy), 20);
    EXPECT_EQ(loadLe16(record + CentralRecord::kFlags), 1) << "the options carry a password";
    EXPECT_EQ(loadLe16(record + CentralRecord::kTime), kTime);
    EXPECT_EQ(loadLe16(record + CentralRecord::kDate), kDate);
    EXPECT_EQ(loadLe32(record + CentralRecord::kUnpackedSize), 1234u);
    EXPECT_EQ(loadLe16(record + CentralRecord::kNameLength), 8);
    EXPECT_EQ(loadLe16(record + CentralRecord::kExtraLength), 0);
    EXPECT_EQ(loadLe16(record + CentralRecord::kCommentLength), 0);
    EXPECT_EQ(loadLe16(record + CentralRecord::kDiskStart), 0);
    EXPECT_EQ(loadLe16(record + CentralRecord::kInternalAttributes), 0);
    EXPECT_EQ(loadLe32(record + CentralRecord::kExternalAttributes), 0x21u);
    EXPECT_EQ(loadLe32(record + CentralRecord::kLocalOffset), 10u);
    EXPECT_EQ(platform::seekFile(data_.get(), 0, platform::SeekFrom::Current), 10);

    ASSERT_EQ(write::initEntryRecord(record, file, "NAME.TXT", 0, data_.get(), &extent), kOk);
    EXPECT_EQ(loadLe16(record + CentralRecord::kFlags), 0);
    EXPECT_EQ(write::initEntryRecord(record, file, "NAME.TXT", 0, fs::kInvalidFile, &extent), kAccessDenied);
}

// Levels 1 to 4 give exactly the compressor's stream for their chain limit,
// with fixed codes below 97 bytes and dynamic codes from there on.
TEST_F(EntryWriter, DeflateLevelsGiveTheCompressorsStream) {
    for (size_t size : {40u, 96u, 97u, 5000u, 150000u}) {
        // Short prose does not deflate; a repeated phrase does at any length.
        const Bytes content =
            size < 1000 ? repeated("zip entry header, ", size) : prose(size, static_cast<unsigned>(size));
        for (const LevelRow& row : kDeflateLevels) {
            SCOPED_TRACE(testing::Message() << "size " << size << " level " << row.level);
            Options o;
            o.level = row.level;
            Written w = writeFile("f" + std::to_string(size), content, o);
            ASSERT_EQ(w.result, kOk);
            EXPECT_EQ(w.method(), 8);
            EXPECT_EQ(w.version(), 20);
            EXPECT_EQ(w.flags(), row.flagBits);
            EXPECT_EQ(w.unpacked(), size);
            EXPECT_EQ(w.crc(), crcOf(content));
            EXPECT_TRUE(w.text());
            EXPECT_EQ(w.data, referenceDeflate(content, row.chainLimit, size >= 97));
            EXPECT_EQ(inflateRaw(w.data, size), content);
        }
    }
    Written stored = writeFile("stored", prose(5000), Options().at(0));
    ASSERT_EQ(stored.result, kOk);
    EXPECT_EQ(stored.method(), 0);
    EXPECT_EQ(stored.version(), 10);
    EXPECT_EQ(stored.flags(), 0);
    EXPECT_EQ(stored.data, prose(5000));
}

// Storing instead: files under 6 bytes, data that deflates to its own size or
// more. The level's flag bits stay; nothing of the attempt stays behind.
TEST_F(EntryWriter, StoredWhenDeflatingDoesNotPay) {
    struct Case {
        const char* what;
        Bytes content;
        uint16_t level;
        uint16_t method;
    } cases[] = {
        {"5 bytes", bytesOf("abcde"), 1, 0},
        {"5 bytes", bytesOf("abcde"), 2, 0},
        {"5 bytes", bytesOf("abcde"), 3, 0},
        {"5 bytes", bytesOf("aaaaa"), 4, 0},
        {"6 bytes that deflate to 4", bytesOf("aaaaaa"), 3, 8},
        {"deflates to its own size", bytesOf("abcabcdefghij"), 1, 0},
        {"random bytes", randomBytes(200000), 4, 0},
        {"random bytes, one piece", randomBytes(1000), 2, 0},
    };
    // The equal-size case depends on the stream being exactly as long.
    ASSERT_EQ(referenceDeflate(bytesOf("abcabcdefghij"), 8, false).size(), 13u);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " at level " << c.level);
        resetFiles();
        progress.clear();
        Options o;
        o.level = c.level;
        Written w = writeFile("in", c.content, o);
        ASSERT_EQ(w.result, kOk);
        EXPECT_EQ(w.method(), c.method);
        EXPECT_EQ(w.version(), c.method == 0 ? 10 : 20);
        EXPECT_EQ(w.flags(), levelFlags(c.level));
        EXPECT_EQ(w.crc(), crcOf(c.content));
        if (c.method == 0) EXPECT_EQ(w.data, c.content);
        else EXPECT_EQ(inflateRaw(w.data, c.content.size()), c.content);
        // The stored run after a given-up attempt reports its own method.
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(+progress.back().method, c.method == 0 ? 0 : c.level);
        EXPECT_EQ(+progress.back().doneBytes, c.content.size());
    }
}

TEST_F(EntryWriter, EmptyFiles) {
    for (uint16_t level : {0, 3, 4, 7, 9}) {
        for (std::string password : {"", "secret"}) {
            SCOPED_TRACE(testing::Message() << "level " << level << " password '" << password << "'");
            progress.clear();
            Written w = writeFile("empty", {}, Options().at(level).with(password));
            ASSERT_EQ(w.result, kOk);
            EXPECT_EQ(w.crc(), 0u);
            EXPECT_EQ(w.unpacked(), 0u);
            EXPECT_EQ(w.packed(), password.empty() ? 0u : 12u);
            EXPECT_EQ(w.method(), 0);
            EXPECT_EQ(w.version(), 10);
            EXPECT_EQ(w.flags() & 1, password.empty() ? 0 : 1);
            EXPECT_TRUE(w.text()) << "an empty file counts as text";
            EXPECT_TRUE(progress.empty()) << "nothing to report for an empty file";
        }
    }
}

// Progress before every piece and once at the end; a file of exactly one
// piece is finished with a second, empty one.
TEST_F(EntryWriter, ProgressPerPiece) {
    struct Case {
        uint32_t size;
        std::vector<uint32_t> done;
    } cases[] = {
        {100, {0, 100}},
        {kPiece, {0, kPiece, kPiece}},
        {kPiece + 1, {0, kPiece, kPiece + 1}},
        {2 * kPiece, {0, kPiece, 2 * kPiece}},
        {200000, {0, kPiece, 2 * kPiece, 3 * kPiece, 200000}},
    };
    for (const Case& c : cases) {
        const Bytes content = prose(c.size, c.size);
        for (uint16_t level : {0, 3}) {
            SCOPED_TRACE(testing::Message() << c.size << " bytes at level " << level);
            progress.clear();
            Written w = writeFile("in", content, Options().at(level));
            ASSERT_EQ(w.result, kOk);
            EXPECT_EQ(w.method(), level == 0 ? 0 : 8);
            EXPECT_EQ(w.crc(), crcOf(content));
            EXPECT_EQ(level == 0 ? w.data : inflateRaw(w.data, c.size), content);
            std::vector<uint32_t> done;
            for (const StatusRecord& r : progress) {
                done.push_back(+r.doneBytes);
                EXPECT_EQ(+r.totalBytes, c.size);
                EXPECT_EQ(+r.method, level);
            }
            EXPECT_EQ(done, c.done);
        }
    }
}

TEST_F(EntryWriter, TextDetection) {
    Bytes late = prose(100000);
    late[70000] = 0x80;  // in the second piece
    struct Case {
        const char* what;
        Bytes content;
        bool text;
    } cases[] = {
        {"text with tab, CR, LF, VT, FF", bytesOf("line\tone\r\n\v\fend~ "), true},
        {"Ctrl-Z at the end", bytesOf("text\x1A"), true},
        {"single 0x80", {0x80}, false},
        {"single 0x00", {0x00}, false},
        {"DEL", bytesOf("abc\x7F"), false},
        {"backspace", bytesOf("abc\x08"), false},
        {"0x0E", bytesOf("abc\x0E"), false},
        {"0x1F", bytesOf("abc\x1F"), false},
        {"long text", prose(100000), true},
        {"non-text byte in the second piece", late, false},
    };
    for (const Case& c : cases) {
        for (uint16_t level : {0, 3}) {
            SCOPED_TRACE(testing::Message() << c.what << " at level " << level);
            Written w = writeFile("in", c.content, Options().at(level));
            ASSERT_EQ(w.result, kOk);
            EXPECT_EQ(w.text(), c.text);
        }
    }
}

// Levels 5 to 9 have no method: a file with data fails, while an empty file,
// a directory and the label are written. Above 9 nothing is written at all.
TEST_F(EntryWriter, LevelsWithoutAMethod) {
    for (uint16_t level = 5; level <= 9; ++level) {
        SCOPED_TRACE(level);
        EXPECT_EQ(writeFile("full", bytesOf("some data"), Options().at(level)).result, kUnknownMethod);
        resetFiles();
        Written empty = writeFile("empty", {}, Options().at(level));
        ASSERT_EQ(empty.result, kOk);
        EXPECT_EQ(empty.method(), 0);
        EXPECT_EQ(empty.flags(), 0);
        Written dir = write(directoryRecord("SUB/"), Options().at(level));
        ASSERT_EQ(dir.result, kOk);
        EXPECT_EQ(dir.version(), 11);
    }
    resetFiles();
    for (uint16_t level : {10, 255, 65535}) {
        EXPECT_EQ(writeFile("empty", {}, Options().at(level)).result, kUnknownMethod);
        EXPECT_EQ(write(directoryRecord("SUB/"), Options().at(level)).result, kUnknownMethod);
    }
    EXPECT_TRUE(test::readBytes(scratch / "data").empty());
    EXPECT_TRUE(test::readBytes(scratch / "directory").empty());
}

TEST_F(EntryWriter, DirectoriesAndTheLabelHaveNoData) {
    struct Case {
        fs::FileRecord record;
        Options options;
        std::string stored;
    } cases[] = {
        {directoryRecord("Sub\\Dir/"), Options().at(1), shortForm("Sub/Dir/")},
        {directoryRecord("Sub/Dir/"), Options().at(4).names(true, true), "Sub/Dir/"},
        {directoryRecord("Sub/"), Options().at(0).with("pw"), shortForm("Sub/")},
        {directoryRecord("Backup 01", platform::kAttrVolumeLabel), Options().at(3), shortForm("Backup 01")},
        // The label names no file: with long names it keeps its form and
        // no short form is looked for.
        {directoryRecord("Backup 01", platform::kAttrVolumeLabel), Options().at(3).names(true, false), "Backup 01"},
        {directoryRecord("Backup 01", platform::kAttrVolumeLabel), Options().at(2).with("pw"), shortForm("Backup 01")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        progress.clear();
        Written w = write(c.record, c.options);
        ASSERT_EQ(w.result, kOk);
        EXPECT_EQ(w.name, c.stored);
        EXPECT_EQ(w.method(), 0);
        EXPECT_EQ(w.version(), 11);
        EXPECT_EQ(w.crc(), 0u);
        EXPECT_EQ(w.unpacked(), 0u);
        EXPECT_FALSE(w.text());
        const bool encrypted = !c.options.password.empty();
        EXPECT_EQ(w.packed(), encrypted ? 12u : 0u);
        EXPECT_EQ(w.flags(), levelFlags(c.options.level) | (encrypted ? 1 : 0));
        EXPECT_EQ(w.u32(CentralRecord::kExternalAttributes), c.record.attributes);
        EXPECT_TRUE(progress.empty());
        if (encrypted) {
            Bytes header = w.data;
            codec::sharedKeys().init(reinterpret_cast<const uint8_t*>("pw"), 2);
            codec::sharedKeys().decrypt(header.data(), header.size());
            EXPECT_EQ(header[10], 0);
            EXPECT_EQ(header[11], 0) << "check bytes of CRC 0";
        }
    }
}

// The encryption header carries the CRC's top bytes; the data after it
// decrypts to exactly what an unencrypted entry holds, across pieces.
TEST_F(EntryWriter, EncryptedData) {
    struct Case {
        Bytes content;
        uint16_t level;
    } cases[] = {{prose(150000), 0}, {prose(150000), 3}, {randomBytes(140000), 1}, {bytesOf("tiny"), 4}};
    const std::string password = "pass word";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.content.size() << " bytes at level " << c.level);
        resetFiles();
        Written plain = writeFile("in", c.content, Options().at(c.level));
        ASSERT_EQ(plain.result, kOk);
        Written w = writeFile("in", c.content, Options().at(c.level).with(password));
        ASSERT_EQ(w.result, kOk);
        EXPECT_EQ(w.flags(), plain.flags() | 1);
        EXPECT_EQ(w.method(), plain.method());
        EXPECT_EQ(w.crc(), crcOf(c.content));
        EXPECT_EQ(w.packed(), plain.packed() + 12);
        Bytes bytes = w.data;
        codec::sharedKeys().init(reinterpret_cast<const uint8_t*>(password.data()), password.size());
        codec::sharedKeys().decrypt(bytes.data(), bytes.size());
        EXPECT_EQ(bytes[10], static_cast<uint8_t>(w.crc() >> 16));
        EXPECT_EQ(bytes[11], static_cast<uint8_t>(w.crc() >> 24));
        EXPECT_TRUE(std::equal(bytes.begin() + 12, bytes.end(), plain.data.begin(), plain.data.end()));
    }
}

// The 8.3 form the file system gives the last parts of `disk`, as many as
// `name` has, joined by '/'; `name` itself where it keeps no 8.3 names.
std::string systemShortForm(const std::string& disk, const std::string& name) {
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD n = ::GetShortPathNameA(disk.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return name;
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = buffer;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            parts.push_back(part);
            part.clear();
            if (*p == '\0') break;
        } else {
            part += *p;
        }
    }
    const size_t wanted = static_cast<size_t>(std::count(name.begin(), name.end(), '/')) + 1;
    std::string out;
    for (size_t i = parts.size() - std::min(wanted, parts.size()); i < parts.size(); ++i)
        out += (out.empty() ? "" : "/") + parts[i];
    return out;
#else
    (void)disk;
    return name;
#endif
}

TEST_F(EntryWriter, NameForms) {
    listed("Dir/Sub/Long File Name.txt", bytesOf("content"));
    const std::string disk = scratch / "Dir/Sub/Long File Name.txt";
    struct Case {
        std::string stored;
        bool longNames, asIs;
        std::string expected;
    } cases[] = {
        // Without long names the name is taken as listed, not respelt from the disk.
        {"Dir\\Sub/Long File Name.txt", false, false, shortForm("Dir/Sub/Long File Name.txt")},
        {"dir/sub/long file NAME.txt", false, false, shortForm("dir/sub/long file NAME.txt")},
        {"Dir\\Sub/Long File Name.txt", true, true, "Dir/Sub/Long File Name.txt"},
        {"dir/sub/long file NAME.txt", true, true, "dir/sub/long file NAME.txt"},
        // Long names alone take the file system's spelling. Without 8.3
        // names the short form is the same, so no long-name block is added;
        // with them (Windows) the header holds the short form and the block
        // the long name.
        {"Dir/Sub/Long File Name.txt", true, false, "Dir/Sub/Long File Name.txt"},
        {"dir/sub/long file name.TXT", true, false, "Dir/Sub/Long File Name.txt"},
        {"Sub\\Long File Name.txt", true, false, "Sub/Long File Name.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        fs::FileRecord file = listed("Dir/Sub/Long File Name.txt", bytesOf("content"));
        file.storedName = c.stored;
        Written w = write(file, Options().names(c.longNames, c.asIs));
        ASSERT_EQ(w.result, kOk);
        const std::string shortName = c.longNames && !c.asIs ? systemShortForm(disk, c.expected) : c.expected;
        EXPECT_EQ(w.name, shortName);
        if (shortName == c.expected) {
            EXPECT_TRUE(w.extra.empty());
        } else {
            // "KW", the size of what follows, "Zr", the long name.
            const std::string block = std::string("KW") + static_cast<char>(c.expected.size() + 2) + '\0' + "Zr" +
                                      c.expected;
            EXPECT_EQ(w.extra, bytesOf(block));
        }
    }

    fs::FileRecord missing = listed("gone.txt", bytesOf("x"));
    std::filesystem::remove(missing.fullPath);
    EXPECT_EQ(write(missing, Options().names(true, false)).result, kDirectoryFailed);
    EXPECT_EQ(write(missing).result, kAccessDenied);

    fs::FileRecord tooLong = listed("short", bytesOf("x"));
    tooLong.storedName = std::string(261, 'n');
    EXPECT_EQ(write(tooLong).result, kTooLong);
    tooLong.storedName = std::string(260, 'n');
    EXPECT_EQ(write(tooLong).result, kOk);
}

TEST_F(EntryWriter, VersionBlock) {
    const Bytes expected = {'K', 'W', 10, 0, 'Z', 'R', 0, 0, 0, 0, 0, 0, 0, 0};
    Written file = writeFile("prog.exe", prose(300), Options().versioned());
    ASSERT_EQ(file.result, kOk);
    EXPECT_EQ(file.extra, expected) << "no version resource: eight zero bytes";
    EXPECT_EQ(file.u16(CentralRecord::kExtraLength), 14);
    Written dir = write(directoryRecord("SUB/"), Options().with("pw").versioned());
    ASSERT_EQ(dir.result, kOk);
    EXPECT_EQ(dir.extra, expected);
    EXPECT_EQ(dir.packed(), 12u);
}

// Exactly the listed size is written: a file that shrank fails, a file that
// grew gives an entry of its first bytes whose sizes and CRC agree.
TEST_F(EntryWriter, FilesThatChangedSinceListing) {
    const Bytes content = prose(200000);
    for (uint16_t level : {0, 3}) {
        SCOPED_TRACE(level);
        for (uint32_t now : {600u, 100000u}) {
            fs::FileRecord file = listed("shrunk", content);
            test::writeBytes(file.fullPath, Bytes(content.begin(), content.begin() + now));
            progress.clear();
            EXPECT_EQ(write(file, Options().at(level)).result, kShortRead) << now;
            ASSERT_FALSE(progress.empty());
            EXPECT_EQ(+progress.back().doneBytes, content.size()) << "the final report is made";
        }
        resetFiles();
        for (uint32_t then : {0u, 1000u, 70000u}) {
            fs::FileRecord file = listed("grown", content);
            file.size = then;
            const Bytes head(content.begin(), content.begin() + then);
            Written w = write(file, Options().at(level));
            ASSERT_EQ(w.result, kOk) << then;
            EXPECT_EQ(w.unpacked(), then);
            EXPECT_EQ(w.crc(), crcOf(head));
            EXPECT_EQ(level == 0 || then == 0 ? w.data : inflateRaw(w.data, then), head);
        }
    }
}

// The file list records 0 for files of 2 GB or more, and offsets are 32-bit:
// neither may turn into a silently wrong entry.
// Offsets past 32 bits go into a Zip64 block of the central record, which
// then needs version 4.5; an entry may end past 4 GiB when it starts before.
TEST_F(EntryWriter, OffsetsPastFourGibibytes) {
    fs::FileRecord small = listed("small", prose(1000));
    struct Case {
        uint64_t start;
        bool zip64;
    } cases[] = {{0xFFFFF000ull, false}, {0xFFFFFF00ull, false}, {0xFFFFFFFFull, true}, {0x100000001ull, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        resetFiles();
        std::filesystem::resize_file(scratch / "data", c.start);  // sparse
        Written w = write(small, Options().at(0));
        ASSERT_EQ(w.result, kOk);
        EXPECT_EQ(w.extent.localOffset, c.start);
        EXPECT_EQ(w.version(), c.zip64 ? 45 : 10);
        if (c.zip64) {
            ASSERT_GE(w.extra.size(), 12u);
            EXPECT_EQ(loadLe16(w.extra.data()), archive::kTagZip64);
            EXPECT_EQ(loadLe16(w.extra.data() + 2), 8);
            EXPECT_EQ(loadLe64(w.extra.data() + 4), c.start);
        } else {
            EXPECT_EQ(w.u32(CentralRecord::kLocalOffset), c.start);
            EXPECT_TRUE(w.extra.empty());
        }
    }
    std::filesystem::resize_file(scratch / "data", 0);
}

// Fails the n-th platform call of one kind, for n = 1, 2, ... until the entry
// gets written: every failure must end the entry with an expected code.
void sweep(platform::Fault kind, const std::set<Result>& allowed, size_t atLeast,
           const std::function<Result(Options)>& attempt) {
    size_t failures = 0;
    bool written = false;
    for (int n = 1; n <= 100 && !written; ++n) {
        Options o;
        o.fault = kind;
        o.faultAt = n;
        Result r = attempt(o);
        written = r == kOk;
        if (!written) ++failures;
        EXPECT_TRUE(written || allowed.count(r)) << "call " << n << " gave " << r;
    }
    EXPECT_TRUE(written) << "once the fault lies past the last call the entry is written";
    EXPECT_GE(failures, atLeast);
}

TEST_F(EntryWriter, PlatformFailures) {
    listed("random", randomBytes(150000));  // deflated, given up and stored
    listed("prose", prose(150000));
    struct Case {
        const char* what;
        const char* file;
        uint16_t level;
        std::string password;
        platform::Fault kind;
        std::set<Result> allowed;
        size_t atLeast;
    } cases[] = {
        {"writes", "random", 3, "", platform::Fault::Write, {kWriteFailed}, 8},
        {"writes, encrypted", "prose", 0, "pw", platform::Fault::Write, {kWriteFailed, kAccessDenied}, 9},
        {"reads", "random", 3, "", platform::Fault::Read, {kShortRead}, 6},
        {"reads, encrypted", "prose", 0, "pw", platform::Fault::Read, {kShortRead}, 6},
        {"seeks", "random", 3, "", platform::Fault::Seek, {kAccessDenied}, 6},
        {"seeks, encrypted", "prose", 1, "pw", platform::Fault::Seek, {kAccessDenied}, 6},
        {"allocations", "random", 3, "", platform::Fault::Allocate, {kNoMemory}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sweep(c.kind, c.allowed, c.atLeast, [&](Options o) {
            resetFiles();
            o.level = c.level;
            o.password = c.password;
            fs::FileRecord file = listed(c.file, test::readBytes(scratch / c.file));
            return write(file, o).result;
        });
    }
    // A directory's entry is one write and its central record another.
    sweep(platform::Fault::Write, {kWriteFailed, kAccessDenied}, 2, [&](Options o) {
        resetFiles();
        o.password = "pw";
        return write(directoryRecord("SUB/"), o).result;
    });
}

TEST_F(EntryWriter, CancelFromTheProgressHook) {
    struct Case {
        size_t at;
        uint16_t level;
        Bytes content;
    } cases[] = {{1, 3, prose(200000)}, {2, 3, prose(200000)}, {3, 0, prose(200000)},
                 {2, 4, randomBytes(100000)}, {4, 4, randomBytes(100000)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "report " << c.at << " level " << c.level);
        progress.clear();
        cancelAtReport = c.at;
        EXPECT_EQ(writeFile("in", c.content, Options().at(c.level)).result, kCancelled);
        EXPECT_FALSE(frame::cancelPending()) << "the flag is cleared";
        EXPECT_EQ(progress.size(), c.at + 1) << "one final report after the cancel";
        EXPECT_EQ(+progress.back().doneBytes, c.content.size());
    }
}

}  // namespace
