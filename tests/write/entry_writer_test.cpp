// The entry writer: record set-up, the level table and the exact Deflate
// streams, storing when compression does not pay, text detection, names and
// private blocks, encryption, files that changed since they were listed,
// sizes past the format's reach, failures, cancel, and archives of written
// entries checked by Info-ZIP unzip, Python's zipfile, 7z and bsdtar.
#include <gtest/gtest.h>

#include <zlib.h>

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
#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "platform/platform.h"
#include "write/entry_writer.h"
#include "zarlib32.h"

namespace {

using namespace zar;
using archive::CentralRecord;
using archive::LocalHeader;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kDate = 0x5A21;  // 2025-01-01
constexpr uint16_t kTime = 0x6000;  // 12:00:00
constexpr uint32_t kPiece = 65520;

// Progress reports seen by the hook; a cancel is requested at report number
// `cancelAtReport` (1-based) when it is set.
std::vector<StatusRecord> progress;
size_t cancelAtReport = 0;

int16_t AXAPI onReport(StatusRecord r) {
    if (r.kind == static_cast<int16_t>(frame::ReportKind::Progress)) {
        progress.push_back(r);
        if (progress.size() == cancelAtReport) frame::requestCancel();
    }
    return 1;
}

Bytes prose(size_t n, unsigned seed = 1) {
    static const char* const kWords[] = {"zip ", "entry ", "header ", "the ", "deflate ", "archive\r\n",
                                         "of ", "data ", "\tcentral ", "record "};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < n) text += kWords[rng() % std::size(kWords)];
    text.resize(n);
    return Bytes(text.begin(), text.end());
}

Bytes repeated(const std::string& phrase, size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(phrase[i % phrase.size()]);
    return out;
}

Bytes randomBytes(size_t n, unsigned seed = 7) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// The bytes of a file from `offset` to its end.
Bytes readFrom(const std::string& path, uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A name as stored without long names: upper-cased where the file system
// ignores case (its 8.3 names are upper case), as given where case tells
// names apart (there a file's short name is its name).
std::string shortForm(std::string name) {
    if (platform::namesIgnoreCase())
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

uint32_t crcOf(const Bytes& v) { return ~codec::crc32Update(v.data(), v.size(), 0xFFFFFFFFu); }

// The stream the compressor gives for `in` in one go.
Bytes referenceDeflate(const Bytes& in, uint16_t chainLimit, bool dynamic) {
    Bytes work(codec::kDeflateMainSize + codec::kDeflateChainSize + codec::kDeflateTokenSize);
    codec::DeflateBuffers buffers{work.data(), work.data() + codec::kDeflateMainSize,
                                  work.data() + codec::kDeflateMainSize + codec::kDeflateChainSize};
    codec::initDeflate(buffers);
    Bytes out(in.size() + in.size() / 4 + 1024);
    size_t taken = 0, made = 0;
    for (;;) {
        codec::DeflateIo io{in.data() + taken, static_cast<uint32_t>(in.size() - taken), out.data() + made,
                            static_cast<uint32_t>(out.size() - made)};
        auto status = codec::runDeflate(buffers, chainLimit, dynamic, true, io);
        taken += io.inputCount;
        made += io.outputCount;
        if (status == codec::DeflateStatus::kDone) break;
    }
    out.resize(made);
    return out;
}

Bytes inflateRaw(const Bytes& in, size_t expected) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expected + 1);
    z.next_in = const_cast<uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "nothing follows the stream";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

struct Options {
    uint16_t level = 3;
    std::string password;
    bool longNames = false, asIs = false, versionBlock = false;
    uint32_t flags = 0;
    // Arms a fault right before the record is initialised and disarms it
    // when the writer returns.
    platform::Fault fault = platform::Fault::Write;
    int faultAt = 0;

    Options& at(uint16_t l) {
        level = l;
        return *this;
    }
    Options& with(std::string p) {
        password = std::move(p);
        return *this;
    }
    Options& names(bool longNamesOn, bool asIsOn) {
        longNames = longNamesOn;
        asIs = asIsOn;
        return *this;
    }
    Options& versioned() {
        versionBlock = true;
        return *this;
    }
};

// One entry as the writer left it, with its bytes read back.
struct Written {
    Result result = kOk;
    uint8_t record[CentralRecord::kSize] = {};
    std::string name;
    Bytes extra;
    Bytes data;  // the bytes after the local header, of the record's compressed size
    archive::EntryExtent extent;  // the sizes and offset at their full width

    uint16_t u16(size_t at) const { return loadLe16(record + at); }
    uint32_t u32(size_t at) const { return loadLe32(record + at); }
    uint16_t method() const { return u16(CentralRecord::kMethod); }
    uint16_t version() const { return u16(CentralRecord::kVersionNeeded); }
    uint16_t flags() const { return u16(CentralRecord::kFlags); }
    uint32_t crc() const { return u32(CentralRecord::kCrc); }
    uint32_t packed() const { return u32(CentralRecord::kPackedSize); }
    uint32_t unpacked() const { return u32(CentralRecord::kUnpackedSize); }
    bool text() const { return u16(CentralRecord::kInternalAttributes) & 1; }
};

class EntryWriter : public ::testing::Test {
protected:
    void SetUp() override {
        progress.clear();
        cancelAtReport = 0;
        Ax4SetCPrint(1);
        Ax4CPrintHook(onReport);
        resetFiles();
    }
    void TearDown() override {
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        frame::takeCancel();
        for (auto kind : {platform::Fault::Read, platform::Fault::Write, platform::Fault::Seek,
                          platform::Fault::Allocate})
            platform::failNthCall(kind, 0);
    }

    // Fresh, empty data and directory files.
    void resetFiles() {
        data_ = fs::File(fs::openFile((scratch / "data").c_str(), platform::kAccessReadWrite, 0,
                                      fs::Disposition::CreateAlways, 0, true));
        directory_ = fs::File(fs::openFile((scratch / "directory").c_str(), platform::kAccessReadWrite, 0,
                                           fs::Disposition::CreateAlways, 0, true));
        ASSERT_TRUE(data_.valid() && directory_.valid());
        count_ = 0;
    }

    // A file of `bytes` under the scratch directory, listed as the file list
    // would list it now.
    fs::FileRecord listed(const std::string& relative, const Bytes& bytes) {
        std::filesystem::create_directories(std::filesystem::path(scratch / relative).parent_path());
        test::writeBytes(scratch / relative, bytes);
        fs::FileRecord file;
        file.size = static_cast<uint32_t>(bytes.size());
        file.attributes = platform::kAttrArchive;
        file.date = kDate;
        file.time = kTime;
        file.storedName = relative;
        file.fullPath = scratch / relative;
        return file;
    }
    fs::FileRecord directoryRecord(const std::string& storedName, uint32_t attributes = platform::kAttrDirectory) {
        fs::FileRecord dir;
        dir.attributes = attributes;
        dir.date = kDate;
        dir.time = kTime;
        dir.storedName = storedName;
        dir.fullPath = scratch / "no such directory";  // nothing is opened for it
        return dir;
    }

    Written write(const fs::FileRecord& file, const Options& o = {}) {
        Written w;
        std::string stored = file.storedName;
        uint8_t extra[archive::kCommentLimit];
        const int64_t directoryBefore = platform::fileSize(directory_.get());
        if (o.faultAt != 0) platform::failNthCall(o.fault, o.faultAt);
        archive::EntryExtent extent;
        w.result = write::initEntryRecord(w.record, file, stored, o.flags, data_.get(), &extent);
        if (w.result == kOk) {
            write::EntryRequest request;
            request.level = o.level;
            request.diskPath = file.fullPath;
            request.dataFile = data_.get();
            request.directoryFile = directory_.get();
            request.record = w.record;
            request.extent = &extent;
            request.storedName = &stored;
            request.extra = extra;
            request.password = o.password;
            request.versionBlock = o.versionBlock;
            request.longNames = o.longNames;
            request.longNamesAsIs = o.asIs;
            w.result = write::writeEntry(request);
        }
        if (o.faultAt != 0) platform::failNthCall(o.fault, 0);
        if (w.result != kOk) return w;
        ++count_;
        w.name = stored;
        w.extent = extent;
        w.extra.assign(extra, extra + w.u16(CentralRecord::kExtraLength));
        checkWritten(w, directoryBefore);
        return w;
    }

    Written writeFile(const std::string& name, const Bytes& bytes, const Options& o = {}) {
        return write(listed(name, bytes), o);
    }

    // What every written entry must satisfy: the local header repeats the
    // central record (but for the central Zip64 block of an offset past
    // 4 GiB), the data ends the data file (which is positioned there), and
    // the central record went to the directory file.
    void checkWritten(Written& w, int64_t directoryBefore) {
        const uint64_t offset = w.extent.localOffset;
        const bool farOffset = w.u32(CentralRecord::kLocalOffset) == archive::kAllOnes32;
        EXPECT_EQ(farOffset, offset >= archive::kAllOnes32);
        const Bytes localExtra(w.extra.begin() + (farOffset ? 12 : 0), w.extra.end());
        const Bytes all = readFrom(scratch / "data", offset);
        ASSERT_GE(all.size(), LocalHeader::kSize);
        const uint8_t* local = all.data();
        EXPECT_EQ(loadLe32(local), archive::kLocalSignature);
        const std::pair<size_t, size_t> same16[] = {{LocalHeader::kVersionNeeded, CentralRecord::kVersionNeeded},
                                                    {LocalHeader::kFlags, CentralRecord::kFlags},
                                                    {LocalHeader::kMethod, CentralRecord::kMethod},
                                                    {LocalHeader::kTime, CentralRecord::kTime},
                                                    {LocalHeader::kDate, CentralRecord::kDate},
                                                    {LocalHeader::kNameLength, CentralRecord::kNameLength}};
        for (auto [l, c] : same16) EXPECT_EQ(loadLe16(local + l), w.u16(c)) << "local field " << l;
        EXPECT_EQ(loadLe16(local + LocalHeader::kExtraLength), localExtra.size());
        const std::pair<size_t, size_t> same32[] = {{LocalHeader::kCrc, CentralRecord::kCrc},
                                                    {LocalHeader::kPackedSize, CentralRecord::kPackedSize},
                                                    {LocalHeader::kUnpackedSize, CentralRecord::kUnpackedSize}};
        for (auto [l, c] : same32) EXPECT_EQ(loadLe32(local + l), w.u32(c)) << "local field " << l;
        EXPECT_EQ(w.u16(CentralRecord::kNameLength), w.name.size());
        EXPECT_EQ(w.u16(CentralRecord::kVersionMadeBy), 20);
        EXPECT_EQ(w.u16(CentralRecord::kTime), kTime);
        EXPECT_EQ(w.u16(CentralRecord::kDate), kDate);
        EXPECT_EQ(w.flags() & 0xFFF8, 0) << "no data descriptor, nothing unexpected";

        const size_t dataStart = LocalHeader::kSize + w.name.size() + localExtra.size();
        ASSERT_EQ(all.size(), dataStart + w.packed()) << "nothing behind the entry's data";
        EXPECT_EQ(std::string(local + LocalHeader::kSize, local + LocalHeader::kSize + w.name.size()), w.name);
        EXPECT_EQ(Bytes(all.begin() + LocalHeader::kSize + w.name.size(), all.begin() + dataStart), localExtra);
        w.data.assign(all.begin() + dataStart, all.end());
        EXPECT_EQ(platform::seekFile(data_.get(), 0, platform::SeekFrom::Current),
                  static_cast<int64_t>(offset + all.size()));

        const Bytes directory = test::readBytes(scratch / "directory");
        ASSERT_EQ(directory.size(), directoryBefore + CentralRecord::kSize + w.name.size() + w.extra.size());
        const uint8_t* central = directory.data() + directoryBefore;
        EXPECT_EQ(loadLe32(central), archive::kCentralSignature);
        EXPECT_TRUE(std::equal(central + 4, central + CentralRecord::kSize, w.record + 4));
    }

    // The data file, the directory and an end record, as one archive.
    std::string assemble(const std::string& name) {
        Bytes bytes = test::readBytes(scratch / "data");
        const Bytes directory = test::readBytes(scratch / "directory");
        const auto directoryStart = static_cast<uint32_t>(bytes.size());
        bytes.insert(bytes.end(), directory.begin(), directory.end());
        test::put32(bytes, archive::kEndSignature);
        test::put16(bytes, 0);
        test::put16(bytes, 0);
        test::put16(bytes, count_);
        test::put16(bytes, count_);
        test::put32(bytes, static_cast<uint32_t>(directory.size()));
        test::put32(bytes, directoryStart);
        test::put16(bytes, 0);
        test::writeBytes(scratch / name, bytes);
        return scratch / name;
    }

    test::Scratch scratch;
    fs::File data_, directory_;
    uint16_t count_ = 0;
};

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
        // Long names alone take the file system's spelling; without 8.3
        // names the short form is the same, so no long-name block is added.
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
        EXPECT_EQ(w.name, c.expected);
        EXPECT_TRUE(w.extra.empty());
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

// A complete archive of written entries: every independent reader accepts
// it, and the encrypted entries extract to the original bytes.
TEST_F(EntryWriter, ArchiveOfWrittenEntriesPassesIndependentTools) {
    const std::string password = "open sesame";
    struct Item {
        std::string name;
        Bytes content;
        Options options;
    };
    const Options asIs = Options().names(true, true);  // names stored as given
    std::vector<Item> items = {
        {"stored.txt", prose(3000, 1), Options(asIs).at(0)},
        {"level1.txt", prose(80000, 2), Options(asIs).at(1)},
        {"level2.txt", prose(70000, 3), Options(asIs).at(2)},
        {"level3.txt", prose(65520, 4), Options(asIs).at(3)},
        {"level4.txt", prose(140000, 5), Options(asIs).at(4).versioned()},
        {"small.txt", prose(50, 6), Options(asIs).at(3)},
        {"random.bin", randomBytes(70000), Options(asIs).at(3)},
        {"empty.txt", {}, asIs},
        {"sub/inner.txt", prose(2000, 7), asIs},
        {"secret-deflated.txt", prose(90000, 8), Options(asIs).at(3).with(password)},
        {"secret-stored.bin", randomBytes(66000, 9), Options(asIs).at(4).with(password)},
        {"secret-level1.txt", prose(300, 10), Options(asIs).at(1).with(password)},
        {"secret-empty.txt", {}, Options(asIs).at(2).with(password)},
        {"Short-Form.txt", prose(100, 11), Options().at(2)},  // without long names
        // Stored, yet with the deflate setting's flag bits of level 1.
        {"tiny.txt", bytesOf("tiny\n"), Options(asIs).at(1)},
    };
    for (const Item& item : items) {
        ASSERT_EQ(writeFile("src/" + item.name, item.content, item.options).result, kOk) << item.name;
    }
    ASSERT_EQ(write(directoryRecord("src/emptydir/"), Options(asIs).at(4)).result, kOk);
    ASSERT_EQ(write(directoryRecord("src/lockeddir/"), Options(asIs).with(password)).result, kOk);
    const std::string zip = assemble("out.zip");
    using test::quote;

    auto unzipTest = test::run("unzip -t -P " + quote(password) + " " + quote(zip) + " 2>&1");
    EXPECT_EQ(unzipTest.status, 0) << unzipTest.output;
    EXPECT_NE(unzipTest.output.find("No errors detected"), std::string::npos) << unzipTest.output;

    const std::string py = "import sys, zipfile\n"
                           "z = zipfile.ZipFile(sys.argv[1])\n"
                           "z.setpassword(sys.argv[2].encode())\n"
                           "bad = z.testzip()\n"
                           "print('bad', bad) if bad else print('ok', len(z.infolist()))\n";
    test::writeText(scratch / "check.py", py);
    auto python = test::run("python3 " + quote(scratch / "check.py") + " " + quote(zip) + " " + quote(password) +
                            " 2>&1");
    EXPECT_EQ(python.status, 0) << python.output;
    EXPECT_EQ(python.output, "ok " + std::to_string(items.size() + 2) + "\n");

    auto sevenZip = test::run("7z t -bd -p" + quote(password) + " " + quote(zip) + " 2>&1");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find("Everything is Ok"), std::string::npos) << sevenZip.output;

    auto bsdtar = test::run("bsdtar -tf " + quote(zip) + " 2>&1");
    EXPECT_EQ(bsdtar.status, 0) << bsdtar.output;
    for (const Item& item : items) {
        const std::string listedName = item.options.longNames ? "src/" + item.name : shortForm("src/" + item.name);
        EXPECT_NE(bsdtar.output.find(listedName + "\n"), std::string::npos) << listedName << "\n" << bsdtar.output;
    }
    // bsdtar reads the entries through their local headers: those must
    // carry the real sizes.
    auto bsdtarRead = test::run("bsdtar -xOf " + quote(zip) + " src/level1.txt | cksum");
    auto expected = test::run("cksum < " + quote(scratch / "src/level1.txt"));
    EXPECT_EQ(bsdtarRead.output, expected.output);

    const std::string out = scratch / "extracted";
    auto extract = test::run("unzip -q -P " + quote(password) + " " + quote(zip) + " -d " + quote(out) + " 2>&1");
    ASSERT_EQ(extract.status, 0) << extract.output;
    for (const Item& item : items) {
        const std::string name = item.options.longNames ? "src/" + item.name : shortForm("src/" + item.name);
        EXPECT_EQ(test::readBytes(out + "/" + name), item.content) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(out + "/src/emptydir"));
}

}  // namespace
