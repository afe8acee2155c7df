// What every writing run of an ordinary archive shares: the new archive is
// built in a data file while the central records gather in a directory file;
// the directory, the end record and the archive comment are appended at the
// end, and only then is the new archive committed over the old one. Both
// temporary files are gone afterwards, whatever happened; where the system
// allows they are anonymous, and not even a killed run leaves them behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/records.h"
#include "common/dos_date.h"
#include "frame/result.h"
#include "fs/temp_files.h"
#include "write/copy_entry.h"

namespace zar::write {

// The newest of the DOS dates and times seen, the date deciding first.
struct NewestTime {
    bool any = false;
    DosDateTime time;
    void see(uint16_t date, uint16_t time);
};

// The last-write time of the archive file, in local DOS form (both fields 0
// when it has none): the time a run with -K gives the archive back.
Result archiveDosTime(const archive::ArchiveHandle& archive, DosDateTime* time);

// The entries of the old archive, read one at a time in directory order,
// each with its central record as it stands and the name the run matches,
// ready to be copied.
class OldEntries {
public:
    explicit OldEntries(archive::ArchiveHandle& archive) : archive_(archive) {}
    // kOk with an entry in hand; kNothingDone at the end; the reader's codes.
    Result first();
    Result next();
    ExistingEntry& entry() { return entry_; }
    const uint8_t* record() const { return raw_.record; }

private:
    Result read(bool first);

    archive::ArchiveHandle& archive_;
    archive::RawRecord raw_;
    ExistingEntry entry_{};
};

class NewArchive {
public:
    explicit NewArchive(archive::ArchiveHandle& archive) : archive_(archive) {}
    // Builds the new archive as a file of its own, `outputName` (in the file
    // system's form), instead of in the archive's place: the data file lies
    // beside that name with the permissions of a new file, and the commit
    // renames it there, replacing a file of that name only then.
    NewArchive(archive::ArchiveHandle& archive, std::string outputName)
        : archive_(archive), output_(std::move(outputName)) {}
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;

    // Makes the data and directory files: kOk or kWriteFailed.
    Result create();
    fs::FileHandle data() const { return dataFile_.file(); }
    fs::FileHandle directory() const { return directoryFile_.file(); }

    // Counts one more entry; past 65535 the Zip64 end record carries the count.
    Result count();
    uint64_t entries() const { return entries_; }

    // Reads the old archive's end record and comment, which the new archive
    // carries over byte for byte. kOk or the reader's code.
    Result readOldEnd();

    // Appends the directory, the end record and the archive comment. When the
    // count, the directory's size or its offset does not fit the end record,
    // a Zip64 end record and its locator go before it, and the end record
    // holds all ones in the fields that do not fit.
    Result finish();

    // Removes the directory file and commits the data file over the archive
    // (or to the output name); `time`, when given, becomes the archive's
    // last-write time.
    Result commit(const DosDateTime* time);

private:
    archive::ArchiveHandle& archive_;
    std::string output_;  // empty: the archive's own place
    fs::TempFile dataFile_, directoryFile_;
    uint64_t entries_ = 0;
    uint8_t end_[archive::EndRecord::kSize] = {};
    std::vector<char> comment_;
};

}  // namespace zar::write
