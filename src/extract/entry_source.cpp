#include "extract/entry_source.h"

#include <cstring>

#include "archive/records.h"
#include "archive/volume_names.h"
#include "common/bytes.h"
#include "extract/pipeline.h"
#include "fs/copy.h"
#include "platform/platform.h"
#include "span/volumes.h"

namespace zar::extract {

using archive::CentralRecord;
using archive::LocalHeader;

EntrySource::~EntrySource() { fs::closeFile(volumes_.file); }

Result EntrySource::locate(const archive::ArchiveHandle& archive, const uint8_t* record,
                           const archive::EntryExtent& extent) {
    held_ = nullptr;
    heldLeft_ = 0;
    if (!archive::gathersEntries(archive.kind)) {
        file_ = archive.file;
        if (readAhead_ && locateInWindow(archive, record, extent)) return kOk;
        return locateData(archive, extent.localOffset);
    }
    if (Result r = gather(archive, record, extent); r != kOk) return r;
    // The copy begins with the entry's local header.
    archive::ArchiveHandle copy;
    copy.file = file_;
    copy.kind = archive::Kind::Zip;
    return locateData(copy, 0);
}

bool EntrySource::locateInWindow(const archive::ArchiveHandle& archive, const uint8_t* record,
                                 const archive::EntryExtent& extent) {
    const archive::Kind kind = archive.kind;
    if (kind == archive::Kind::Tar || kind == archive::Kind::Gzip || archive::isForeign(kind)) return false;
    // The local name and extra field are told apart from the central ones
    // only once the header is read; these are a first guess.
    const uint64_t guess = uint64_t{LocalHeader::kSize} + loadLe16(record + CentralRecord::kNameLength) +
                           loadLe16(record + CentralRecord::kExtraLength) + extent.packedSize;
    if (guess > kWindowSize || extent.localOffset > UINT64_MAX - kWindowSize) return false;
    const uint64_t offset = extent.localOffset;
    const auto holds = [&](uint64_t from, uint64_t count) {
        return from >= windowStart_ && from + count <= windowStart_ + windowSize_;
    };
    if (!holds(offset, guess)) {
        if (window_.empty()) window_.resize(kWindowSize);
        uint32_t got = 0;
        windowSize_ = 0;
        if (!platform::readFileAt(archive.file, offset, window_.data(), kWindowSize, &got)) return false;
        windowStart_ = offset;
        windowSize_ = got;
    }
    if (!holds(offset, LocalHeader::kSize)) return false;
    const uint8_t* local = window_.data() + (offset - windowStart_);
    const uint64_t data = offset + LocalHeader::kSize + loadLe16(local + LocalHeader::kNameLength) +
                          loadLe16(local + LocalHeader::kExtraLength);
    if (!holds(data, extent.packedSize)) return false;
    held_ = window_.data() + (data - windowStart_);
    heldLeft_ = extent.packedSize;
    return true;
}

bool EntrySource::read(void* buffer, uint32_t count) {
    if (held_ == nullptr) return fs::readExact(file_, buffer, count);
    if (count > heldLeft_) return false;
    std::memcpy(buffer, held_, count);
    held_ += count;
    heldLeft_ -= count;
    return true;
}

Result EntrySource::gather(const archive::ArchiveHandle& archive, const uint8_t* record,
                           const archive::EntryExtent& extent) {
    if (!volumesReady_) {
        volumes_.name = archive.name;
        volumes_.kind = archive.kind;
        volumes_.access = platform::kAccessRead;
        volumes_.share = platform::kShareRead;
        volumes_.lastVolume = archive.lastVolume;
        volumes_.volume = 0;
        volumesReady_ = true;
    }
    // The library's own kind counts its disks from 1, the others from 0.
    const uint16_t disk = loadLe16(record + CentralRecord::kDiskStart);
    const uint32_t wanted = archive.kind == archive::Kind::OwnMultiVolume ? disk : disk + 1u;
    // No entry of a set starts past its last volume.
    const uint32_t last = archive.lastVolume != 0 ? archive.lastVolume : archive::kLastVolumeNumber;
    if (wanted == 0 || wanted > last) return kShortRead;
    if (volumes_.volume != wanted || volumes_.file == fs::kInvalidFile) {
        volumes_.volume = static_cast<uint16_t>(wanted);
        if (Result r = span::changeVolume(volumes_, false); r != kOk) return r;
    }
    if (extent.localOffset > uint64_t{INT64_MAX} || !fs::seekTo(volumes_.file, static_cast<int64_t>(extent.localOffset)))
        return kAccessDenied;

    if (!copy_.valid()) copy_ = fs::TempFile::makeScratch();
    if (!copy_.valid() || !fs::seekTo(copy_.file(), 0) || !fs::truncateHere(copy_.file())) return kAccessDenied;
    file_ = copy_.file();
    // The local header says how long its own name and extra field are; the
    // data follows them.
    if (Result r = gatherBytes(LocalHeader::kSize); r != kOk) return r;
    uint8_t local[LocalHeader::kSize];
    if (!fs::seekTo(file_, 0) || !fs::readExact(file_, local, sizeof local)) return kShortRead;
    const uint64_t rest = uint64_t{loadLe16(local + LocalHeader::kNameLength)} +
                          loadLe16(local + LocalHeader::kExtraLength) + extent.packedSize;
    if (Result r = gatherBytes(rest); r != kOk) return r;
    return fs::seekTo(file_, 0) ? kOk : kShortRead;
}

// Copies `count` bytes from the volumes, going on at the start of the next
// volume wherever one ends.
Result EntrySource::gatherBytes(uint64_t count) {
    while (count != 0) {
        const int64_t at = fs::positionOf(volumes_.file), size = fs::fileLength(volumes_.file);
        if (at < 0 || size < 0) return kAccessDenied;
        const uint64_t available = size > at ? static_cast<uint64_t>(size - at) : 0;
        const uint64_t n = available < count ? available : count;
        if (n != 0)
            if (Result r = fs::copyBytes(volumes_.file, file_, static_cast<int64_t>(n)); r != kOk) return r;
        count -= n;
        if (count == 0) break;
        // An entry that claims more than the set holds asks for no disk
        // that is not the set's.
        const uint32_t last = volumes_.lastVolume != 0 ? volumes_.lastVolume : archive::kLastVolumeNumber;
        if (volumes_.volume >= last) return kShortRead;
        ++volumes_.volume;
        if (Result r = span::changeVolume(volumes_, false); r != kOk) return r;
    }
    return kOk;
}

}  // namespace zar::extract
