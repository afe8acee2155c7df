// Where an entry's data is read from: the archive file itself, or, for a set
// whose entries may cross from one volume to the next, a copy of the entry
// (local header through data) gathered from its volumes into a temporary
// file. The volumes are read through a reader of the source's own, so the
// archive's file, the handle its host holds, stays as it is.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/handles.h"
#include "frame/result.h"
#include "fs/temp_files.h"

namespace zar::extract {

class EntrySource {
public:
    // With `readAhead`, the entries of a ZIP archive are read into memory a
    // window of kWindowSize bytes at a time, from the local header of the
    // entry that needs a new window on: a run over the entries in the order
    // they lie in reads many small ones with one call. Such an entry is
    // read through read() or held(), and file() is not positioned for it.
    static constexpr uint32_t kWindowSize = 256 * 1024;
    explicit EntrySource(bool readAhead = false) : readAhead_(readAhead) {}
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;
    ~EntrySource();

    // Positions file() at the first byte of the data of the entry whose
    // central record is `record`, its full-width sizes and offset `extent` (past its local header, name and extra
    // field; at the recorded offset for TAR and gzip members). kOk,
    // kShortRead, or for gathered entries kAccessDenied (a volume or the copy
    // could not be read or made) and kCancelled (the host declined a disk).
    Result locate(const archive::ArchiveHandle& archive, const uint8_t* record, const archive::EntryExtent& extent);
    fs::FileHandle file() const { return file_; }
    // The rest of the entry's data when the window holds it, else nullptr.
    const uint8_t* held() const { return held_; }
    // Reads the next `count` bytes of the entry's data, from the window or
    // from file(); false when they are not there.
    bool read(void* buffer, uint32_t count);

private:
    Result gather(const archive::ArchiveHandle& archive, const uint8_t* record, const archive::EntryExtent& extent);
    Result gatherBytes(uint64_t count);
    // Finds the entry in the window, reading a new one when needed: false
    // when it does not fit in one, and the entry is then read from the file.
    bool locateInWindow(const archive::ArchiveHandle& archive, const uint8_t* record,
                        const archive::EntryExtent& extent);

    archive::ArchiveHandle volumes_;  // the set's volumes, one open at a time
    bool volumesReady_ = false;
    fs::TempFile copy_;
    fs::FileHandle file_ = fs::kInvalidFile;
    const bool readAhead_;
    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;
    uint32_t windowSize_ = 0;  // the bytes the window holds
    const uint8_t* held_ = nullptr;
    uint64_t heldLeft_ = 0;
};

}  // namespace zar::extract
