#include "write/volume_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "fs/copy.h"
#include "span/volumes.h"

namespace zar::write {

using archive::CentralRecord;
using archive::EndRecord;
using archive::Kind;
using archive::OwnVolumeHeader;

bool VolumeWriter::spannedKind() const {
    return archive_.kind == Kind::Spanned || archive_.kind == Kind::FrontDirectory;
}

bool VolumeWriter::directoryInFront() const { return archive_.kind != Kind::Spanned; }

Result VolumeWriter::create() {
    dataFile_ = fs::TempFile::makeScratch();
    directoryFile_ = fs::TempFile::makeScratch();
    if (!dataFile_.valid() || !directoryFile_.valid()) return kWriteFailed;
    return kOk;
}

Result VolumeWriter::count() {
    if (entries_ == 0xFFFF) return kTooMany;
    ++entries_;
    return kOk;
}

Result VolumeWriter::begin(uint64_t directoryBytes) {
    uint8_t lead[OwnVolumeHeader::kSize] = {};
    uint32_t leadSize = 0;
    if (archive_.kind == Kind::Spanned) {
        storeLe32(lead, archive::kSpanMarker);
        leadSize = 4;
    } else if (archive_.kind != Kind::FrontDirectory) {
        leadSize = OwnVolumeHeader::kSize;  // zeros until the header is known
    }
    if (archive_.volumeRoom < leadSize) return kWriteFailed;
    if (directoryInFront()) {
        reserved_ = directoryBytes;
        if (archive_.volumeRoom - leadSize < reserved_) return kTooMany;
    }

    if (!fs::seekTo(archive_.file, 0)) return kAccessDenied;
    if (leadSize != 0 && !fs::writeAll(archive_.file, lead, leadSize)) return kWriteFailed;
    archive_.volumeRoom -= leadSize;
    if (directoryInFront()) {
        if (!fs::seekTo(archive_.file, leadSize + static_cast<int64_t>(reserved_)) || !fs::truncateHere(archive_.file))
            return kAccessDenied;
        archive_.volumeRoom -= static_cast<uint32_t>(reserved_);
    }
    return kOk;
}

Result VolumeWriter::nextVolume() {
    ++archive_.volume;
    return span::changeVolume(archive_, true);
}

Result VolumeWriter::toVolumes(int64_t count) {
    while (count > 0) {
        if (archive_.volumeRoom == 0) {
            if (Result r = nextVolume(); r != kOk) return r;
            continue;
        }
        const int64_t piece = std::min<int64_t>(count, archive_.volumeRoom);
        if (Result r = fs::copyBytes(data(), archive_.file, piece); r != kOk) return r;
        archive_.volumeRoom -= static_cast<uint32_t>(piece);
        count -= piece;
    }
    return kOk;
}

Result VolumeWriter::startEntry() {
    entryMark_ = fs::positionOf(directory());
    return entryMark_ < 0 ? kAccessDenied : kOk;
}

Result VolumeWriter::placeEntry(uint8_t* record, const std::string& name, const uint8_t* extra) {
    // A local header never starts in the last bytes of a disk, where its
    // fixed part would be split; nor, on any kind, at the very end of a full
    // volume, where the place recorded would name a byte the volume lacks.
    if ((spannedKind() && archive_.volumeRoom < archive::LocalHeader::kSize) || archive_.volumeRoom == 0)
        if (Result r = nextVolume(); r != kOk) return r;
    const int64_t at = fs::positionOf(archive_.file);
    if (at < 0) return kAccessDenied;
    if (at > int64_t{archive::kAllOnes32}) return kTooLong;

    if (!fs::seekTo(directory(), entryMark_)) return kAccessDenied;
    storeLe16(record + CentralRecord::kDiskStart, static_cast<uint16_t>(archive_.volume - 1));
    storeLe32(record + CentralRecord::kLocalOffset, static_cast<uint32_t>(at));
    if (Result r = archive::writeCentralRecord(directory(), record, name.c_str(), extra, ""); r != kOk) return r;

    const int64_t size = fs::fileLength(data());
    if (size < 0 || !fs::seekTo(data(), 0)) return kAccessDenied;
    if (Result r = toVolumes(size); r != kOk) return r;
    if (!fs::seekTo(data(), 0) || !fs::truncateHere(data())) return kAccessDenied;
    return kOk;
}

Result VolumeWriter::endRecord(uint32_t directorySize) {
    uint8_t end[EndRecord::kSize] = {};
    const int64_t at = fs::positionOf(archive_.file);
    if (at < 0 || at > int64_t{archive::kAllOnes32}) return kAccessDenied;
    const auto lastDisk = static_cast<uint16_t>(archive_.volume - 1);
    storeLe32(end + EndRecord::kSignature, archive::kEndSignature);
    storeLe16(end + EndRecord::kThisDisk, lastDisk);
    storeLe16(end + EndRecord::kEntriesOnDisk, entries_);
    storeLe16(end + EndRecord::kTotalEntries, entries_);
    storeLe32(end + EndRecord::kDirectorySize, directorySize);
    if (archive_.kind == Kind::Spanned) {
        // The directory was just written on this disk, ending where the end
        // record starts.
        storeLe16(end + EndRecord::kDirectoryDisk, lastDisk);
        storeLe32(end + EndRecord::kDirectoryOffset, static_cast<uint32_t>(at - directorySize));
        return fs::writeAll(archive_.file, end, EndRecord::kSize) ? kOk : kAccessDenied;
    }
    // Front-directory kind: the directory is at offset 0 of disk 0.
    uint8_t tail[kFillerSize + EndRecord::kSize];
    std::memcpy(tail, kFillerRecord, kFillerSize);
    std::memcpy(tail + kFillerSize, end, EndRecord::kSize);
    return fs::writeAll(archive_.file, tail, sizeof tail) ? kOk : kAccessDenied;
}

Result VolumeWriter::finish(bool versionBlocks) {
    const int64_t directorySize = fs::fileLength(directory());
    if (directorySize < 0 || directorySize > int64_t{archive::kAllOnes32}) return kAccessDenied;
    const auto size = static_cast<uint32_t>(directorySize);

    if (spannedKind()) {
        const uint64_t room = (archive_.kind == Kind::Spanned ? uint64_t{size} : 0) + EndRecord::kSize +
                              (archive_.kind == Kind::FrontDirectory ? kFillerSize : 0);
        if (archive_.volumeRoom < room) {
            if (Result r = nextVolume(); r != kOk) return r;
            if (archive_.volumeRoom < room) return kWriteFailed;
        }
        if (archive_.kind == Kind::Spanned) {
            if (!fs::seekTo(directory(), 0)) return kAccessDenied;
            if (Result r = fs::copyBytes(directory(), archive_.file, size); r != kOk) return r;
        }
        if (Result r = endRecord(size); r != kOk) return r;
    }
    return directoryInFront() ? frontArea(size, versionBlocks) : kOk;
}

// The front of the first volume, written last: the directory as it is, or
// the front header, the records under their own signature with disks counted
// from 1, and then every name with its extra field.
Result VolumeWriter::frontArea(uint32_t directorySize, bool versionBlocks) {
    // The reserve was worked out from the very names and blocks the entries
    // got; should it ever fall short, the first entry is not overwritten.
    if (directorySize > reserved_) return kTooMany;
    std::vector<uint8_t> directoryBytes(directorySize);
    if (!fs::seekTo(directory(), 0) || !fs::readExact(directory(), directoryBytes.data(), directorySize))
        return kAccessDenied;

    std::vector<uint8_t> area;
    if (archive_.kind == Kind::FrontDirectory) {
        area = std::move(directoryBytes);
    } else {
        area.assign(OwnVolumeHeader::kSize + size_t{entries_} * CentralRecord::kSize, 0);
        std::memcpy(area.data() + OwnVolumeHeader::kMagic, OwnVolumeHeader::kMagicBytes.data(), 4);
        const uint16_t version = archive_.kind == Kind::OwnMultiVolume3 ? kFrontHeaderSingleFile
                                 : versionBlocks                        ? kFrontHeaderVersionBlocks
                                                                        : kFrontHeaderPlain;
        storeLe16(area.data() + OwnVolumeHeader::kVersion, version);
        storeLe16(area.data() + OwnVolumeHeader::kEntries, entries_);
        storeLe16(area.data() + OwnVolumeHeader::kVolume, 1);
        storeLe16(area.data() + OwnVolumeHeader::kHeaderSize, OwnVolumeHeader::kSize);
        size_t at = 0;
        for (size_t i = 0; i < entries_; ++i) {
            if (directorySize - at < CentralRecord::kSize) return kAccessDenied;
            uint8_t* slot = area.data() + OwnVolumeHeader::kSize + i * CentralRecord::kSize;
            std::memcpy(slot, directoryBytes.data() + at, CentralRecord::kSize);
            std::memcpy(slot, OwnVolumeHeader::kRecordSignature.data(), 4);
            storeLe16(slot + CentralRecord::kDiskStart, static_cast<uint16_t>(loadLe16(slot + CentralRecord::kDiskStart) + 1));
            const size_t names = size_t{loadLe16(slot + CentralRecord::kNameLength)} +
                                 loadLe16(slot + CentralRecord::kExtraLength);
            const size_t whole = CentralRecord::kSize + names + loadLe16(slot + CentralRecord::kCommentLength);
            if (directorySize - at < whole) return kAccessDenied;
            const uint8_t* from = directoryBytes.data() + at + CentralRecord::kSize;
            area.insert(area.end(), from, from + names);
            at += whole;
        }
    }

    if (archive_.volume != 1) {
        archive_.volume = 1;
        if (Result r = span::changeVolume(archive_, false); r != kOk) return r;
    }
    if (!fs::seekTo(archive_.file, 0)) return kAccessDenied;
    return fs::writeAll(archive_.file, area.data(), static_cast<uint32_t>(area.size())) ? kOk : kAccessDenied;
}

}  // namespace zar::write
