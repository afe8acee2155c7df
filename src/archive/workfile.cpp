#include "archive/workfile.h"

#include "archive/records.h"
#include "common/bytes.h"
#include "fs/temp_files.h"

namespace zar::archive {
namespace {

// Writes records to the work file and counts them for the end record.
class FileSink final : public RecordSink {
public:
    explicit FileSink(fs::FileHandle file) : file_(file) {}

    Result add(const MemberRecord& record) override {
        if (record.name.size() > 0xFFFF || record.comment.size() > 0xFFFF) return kTooLong;
        std::string bytes = encodeCentralRecord(record);
        if (!fs::writeAll(file_, bytes.data(), static_cast<uint32_t>(bytes.size()))) return kWriteFailed;
        ++count_;
        size_ += static_cast<uint32_t>(bytes.size());
        return kOk;
    }

    Result finish(const WorkFileEnd& end) {
        if (end.comment.size() > 0xFFFF) return kTooLong;
        uint8_t record[EndRecord::kSize] = {};
        storeLe32(record + EndRecord::kSignature, kEndSignature);
        storeLe16(record + EndRecord::kThisDisk, end.thisDisk);
        storeLe16(record + EndRecord::kDirectoryDisk, end.directoryDisk);
        uint16_t entries = count_ > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(count_);
        storeLe16(record + EndRecord::kEntriesOnDisk, entries);
        storeLe16(record + EndRecord::kTotalEntries, entries);
        storeLe32(record + EndRecord::kDirectorySize, size_);
        storeLe32(record + EndRecord::kDirectoryOffset, 0);
        storeLe16(record + EndRecord::kCommentLength, static_cast<uint16_t>(end.comment.size()));
        if (!fs::writeAll(file_, record, sizeof record)) return kWriteFailed;
        if (!end.comment.empty() &&
            !fs::writeAll(file_, end.comment.data(), static_cast<uint32_t>(end.comment.size())))
            return kWriteFailed;
        return kOk;
    }

private:
    fs::FileHandle file_;
    uint32_t count_ = 0;
    uint32_t size_ = 0;
};

}  // namespace

std::string encodeCentralRecord(const MemberRecord& r) {
    uint8_t fixed[CentralRecord::kSize] = {};
    storeLe32(fixed + CentralRecord::kSignature, kCentralSignature);
    storeLe16(fixed + CentralRecord::kVersionNeeded, r.versionNeeded);
    storeLe16(fixed + CentralRecord::kFlags, r.flags);
    storeLe16(fixed + CentralRecord::kMethod, r.method);
    storeLe16(fixed + CentralRecord::kTime, r.time);
    storeLe16(fixed + CentralRecord::kDate, r.date);
    storeLe32(fixed + CentralRecord::kCrc, r.crc);
    storeLe32(fixed + CentralRecord::kPackedSize, r.packedSize);
    storeLe32(fixed + CentralRecord::kUnpackedSize, r.unpackedSize);
    storeLe16(fixed + CentralRecord::kNameLength, static_cast<uint16_t>(r.name.size()));
    storeLe16(fixed + CentralRecord::kCommentLength, static_cast<uint16_t>(r.comment.size()));
    storeLe16(fixed + CentralRecord::kDiskStart, r.diskStart);
    storeLe16(fixed + CentralRecord::kInternalAttributes, r.internalAttributes);
    storeLe32(fixed + CentralRecord::kExternalAttributes, r.externalAttributes);
    storeLe32(fixed + CentralRecord::kLocalOffset, r.localOffset);
    std::string out(reinterpret_cast<const char*>(fixed), sizeof fixed);
    out += r.name;
    out += r.comment;
    return out;
}

Result buildWorkFile(fs::FileHandle* archive, const char* archivePath, Kind kind, fs::FileHandle* workFile,
                     std::string* workName, VolumeInfo* info) {
    *workFile = fs::kInvalidFile;
    *info = {};
    ForeignBuilder builder = foreignBuilder(kind);
    if (builder == nullptr && !isMultiVolume(kind)) return kNotOnThisKind;

    fs::TempFile temp = fs::TempFile::make();
    if (!temp.valid()) return kAccessDenied;
    fs::File work(fs::openFile(temp.name().c_str(), platform::kAccessReadWrite, platform::kShareDelete,
                               fs::Disposition::OpenExisting, 0, false));
    if (!work.valid()) return kAccessDenied;

    if (builder == nullptr) {
        if (Result r = buildVolumeRecords(archive, archivePath, kind, work.get(), info); r != kOk) return r;
    } else {
        FileSource source(*archive);
        FileSink sink(work.get());
        WorkFileEnd end;
        if (Result r = builder(source, archivePath, sink, end); r != kOk) return r;
        if (Result r = sink.finish(end); r != kOk) return r;
    }

    *workFile = work.release();
    *workName = temp.release();
    return kOk;
}

}  // namespace zar::archive
