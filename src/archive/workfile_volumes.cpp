// The work files of the sets that span several volumes: the library's own
// kinds, whose first volume starts with a header and the whole directory;
// spanned sets, whose directory lies on the last volumes before their end
// record; and sets whose first volume starts with their directory. The
// directory is copied into the work file as it stands (signatures made
// ordinary), going on to the next volume wherever one ends.
#include <algorithm>
#include <string_view>
#include <vector>

#include "archive/records.h"
#include "archive/volume_names.h"
#include "archive/volume_request.h"
#include "archive/workfile.h"
#include "common/bytes.h"
#include "fs/names.h"

namespace zar::archive {
namespace {


// Reads the volumes of a set one after the other: a read that meets the end
// of a volume goes on at the start of the next, which is asked for.
class VolumeStream {
public:
    VolumeStream(fs::FileHandle* file, const std::string& path, uint16_t* volume, uint16_t lastVolume)
        : file_(file), path_(path), volume_(volume), last_(lastVolume) {}

    Result read(void* buffer, uint32_t count) {
        auto* out = static_cast<uint8_t*>(buffer);
        while (count != 0) {
            uint32_t got = 0;
            if (!fs::readSome(*file_, out, count, &got)) return kAccessDenied;
            out += got;
            count -= got;
            if (count == 0) break;
            const uint16_t limit = last_ != 0 ? last_ : kLastVolumeNumber;
            if (*volume_ >= limit) return kShortRead;
            ++*volume_;
            if (Result r = requestVolume(*volume_, path_, last_, file_); r != kOk) return r;
        }
        return kOk;
    }

private:
    fs::FileHandle* file_;
    const std::string& path_;
    uint16_t* volume_;
    uint16_t last_;
};

// The work file: records as they come, then an end record.
class WorkWriter {
public:
    explicit WorkWriter(fs::FileHandle work) : work_(work) {}

    Result write(const void* bytes, uint32_t count) {
        if (!fs::writeAll(work_, bytes, count)) return kWriteFailed;
        size_ += count;
        return kOk;
    }
    // One central record (its signature made ordinary) and its name, extra
    // field and comment, read by `read(buffer, count)`.
    template <class Read>
    Result record(uint8_t* fixed, Read read) {
        storeLe32(fixed + CentralRecord::kSignature, kCentralSignature);
        const uint32_t tail = uint32_t{loadLe16(fixed + CentralRecord::kNameLength)} +
                              loadLe16(fixed + CentralRecord::kExtraLength) +
                              loadLe16(fixed + CentralRecord::kCommentLength);
        tail_.resize(tail);
        if (Result r = read(tail_.data(), tail); r != kOk) return r;
        if (Result r = write(fixed, CentralRecord::kSize); r != kOk) return r;
        if (Result r = write(tail_.data(), tail); r != kOk) return r;
        ++count_;
        return kOk;
    }
    uint32_t count() const { return count_; }

    Result finish(uint8_t* end) {
        const uint16_t entries = static_cast<uint16_t>(std::min<uint32_t>(count_, 0xFFFF));
        storeLe32(end + EndRecord::kSignature, kEndSignature);
        storeLe16(end + EndRecord::kEntriesOnDisk, entries);
        storeLe16(end + EndRecord::kTotalEntries, entries);
        storeLe32(end + EndRecord::kDirectorySize, size_);
        storeLe32(end + EndRecord::kDirectoryOffset, 0);
        storeLe16(end + EndRecord::kCommentLength, 0);
        return fs::writeAll(work_, end, EndRecord::kSize) ? kOk : kWriteFailed;
    }

private:
    fs::FileHandle work_;
    std::vector<uint8_t> tail_;
    uint32_t size_ = 0;
    uint32_t count_ = 0;
};

// The library's own kinds: a header, the records at its end, then the names
// area with each record's name, extra field and comment in turn.
Result buildOwn(fs::FileHandle file, WorkWriter& work, VolumeInfo* info) {
    uint8_t header[OwnVolumeHeader::kSize];
    if (!fs::seekTo(file, 0)) return kAccessDenied;
    if (!fs::readExact(file, header, sizeof header)) return kShortRead;
    const uint16_t version = loadLe16(header + OwnVolumeHeader::kVersion);
    if (std::string_view(reinterpret_cast<const char*>(header), 4) != OwnVolumeHeader::kMagicBytes || version < 1 || version > 3)
        return kUnknownKind;
    const uint32_t count = loadLe16(header + OwnVolumeHeader::kEntries);
    const uint32_t headerSize = loadLe16(header + OwnVolumeHeader::kHeaderSize);
    uint64_t recordAt = headerSize, namesAt = headerSize + uint64_t{CentralRecord::kSize} * count;
    uint16_t lastDisk = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t fixed[CentralRecord::kSize];
        if (!fs::seekTo(file, static_cast<int64_t>(recordAt))) return kAccessDenied;
        if (!fs::readExact(file, fixed, sizeof fixed)) return kShortRead;
        if (std::string_view(reinterpret_cast<const char*>(fixed), 4) != OwnVolumeHeader::kRecordSignature) return kBadArchive;
        if (!fs::seekTo(file, static_cast<int64_t>(namesAt))) return kAccessDenied;
        const auto names = [file](void* buffer, uint32_t n) {
            return n == 0 || fs::readExact(file, buffer, n) ? kOk : kShortRead;
        };
        if (Result r = work.record(fixed, names); r != kOk) return r;
        const uint16_t disk = loadLe16(fixed + CentralRecord::kDiskStart);
        if (disk > lastDisk) lastDisk = static_cast<uint16_t>(disk + 1);
        recordAt += CentralRecord::kSize;
        namesAt += uint32_t{loadLe16(fixed + CentralRecord::kNameLength)} +
                   loadLe16(fixed + CentralRecord::kExtraLength) + loadLe16(fixed + CentralRecord::kCommentLength);
    }
    uint8_t end[EndRecord::kSize] = {};
    storeLe16(end + EndRecord::kThisDisk, lastDisk);
    storeLe16(end + EndRecord::kDirectoryDisk, 1);
    info->volume = 1;
    return work.finish(end);
}

// The end record of a spanned set's last volume: the last "PK\5\6" of the
// file's tail whose comment reaches no further than the end; `*comment` gets
// the set's comment.
bool findEnd(fs::FileHandle file, uint8_t* end, std::vector<uint8_t>* comment) {
    const int64_t length = fs::fileLength(file);
    if (length < static_cast<int64_t>(EndRecord::kSize)) return false;
    const uint32_t tail = static_cast<uint32_t>(std::min<int64_t>(length, EndRecord::kSize + 0xFFFF));
    std::vector<uint8_t> bytes(tail);
    if (!fs::seekTo(file, length - tail) || !fs::readExact(file, bytes.data(), tail)) return false;
    for (uint32_t at = tail - EndRecord::kSize + 1; at-- > 0;) {
        if (loadLe32(bytes.data() + at) != kEndSignature) continue;
        if (at + EndRecord::kSize + loadLe16(bytes.data() + at + EndRecord::kCommentLength) > tail) continue;
        std::copy(bytes.begin() + at, bytes.begin() + at + EndRecord::kSize, end);
        const auto text = bytes.begin() + at + EndRecord::kSize;
        comment->assign(text, text + loadLe16(end + EndRecord::kCommentLength));
        return true;
    }
    return false;
}

// A spanned set: its end record on the last volume (asked for when the file
// at hand is another), its directory from the volume the end record names on.
Result buildSpanned(fs::FileHandle* file, const std::string& path, WorkWriter& work, VolumeInfo* info) {
    uint8_t end[EndRecord::kSize];
    std::vector<uint8_t> comment;
    // On a fixed drive the last volume is looked for once, under the set's
    // own name (a missing file is named as such; one without an end record
    // is a damaged set); a disk is asked for until the host gives up.
    const bool disks = platform::driveType(fs::ansiForm(path).c_str()) == platform::DriveType::Removable;
    for (int tries = 0; !findEnd(*file, end, &comment); ++tries) {
        if (!disks && tries == 1) return kBadArchive;
        if (Result r = requestVolume(kLastVolumeWanted, path, 0, file); r != kOk) return r;
    }
    const uint32_t thisDisk = loadLe16(end + EndRecord::kThisDisk), directoryDisk = loadLe16(end + EndRecord::kDirectoryDisk);
    if (thisDisk >= kLastVolumeNumber || directoryDisk > thisDisk) return kBadArchive;
    info->lastVolume = static_cast<uint16_t>(thisDisk + 1);
    info->volume = info->lastVolume;
    if (directoryDisk + 1 != info->volume) {
        info->volume = static_cast<uint16_t>(directoryDisk + 1);
        if (Result r = requestVolume(info->volume, path, info->lastVolume, file); r != kOk) return r;
    }
    if (!fs::seekTo(*file, loadLe32(end + EndRecord::kDirectoryOffset))) return kAccessDenied;
    VolumeStream stream(file, path, &info->volume, info->lastVolume);
    std::vector<uint8_t> block(65520);
    for (uint32_t left = loadLe32(end + EndRecord::kDirectorySize); left != 0;) {
        const uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(block.size()));
        if (Result r = stream.read(block.data(), n); r != kOk) return r;
        if (Result r = work.write(block.data(), n); r != kOk) return r;
        left -= n;
    }
    // The set's own end record, its directory now at the start of the work
    // file, and the set's comment after it, where the comment readers look.
    uint8_t copy[EndRecord::kSize];
    std::copy(end, end + EndRecord::kSize, copy);
    storeLe32(copy + EndRecord::kDirectoryOffset, 0);
    if (Result r = work.write(copy, EndRecord::kSize); r != kOk) return r;
    return comment.empty() ? kOk : work.write(comment.data(), static_cast<uint32_t>(comment.size()));
}

// A set whose first volume starts with its directory: records up to the first
// that is none, going on to the next volumes where the first one ends.
Result buildFrontDirectory(fs::FileHandle* file, const std::string& path, WorkWriter& work, VolumeInfo* info) {
    info->volume = 1;
    if (!fs::seekTo(*file, 0)) return kAccessDenied;
    VolumeStream stream(file, path, &info->volume, 0);
    for (;;) {
        uint8_t fixed[CentralRecord::kSize];
        if (Result r = stream.read(fixed, 4); r != kOk) return r == kShortRead ? kBadArchive : r;
        if (loadLe32(fixed) != kCentralSignature) break;
        if (work.count() == 0xFFFF) return kTooMany;
        if (Result r = stream.read(fixed + 4, CentralRecord::kSize - 4); r != kOk) return r;
        if (Result r = work.record(fixed, [&stream](void* b, uint32_t n) { return stream.read(b, n); }); r != kOk)
            return r;
    }
    uint8_t end[EndRecord::kSize] = {};
    return work.finish(end);
}

}  // namespace

Result buildVolumeRecords(fs::FileHandle* archive, const std::string& path, Kind kind, fs::FileHandle work,
                          VolumeInfo* info) {
    WorkWriter writer(work);
    switch (kind) {
        case Kind::OwnMultiVolume:
        case Kind::OwnMultiVolume3: return buildOwn(*archive, writer, info);
        case Kind::Spanned: return buildSpanned(archive, path, writer, info);
        case Kind::FrontDirectory: return buildFrontDirectory(archive, path, writer, info);
        default: return kNotOnThisKind;
    }
}

}  // namespace zar::archive
