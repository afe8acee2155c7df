// The file-list index of a zip run: the files selected for the archive, one
// record each, found again through a table of 32749 hash buckets in memory.
// The records are held in memory until they outgrow a bound (16 MiB, some
// 150,000 files); then they move to a temporary file (anonymous where the
// system allows) and only their offsets stay in memory, so a list of millions
// of files costs no more memory than one of a hundred thousand. A duplicate
// stored name is found through one hash chain and not added twice. Stored names compare as the file system
// compares names: "README" and "readme" are two records where case tells
// names apart, one where it does not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/result.h"
#include "fs/file_io.h"
#include "fs/temp_files.h"

namespace zar::fs {

// Record layout: a 28-byte header, then the stored name and the full path.
struct FileRecordLayout {
    static constexpr uint32_t kNext = 0;        // u32 offset of the next record of the bucket, 0 for none
    static constexpr uint32_t kSize = 4;        // u32 low half of the file size (0 for directories)
    static constexpr uint32_t kAttributes = 8;  // u32 attributes, less those the -J letters leave out
    static constexpr uint32_t kDate = 12;       // u16 DOS date of the last write, local
    static constexpr uint32_t kTime = 14;       // u16 DOS time of the last write, local
    static constexpr uint32_t kNameLength = 16;  // u16 stored name length
    static constexpr uint32_t kPathLength = 18;  // u16 full path length
    static constexpr uint32_t kMode = 20;        // u32 Unix mode, 0 where the host has none
    static constexpr uint32_t kSizeHigh = 24;    // u32 high half of the file size
    static constexpr uint32_t kHeaderSize = 28;
    static constexpr uint32_t kMaxName = 255;    // for the stored name and the full path each
};

// One record, decoded.
struct FileRecord {
    uint32_t offset = 0;
    uint64_t size = 0;
    uint32_t attributes = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint32_t mode = 0;  // the Unix mode (type and permissions); 0 where files have none
    std::string storedName;
    std::string fullPath;
};

class FileList {
public:
    static constexpr uint32_t kBuckets = 32749;     // a prime
    // The records live at 32-bit offsets of the temporary file; the count
    // stops well before they could run out.
    static constexpr uint32_t kMaxRecords = 4000000;

    // The bytes of records held in memory before they move to the file.
    static constexpr uint32_t kMemoryBound = 16u << 20;

    // `memoryBound`: a smaller bound, for tests (0: every record in the file).
    explicit FileList(uint32_t memoryBound = kMemoryBound);
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // Makes the temporary file and the bucket table: kOk, kWriteFailed when
    // the file cannot be made, kNoMemory. An open list is emptied first.
    Result open();
    // Deletes the file and frees the table.
    void free();
    bool isOpen() const { return temp_.valid(); }

    // The bucket of a stored name: upper-cased, then h = first byte and
    // h = (h * 256 + c) mod 32749 for each following byte; "" is bucket 0.
    // Names that differ only in case share a bucket, so the one hash serves
    // both the exact and the case-blind compare.
    static uint32_t bucketOf(const char* storedName);

    // Adds a file unless its stored name is present already (then kOk and
    // nothing changes). `lastWrite` is a UTC file time; `size` is ignored for
    // directories. `optionFlags` are the zip flags whose -J bits leave
    // attributes out. `mode` is the file's Unix mode, 0 where it has none. kOk, kTooMany past kMaxRecords, kTooLong for a name or
    // path over 255 characters, kShortRead, kAccessDenied when a chain cannot
    // be relinked, kWriteFailed.
    Result add(const char* fullPath, const char* storedName, uint32_t attributes, uint64_t lastWrite,
               uint64_t size, uint32_t optionFlags, uint32_t mode = 0);

    // Looks a stored name up (compared as sameFileName does). Found: `*found`
    // is true, `*offset` the record's offset and `*fullPath` its path. Not
    // found: `*offset` is the last record of the bucket's chain, or kNoRecord.
    Result lookup(const char* storedName, bool* found, uint32_t* offset, std::string* fullPath);
    // The same, delivering the whole record (its offset included) when found.
    Result lookup(const char* storedName, bool* found, FileRecord* record);

    // Reads the records in the order they were added.
    Result forEach(const std::function<Result(const FileRecord&)>& visit);

    // Called with each record as it is added (not for a duplicate): its
    // offset, full path, attributes and size. Empty: nobody is told.
    using AddObserver = std::function<void(uint32_t offset, const char* fullPath, uint32_t attributes, uint64_t size)>;
    void observeAdditions(AddObserver observer) { observer_ = std::move(observer); }

    uint32_t count() const { return count_; }
    uint32_t nameTotal() const { return nameTotal_; }
    // The temporary file, for tests; it holds the records once they have
    // outgrown the memory bound.
    const TempFile& temporaryFile() const { return temp_; }
    bool inMemory() const { return !spilled_; }

    static constexpr uint32_t kNoRecord = 0xFFFFFFFFu;  // also the empty-bucket marker

private:
    struct TableDeleter {
        void operator()(uint32_t* table) const;
    };
    // Walks the bucket chain of a stored name; `*record` holds the last record
    // read (the match when found), its path read only when asked.
    Result search(const char* storedName, bool* found, uint32_t* offset, FileRecord* record, bool withPath);
    // Reads the header and stored name of the record at `offset`.
    Result readRecord(uint32_t offset, FileRecord* record, uint32_t* next, bool withPath);

    // Moves the records held in memory to the file: false when that fails,
    // and they are then still held.
    bool spill();

    TempFile temp_;
    uint32_t memoryBound_;
    std::vector<uint8_t> held_;  // the records, until they are spilled
    bool spilled_ = false;
    std::unique_ptr<uint32_t[], TableDeleter> buckets_;
    uint32_t end_ = 0;  // offset at which the next record goes
    uint32_t count_ = 0;
    uint32_t nameTotal_ = 0;
    AddObserver observer_;
};

}  // namespace zar::fs
