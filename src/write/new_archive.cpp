#include "write/new_archive.h"

#include <algorithm>

#include "archive/directory.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "frame/local_time.h"
#include "fs/copy.h"
#include "fs/names.h"
#include "platform/platform.h"
#include "write/commit.h"
#include "write/copy_entry.h"

namespace zar::write {

using archive::EndRecord;

void NewestTime::see(uint16_t date, uint16_t dosTime) {
    if (any && (date < time.date || (date == time.date && dosTime <= time.time))) return;
    any = true;
    time = {date, dosTime};
}

Result archiveDosTime(const archive::ArchiveHandle& archive, DosDateTime* time) {
    uint64_t utc;
    if (!platform::fileTime(archive.file, &utc)) return kAccessDenied;
    *time = frame::utcToDos(utc);
    return kOk;
}

Result OldEntries::first() { return read(true); }
Result OldEntries::next() { return read(false); }

Result OldEntries::read(bool first) {
    Result r = first ? archive::findFirst(archive_, &raw_) : archive::findNext(archive_, &raw_);
    if (r != kOk) return r;
    entry_.record = raw_.record;
    entry_.name = raw_.handedName;
    platform::ansiToOem(entry_.name.data());
    entry_.renamed = raw_.longName;
    entry_.storedName = raw_.name.data();
    entry_.extra = raw_.extra.data();
    entry_.comment = reinterpret_cast<const char*>(raw_.comment.data());
    return kOk;
}

Result NewArchive::create() {
    if (output_.empty()) {
        dataFile_ = makeDataFile(archive_);
    } else {
        std::string drive, directory;
        fs::splitName(output_.c_str(), &drive, &directory, nullptr, fs::PathKind::Host);
        dataFile_ = fs::TempFile::makeOpen(drive + directory, nullptr, platform::kAttrArchive);
    }
    directoryFile_ = fs::TempFile::makeScratch();
    if (!dataFile_.valid() || !directoryFile_.valid()) return kWriteFailed;
    storeLe32(end_ + EndRecord::kSignature, archive::kEndSignature);
    return kOk;
}

Result NewArchive::count() {
    ++entries_;
    return kOk;
}

Result NewArchive::readOldEnd() {
    // Room for the longest comment there can be: it is carried whole.
    comment_.assign(EndRecord::kLargestComment + 1, '\0');
    if (Result r = archive::readEnd(archive_, end_, comment_.data(), static_cast<uint32_t>(comment_.size()));
        r != kOk)
        return r;
    platform::ansiToOem(comment_.data());
    // The new archive is one file: its end record names disk 0, whatever
    // the old one claimed (a number there would make it read as the last
    // volume of a set).
    storeLe16(end_ + EndRecord::kThisDisk, 0);
    storeLe16(end_ + EndRecord::kDirectoryDisk, 0);
    return kOk;
}

Result NewArchive::finish() {
    uint64_t directoryStart;
    const int64_t directorySize = fs::seekToEnd(directory());
    if (!dataEnd(data(), &directoryStart) || directorySize < 0) return kWriteFailed;
    const auto size = static_cast<uint64_t>(directorySize);
    const bool zip64 = entries_ >= archive::kAllOnes16 || size >= archive::kAllOnes32 ||
                       directoryStart >= archive::kAllOnes32;
    const auto count16 = static_cast<uint16_t>(std::min<uint64_t>(entries_, archive::kAllOnes16));
    storeLe16(end_ + EndRecord::kEntriesOnDisk, count16);
    storeLe16(end_ + EndRecord::kTotalEntries, count16);
    storeLe32(end_ + EndRecord::kDirectorySize, static_cast<uint32_t>(std::min<uint64_t>(size, archive::kAllOnes32)));
    storeLe32(end_ + EndRecord::kDirectoryOffset,
              static_cast<uint32_t>(std::min<uint64_t>(directoryStart, archive::kAllOnes32)));
    const uint16_t commentLength = comment_.empty() ? 0 : loadLe16(end_ + EndRecord::kCommentLength);
    storeLe16(end_ + EndRecord::kCommentLength, commentLength);

    if (!fs::seekTo(directory(), 0)) return kAccessDenied;
    if (Result r = fs::copyBytes(directory(), data(), directorySize); r != kOk) return r;
    if (zip64) {
        uint8_t records[archive::Zip64EndRecord::kSize + archive::Zip64Locator::kSize] = {};
        using Z = archive::Zip64EndRecord;
        storeLe32(records + Z::kSignature, archive::kZip64EndSignature);
        storeLe64(records + Z::kRecordSize, Z::kSize - 12);
        storeLe16(records + Z::kVersionMadeBy, archive::kVersionZip64);
        storeLe16(records + Z::kVersionNeeded, archive::kVersionZip64);
        storeLe64(records + Z::kEntriesOnDisk, entries_);
        storeLe64(records + Z::kTotalEntries, entries_);
        storeLe64(records + Z::kDirectorySize, size);
        storeLe64(records + Z::kDirectoryOffset, directoryStart);
        uint8_t* locator = records + Z::kSize;
        using L = archive::Zip64Locator;
        storeLe32(locator + L::kSignature, archive::kZip64LocatorSignature);
        storeLe64(locator + L::kEndRecordOffset, directoryStart + size);
        storeLe32(locator + L::kTotalDisks, 1);
        if (!fs::writeAll(data(), records, sizeof records)) return kWriteFailed;
    }
    if (!fs::writeAll(data(), end_, EndRecord::kSize)) return kWriteFailed;
    if (commentLength != 0 && !fs::writeAll(data(), comment_.data(), commentLength)) return kWriteFailed;
    return kOk;
}

Result NewArchive::commit(const DosDateTime* time) {
    directoryFile_.remove();
    if (output_.empty()) return commitArchive(archive_, dataFile_, time);
    uint64_t utc;
    if (time != nullptr && frame::dosToUtc(*time, &utc) && !platform::setFileTime(dataFile_.file(), utc))
        return kAccessDenied;
    return dataFile_.renameTo(output_.c_str()) ? kOk : kAccessDenied;
}

}  // namespace zar::write
