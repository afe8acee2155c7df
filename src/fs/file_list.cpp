#include "fs/file_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "frame/local_time.h"
#include "frame/options.h"
#include "fs/names.h"
#include "platform/platform.h"

namespace zar::fs {
namespace {

using L = FileRecordLayout;
constexpr uint32_t kLargestRecord = L::kHeaderSize + 2 * L::kMaxName;

// The attributes that the -J letters of the zip options leave out.
uint32_t maskedAttributes(uint32_t attributes, uint32_t flags) {
    if (flags & frame::kZipOmitHidden) attributes &= ~platform::kAttrHidden;
    if (flags & frame::kZipOmitSystem) attributes &= ~platform::kAttrSystem;
    if (flags & frame::kZipOmitReadOnly) attributes &= ~platform::kAttrReadOnly;
    if (flags & frame::kZipOmitNormal) attributes &= ~platform::kAttrNormal;
    return attributes;
}

// Decodes the record that starts `bytes` (`available` of them); false when
// they do not hold it whole.
bool decode(const uint8_t* bytes, size_t available, FileRecord* record, uint32_t* next, bool withPath) {
    if (available < L::kHeaderSize) return false;
    uint16_t nameLength = loadLe16(bytes + L::kNameLength);
    uint16_t pathLength = loadLe16(bytes + L::kPathLength);
    if (L::kHeaderSize + nameLength + (withPath ? pathLength : 0) > available) return false;
    *next = loadLe32(bytes + L::kNext);
    record->size = loadLe32(bytes + L::kSize) | uint64_t{loadLe32(bytes + L::kSizeHigh)} << 32;
    record->attributes = loadLe32(bytes + L::kAttributes);
    record->date = loadLe16(bytes + L::kDate);
    record->time = loadLe16(bytes + L::kTime);
    record->mode = loadLe32(bytes + L::kMode);
    const char* text = reinterpret_cast<const char*>(bytes + L::kHeaderSize);
    record->storedName.assign(text, nameLength);
    if (withPath) record->fullPath.assign(text + nameLength, pathLength);
    return true;
}

}  // namespace

void FileList::TableDeleter::operator()(uint32_t* table) const { platform::freeBlock(table); }

FileList::FileList(uint32_t memoryBound) : memoryBound_(memoryBound) {}

FileList::~FileList() { free(); }

Result FileList::open() {
    free();
    buckets_.reset(static_cast<uint32_t*>(platform::allocateBlock((kBuckets + 1) * sizeof(uint32_t))));
    if (!buckets_) return kNoMemory;
    std::fill(buckets_.get(), buckets_.get() + kBuckets + 1, kNoRecord);
    temp_ = TempFile::makeScratch();
    if (!temp_.valid()) {
        free();
        return kWriteFailed;
    }
    return kOk;
}

void FileList::free() {
    temp_.remove();
    held_ = {};
    spilled_ = false;
    buckets_.reset();
    end_ = 0;
    count_ = 0;
    nameTotal_ = 0;
}

uint32_t FileList::bucketOf(const char* storedName) {
    std::string key(storedName);
    platform::oemToAnsi(key.data());
    platform::upperCase(key.data());
    platform::ansiToOem(key.data());
    if (key.empty()) return 0;
    uint32_t h = static_cast<uint8_t>(key[0]);
    for (size_t i = 1; i < key.size(); ++i) h = (h * 256 + static_cast<uint8_t>(key[i])) % kBuckets;
    return h;
}

Result FileList::readRecord(uint32_t offset, FileRecord* record, uint32_t* next, bool withPath) {
    if (offset >= end_) return kShortRead;
    if (!spilled_) {
        if (!decode(held_.data() + offset, end_ - offset, record, next, withPath)) return kShortRead;
        record->offset = offset;
        return kOk;
    }
    if (!seekTo(temp_.file(), offset)) return kShortRead;
    uint8_t bytes[kLargestRecord];
    uint32_t want = std::min<uint32_t>(kLargestRecord, end_ - offset);
    uint32_t got = 0;
    if (!readSome(temp_.file(), bytes, want, &got) || !decode(bytes, got, record, next, withPath)) return kShortRead;
    record->offset = offset;
    return kOk;
}

Result FileList::lookup(const char* storedName, bool* found, uint32_t* offset, std::string* fullPath) {
    FileRecord record;
    Result r = search(storedName, found, offset, &record, fullPath != nullptr);
    if (r == kOk && *found && fullPath != nullptr) *fullPath = std::move(record.fullPath);
    return r;
}

Result FileList::lookup(const char* storedName, bool* found, FileRecord* record) {
    uint32_t offset;
    Result r = search(storedName, found, &offset, record, true);
    record->offset = offset;
    return r;
}

Result FileList::search(const char* storedName, bool* found, uint32_t* offset, FileRecord* record, bool withPath) {
    *found = false;
    *offset = kNoRecord;
    if (!buckets_) return kOk;
    uint32_t at = buckets_[bucketOf(storedName)];
    while (at != kNoRecord) {
        uint32_t next;
        if (Result r = readRecord(at, record, &next, withPath); r != kOk) return r;
        *offset = at;
        if (sameFileName(record->storedName.c_str(), storedName)) {
            *found = true;
            return kOk;
        }
        if (next == 0) break;
        // A chain only ever links forward; anything else is a damaged file,
        // and following it could loop.
        if (next <= at) return kShortRead;
        at = next;
    }
    return kOk;
}

Result FileList::add(const char* fullPath, const char* storedName, uint32_t attributes, uint64_t lastWrite,
                     uint64_t size, uint32_t optionFlags, uint32_t mode) {
    if (!isOpen()) return kWriteFailed;
    size_t nameLength = std::strlen(storedName), pathLength = std::strlen(fullPath);
    if (nameLength > L::kMaxName || pathLength > L::kMaxName) return kTooLong;

    bool found;
    uint32_t last;
    if (Result r = lookup(storedName, &found, &last, nullptr); r != kOk) return r;
    if (found) return kOk;
    if (count_ == kMaxRecords) return kTooMany;

    // The record goes after the last one first and is linked into its chain
    // afterwards, so that a failure of either step leaves no link to a record
    // that is not there: the space is simply reused by the next addition.
    uint8_t bytes[kLargestRecord];
    bool directory = attributes & platform::kAttrDirectory;
    storeLe32(bytes + L::kNext, 0);
    if (directory) size = 0;
    storeLe32(bytes + L::kSize, static_cast<uint32_t>(size));
    storeLe32(bytes + L::kSizeHigh, static_cast<uint32_t>(size >> 32));
    storeLe32(bytes + L::kAttributes, maskedAttributes(attributes, optionFlags));
    DosDateTime when = frame::utcToDos(lastWrite);
    storeLe16(bytes + L::kDate, when.date);
    storeLe16(bytes + L::kTime, when.time);
    storeLe16(bytes + L::kNameLength, static_cast<uint16_t>(nameLength));
    storeLe16(bytes + L::kPathLength, static_cast<uint16_t>(pathLength));
    storeLe32(bytes + L::kMode, mode);
    std::memcpy(bytes + L::kHeaderSize, storedName, nameLength);
    std::memcpy(bytes + L::kHeaderSize + nameLength, fullPath, pathLength);
    uint32_t length = static_cast<uint32_t>(L::kHeaderSize + nameLength + pathLength);
    if (!spilled_ && end_ + length > memoryBound_ && !spill()) return kWriteFailed;
    if (!spilled_) {
        held_.insert(held_.end(), bytes, bytes + length);
        if (last != kNoRecord) storeLe32(held_.data() + last + L::kNext, end_);
    } else if (!seekTo(temp_.file(), end_) || !writeAll(temp_.file(), bytes, length)) {
        return kWriteFailed;
    }

    if (last == kNoRecord) {
        buckets_[bucketOf(storedName)] = end_;
    } else if (spilled_) {
        uint8_t link[4];
        storeLe32(link, end_);
        if (!seekTo(temp_.file(), last + L::kNext) || !writeAll(temp_.file(), link, 4)) return kAccessDenied;
    }

    const uint32_t offset = end_;
    end_ += length;
    ++count_;
    nameTotal_ += static_cast<uint32_t>(nameLength);
    if (observer_) observer_(offset, fullPath, attributes, size);
    return kOk;
}

bool FileList::spill() {
    if (!held_.empty() && (!seekTo(temp_.file(), 0) || !writeAll(temp_.file(), held_.data(), end_))) return false;
    held_ = {};
    spilled_ = true;
    return true;
}

Result FileList::forEach(const std::function<Result(const FileRecord&)>& visit) {
    if (!isOpen() || end_ == 0) return kOk;
    if (!spilled_) {
        FileRecord record;
        for (uint32_t at = 0; at < end_;) {
            uint32_t next;
            if (!decode(held_.data() + at, end_ - at, &record, &next, true)) return kShortRead;
            record.offset = at;
            if (Result r = visit(record); r != kOk) return r;
            at += L::kHeaderSize + static_cast<uint32_t>(record.storedName.size() + record.fullPath.size());
        }
        return kOk;
    }
    // Read in large blocks; a record cut by the end of a block is moved to the
    // front and completed by the next read.
    constexpr uint32_t kBlock = 65536;
    Block buffer = allocateBlock(kBlock);
    if (!buffer) return kNoMemory;
    uint32_t offset = 0;  // file offset of buffer[0]
    uint32_t held = 0;    // bytes in the buffer
    uint32_t at = 0;      // start of the next record in the buffer
    FileRecord record;
    while (offset + at < end_) {
        uint32_t next;
        if (!decode(buffer.get() + at, held - at, &record, &next, true)) {
            std::memmove(buffer.get(), buffer.get() + at, held - at);
            offset += at;
            held -= at;
            at = 0;
            uint32_t want = std::min(kBlock - held, end_ - offset - held);
            // The visitor may have moved the file position (a lookup does).
            if (want == 0 || !seekTo(temp_.file(), offset + held)) return kShortRead;
            if (!readExact(temp_.file(), buffer.get() + held, want)) return kShortRead;
            uint32_t got = want;
            held += got;
            continue;
        }
        record.offset = offset + at;
        if (Result r = visit(record); r != kOk) return r;
        at += L::kHeaderSize + static_cast<uint32_t>(record.storedName.size() + record.fullPath.size());
    }
    return kOk;
}

}  // namespace zar::fs
