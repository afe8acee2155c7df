// Shared by the entry writer tests: deterministic contents, the reference
// compressor and zlib's inflate, the options of one entry, and a fixture that
// writes entries into a data file and a directory file, checks each against
// its local header, and joins them into an archive.
#pragma once

#include <gtest/gtest.h>

#include <zlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/crc32.h"
#include "codec/deflate.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "common/short_names.h"
#include "common/zip_builder.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "platform/platform.h"
#include "write/entry_writer.h"
#include "zarlib32.h"

namespace zar::test::writer {

using archive::CentralRecord;
using archive::LocalHeader;
using Bytes = std::vector<uint8_t>;

inline constexpr uint16_t kDate = 0x5A21;  // 2025-01-01
inline constexpr uint16_t kTime = 0x6000;  // 12:00:00
inline constexpr uint32_t kPiece = 65520;

// Progress reports seen by the hook; a cancel is requested at report number
// `cancelAtReport` (1-based) when it is set.
inline std::vector<StatusRecord> progress;
inline size_t cancelAtReport = 0;

inline int16_t AXAPI onReport(StatusRecord r) {
    if (r.kind == static_cast<int16_t>(frame::ReportKind::Progress)) {
        progress.push_back(r);
        if (progress.size() == cancelAtReport) frame::requestCancel();
    }
    return 1;
}

inline Bytes prose(size_t n, unsigned seed = 1) {
    static const char* const kWords[] = {"zip ", "entry ", "header ", "the ", "deflate ", "archive\r\n",
                                         "of ", "data ", "\tcentral ", "record "};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < n) text += kWords[rng() % std::size(kWords)];
    text.resize(n);
    return Bytes(text.begin(), text.end());
}

inline Bytes repeated(const std::string& phrase, size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(phrase[i % phrase.size()]);
    return out;
}

inline Bytes randomBytes(size_t n, unsigned seed = 7) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// The bytes of a file from `offset` to its end.
inline Bytes readFrom(const std::string& path, uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline uint32_t crcOf(const Bytes& v) { return ~codec::crc32Update(v.data(), v.size(), 0xFFFFFFFFu); }

// The stream the compressor gives for `in` in one go.
inline Bytes referenceDeflate(const Bytes& in, uint16_t chainLimit, bool dynamic) {
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

inline Bytes inflateRaw(const Bytes& in, size_t expected) {
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
    // Shared for reading and writing, so that the test reads them back while
    // they are open (Windows keeps other readers out of an unshared file).
    void resetFiles() {
        data_ = fs::File();
        directory_ = fs::File();
        data_ = fs::File(fs::openFile((scratch / "data").c_str(), platform::kAccessReadWrite,
                                      platform::kShareReadWrite, fs::Disposition::CreateAlways, 0, true));
        directory_ = fs::File(fs::openFile((scratch / "directory").c_str(), platform::kAccessReadWrite,
                                           platform::kShareReadWrite, fs::Disposition::CreateAlways, 0, true));
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

}  // namespace zar::test::writer
