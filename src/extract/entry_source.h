// Where an entry's data is read from: the archive file itself, or, for a set
// whose entries may cross from one volume to the next, a copy of the entry
// (local header through data) gathered from its volumes into a temporary
// file. The volumes are read through a reader of the source's own, so the
// archive's file, the handle its host holds, stays as it is.
#pragma once

#include <cstdint>

#include "archive/handles.h"
#include "frame/result.h"
#include "fs/temp_files.h"

namespace zar::extract {

class EntrySource {
public:
    EntrySource() = default;
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

private:
    Result gather(const archive::ArchiveHandle& archive, const uint8_t* record, const archive::EntryExtent& extent);
    Result gatherBytes(uint64_t count);

    archive::ArchiveHandle volumes_;  // the set's volumes, one open at a time
    bool volumesReady_ = false;
    fs::TempFile copy_;
    fs::FileHandle file_ = fs::kInvalidFile;
};

}  // namespace zar::extract
