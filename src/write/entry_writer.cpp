// The entry writer: level table, names and private extra blocks, the
// compression loop with its fall-back to storing, encryption in place, and the
// local header that is patched once the sizes are known.
#include "write/entry_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/handles.h"
#include "archive/extra_field.h"
#include "archive/name_coding.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/crc32.h"
#include "codec/deflate.h"
#include "codec/zipcrypto.h"
#include "common/bytes.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/long_names.h"
#include "fs/names.h"

namespace zar::write {
namespace {

using archive::CentralRecord;
using archive::LocalHeader;

// Files are read in pieces of this size, and output is collected in a buffer
// of the same size; both are the shared work buffers while an archive is open.
constexpr uint32_t kPieceSize = archive::kWorkBufferSize;
// The output buffer is written out once it holds this much.
constexpr uint32_t kFlushAt = 65420;
// Room of the output buffer that is never offered to the compressor.
constexpr uint32_t kOutputSlack = 16;
// Files shorter than this are stored at every level: deflating cannot win.
constexpr uint32_t kStoreBelow = 6;
// From this size on, blocks use dynamic codes; shorter files the fixed codes.
constexpr uint32_t kDynamicFrom = 97;
// A size or offset from this value on lives in the entry's Zip64 block.
constexpr uint64_t kZip64From = archive::kAllOnes32;
// The local header of a file at least this large carries a Zip64 block: its
// data, stored or deflated and with an encryption header, may reach 4 GiB.
constexpr uint64_t kZip64LocalFrom = kZip64From - codec::kEncryptionHeaderSize;

using archive::kFlagEncrypted;
using archive::kMethodDeflated;
using archive::kMethodStored;
using archive::kVersionDeflated;
using archive::kVersionStored;

// Version 2.0 on DOS; on Unix for a file that has a Unix mode.
constexpr uint16_t kMadeBy = archive::versionMadeBy(archive::HostSystem::Dos, kVersionDeflated);
constexpr uint16_t kMadeByUnix = archive::versionMadeBy(archive::HostSystem::Unix, kVersionDeflated);

struct Level {
    uint16_t method, versionNeeded, flagBits, chainLimit;
};

// Levels 0 to 4; levels 5 to 9 have no method and take row 0 for the entries
// that need none.
constexpr uint16_t deflateFlags(uint16_t setting) { return archive::methodOptionFlags(setting); }

constexpr Level kLevels[] = {
    {kMethodStored, kVersionStored, 0, 0},
    {kMethodDeflated, kVersionDeflated, deflateFlags(archive::kDeflateSuperFast), 8},
    {kMethodDeflated, kVersionDeflated, deflateFlags(archive::kDeflateFast), 25},
    {kMethodDeflated, kVersionDeflated, deflateFlags(archive::kDeflateNormal), 55},
    {kMethodDeflated, kVersionDeflated, deflateFlags(archive::kDeflateMaximum), 505},
};
constexpr uint16_t kHighestMethodLevel = 4;
static_assert(std::size(kLevels) == kHighestMethodLevel + 1);

// A 32-bit value stored most significant byte first, as file versions are.
constexpr uint32_t loadBe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

constexpr bool isTextByte(uint8_t b) { return (b >= 9 && b <= 13) || b == 26 || (b >= 32 && b <= 126); }

// Pieces are read into the first work buffer and output collected in the second.
using PieceBuffers = archive::WorkBuffers;

// One run over the file from its start: reports, reads, the CRC and the
// text test (first run only), the method, and the writes of the output. A
// file shorter than a piece is read once and kept in the first buffer, so a
// second run reads nothing again. The output goes to the data file, or, when
// `memory` is given, is collected there. The deflate work area is the
// caller's when `deflateWork` is given, otherwise one of each run's own.
class Compressor {
public:
    Compressor(fs::FileHandle file, fs::FileHandle dataFile, uint64_t size, PieceBuffers& buffers,
               PackReports& reports, std::vector<uint8_t>* memory, uint8_t* deflateWork)
        : file_(file), dataFile_(dataFile), size_(size), buffers_(buffers), reports_(reports), memory_(memory),
          deflateWork_(deflateWork), keepInput_(size < kPieceSize) {}

    Result run(uint16_t level);

    bool ran() const { return ran_; }
    uint64_t packed() const { return packed_; }
    uint32_t crc() const { return ~running_; }
    bool text() const { return text_; }
    // True when a second run needs neither the file nor the data file rewound.
    bool keepsInput() const { return keepInput_; }
    // Forgets the output of the last run; the CRC and the text test stand.
    void restart() {
        packed_ = 0;
        firstRun_ = false;
        if (memory_ != nullptr) memory_->clear();
    }

private:
    Result feed(uint16_t level, const codec::DeflateBuffers& deflate, const uint8_t* piece, uint32_t count,
                bool last, bool* finished);
    Result put(const uint8_t* bytes, uint32_t count) {
        if (count == 0) return kOk;
        if (memory_ != nullptr) {
            memory_->insert(memory_->end(), bytes, bytes + count);
            return kOk;
        }
        return fs::writeAll(dataFile_, bytes, count) ? kOk : kWriteFailed;
    }
    Result flush() {
        const Result r = put(buffers_.second(), fill_);
        fill_ = 0;
        return r;
    }

    fs::FileHandle file_, dataFile_;
    uint64_t size_;
    PieceBuffers& buffers_;
    PackReports& reports_;
    std::vector<uint8_t>* memory_;
    uint8_t* deflateWork_;
    const bool keepInput_;
    bool loaded_ = false;  // the whole file is in the first buffer
    uint32_t running_ = 0xFFFFFFFFu;
    uint64_t packed_ = 0;
    uint32_t fill_ = 0;
    bool text_ = true;
    bool firstRun_ = true;
    bool ran_ = false;
};

Result Compressor::run(uint16_t level) {
    reports_.start(level, size_);

    fs::Block own;
    codec::DeflateBuffers deflate{};
    if (level > kHighestMethodLevel) return kUnknownMethod;
    if (level != 0) {
        uint8_t* work = deflateWork_;
        if (work == nullptr) {
            own = fs::allocateBlock(kDeflateWorkSize);
            if (!own) return kNoMemory;
            work = own.get();
        }
        deflate = {work, work + codec::kDeflateMainSize, work + codec::kDeflateMainSize + codec::kDeflateChainSize};
        codec::initDeflate(deflate);
    }

    ran_ = true;
    fill_ = 0;
    uint64_t remaining = size_;
    // A file of exactly one piece is finished by a second, empty one.
    bool last = size_ < kPieceSize;
    for (bool finished = false; !finished;) {
        // The host cancels through the flag, not the answer to the report.
        if (!reports_.piece(size_ - remaining)) return kCancelled;

        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPieceSize));
        uint8_t* piece = buffers_.first();
        if (count != 0 && !loaded_ && !fs::readExact(file_, piece, count)) return kShortRead;
        loaded_ = keepInput_;
        if (firstRun_) {
            if (text_) text_ = std::all_of(piece, piece + count, isTextByte);
            running_ = codec::crc32Update(piece, count, running_);
        }
        Result r = feed(level, deflate, piece, count, last, &finished);
        if (r != kOk) return r;
        remaining -= count;
        last = remaining <= kPieceSize;
    }
    return kOk;
}

Result Compressor::feed(uint16_t level, const codec::DeflateBuffers& deflate, const uint8_t* piece,
                        uint32_t count, bool last, bool* finished) {
    if (level == 0) {
        // Stored pieces go out as they are; every piece but the last is whole.
        if (Result r = put(piece, count); r != kOk) return r;
        packed_ += count;
        *finished = last;
        return reports_.block() ? kOk : kCancelled;
    }

    const uint16_t chainLimit = kLevels[level].chainLimit;
    const bool dynamic = size_ >= kDynamicFrom;
    for (uint32_t at = 0;;) {
        codec::DeflateIo io{piece + at, count - at, buffers_.second() + fill_, kPieceSize - fill_ - kOutputSlack};
        *finished = codec::runDeflate(deflate, chainLimit, dynamic, last, io) == codec::DeflateStatus::kDone;
        at += io.inputCount;
        fill_ += io.outputCount;
        packed_ += io.outputCount;
        // The fill stays below kFlushAt between calls, so every call is
        // offered room and makes progress.
        if (*finished || fill_ >= kFlushAt) {
            Result r = flush();
            if (r != kOk) return r;
        }
        if (!reports_.block()) return kCancelled;
        if (*finished || (at == count && !last)) return kOk;
    }
}

// Reports to the host as the run goes.
class HostReports final : public PackReports {
public:
    void start(uint16_t level, uint64_t size) override {
        frame::status().method = level;
        frame::setEntrySizes(size, 0);
        frame::setDoneBytes(0);
    }
    bool piece(uint64_t done) override {
        frame::setDoneBytes(done);
        frame::progress();
        return !frame::cancelPending();
    }
    bool block() override {
        frame::yield();
        return !frame::cancelPending();
    }
};

// The runs over one file: the first at the level asked, and, when deflating
// does not pay, a second that stores the file. `packed->level` is the level
// asked on entry and the one used on return. The data file is rewound for
// the second run and left at the end of the stored data (`memory` empty), or
// the output is collected in `memory`.
Result runPacking(fs::FileHandle file, fs::FileHandle dataFile, std::vector<uint8_t>* memory,
                  PieceBuffers& buffers, uint8_t* deflateWork, PackReports& reports, Packed* packed,
                  bool* gaveUp) {
    const uint64_t size = packed->size;
    uint16_t& level = packed->level;
    if (size == 0) {
        level = 0;  // nothing is read, written or reported
        return kOk;
    }
    if (level <= kHighestMethodLevel && size < kStoreBelow) level = 0;
    Compressor compressor(file, dataFile, size, buffers, reports, memory, deflateWork);
    // Where a second run starts again, unless the first kept all it needs.
    const int64_t dataStart = memory != nullptr ? 0 : fs::positionOf(dataFile);
    const int64_t fileStart = compressor.keepsInput() ? 0 : fs::positionOf(file);
    if (dataStart < 0 || fileStart < 0) return kAccessDenied;
    Result result = compressor.run(level);
    // Deflating that does not pay is given up: the file is stored instead.
    if (result == kOk && (compressor.packed() > size || (compressor.packed() == size && level != 0))) {
        level = 0;
        *gaveUp = true;
        compressor.restart();
        const bool rewound = (memory != nullptr || fs::seekTo(dataFile, dataStart)) &&
                             (compressor.keepsInput() || fs::seekTo(file, fileStart));
        result = rewound ? compressor.run(0) : kAccessDenied;
    }
    packed->ran = compressor.ran();
    if (result == kOk) {
        packed->packedSize = compressor.packed();
        packed->crc = compressor.crc();
        packed->text = compressor.text();
    }
    return result;
}

// The entry's closing report, once a run has started, and the cancel flag
// taken: kCancelled when it was set, `result` otherwise.
Result closeReports(const Packed& packed, Result result) {
    if (packed.ran) {
        frame::setDoneBytes(packed.size);
        frame::progress();
    }
    return frame::takeCancel() ? kCancelled : result;
}

// Encrypts `count` bytes of the data file in place, from `at` on, with the
// shared keys as the header left them.
Result encryptInPlace(fs::FileHandle dataFile, int64_t at, uint64_t count) {
    PieceBuffers buffers;
    Result r = buffers.acquire();
    if (r != kOk) return r;
    if (!fs::seekTo(dataFile, at)) return kAccessDenied;
    while (count != 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kPieceSize));
        if (!fs::readExact(dataFile, buffers.first(), n)) return kShortRead;
        if (!fs::seekTo(dataFile, at)) return kAccessDenied;
        codec::sharedKeys().encrypt(buffers.first(), n);
        if (!fs::writeAll(dataFile, buffers.first(), n)) return kAccessDenied;
        at += n;
        count -= n;
    }
    return kOk;
}

// The encrypted 12-byte header of an entry of CRC `crc`, with the keys freshly
// started from the password; the keys then continue over the data.
void makeEncryptedHeader(uint8_t* header, uint32_t crc, std::string_view password) {
    const auto millisecond = static_cast<uint16_t>(platform::currentFileTime() / 10000 % 1000);
    codec::makeEncryptionHeader(header, crc, millisecond);
    codec::sharedKeys().init(reinterpret_cast<const uint8_t*>(password.data()), password.size());
    codec::sharedKeys().encrypt(header, codec::kEncryptionHeaderSize);
}

// Writes that header at `at`.
Result writeEncryptionHeader(fs::FileHandle dataFile, int64_t at, uint32_t crc, std::string_view password) {
    uint8_t header[codec::kEncryptionHeaderSize];
    makeEncryptedHeader(header, crc, password);
    if (!fs::seekTo(dataFile, at)) return kAccessDenied;
    if (!fs::writeAll(dataFile, header, sizeof header)) return kAccessDenied;
    return kOk;
}

// The local header that goes with an entry record.
void localHeaderOf(const uint8_t* record, uint8_t* header) {
    std::memset(header, 0, LocalHeader::kSize);
    std::memcpy(header + LocalHeader::kVersionNeeded, record + CentralRecord::kVersionNeeded, 2);
    std::memcpy(header + LocalHeader::kFlags, record + CentralRecord::kFlags, 2);
    std::memcpy(header + LocalHeader::kMethod, record + CentralRecord::kMethod, 2);
    std::memcpy(header + LocalHeader::kTime, record + CentralRecord::kTime, 2);
    std::memcpy(header + LocalHeader::kDate, record + CentralRecord::kDate, 2);
    std::memcpy(header + LocalHeader::kCrc, record + CentralRecord::kCrc, 4);
    std::memcpy(header + LocalHeader::kPackedSize, record + CentralRecord::kPackedSize, 4);
    std::memcpy(header + LocalHeader::kUnpackedSize, record + CentralRecord::kUnpackedSize, 4);
    std::memcpy(header + LocalHeader::kNameLength, record + CentralRecord::kNameLength, 2);
    std::memcpy(header + LocalHeader::kExtraLength, record + CentralRecord::kExtraLength, 2);
}

// Appends a private extra block to the extra field.
void appendBlock(uint8_t* extra, uint16_t* length, const std::vector<uint8_t>& block) {
    std::memcpy(extra + *length, block.data(), block.size());
    *length = static_cast<uint16_t>(*length + block.size());
}

// The central record's Zip64 block: the values its 32-bit fields cannot hold,
// which then hold all ones. Empty when everything fits.
std::vector<uint8_t> centralZip64Block(uint8_t* record, const archive::EntryExtent& extent) {
    std::vector<uint64_t> values;
    const std::pair<uint64_t, size_t> fields[] = {{extent.unpackedSize, CentralRecord::kUnpackedSize},
                                                  {extent.packedSize, CentralRecord::kPackedSize},
                                                  {extent.localOffset, CentralRecord::kLocalOffset}};
    for (const auto& [value, field] : fields) {
        if (value < kZip64From) {
            storeLe32(record + field, static_cast<uint32_t>(value));
        } else {
            storeLe32(record + field, archive::kAllOnes32);
            values.push_back(value);
        }
    }
    return values.empty() ? std::vector<uint8_t>{} : archive::zip64Block(values);
}

// The name as stored without long names where names ignore case: upper-cased
// in the host's code page, as the 8.3 names are. Where case tells names apart
// a file's short name is its name, and "a.txt" and "A.TXT" must stay two
// entries, so names keep their case there.
void shortNameCase(std::string* name) {
    if (!platform::namesIgnoreCase()) return;
    platform::oemToAnsi(name->data());
    platform::upperCase(name->data());
    platform::ansiToOem(name->data());
}

}  // namespace

namespace {

// writeLocalHeader, with `data` after the header in the same write.
Result writeLocalEntry(fs::FileHandle file, uint8_t* header, std::string_view name, const uint8_t* extra,
                       const std::vector<uint8_t>& data) {
    if (name.size() > 0xFFFF) return kTooLong;
    storeLe32(header + LocalHeader::kSignature, archive::kLocalSignature);
    storeLe16(header + LocalHeader::kNameLength, static_cast<uint16_t>(name.size()));
    const uint16_t extraLength = loadLe16(header + LocalHeader::kExtraLength);
    std::vector<uint8_t> bytes(header, header + LocalHeader::kSize);
    bytes.reserve(LocalHeader::kSize + name.size() + extraLength + data.size());
    bytes.insert(bytes.end(), name.begin(), name.end());
    if (extraLength != 0) bytes.insert(bytes.end(), extra, extra + extraLength);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return fs::writeAll(file, bytes.data(), static_cast<uint32_t>(bytes.size())) ? kOk : kWriteFailed;
}

}  // namespace

Result writeLocalHeader(fs::FileHandle file, uint8_t* header, std::string_view name, const uint8_t* extra) {
    return writeLocalEntry(file, header, name, extra, {});
}

Result initEntryRecord(uint8_t* record, const fs::FileRecord& file, const std::string& storedName,
                       uint32_t optionFlags, fs::FileHandle dataFile, archive::EntryExtent* extent) {
    const int64_t end = fs::seekToEnd(dataFile);
    if (end < 0) return kAccessDenied;
    *extent = {0, file.size, static_cast<uint64_t>(end)};
    std::memset(record, 0, CentralRecord::kSize);
    // A file with a Unix mode is recorded as peers record it: made on Unix,
    // the mode in the upper 16 bits of the external attributes and the DOS
    // attribute byte kept in the low byte.
    const bool unixMode = file.mode != 0;
    storeLe16(record + CentralRecord::kVersionMadeBy, unixMode ? kMadeByUnix : kMadeBy);
    storeLe16(record + CentralRecord::kFlags, optionFlags & frame::kZipPassword ? kFlagEncrypted : 0);
    storeLe16(record + CentralRecord::kTime, file.time);
    storeLe16(record + CentralRecord::kDate, file.date);
    storeLe32(record + CentralRecord::kUnpackedSize,
              static_cast<uint32_t>(std::min<uint64_t>(file.size, archive::kAllOnes32)));
    // writeEntry sets the final length; a name too long for the field fails there.
    storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(std::min<size_t>(storedName.size(), 0xFFFF)));
    storeLe32(record + CentralRecord::kExternalAttributes,
              (unixMode ? (file.mode & 0xFFFF) << 16 : 0) | (file.attributes & archive::kDosAttributeMask));
    storeLe32(record + CentralRecord::kLocalOffset,
              static_cast<uint32_t>(std::min<uint64_t>(extent->localOffset, archive::kAllOnes32)));
    return kOk;
}

namespace {

// compressFile, its output collected in `memory` when that is given (the data
// file is then not touched), on the calling thread with the shared buffers.
Result compress(fs::FileHandle file, fs::FileHandle dataFile, std::vector<uint8_t>* memory, Packed* packed) {
    bool gaveUp = false;
    Result result = kOk;
    if (packed->size != 0) {
        PieceBuffers buffers;
        result = buffers.acquire();
        if (result == kOk)
            result = runPacking(file, dataFile, memory, buffers, nullptr, hostReports(), packed, &gaveUp);
    } else {
        packed->level = 0;
    }
    result = closeReports(*packed, result);
    // Cuts off what a given-up attempt wrote beyond the stored data.
    if (result == kOk && gaveUp && memory == nullptr && !fs::truncateHere(dataFile)) result = kAccessDenied;
    return result;
}

}  // namespace

PackReports& hostReports() {
    static HostReports reports;
    return reports;
}

Result packFile(fs::FileHandle file, archive::WorkBuffers& buffers, uint8_t* deflateWork, PackReports& reports,
                Packed* packed) {
    packed->opened = true;
    bool gaveUp = false;
    return runPacking(file, fs::kInvalidFile, &packed->data, buffers, deflateWork, reports, packed, &gaveUp);
}

Result compressFile(fs::FileHandle file, fs::FileHandle dataFile, uint64_t size, uint16_t* level,
                    uint64_t* packedSize, uint32_t* crc, bool* text) {
    Packed packed;
    packed.size = size;
    packed.level = *level;
    const Result r = compress(file, dataFile, nullptr, &packed);
    *level = packed.level;
    *packedSize = r == kOk ? packed.packedSize : 0;
    *crc = r == kOk ? packed.crc : 0;
    *text = r == kOk ? packed.text : true;
    return r;
}

Result writeEntry(const EntryRequest& request) {
    uint8_t* record = request.record;
    archive::EntryExtent& extent = *request.extent;
    std::string& name = *request.storedName;
    if (request.level > kHighestLevel) return kUnknownMethod;
    const Level& level = kLevels[request.level <= kHighestMethodLevel ? request.level : 0];
    const bool encrypted = !request.password.empty();
    const uint32_t attributes = loadLe32(record + CentralRecord::kExternalAttributes);
    const bool label = attributes & archive::kDosVolumeLabel;
    const bool noData = label || (attributes & archive::kDosDirectory);

    storeLe16(record + CentralRecord::kMethod, level.method);
    storeLe16(record + CentralRecord::kVersionNeeded, level.versionNeeded);
    uint16_t flags = loadLe16(record + CentralRecord::kFlags) & ~(archive::kFlagMethodOptions | kFlagEncrypted);
    flags |= level.flagBits | (encrypted ? kFlagEncrypted : 0);
    storeLe16(record + CentralRecord::kFlags, flags);

    std::replace(name.begin(), name.end(), '\\', '/');
    // Readers know a directory entry by the '/' that ends its name.
    if ((attributes & archive::kDosDirectory) && !name.empty() && name.back() != '/') name += '/';
    uint16_t extraLength = 0;
    if (request.versionBlock) {
        uint8_t version[archive::kVersionBytes] = {};
        // A file without a version resource stores zeros; that is no error.
        if (!platform::fileVersion(fs::ansiForm(request.diskPath).c_str(), version))
            std::memset(version, 0, sizeof version);
        appendBlock(request.extra, &extraLength,
                    archive::versionBlock(loadBe32(version), loadBe32(version + 4)));
    }

    if (!request.longNames) {
        shortNameCase(&name);
    } else if (!request.longNamesAsIs && !label) {
        // The label names no file, so it has no short form to look up.
        std::string shortName;
        Result r = fs::shortNameForm(request.diskPath, &name, &shortName);
        if (r != kOk) return r;
        if (name.size() > archive::kNameLimit) return kTooLong;
        if (!name.empty() && name != shortName) {
            appendBlock(request.extra, &extraLength, archive::longNameBlock(name));
            name = std::move(shortName);
        }
    }
    if (name.size() > archive::kNameLimit) return kTooLong;
    // Other readers take a name without the flag for code page 437.
    if (archive::takesUtf8Flag(name)) storeLe16(record + CentralRecord::kFlags, flags | archive::kFlagUtf8);
    storeLe16(record + CentralRecord::kNameLength, static_cast<uint16_t>(name.size()));

    // A file that may reach 4 GiB has its sizes in a Zip64 block of the local
    // header, whose length is known before the data is; an entry that starts
    // past 4 GiB has its offset in one of the central record.
    const std::vector<uint8_t> privateBlocks(request.extra, request.extra + extraLength);
    const bool zip64Sizes = !noData && extent.unpackedSize >= kZip64LocalFrom;
    const bool zip64 = zip64Sizes || extent.localOffset >= kZip64From;
    if (zip64) storeLe16(record + CentralRecord::kVersionNeeded, archive::kVersionZip64);
    auto localExtra = [&](uint64_t packed) {
        std::vector<uint8_t> extra =
            zip64Sizes ? archive::zip64Block({extent.unpackedSize, packed}) : std::vector<uint8_t>{};
        extra.insert(extra.end(), privateBlocks.begin(), privateBlocks.end());
        return extra;
    };
    // With `data`, the header is written where the data file stands, the data after it.
    auto writeHeader = [&](uint64_t packed, const std::vector<uint8_t>* data) {
        const std::vector<uint8_t> extra = localExtra(packed);
        if (extra.size() > 0xFFFF) return kTooLong;
        uint8_t header[LocalHeader::kSize];
        localHeaderOf(record, header);
        storeLe16(header + LocalHeader::kExtraLength, static_cast<uint16_t>(extra.size()));
        if (zip64Sizes) {
            storeLe32(header + LocalHeader::kPackedSize, archive::kAllOnes32);
            storeLe32(header + LocalHeader::kUnpackedSize, archive::kAllOnes32);
        }
        if (data != nullptr) return writeLocalEntry(request.dataFile, header, name, extra.data(), *data);
        if (!fs::seekTo(request.dataFile, static_cast<int64_t>(extent.localOffset))) return kAccessDenied;
        return writeLocalHeader(request.dataFile, header, name, extra.data());
    };

    // An entry of a file shorter than a piece (or of no data) is put
    // together in memory and written in one go at the data file's end, where
    // initEntryRecord left it. A larger file's header goes first with its
    // final length and is patched at the end; the encryption header's 12
    // bytes follow it and the data follows them.
    const bool inMemory = noData || extent.unpackedSize < kPieceSize || request.ahead != nullptr;
    Packed packed;  // the data in memory, and its sizes and CRC
    packed.size = extent.unpackedSize;
    packed.level = request.level;
    const int64_t cryptOffset =
        static_cast<int64_t>(extent.localOffset) + LocalHeader::kSize + name.size() + localExtra(0).size();
    Result r = kOk;
    if (!inMemory) {
        if (r = writeHeader(0, nullptr); r != kOk) return r;
        if (encrypted) {
            const uint8_t placeholder[codec::kEncryptionHeaderSize] = {};
            if (!fs::writeAll(request.dataFile, placeholder, sizeof placeholder)) return kWriteFailed;
        }
    }

    uint16_t internal = 0;
    if (noData) {
        storeLe16(record + CentralRecord::kMethod, kMethodStored);
        storeLe16(record + CentralRecord::kVersionNeeded, zip64 ? archive::kVersionZip64 : archive::kVersionNoData);
        extent.unpackedSize = 0;
    } else {
        if (request.ahead != nullptr) {
            r = request.ahead->take(&packed);
            if (!packed.opened) return kAccessDenied;
            r = closeReports(packed, r);
        } else {
            fs::File file(fs::openFile(request.diskPath.c_str(), platform::kAccessRead, platform::kShareRead,
                                       fs::Disposition::OpenExisting, 0, true));
            if (!file.valid()) return kAccessDenied;
            r = compress(file.get(), request.dataFile, inMemory ? &packed.data : nullptr, &packed);
        }
        if (r != kOk) return r;
        if (packed.level == 0) {
            storeLe16(record + CentralRecord::kMethod, kMethodStored);
            storeLe16(record + CentralRecord::kVersionNeeded, zip64 ? archive::kVersionZip64 : kVersionStored);
        }
        if (packed.text) internal |= archive::kInternalText;
    }
    const uint32_t crc = packed.crc;
    uint64_t packedSize = packed.packedSize;
    std::vector<uint8_t>& data = packed.data;
    if (encrypted && inMemory) {
        data.insert(data.begin(), codec::kEncryptionHeaderSize, 0);
        makeEncryptedHeader(data.data(), crc, request.password);
        codec::sharedKeys().encrypt(data.data() + codec::kEncryptionHeaderSize, packedSize);
        packedSize += codec::kEncryptionHeaderSize;
    } else if (encrypted) {
        r = writeEncryptionHeader(request.dataFile, cryptOffset, crc, request.password);
        const int64_t dataOffset = cryptOffset + codec::kEncryptionHeaderSize;
        if (r == kOk && packedSize != 0) r = encryptInPlace(request.dataFile, dataOffset, packedSize);
        if (r != kOk) return r;
        packedSize += codec::kEncryptionHeaderSize;
    }
    extent.packedSize = packedSize;
    storeLe32(record + CentralRecord::kCrc, crc);
    storeLe16(record + CentralRecord::kInternalAttributes, internal);
    // The central record's fields, and its Zip64 block for what they cannot hold.
    std::vector<uint8_t> centralExtra = centralZip64Block(record, extent);
    centralExtra.insert(centralExtra.end(), privateBlocks.begin(), privateBlocks.end());
    if (centralExtra.size() > archive::kCommentLimit) return kTooLong;
    if (!centralExtra.empty()) std::memcpy(request.extra, centralExtra.data(), centralExtra.size());
    storeLe16(record + CentralRecord::kExtraLength, static_cast<uint16_t>(centralExtra.size()));

    if (inMemory) {
        if (r = writeHeader(packedSize, &data); r != kOk) return r;
    } else {
        if (r = writeHeader(packedSize, nullptr); r != kOk) return r;
        if (fs::seekToEnd(request.dataFile) < 0) return kAccessDenied;
    }
    return archive::writeCentralRecord(request.directoryFile, record, name.c_str(), request.extra,
                                       request.comment);
}

}  // namespace zar::write
