#include "write/zip_run.h"

#include <algorithm>
#include <deque>
#include <new>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/zipcrypto.h"
#include "common/bytes.h"
#include "frame/local_time.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/dir_walk.h"
#include "fs/file_list.h"
#include "fs/long_names.h"
#include "fs/names.h"
#include "fs/zip_rules.h"
#include "write/compress_ahead.h"
#include "write/delete_run.h"
#include "write/entry_writer.h"
#include "write/new_archive.h"
#include "write/volume_writer.h"

namespace zar::write {
namespace {

using archive::CentralRecord;

// True when a file's DOS date and time are strictly later than an entry's.
bool newer(uint16_t fileDate, uint16_t fileTime, uint16_t entryDate, uint16_t entryTime) {
    return fileDate > entryDate || (fileDate == entryDate && fileTime > entryTime);
}

class ZipRun {
public:
    ZipRun(archive::ArchiveHandle& archive, const frame::OptionSet& options)
        : archive_(archive), options_(options), target_(archive) {}

    Result run(const char* includeSpecs, const char* excludeSpecs);
    // The run over the one file `path`, stored under `storedName` as it stands.
    Result runOne(const std::string& path, const std::string& storedName);
    // Deletes or clears the archive bit of the files written (-M, -A+).
    void afterCommit();

private:
    bool has(uint32_t flag) const { return options_.flags & flag; }
    template <class MakeList>
    Result build(MakeList&& makeList);
    Result listOne(const std::string& path, const std::string& storedName);
    Result existingEntries();
    // Hands the files of a new archive to the workers as they are listed.
    void compressWhileListing();
    Result newFiles();
    void readLabel();
    Result volumeLabel();
    // Asks whether an entry is to be replaced (-.Q): kOk with `*replace` set,
    // or kCancelled.
    Result askReplace(const std::string& name, bool* replace);
    Result writeFile(const fs::FileRecord& file, const std::string& storedName, AheadData* ahead = nullptr);
    // An empty multi-volume set, filled straight onto its volumes.
    Result fillVolumes();
    // The bytes the central directory of this run can take at most: every
    // listed file's record with its final name and blocks, and the label's.
    Result directoryBound(uint64_t* bytes);
    fs::FileHandle dataFile() const { return volumes_ ? volumes_->data() : target_.data(); }
    fs::FileHandle directoryFile() const { return volumes_ ? volumes_->directory() : target_.directory(); }
    Result countEntry() { return volumes_ ? volumes_->count() : target_.count(); }
    uint64_t entries() const { return volumes_ ? volumes_->entries() : target_.entries(); }

    archive::ArchiveHandle& archive_;
    const frame::OptionSet& options_;
    NewArchive target_;
    std::optional<VolumeWriter> volumes_;  // multi-volume sets only
    fs::FileList list_;
    NewestTime newest_;
    std::unordered_set<uint32_t> dealt_;    // list records matched against an entry
    std::unordered_set<uint32_t> written_;  // list records whose file went into the archive
    std::vector<uint8_t> extra_ = std::vector<uint8_t>(archive::kCommentLimit);  // of the entry in hand
    bool replaceAll_ = false;
    bool namedByHost_ = false;  // stored names are the host's, not the disk's
    std::string label_;         // the drive's label, stored with -$; read once at the start
    std::optional<CompressAhead> ahead_;
    // List records compressed ahead while the list was made, in its order.
    std::deque<std::pair<uint32_t, AheadData*>> listedAhead_;
};

Result ZipRun::run(const char* includeSpecs, const char* excludeSpecs) {
    return build([&] { return fs::buildFileList(includeSpecs, excludeSpecs, options_, list_); });
}

Result ZipRun::runOne(const std::string& path, const std::string& storedName) {
    namedByHost_ = true;
    return build([&] { return listOne(path, storedName); });
}

// The list of one file, under the filters that look at the file itself.
Result ZipRun::listOne(const std::string& path, const std::string& storedName) {
    platform::FoundItem item;
    platform::Search* search = platform::findFirstFile(fs::ansiForm(path).c_str(), &item);
    if (search == nullptr) return kPathNotFound;
    platform::findClose(search);
    if (has(frame::kZipArchiveBitOnly) && !(item.attributes & platform::kAttrArchive)) return kNothingDone;
    if (has(frame::kZipDateAfter | frame::kZipDateBefore) &&
        fs::outsideDates(frame::utcToDos(item.lastWrite).date, options_))
        return kNothingDone;
    if (Result r = list_.open(); r != kOk) return r;
    return list_.add(path.c_str(), storedName.c_str(), item.attributes, item.lastWrite, item.size, options_.flags,
                     item.mode);
}

template <class MakeList>
Result ZipRun::build(MakeList&& makeList) {
    StatusRecord& status = frame::status();
    frame::setNameField(status.archiveName, fs::ansiForm(archive_.name).c_str());
    if (!archive_.writable()) return kNotWritable;

    // A set is written once, while it is empty and on its first volume; a
    // run that stopped on the way leaves it past that point for good.
    if (archive_.multiVolume() && (archive_.volume != 1 || archive_.file == fs::kInvalidFile))
        return kNotOnThisKind;
    const int64_t size = fs::seekToEnd(archive_.file);
    if (size < 0) return kAccessDenied;
    const bool notEmpty = size > 0;
    if (notEmpty && archive_.multiVolume()) return kNotOnThisKind;
    if (!notEmpty && has(frame::kZipFreshen)) return kNothingDone;
    if (notEmpty && !fs::seekTo(archive_.file, 0)) return kAccessDenied;

    if (!notEmpty && !namedByHost_) compressWhileListing();
    if (Result r = makeList(); r != kOk) return r;
    if (list_.count() == 0) return kNothingDone;
    if (has(frame::kZipVolumeLabel)) readLabel();
    if (archive_.multiVolume()) return fillVolumes();

    DosDateTime kept;
    if (has(frame::kZipKeepArchiveTime))
        if (Result r = archiveDosTime(archive_, &kept); r != kOk) return r;
    if (Result r = target_.create(); r != kOk) return r;

    if (notEmpty)
        if (Result r = existingEntries(); r != kOk) return r;
    if (!has(frame::kZipFreshen))
        if (Result r = newFiles(); r != kOk) return r;
    if (has(frame::kZipVolumeLabel))
        if (Result r = volumeLabel(); r != kOk) return r;
    if (entries() == 0) return kNothingDone;

    if (Result r = target_.finish(); r != kOk) return r;
    const DosDateTime* time = nullptr;
    if (has(frame::kZipKeepArchiveTime)) time = &kept;
    else if (has(frame::kZipNewestTime) && newest_.any) time = &newest_.time;
    return target_.commit(time);
}

// There is no commit: the volumes are the archive, and no file time is set
// afterwards (-K, -O). The set is finished only when everything else is done.
Result ZipRun::fillVolumes() {
    volumes_.emplace(archive_);
    if (Result r = volumes_->create(); r != kOk) return r;
    uint64_t reserve = 0;
    if (volumes_->directoryInFront())
        if (Result r = directoryBound(&reserve); r != kOk) return r;
    if (Result r = volumes_->begin(reserve); r != kOk) return r;
    if (Result r = newFiles(); r != kOk) return r;
    if (has(frame::kZipVolumeLabel))
        if (Result r = volumeLabel(); r != kOk) return r;
    if (entries() == 0) return kNothingDone;
    return volumes_->finish(has(frame::kZipVersionBlock));
}

// Worked out the way the entry writer forms names and blocks: a directory's
// name gains its '/', -.V adds its block to every entry, and under long names
// a name whose short form differs is stored short with a long-name block.
Result ZipRun::directoryBound(uint64_t* bytes) {
    const bool versionBlock = has(frame::kZipVersionBlock);
    const bool shortForms = has(frame::kZipLongNames) && !has(frame::kZipLongNamesAsIs) && !namedByHost_;
    constexpr uint64_t kVersionBlockSize = 14, kLongNameBlockHead = 6;
    uint64_t total = 0;
    Result r = list_.forEach([&](const fs::FileRecord& file) {
        std::string name = file.storedName;
        std::replace(name.begin(), name.end(), '\\', '/');
        if ((file.attributes & platform::kAttrDirectory) && !name.empty() && name.back() != '/') name += '/';
        uint64_t size = CentralRecord::kSize + name.size() + (versionBlock ? kVersionBlockSize : 0);
        if (shortForms) {
            std::string shortName;
            if (Result s = fs::shortNameForm(file.fullPath, &name, &shortName); s != kOk) return s;
            if (!name.empty() && name != shortName)
                size = CentralRecord::kSize + shortName.size() + kLongNameBlockHead + name.size() +
                       (versionBlock ? kVersionBlockSize : 0);
        }
        total += size;
        return kOk;
    });
    if (r != kOk) return r;
    if (!label_.empty()) total += CentralRecord::kSize + label_.size() + (versionBlock ? kVersionBlockSize : 0);
    *bytes = total;
    return kOk;
}

Result ZipRun::existingEntries() {
    if (Result r = target_.readOldEnd(); r != kOk) return r;
    OldEntries old(archive_);
    StatusRecord& status = frame::status();
    Result r;
    for (r = old.first(); r == kOk; r = old.next()) {
        ExistingEntry& entry = old.entry();
        const uint8_t* record = entry.record;
        // The drive's current label is added at the end instead. Only DOS
        // hosts' attribute bytes say what an entry is.
        const bool label = archive::hostSystem(loadLe16(record + CentralRecord::kVersionMadeBy)) ==
                               archive::HostSystem::Dos &&
                           (record[CentralRecord::kExternalAttributes] & archive::kDosVolumeLabel);
        if (has(frame::kZipVolumeLabel) && label) continue;

        // Directories are listed without the '/' their entries end in.
        std::string key = entry.name;
        if (key.size() > 1 && key.back() == '/') key.pop_back();
        bool found = false;
        fs::FileRecord file;
        if (Result l = list_.lookup(key.c_str(), &found, &file); l != kOk) return l;
        bool replace = false;
        if (found) {
            const uint16_t date = loadLe16(record + CentralRecord::kDate), time = loadLe16(record + CentralRecord::kTime);
            if (has(frame::kZipUpdate | frame::kZipFreshen))
                replace = newer(file.date, file.time, date, time);
            else if (replaceAll_ || !has(frame::kZipAskReplace))
                replace = true;
            else if (Result a = askReplace(entry.name, &replace); a != kOk)
                return a;
        }

        if (Result c = target_.count(); c != kOk) return c;
        if (replace) {
            frame::setOperation(frame::Operation::Zipping);
            frame::setNameField(status.entryName, fs::ansiForm(file.fullPath).c_str());
            // The entry keeps its name and place; its old comment goes.
            if (Result w = writeFile(file, entry.name); w != kOk) return w;
            written_.insert(file.offset);
        } else {
            newest_.see(loadLe16(record + CentralRecord::kDate), loadLe16(record + CentralRecord::kTime));
            if (Result c = copyEntry(archive_.file, target_.data(), target_.directory(), entry); c != kOk) return c;
        }
        if (found) dealt_.insert(file.offset);
    }
    return r == kNothingDone ? kOk : r;
}

// In a new archive every listed file becomes an entry, in the list's order,
// so the workers can start on the first files while the rest are listed.
// Files are handed over until the bound is reached; newFiles goes on from there.
void ZipRun::compressWhileListing() {
    ahead_.emplace(writingThreads());
    list_.observeAdditions([this](uint32_t offset, const char* path, uint32_t attributes, uint64_t size) {
        if ((attributes & platform::kAttrDirectory) || !ahead_->takes(size) || ahead_->full()) return;
        listedAhead_.emplace_back(offset, ahead_->queue(path, size, options_.level));
    });
}

// The listed files not dealt with among the old entries, in the list's
// order. With more than one thread, the files ahead of the one being written
// are compressed meanwhile on worker threads; everything the host sees, and
// every byte written, comes from this thread in the same order as with one.
Result ZipRun::newFiles() {
    StatusRecord& status = frame::status();
    if (!ahead_) ahead_.emplace(list_.count() > 1 ? writingThreads() : 1);
    CompressAhead& ahead = *ahead_;
    struct Pending {
        fs::FileRecord file;
        AheadData* data;  // null: compressed when it is written
    };
    std::deque<Pending> pending;
    auto writeOldest = [&] {
        const Pending next = std::move(pending.front());
        pending.pop_front();
        if (Result c = countEntry(); c != kOk) return c;
        frame::setOperation(frame::Operation::Zipping);
        frame::setNameField(status.entryName, fs::ansiForm(next.file.fullPath).c_str());
        if (Result w = writeFile(next.file, next.file.storedName, next.data); w != kOk) return w;
        written_.insert(next.file.offset);
        return kOk;
    };
    Result r = list_.forEach([&](const fs::FileRecord& file) {
        if (dealt_.count(file.offset) != 0) return kOk;
        AheadData* data = nullptr;
        if (!listedAhead_.empty() && listedAhead_.front().first == file.offset) {
            data = listedAhead_.front().second;
            listedAhead_.pop_front();
        } else if (!(file.attributes & platform::kAttrDirectory) && ahead.takes(file.size)) {
            data = ahead.queue(file.fullPath, file.size, options_.level);
        }
        pending.push_back({file, data});
        // On one thread nothing waits: each file is written as it is listed.
        while (!pending.empty() && (!ahead.working() || ahead.full() || pending.size() > CompressAhead::kJobBound))
            if (Result w = writeOldest(); w != kOk) return w;
        return kOk;
    });
    while (r == kOk && !pending.empty()) r = writeOldest();
    return r;
}

void ZipRun::readLabel() {
    std::string root;
    if (options_.drive[0] != '\0' && options_.drive[0] != 'x' && options_.drive[0] != 'X')
        root = std::string(1, options_.drive[0]) + ":\\";
    else
        root = ".";
    std::string label;
    if (platform::volumeLabel(root.c_str(), &label)) label_ = fs::oemForm(label);
}

Result ZipRun::volumeLabel() {
    if (label_.empty()) return kOk;
    if (Result c = countEntry(); c != kOk) return c;
    frame::setNameField(frame::status().entryName, fs::ansiForm(label_).c_str());
    fs::FileRecord file;
    file.attributes = platform::kAttrVolumeLabel;
    file.storedName = label_;
    file.fullPath = label_;
    return writeFile(file, label_);
}

Result ZipRun::askReplace(const std::string& name, bool* replace) {
    StatusRecord& status = frame::status();
    frame::setOperation(frame::Operation::Zipping);
    frame::setNameField(status.entryName, fs::ansiForm(name).c_str());
    switch (frame::ask(frame::Question::FileExists)) {
        case frame::Answer::Yes: *replace = true; return kOk;
        case frame::Answer::No: *replace = false; return kOk;
        case frame::Answer::YesToAll: *replace = replaceAll_ = true; return kOk;
        default: return kCancelled;
    }
}

Result ZipRun::writeFile(const fs::FileRecord& file, const std::string& storedName, AheadData* ahead) {
    uint8_t record[CentralRecord::kSize];
    if (volumes_) {
        // The records of a set over several volumes keep to 32 bits.
        if (file.size >= archive::kAllOnes32 - codec::kEncryptionHeaderSize) return kTooLong;
        if (Result r = volumes_->startEntry(); r != kOk) return r;
    }
    archive::EntryExtent extent;
    if (Result r = initEntryRecord(record, file, storedName, options_.flags, dataFile(), &extent); r != kOk)
        return r;
    std::string name = storedName;
    EntryRequest request;
    request.level = options_.level;
    request.diskPath = file.fullPath;
    request.dataFile = dataFile();
    request.directoryFile = directoryFile();
    request.record = record;
    request.extent = &extent;
    request.storedName = &name;
    request.extra = extra_.data();
    request.comment = "";
    request.password = options_.password;
    request.versionBlock = has(frame::kZipVersionBlock);
    request.longNames = has(frame::kZipLongNames);
    request.longNamesAsIs = has(frame::kZipLongNamesAsIs) || namedByHost_;
    request.ahead = ahead;
    if (Result r = writeEntry(request); r != kOk) return r;
    if (volumes_)
        if (Result r = volumes_->placeEntry(record, name, extra_.data()); r != kOk) return r;
    newest_.see(file.date, file.time);
    return kOk;
}

void ZipRun::afterCommit() {
    if (!has(frame::kZipMove | frame::kZipClearArchiveBit)) return;
    list_.forEach([&](const fs::FileRecord& file) {
        if (written_.count(file.offset) == 0) return kOk;
        const std::string path = fs::ansiForm(file.fullPath);
        if (has(frame::kZipClearArchiveBit)) {
            constexpr uint32_t kKept = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
            if (file.attributes & platform::kAttrArchive)
                platform::setFileAttributes(path.c_str(), file.attributes & kKept);
        } else {
            if (has(frame::kZipMoveReadOnly) && (file.attributes & platform::kAttrReadOnly))
                platform::setFileAttributes(path.c_str(), 0);
            platform::deleteFile(path.c_str());
        }
        return kOk;
    });
}

// Gives the archive file the date and time of its newest entry.
Result stampNewest(archive::ArchiveHandle& archive) {
    if (!archive.writable()) return kNotWritable;
    OldEntries entries(archive);
    NewestTime newest;
    Result r;
    for (r = entries.first(); r == kOk; r = entries.next())
        newest.see(loadLe16(entries.record() + CentralRecord::kDate), loadLe16(entries.record() + CentralRecord::kTime));
    if (r != kNothingDone) return r;
    if (!newest.any) return kNothingDone;
    uint64_t utc;
    if (!frame::dosToUtc(newest.time, &utc) || !platform::setFileTime(archive.file, utc))
        return kAccessDenied;
    return kOk;
}

// The options of a run over `archive`, the sticky long-name rule applied.
Result runOptions(archive::ArchiveHandle& archive, const char* options, frame::OptionSet* set) {
    if (archive.multiVolume()) set->flags = frame::kZipMultiVolume;
    if (Result r = frame::zipOptions(options, *set); r != kOk) return r;
    if (set->flags & frame::kZipLongNames)
        archive.longNameMode = true;
    else if (archive.longNameMode)
        set->flags |= frame::kZipLongNames;
    if (!(set->flags & frame::kZipLongNames)) set->flags |= frame::kZipShortNames;
    return kOk;
}

}  // namespace

Result zip(fs::FileHandle* handle, const char* includeSpecs, const char* excludeSpecs, const char* options) {
    archive::ArchiveHandle* archive = handle == nullptr ? nullptr : archive::lookup(*handle);
    if (archive == nullptr) return kNotOpen;

    frame::setMoreStatus(0);
    frame::OptionSet set;
    if (Result r = runOptions(*archive, options, &set); r != kOk) return r;

    Result result;
    if (set.flags & frame::kZipDelete) {
        result = deleteEntries(*archive, includeSpecs, excludeSpecs, set.flags);
    } else if (includeSpecs != nullptr && *includeSpecs != '\0') {
        ZipRun run(*archive, set);
        result = run.run(includeSpecs, excludeSpecs);
        if (result == kOk) run.afterCommit();
        // Files passed over with a notice (a link that leads nowhere or back
        // into the walk) make the run's result say so, whether or not
        // anything else was done; Ax4MoreStatus names the last such problem.
        if ((result == kOk || result == kNothingDone) && frame::moreStatus() != 0) result = kSomeEntriesFailed;
    } else if (!(set.flags & frame::kZipNewestTime)) {
        return kMissingArgument;
    } else if (set.flags & frame::kZipMultiVolume) {
        return kNotOnThisKind;
    } else {
        result = stampNewest(*archive);
    }
    // The next operation reads the directory afresh.
    archive->endLocated = false;
    *handle = archive->file;
    if (archive->multiVolume() && archive->file == fs::kInvalidFile) {
        // A volume change that was cancelled or failed left no volume open:
        // the set is closed, and the host's variable says so.
        fs::FileHandle none = fs::kInvalidFile;
        archive::closeArchive(&none);
    }
    return result;
}

Result zipFileAs(fs::FileHandle* handle, const std::string& path, const std::string& storedName,
                 const char* options) {
    archive::ArchiveHandle* archive = handle == nullptr ? nullptr : archive::lookup(*handle);
    if (archive == nullptr) return kNotOpen;
    frame::OptionSet set;
    if (Result r = runOptions(*archive, options, &set); r != kOk) return r;
    if (set.flags & frame::kZipDelete) return kOptionConflict;

    std::string name = storedName;
    std::replace(name.begin(), name.end(), '\\', '/');
    ZipRun run(*archive, set);
    Result result = run.runOne(path, name);
    if (result == kOk) run.afterCommit();
    archive->endLocated = false;
    *handle = archive->file;
    return result;
}

Result quickZip(const char* archiveName, const char* includeSpecs, const char* options) {
    fs::FileHandle handle = fs::kInvalidFile;
    Result r = archive::openArchive(archiveName, archive::OpenMode::Decide, &handle);
    if (r != kOk) return r;
    r = zip(&handle, includeSpecs, nullptr, options);
    archive::closeArchive(&handle);
    return r;
}

}  // namespace zar::write
