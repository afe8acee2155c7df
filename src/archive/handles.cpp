#include "archive/handles.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <new>

#include "archive/end_record.h"
#include "archive/identify.h"
#include "archive/records.h"
#include "archive/workfile.h"
#include "common/bytes.h"
#include "fs/names.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

std::list<ArchiveHandle> archives;  // newest first
fs::Block sharedBuffers[2];

// ".ZIP" goes on a path with no extension: none when, scanning back from the
// end, a separator (or where paths have drives, a ':') comes before a '.', or
// the only '.' is the first character.
bool hasExtension(const std::string& path) {
    const bool drives = platform::pathsHaveDrives();
    for (size_t i = path.size(); i-- > 0;) {
        char c = path[i];
        if (c == '\\' || c == '/' || (c == ':' && drives)) return false;
        if (c == '.') return i != 0;
    }
    return false;
}

// kOk and the file's length when the file `name` (OEM) can be read;
// kPathNotFound when there is no such file; kAccessDenied when there is one
// that cannot be opened, like an archive another writer holds where files
// have sharing modes.
Result probeFile(const char* name, int64_t* length) {
    fs::File file(fs::openFile(name, platform::kAccessRead, platform::kShareReadWrite, fs::Disposition::OpenExisting,
                               0, true));
    if (file.valid()) {
        *length = fs::fileLength(file.get());
        return kOk;
    }
    const uint32_t attributes = platform::fileAttributes(fs::ansiForm(name).c_str());
    return attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) ? kPathNotFound
                                                                                                 : kAccessDenied;
}

Result allocateSharedBuffers() {
    if (sharedBuffers[0]) return kOk;
    sharedBuffers[0] = fs::allocateBlock(kWorkBufferSize);
    sharedBuffers[1] = fs::allocateBlock(kWorkBufferSize);
    if (!sharedBuffers[0] || !sharedBuffers[1]) {
        sharedBuffers[0].reset();
        sharedBuffers[1].reset();
        return kNoMemory;
    }
    return kOk;
}

// An archive file that is closed, and deleted when this open created it,
// unless the open succeeds.
struct PendingOpen {
    fs::File file;
    std::string name;
    bool created = false;
    ~PendingOpen() {
        if (!file.valid()) return;
        file.close();
        if (created) fs::deleteFile(name.c_str());
    }
};

// A work file that is closed, deleted and unregistered unless the open succeeds.
struct PendingWork {
    fs::FileHandle file = fs::kInvalidFile;
    std::string name;
    ~PendingWork() {
        if (name.empty()) return;
        fs::closeFile(file);
        fs::deleteFile(name.c_str());
        fs::unregisterTempFile(name.c_str());
    }
};

// How an open goes once the mode is decided: what to open, with which
// access and sharing, and the kind found on the way.
struct OpenPlan {
    OpenMode how = OpenMode::Decide;
    uint32_t share = 0;
    Kind kind = Kind::None;
    bool identified = false;
};

// Mode 0 decides from the file: a missing or too short file is created; a
// ZIP archive (or one of the older single-file kind) is opened for reading
// and writing unless it is read-only; every other kind for reading. The
// decided mode replaces the given one, share bit and all.
Result decideMode(const char* name, OpenPlan& plan) {
    int64_t length = 0;
    if (Result r = probeFile(name, &length); r == kAccessDenied) {
        return r;  // a file that is there is never taken for a new one
    } else if (r != kOk || length < static_cast<int64_t>(EndRecord::kSize)) {
        plan.how = OpenMode::Create;
        return kOk;
    }
    if (Result r = identifyFile(name, &plan.kind); r != kOk) return r;
    plan.identified = true;
    plan.share = 0;
    plan.how = OpenMode::ReadOnly;
    if (plan.kind == Kind::Zip || plan.kind == Kind::OldSingleFile) {
        uint32_t attributes = platform::fileAttributes(fs::ansiForm(name).c_str());
        bool readOnly = attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly);
        if (!readOnly) plan.how = OpenMode::ReadWrite;
    }
    return kOk;
}

// Opens the archive file as the plan says; fills the record's kind, access,
// share and the created mark.
Result openForPlan(const char* name, OpenPlan& plan, PendingOpen& pending, ArchiveHandle& record) {
    int64_t length = 0;
    switch (plan.how) {
        case OpenMode::ReadOnly: {
            if (Result r = probeFile(name, &length); r != kOk) return r;
            if (!plan.identified)
                if (Result r = identifyFile(name, &plan.kind); r != kOk) return r;
            record.share = plan.share ? platform::kShareReadWrite : platform::kShareRead;
            record.access = platform::kAccessRead;
            record.kind = plan.kind == Kind::None ? Kind::Zip : plan.kind;
            pending.file = fs::File(
                fs::openFile(name, record.access, record.share, fs::Disposition::OpenExisting, 0, true));
            return pending.file.valid() ? kOk : kAccessDenied;
        }
        case OpenMode::ReadWrite: {
            if (Result r = probeFile(name, &length); r != kOk) return r;
            if (Result r = identifyFile(name, &plan.kind); r != kOk) return r;
            if (isReadOnlyKind(plan.kind)) return kNotOnThisKind;
            record.share = plan.share;
            record.access = platform::kAccessReadWrite;
            record.kind = Kind::Zip;  // written as a ZIP archive whatever the file held
            pending.file = fs::File(
                fs::openFile(name, record.access, record.share, fs::Disposition::OpenExisting, 0, true));
            return pending.file.valid() ? kOk : kAccessDenied;
        }
        default: {  // Create, emptying any file of that name
            record.share = plan.share;
            record.access = platform::kAccessReadWrite;
            record.kind = Kind::Zip;
            fs::File created(fs::openFile(name, record.access, 0, fs::Disposition::CreateAlways,
                                          platform::kAttrArchive, true));
            if (!created.valid()) return kAccessDenied;
            created.close();
            pending.created = true;
            pending.file = fs::File(
                fs::openFile(name, record.access, record.share, fs::Disposition::OpenExisting, 0, true));
            if (!pending.file.valid()) {
                fs::deleteFile(name);
                return kAccessDenied;
            }
            record.createdByOpen = true;
            return kOk;
        }
    }
}

// Builds the work file of a kind read through one; the pending work file is
// removed again unless the open succeeds.
// A set over several volumes may end up on another volume than it began.
Result attachWorkFile(const char* name, PendingOpen& pending, PendingWork& work, ArchiveHandle& record) {
    if (record.writable() || !needsWorkFile(record.kind)) return kOk;
    fs::FileHandle file = pending.file.release();
    VolumeInfo info;
    const Result r = buildWorkFile(&file, name, record.kind, &work.file, &work.name, &info);
    pending.file = fs::File(file);
    record.volume = info.volume;
    record.lastVolume = info.lastVolume;
    return r;
}

}  // namespace

Result openArchive(const char* path, uint32_t mode, fs::FileHandle* handle) {
    *handle = fs::kInvalidFile;
    if (path == nullptr || std::strpbrk(path, "?*") != nullptr) return kPathNotFound;
    while (*path >= 1 && *path <= 32) ++path;
    if (*path == '\0') return kPathNotFound;

    PendingOpen pending;
    pending.name = path;
    if (!hasExtension(pending.name)) pending.name += ".ZIP";
    const char* name = pending.name.c_str();

    const uint32_t how = mode & kOpenModeMask;
    if (how > static_cast<uint32_t>(OpenMode::Create)) return kNotWritable;
    OpenPlan plan;
    plan.how = static_cast<OpenMode>(how);
    plan.share = (mode & kOpenShared) ? platform::kShareReadWrite : 0;
    if (plan.how == OpenMode::Decide)
        if (Result r = decideMode(name, plan); r != kOk) return r;

    ArchiveHandle record;
    if (Result r = openForPlan(name, plan, pending, record); r != kOk) return r;
    PendingWork work;
    if (Result r = attachWorkFile(name, pending, work, record); r != kOk) return r;
    if (Result r = allocateSharedBuffers(); r != kOk) return r;

    record.workFile = work.file;
    record.workName = work.name;
    record.file = pending.file.get();
    record.name = pending.name;
    record.longNameMode = mode & kOpenLongNames;
    try {
        archives.push_front(std::move(record));
    } catch (const std::bad_alloc&) {
        if (archives.empty()) sharedBuffers[0].reset(), sharedBuffers[1].reset();
        return kNoMemory;
    }
    work.file = fs::kInvalidFile;
    work.name.clear();
    *handle = pending.file.release();
    fs::registerTempFile(name);
    return kOk;
}

Result adoptArchive(ArchiveHandle&& record) {
    if (Result r = allocateSharedBuffers(); r != kOk) return r;
    try {
        archives.push_front(std::move(record));
    } catch (const std::bad_alloc&) {
        if (archives.empty()) sharedBuffers[0].reset(), sharedBuffers[1].reset();
        return kNoMemory;
    }
    fs::registerTempFile(archives.front().name.c_str());
    return kOk;
}

ArchiveHandle* lookup(fs::FileHandle handle) {
    if (handle == fs::kInvalidFile) return nullptr;
    for (ArchiveHandle& a : archives)
        if (a.file == handle) return &a;
    return nullptr;
}

int openArchiveCount() { return static_cast<int>(archives.size()); }

uint8_t* workBuffer(int which) { return sharedBuffers[which & 1].get(); }

Result WorkBuffers::acquire() {
    first_ = workBuffer(0);
    second_ = workBuffer(1);
    if (first_ != nullptr && second_ != nullptr) return kOk;
    return acquireOwn();
}

Result WorkBuffers::acquireOwn() {
    own_ = fs::allocateBlock(2 * size_t{kWorkBufferSize});
    if (!own_) return kNoMemory;
    first_ = own_.get();
    second_ = own_.get() + kWorkBufferSize;
    return kOk;
}

void closeArchive(fs::FileHandle* handle) {
    fs::FileHandle value = *handle;
    *handle = fs::kInvalidFile;
    auto it = archives.begin();
    while (it != archives.end() && it->file != value) ++it;
    if (it == archives.end()) return;
    ArchiveHandle& a = *it;
    a.endLocated = false;

    bool remove = false;
    if (!a.multiVolume()) {
        uint8_t head[4];
        const int64_t length = fs::fileLength(a.file);
        bool readable = fs::seekTo(a.file, 0) && fs::readExact(a.file, head, sizeof head);
        bool empty = !readable || loadLe32(head) == kEndSignature || length < 23;
        remove = empty && a.createdByOpen;
    }
    fs::closeFile(a.file);
    if (remove) fs::deleteFile(a.name.c_str());
    fs::unregisterTempFile(a.name.c_str());
    for (const std::string& volume : a.volumeNames) fs::unregisterTempFile(volume.c_str());

    if (a.converted() && !a.writable() && !a.workName.empty()) {
        fs::closeFile(a.workFile);
        fs::deleteFile(a.workName.c_str());
        fs::unregisterTempFile(a.workName.c_str());
    }
    archives.erase(it);
    if (archives.empty()) {
        sharedBuffers[0].reset();
        sharedBuffers[1].reset();
    }
}

bool closeAllArchives() {
    for (int i = 0; i < 255 && !archives.empty(); ++i) {
        fs::FileHandle newest = archives.front().file;
        closeArchive(&newest);
    }
    return archives.empty();
}

bool seekDirectory(const ArchiveHandle& archive, uint64_t offset) {
    return offset <= uint64_t{INT64_MAX} && fs::seekTo(archive.directoryFile(), static_cast<int64_t>(offset));
}

bool readDirectory(ArchiveHandle& archive, uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (offset > uint64_t{INT64_MAX}) return false;  // the unset position among them
    auto* out = static_cast<uint8_t*>(buffer);
    if (!archive.endLocated || count > kWorkBufferSize) {
        if (!seekDirectory(archive, offset)) return false;
        return fs::readSome(archive.directoryFile(), out, count, done);
    }
    bool inside = offset >= archive.windowStart && offset - archive.windowStart + uint64_t{count} <= archive.window.size();
    if (!inside) {
        archive.window.resize(kWorkBufferSize);
        if (!seekDirectory(archive, offset)) {
            archive.window.clear();
            return false;
        }
        uint32_t got = 0;
        if (!fs::readSome(archive.directoryFile(), archive.window.data(), kWorkBufferSize, &got)) {
            archive.window.clear();
            return false;
        }
        archive.window.resize(got);
        archive.windowStart = offset;
    }
    const size_t at = static_cast<size_t>(offset - archive.windowStart);
    const size_t available = archive.window.size() - std::min(at, archive.window.size());
    *done = static_cast<uint32_t>(std::min<size_t>(count, available));
    if (*done != 0) std::memcpy(out, archive.window.data() + at, *done);
    return true;
}

Result locateEnd(ArchiveHandle& archive) {
    archive.endLocated = false;
    archive.window.clear();
    if (archive.converted() && archive.writable()) return kNotWritable;
    FileSource source(archive.directoryFile());
    EndLocation location;
    EndKind kind = archive.kind == Kind::OldSingleFile ? EndKind::OldSingleFile : EndKind::Zip;
    if (Result r = locateEndRecord(source, kind, &location); r != kOk) return r;
    archive.cdStart = location.directoryStart;
    archive.endPos = location.endRecord;
    archive.zip64EndPos = location.zip64Record;
    archive.endLocated = true;
    return kOk;
}

Result readEnd(ArchiveHandle& archive, uint8_t* record, char* comment, uint32_t size) {
    if (comment != nullptr && size != 0) comment[0] = '\0';
    if (!archive.endLocated)
        if (Result r = locateEnd(archive); r != kOk) return r;
    fs::FileHandle file = archive.directoryFile();
    if (!seekDirectory(archive, archive.endPos)) return kAccessDenied;
    if (!fs::readExact(file, record, EndRecord::kSize)) return kShortRead;
    uint16_t length = loadLe16(record + EndRecord::kCommentLength);
    if (comment == nullptr || length == 0) return kOk;
    Result result = kOk;
    uint32_t take = length;
    if (size <= length) {
        take = size == 0 ? 0 : size - 1;
        result = kTooLong;
    }
    if (size == 0) return result;
    if (take != 0 && !fs::readExact(file, comment, take)) {
        comment[0] = '\0';
        return kShortRead;
    }
    comment[take] = '\0';
    platform::oemToAnsi(comment);
    return result;
}

}  // namespace zar::archive
