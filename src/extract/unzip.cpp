#include "extract/unzip.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/extra_field.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "extract/decoders.h"
#include "extract/entry_source.h"
#include "extract/output_paths.h"
#include "extract/password.h"
#include "extract/pipeline.h"
#include "frame/local_time.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/copy.h"
#include "fs/names.h"
#include "fs/temp_files.h"
#include "fs/wildcard.h"

namespace zar::extract {
namespace {

using archive::CentralRecord;

// Big enough that no real extra field is ever cut; the comment is not read.
constexpr uint16_t kExtraRoom = 65534;

bool isReadOnly(uint32_t attributes) { return attributes & platform::kAttrReadOnly; }

// A path that begins with two separators: "\\server\share\..." or "//server/share/...".
bool isUnc(const std::string& path) { return path.size() >= 2 && fs::isSeparator(path[0]) && fs::isSeparator(path[1]); }

// Reads `count` bytes of `file` and drops them, a block at a time: how a
// member stored as it stands is tested.
Result readThrough(fs::FileHandle file, uint64_t count) {
    archive::WorkBuffers buffers;
    if (Result r = buffers.acquire(); r != kOk) return r;
    while (count != 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kBlockSize));
        if (!fs::readExact(file, buffers.first(), n)) return kShortRead;
        count -= n;
        frame::yield();
        if (frame::takeCancel()) return kCancelled;
    }
    return kOk;
}

class UnzipRun {
public:
    explicit UnzipRun(archive::ArchiveHandle& archive) : archive_(archive) {}
    UnzipRun(const UnzipRun&) = delete;
    UnzipRun& operator=(const UnzipRun&) = delete;

    Result setup(const char* outputDir, const char* includeSpecs, const char* excludeSpecs, const char* options);
    Result walk();
    // Gives the directories of directory entries their stored times and
    // permissions, once everything inside them is written.
    void finishDirectories();
    uint32_t processed() const { return processed_; }

private:
    Result entry();
    Result directoryEntry(const std::string& path);
    Result volumeLabelEntry();
    Result fileEntry(const std::string& path);
    Result locate();
    Result decide(const std::string& path, bool* write);
    Result weigh(uint32_t targetAttributes, bool* write);
    Result extractFile(uint32_t* crc, bool* placed);
    Result produce(fs::FileHandle output, uint32_t* crc);
    Result setFileTime(fs::FileHandle output);
    bool unixPermissions(uint32_t* permissions) const;

    Result passwordCheck(bool* passed);
    // The host's answer to a per-entry notice: kOk to go on with the next
    // entry, kCancelled to end the run.
    Result notice(int16_t code);
    // A file that cannot be replaced or created: skipped, silently under -.O.
    Result accessDenied();

    bool has(uint32_t flag) const { return flags_ & flag; }
    bool test() const { return has(frame::kUnzipTest); }
    bool tarKind() const { return archive_.kind == archive::Kind::Tar; }
    bool gzipKind() const { return archive_.kind == archive::Kind::Gzip; }
    bool foreignKind() const { return archive::isForeign(archive_.kind); }
    // Entries with local headers, passwords and the ZIP methods.
    bool zipKind() const { return !tarKind() && !gzipKind() && !foreignKind(); }
    // Encryption that no password opens here: AES and strong encryption.
    bool undecryptable() const {
        return zipKind() && (field16(CentralRecord::kMethod) == archive::kMethodAes ||
                             (field16(CentralRecord::kFlags) & archive::kFlagStrongEncryption));
    }

    uint16_t field16(size_t at) const { return loadLe16(record_ + at); }
    uint32_t field32(size_t at) const { return loadLe32(record_ + at); }

    archive::ArchiveHandle& archive_;
    EntrySource source_{true};  // where the entry in hand is read from, a window at a time
    uint32_t flags_ = 0;
    char password_[frame::kPasswordSize] = {};
    uint32_t attributeMask_ = archive::kDosAttributeMask;
    std::string outputDir_;
    fs::SpecList include_, exclude_;
    uint8_t record_[CentralRecord::kSize] = {};
    archive::EntryExtent extent_;  // the record's sizes and offset at their full width
    uint32_t storedAttributes_ = 0;  // the record's external attributes as stored
    std::vector<char> name_;
    std::vector<uint8_t> extra_;
    std::string ansiPath_;       // the output path of the entry in hand, for the file system
    size_t storedDrive_ = 0;     // the length of the stored drive it begins with (-.D)
    OutputTree tree_;
    std::optional<std::string> madeDirectory_;  // whose tree was made last
    std::string fullDirectory_;  // its full path, for the registry, once asked for
    // Nothing stood at the entry's path when it was looked up, or the run
    // knows it is free (OutputTree) and did not look: the file takes the path
    // only where nothing stands, and whatever has come there meanwhile meets
    // the overwrite decision then.
    bool placeNew_ = false;
    uint32_t creationMask_ = platform::kUnknownCreationMask;  // read once per run
    // A read-only file in the entry's place that -R+ lets it replace: made
    // writable only once the entry's file is complete, and given back these
    // attributes when it cannot be replaced after all.
    bool unlockTarget_ = false;
    uint32_t targetAttributes_ = 0;
    bool yesToAll_ = false;
    uint32_t processed_ = 0;

    // A directory made for a directory entry, finished after the walk.
    struct MadeDirectory {
        std::string path;  // ANSI
        uint16_t date, time;
        bool withPermissions;
        uint32_t permissions;
    };
    std::vector<MadeDirectory> directories_;
};

Result UnzipRun::setup(const char* outputDir, const char* includeSpecs, const char* excludeSpecs,
                       const char* options) {
    StatusRecord& status = frame::status();
    frame::setNameField(status.archiveName, fs::ansiForm(archive_.name).c_str());
    name_.assign(archive::kNameLimit + 1, '\0');
    extra_.assign(kExtraRoom, 0);

    if (Result r = frame::unzipOptions(options, flags_, password_); r != kOk) return r;
    if (has(frame::kUnzipLongNames))
        archive_.longNameMode = true;
    else if (archive_.longNameMode)
        flags_ |= frame::kUnzipLongNames;

    if (has(frame::kUnzipNoHidden)) attributeMask_ &= ~archive::kDosHidden;
    if (has(frame::kUnzipNoSystem)) attributeMask_ &= ~archive::kDosSystem;
    if (has(frame::kUnzipNoReadOnly)) attributeMask_ &= ~archive::kDosReadOnly;
    if (has(frame::kUnzipNoNormal)) attributeMask_ &= ~archive::kDosNormal;

    if (test()) {
        frame::setOperation(frame::Operation::Testing);
    } else {
        frame::setOperation(frame::Operation::Unzipping);
        if (platform::hasUnixModes()) creationMask_ = platform::fileCreationMask();
        outputDir_ = outputDir == nullptr ? "" : outputDir;
        // "C:" names the current directory of a drive where paths have
        // drives; elsewhere "out:" is a directory like any other.
        const bool driveAlone = !outputDir_.empty() && outputDir_.back() == ':' && platform::pathsHaveDrives();
        if (!outputDir_.empty() && !fs::isSeparator(outputDir_.back()) && !driveAlone) outputDir_ += '/';
        platform::ansiToOem(outputDir_.data());
    }
    include_ = fs::SpecList(includeSpecs);
    exclude_ = fs::SpecList(excludeSpecs);

    return kOk;
}

Result UnzipRun::walk() {
    archive::RecordBuffers buffers{record_, name_.data(), extra_.data(), kExtraRoom, nullptr, archive::kSkipPart,
                                   &storedAttributes_, &extent_};
    archive_.keepNameLength = true;
    Result r = archive::findFirst(archive_, buffers);
    while (r == kOk) {
        r = entry();
        if (r != kOk) return r;
        archive_.keepNameLength = true;
        r = archive::findNext(archive_, buffers);
    }
    return r == kNothingDone ? kOk : r;
}

Result UnzipRun::entry() {
    const std::string name = fs::oemForm(name_.data());
    if (!fs::select(name, include_, exclude_, true, true)) return kOk;

    const bool keepDrive = has(frame::kUnzipKeepDrive);
    const bool withDirectories = has(frame::kUnzipDirectories);
    std::string drive, directory, file;
    fs::splitName(name.c_str(), keepDrive ? &drive : nullptr, &directory, &file);

    const uint8_t lowAttributes = static_cast<uint8_t>(field32(CentralRecord::kExternalAttributes));
    // A name ending in a separator is a directory whatever its attributes say
    // (several writers leave the attribute byte of directories empty).
    const bool isDirectory = (lowAttributes & archive::kDosDirectory) || (!name.empty() && file.empty());
    const bool isVolumeLabel = !isDirectory && (lowAttributes & archive::kDosVolumeLabel);

    StatusRecord& status = frame::status();
    std::string path;
    if (test()) {
        frame::setNameField(status.entryName, name_.data());
    } else {
        // The stored paths are taken as they stand only under -.D; otherwise
        // an entry always lands inside the output directory.
        if (!keepDrive)
            while (!directory.empty() && fs::isSeparator(directory.front())) directory.erase(0, 1);
        path = drive + outputDir_ + (withDirectories ? directory : "") + file;
        if (isDirectory && !path.empty() && !fs::isSeparator(path.back())) path += '/';
        if (keepDrive) applyPathFilters(path);
        // A stored drive the path still begins with is no directory to make.
        storedDrive_ = !drive.empty() && path.compare(0, drive.size(), drive) == 0 ? drive.size() : 0;
        ansiPath_ = fs::ansiForm(path);
        frame::setNameField(status.entryName, ansiPath_.c_str());

        // Never write over an archive that is open, or a temporary file of
        // the library's, whatever the entry is called.
        if (!fs::tempRegistry().empty() && fs::isRegisteredTempFile(path.c_str())) return kOk;
        const bool writes = isDirectory ? withDirectories : !isVolumeLabel;
        if (writes && climbsOut(directory, file)) return accessDenied();
        // A UNC name kept under -.D leads to the root of the file system where
        // such names reach no server, unless a path filter sent it elsewhere.
        if (writes && keepDrive && isUnc(drive) && isUnc(path) && !platform::uncPathsNameShares())
            return accessDenied();
    }

    if (Result r = locate(); r != kOk) return r;

    status.method = static_cast<uint16_t>(
        tarKind() ? kCodeStored : methodCode(field16(CentralRecord::kMethod), field16(CentralRecord::kFlags)));
    frame::setEntrySizes(extent_.unpackedSize, tarKind() ? extent_.unpackedSize : extent_.packedSize);
    frame::setExtendedStatus(field16(CentralRecord::kDate), field16(CentralRecord::kTime));

    if (isDirectory) return directoryEntry(path);
    if (isVolumeLabel) return volumeLabelEntry();
    return fileEntry(path);
}

Result UnzipRun::locate() { return source_.locate(archive_, record_, extent_); }

Result UnzipRun::passwordCheck(bool* passed) {
    *passed = false;
    Result r = checkPassword(source_, record_, &extent_.packedSize, password_);
    if (r == kOk) {
        *passed = true;
        return kOk;
    }
    if (r != kBadPassword) return r;
    if (frame::notice(kWrongPassword) != frame::Answer::Ok) return kCancelled;
    if (frame::moreStatus() == 0) frame::setMoreStatus(kWrongPassword);
    return kOk;
}

Result UnzipRun::notice(int16_t code) {
    return frame::notice(code) == frame::Answer::Ok ? kOk : kCancelled;
}

Result UnzipRun::accessDenied() {
    if (!has(frame::kUnzipSkipSilently) && notice(kAccessDenied) != kOk) return kCancelled;
    frame::setMoreStatus(kAccessDenied);
    return kOk;
}

Result UnzipRun::directoryEntry(const std::string& path) {
    if (!test() && !has(frame::kUnzipDirectories)) return kOk;
    if (zipKind()) {
        bool passed;
        if (Result r = passwordCheck(&passed); r != kOk || !passed) return r;
    }
    if (!test()) {
        if (Result r = tree_.makeDirectories(path, storedDrive_); r != kOk) return r;
        MadeDirectory made{ansiPath_, field16(CentralRecord::kDate), field16(CentralRecord::kTime), false, 0};
        made.withPermissions = unixPermissions(&made.permissions);
        directories_.push_back(std::move(made));
    }
    ++processed_;
    return kOk;
}

void UnzipRun::finishDirectories() {
    // The deepest directories come last in the archive's order, so going
    // backwards sets a directory after the ones inside it: setting an inner
    // directory's time touches nothing of its parent's. A directory that
    // cannot be finished keeps the time and permissions it has; its contents
    // are all written.
    for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) {
        uint64_t utc;
        if (frame::dosToUtc({it->date, it->time}, &utc)) platform::setFileTimeOf(it->path.c_str(), utc);
        if (it->withPermissions) platform::setFileModeOf(it->path.c_str(), it->permissions);
    }
    directories_.clear();
}

Result UnzipRun::volumeLabelEntry() {
    if (!test() && !has(frame::kUnzipVolumeLabel)) return kOk;
    bool passed;
    if (Result r = passwordCheck(&passed); r != kOk || !passed) return r;
    if (!test()) {
        std::string drive = fs::ansiForm(outputDir_.empty() ? "." : outputDir_);
        if (!platform::setVolumeLabel(drive.c_str(), name_.data())) {
            frame::setMoreStatus(kAccessDenied);
            return kOk;
        }
    }
    ++processed_;
    return kOk;
}

Result UnzipRun::fileEntry(const std::string& path) {
    // The traditional password check would only take such an entry for one
    // with a wrong password; like any method without a decoder, it is passed
    // over before any output exists.
    if (undecryptable()) {
        ++processed_;
        return notice(kUnknownMethod);
    }
    if (zipKind()) {
        bool passed;
        if (Result r = passwordCheck(&passed); r != kOk || !passed) return r;
    }
    ++processed_;

    // An entry this library cannot decode is passed over with a notice before
    // any output exists, so that the entries after it are still extracted.
    // Members of the foreign kinds are listed but have no decoder here.
    const uint16_t method = field16(CentralRecord::kMethod);
    if (!acceptedMethod(method) || foreignKind() || (!tarKind() && !hasDecoder(method))) return notice(kUnknownMethod);

    bool write = false;
    if (Result r = decide(path, &write); r != kOk || !write) return r;

    uint32_t crc = 0;
    if (test()) {
        if (Result r = produce(fs::kInvalidFile, &crc); r != kOk) return r;
    } else {
        bool placed = false;
        if (Result r = extractFile(&crc, &placed); r != kOk || !placed) return r;
    }

    // Data that decoded to its end but not to its CRC is kept as it came:
    // the host hears of it and decides what to make of the file.
    if (!tarKind() && crc != field32(CentralRecord::kCrc)) {
        if (notice(kCrcMismatch) != kOk) return kCancelled;
        if (frame::moreStatus() != kAccessDenied) frame::setMoreStatus(kCrcMismatch);
    }
    return kOk;
}

// The overwrite decision. kOk with `*write` saying whether to write (an
// existing file is left in place until the new one is complete), or the code
// that ends the run.
Result UnzipRun::decide(const std::string& path, bool* write) {
    *write = false;
    unlockTarget_ = false;
    placeNew_ = false;
    if (test()) {
        *write = true;
        return kOk;
    }
    // The directories of the output path are made when missing: the stored
    // ones under -D, and the output directory itself. Entries come grouped by
    // directory, so the tree of the previous entry is not even looked up.
    std::string directory = path.substr(0, path.find_last_of("/\\") + 1);
    if (directory != madeDirectory_) {
        if (Result r = tree_.makeDirectories(path, storedDrive_); r != kOk) return r;
        fullDirectory_.clear();
        madeDirectory_ = std::move(directory);
    }
    if (tree_.knownFree(ansiPath_)) {
        placeNew_ = true;
        *write = !has(frame::kUnzipFreshen);
        return kOk;
    }
    const uint32_t attributes = platform::fileAttributes(ansiPath_.c_str());
    placeNew_ = attributes == platform::kInvalidAttributes;
    return weigh(attributes, write);
}

// The overwrite decision for a target with `attributes` (kInvalidAttributes
// when nothing stands there), as decide() describes it.
Result UnzipRun::weigh(uint32_t attributes, bool* write) {
    *write = false;
    const std::string& ansi = ansiPath_;
    const bool exists = attributes != platform::kInvalidAttributes && !(attributes & platform::kAttrDirectory);
    if (!exists) {
        *write = !has(frame::kUnzipFreshen);
        // A directory in the entry's place can never be replaced by a file.
        if (*write && attributes != platform::kInvalidAttributes) {
            *write = false;
            return accessDenied();
        }
        return kOk;
    }

    uint8_t archived[8], present[8];
    uint64_t entryUtc = 0, existingUtc = 0;
    if (has(frame::kUnzipNeverOverwrite)) {
        return kOk;
    } else if (has(frame::kUnzipOverwrite)) {
        *write = true;
    } else if (has(frame::kUnzipVersionNewer | frame::kUnzipVersionNewerOrEqual) &&
               archive::entryVersion(extra_.data(), field16(CentralRecord::kExtraLength), archived)) {
        if (!platform::fileVersion(ansi.c_str(), present)) {
            *write = true;
        } else {
            int order = std::memcmp(present, archived, sizeof present);
            *write = has(frame::kUnzipVersionNewerOrEqual) ? order <= 0 : order < 0;
        }
    } else if (has(frame::kUnzipFreshen | frame::kUnzipUpdate)) {
        *write = frame::dosToUtc({field16(CentralRecord::kDate), field16(CentralRecord::kTime)}, &entryUtc) &&
                 platform::fileTimeOf(ansi.c_str(), &existingUtc) && entryUtc > existingUtc;
    } else if (yesToAll_) {
        *write = true;
    } else {
        switch (frame::ask(frame::Question::FileExists)) {
            case frame::Answer::Yes: *write = true; break;
            case frame::Answer::No: break;
            case frame::Answer::YesToAll: *write = yesToAll_ = true; break;
            default: return kCancelled;
        }
    }
    if (!*write) return kOk;

    // A read-only file is replaced only under -R+, which makes it writable
    // first; otherwise it meets the access-denied notice (-R- passes it over).
    if (isReadOnly(attributes)) {
        if (has(frame::kUnzipKeepReadOnly)) {
            *write = false;
            return kOk;
        }
        if (!has(frame::kUnzipMakeWritable)) {
            *write = false;
            return accessDenied();
        }
        unlockTarget_ = true;
        targetAttributes_ = attributes;
    }
    return kOk;
}

// Writes the entry into a new file beside its output path and renames that
// over the path once the entry's data is complete, with its time and
// attributes set: until then a file already there stays as it was, and after
// any failure the new file is gone and nothing stands under the entry's name
// that was not there before. `*placed` says whether the entry's file now
// stands at its path; kOk without it means a notice passed the entry over.
Result UnzipRun::extractFile(uint32_t* crc, bool* placed) {
    *placed = false;
    const std::string& target = ansiPath_;
    // The attributes are the new file's from its creation: setting them after
    // the writing would cost two more calls to the system for every file.
    // "Normal" means no other bit, and the archive bit is always set.
    const uint32_t attributes =
        (field32(CentralRecord::kExternalAttributes) & attributeMask_ & ~archive::kDosNormal) | archive::kDosArchive;
    // Stored permissions, too, are the new file's from its creation where the
    // creation mask takes none of them away; else they are set afterwards.
    uint32_t permissions = 0;
    const bool withPermissions = unixPermissions(&permissions);
    const bool permissionsAtCreation = withPermissions && creationMask_ != platform::kUnknownCreationMask &&
                                       (permissions & creationMask_) == 0;
    fs::TempFile partial =
        fs::TempFile::makeOpen(target.substr(0, target.find_last_of("/\\") + 1), &fullDirectory_, attributes,
                               permissionsAtCreation ? permissions : platform::kPermissionsFromAttributes);
    if (!partial.valid()) return accessDenied();

    if (Result r = produce(partial.file(), crc); r != kOk) return r;
    if (Result r = setFileTime(partial.file()); r != kOk) return r;
    if (withPermissions && !permissionsAtCreation && !platform::setFileMode(partial.file(), permissions))
        return kAccessDenied;
    if (placeNew_) {
        if (partial.linkNew(target.c_str())) {
            tree_.placed(target);
            *placed = true;
            return kOk;
        }
        // Something came to the path while the entry was written (or the file
        // is a named one, which cannot be placed without replacing): decided
        // now, as for any existing file, the question coming after the data.
        bool write = false;
        if (Result r = weigh(platform::fileAttributes(target.c_str()), &write); r != kOk || !write) return r;
    }
    if (unlockTarget_ && !platform::setFileAttributes(target.c_str(), platform::kAttrArchive)) return accessDenied();
    if (!partial.renameTo(target.c_str())) {
        if (unlockTarget_) platform::setFileAttributes(target.c_str(), targetAttributes_);
        return accessDenied();
    }
    tree_.placed(target);
    *placed = true;
    return kOk;
}

// Decodes the entry's data into `output`, or only checks it when `output` is
// invalid (test mode).
Result UnzipRun::produce(fs::FileHandle output, uint32_t* crc) {
    const uint64_t unpacked = extent_.unpackedSize;
    if (tarKind()) {
        // Stored members are copied, not decoded; they report their start and
        // their end as decoded entries do, so that a host counts them too.
        frame::setDoneBytes(0);
        frame::progress();
        Result result = output == fs::kInvalidFile
                            ? readThrough(source_.file(), unpacked)
                            : fs::copyBytes(source_.file(), output, static_cast<int64_t>(unpacked));
        if (result == kOk && frame::takeCancel()) result = kCancelled;
        frame::setDoneBytes(unpacked);
        frame::progress();
        return result;
    }
    const uint16_t flags = field16(CentralRecord::kFlags);
    EntryData data;
    data.input = source_.file();
    data.held = source_.held();
    data.packedSize = extent_.packedSize;
    data.unpackedSize = unpacked;
    data.method = field16(CentralRecord::kMethod);
    data.flags = flags;
    data.encrypted = zipKind() && (flags & archive::kFlagEncrypted);
    return decodeToFile(data, output, crc);
}

// Gives the written file the entry's time, once its last byte is written.
Result UnzipRun::setFileTime(fs::FileHandle output) {
    // A date that names no real time leaves the file with the time of its
    // writing rather than ending the run.
    uint64_t utc;
    if (frame::dosToUtc({field16(CentralRecord::kDate), field16(CentralRecord::kTime)}, &utc) &&
        !platform::setFileTime(output, utc))
        return kAccessDenied;
    return kOk;
}

// The permission bits of an entry made on a Unix host, where files here have
// them: read, write and execute for owner, group and others, never setuid,
// setgid or sticky. False for every other entry, whose DOS attributes rule.
bool UnzipRun::unixPermissions(uint32_t* permissions) const {
    if (!zipKind() || !platform::hasUnixModes()) return false;
    if (archive::hostSystem(field16(CentralRecord::kVersionMadeBy)) != archive::HostSystem::Unix) return false;
    const uint32_t mode = storedAttributes_ >> 16;
    if (mode == 0) return false;
    *permissions = mode & platform::kPermissionBits;
    // Without the read-only attribute the owner may always write.
    if (!(attributeMask_ & archive::kDosReadOnly)) *permissions |= 0200;
    return true;
}

}  // namespace

bool climbsOut(const std::string& directory, const std::string& file) {
    if (file == "..") return true;
    size_t start = 0;
    for (size_t i = 0; i <= directory.size(); ++i) {
        if (i < directory.size() && !fs::isSeparator(directory[i])) continue;
        if (directory.compare(start, i - start, "..") == 0 && i - start == 2) return true;
        start = i + 1;
    }
    return false;
}

Result unzip(fs::FileHandle* archiveHandle, const char* outputDir, const char* includeSpecs,
             const char* excludeSpecs, const char* options) {
    frame::setMoreStatus(0);
    archive::ArchiveHandle* archive = archiveHandle == nullptr ? nullptr : archive::lookup(*archiveHandle);
    if (archive == nullptr) {
        clearPathFilters();
        return kNotOpen;
    }

    Result result;
    uint32_t processed = 0;
    try {
        UnzipRun run(*archive);
        result = run.setup(outputDir, includeSpecs, excludeSpecs, options);
        if (result == kOk) result = run.walk();
        run.finishDirectories();
        processed = run.processed();
    } catch (const std::bad_alloc&) {
        result = kNoMemory;
    }
    if (frame::takeCancel() && result == kOk) result = kCancelled;
    clearPathFilters();
    if (result == kOk) {
        if (frame::moreStatus() != 0)
            result = kSomeEntriesFailed;
        else if (processed == 0)
            result = kNothingDone;
    }
    return result;
}

Result quickUnzip(const char* archiveName, const char* outputDir, const char* fileSpecs, const char* options) {
    fs::FileHandle handle = fs::kInvalidFile;
    Result r = archive::openArchive(archiveName, archive::OpenMode::ReadOnly, &handle);
    if (r != kOk) return r;
    r = unzip(&handle, outputDir, fileSpecs, nullptr, options);
    archive::closeArchive(&handle);
    return r;
}

}  // namespace zar::extract
