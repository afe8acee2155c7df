#include "extract/entry_source.h"

#include "archive/records.h"
#include "archive/volume_names.h"
#include "common/bytes.h"
#include "extract/pipeline.h"
#include "fs/copy.h"
#include "span/volumes.h"

namespace zar::extract {

using archive::CentralRecord;
using archive::LocalHeader;

EntrySource::~EntrySource() { fs::closeFile(volumes_.file); }

Result EntrySource::locate(const archive::ArchiveHandle& archive, const uint8_t* record,
                           const archive::EntryExtent& extent) {
    if (!archive::gathersEntries(archive.kind)) {
        file_ = archive.file;
        return locateData(archive, extent.localOffset);
    }
    if (Result r = gather(archive, record, extent); r != kOk) return r;
    // The copy begins with the entry's local header.
    archive::ArchiveHandle copy;
    copy.file = file_;
    copy.kind = archive::Kind::Zip;
    return locateData(copy, 0);
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
