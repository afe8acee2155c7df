#include "archive/handles.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <new>

#include "archive/identify.h"
#include "archive/records.h"
#include "archive/workfile.h"
#include "common/bytes.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

std::list<ArchiveHandle> archives;  // newest first
fs::Block sharedBuffers[2];

// ".ZIP" goes on a path with no extension: none when, scanning back from the
// end, a separator or ':' comes before a '.', or the only '.' is the first character.
bool hasExtension(const std::string& path) {
    for (size_t i = path.size(); i-- > 0;) {
        char c = path[i];
        if (c == '\\' || c == '/' || c == ':') return false;
        if (c == '.') return i != 0;
    }
    return false;
}

bool fileExists(const char* name, int64_t* length) {
    fs::File file(fs::openFile(name, platform::kAccessRead, platform::kShareReadWrite, fs::Disposition::OpenExisting,
                               0, true));
    if (!file.valid()) return false;
    *length = platform::fileSize(file.get());
    return true;
}

bool isMultiVolumeKind(Kind kind) {
    return kind == Kind::OwnMultiVolume || kind == Kind::Spanned || kind == Kind::FrontDirectory ||
           kind == Kind::OwnMultiVolume3;
}

bool needsWorkFile(Kind kind) {
    uint16_t k = static_cast<uint16_t>(kind);
    return (k >= 2 && k <= 8) || (k >= 10 && k <= 12);
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

}  // namespace

uint16_t kindFlag(Kind kind) {
    switch (kind) {
        case Kind::OwnMultiVolume: return kOwnMultiVolume;
        case Kind::Spanned: return kSpannedSet;
        case Kind::FrontDirectory: return kFrontDirectory;
        case Kind::Lzh: case Kind::Arj: case Kind::Zoo: case Kind::Arc: return kForeignKind;
        case Kind::OldSingleFile: return kOldSingleFile;
        case Kind::OwnMultiVolume3: return kOwnMultiVolume3;
        case Kind::Tar: return kTarKind;
        case Kind::Gzip: return kGzipKind;
        case Kind::SelfExtracting: return kSelfExtracting;
        default: return 0;
    }
}

Result openArchive(const char* path, uint32_t mode, fs::FileHandle* handle) {
    *handle = kUnset;
    if (path == nullptr || std::strpbrk(path, "?*") != nullptr) return kPathNotFound;
    while (*path >= 1 && *path <= 32) ++path;
    if (*path == '\0') return kPathNotFound;

    PendingOpen pending;
    pending.name = path;
    if (!hasExtension(pending.name)) pending.name += ".ZIP";
    const char* name = pending.name.c_str();

    bool longNames = mode & kLongNameBit;
    mode &= ~kLongNameBit;
    if ((mode & 7) > 3) return kNotWritable;
    const uint32_t shareWanted = (mode & kShareBit) ? platform::kShareReadWrite : 0;

    Kind kind = Kind::None;
    bool identified = false;
    uint16_t flags = 0;
    int64_t length = 0;
    uint32_t how = mode & 7;
    uint32_t share = shareWanted;

    if (how == 0) {
        if (!fileExists(name, &length) || length < static_cast<int64_t>(EndRecord::kSize)) {
            how = 3;
        } else {
            if (Result r = identifyFile(name, &kind); r != kOk) return r;
            identified = true;
            share = 0;  // the decided mode replaces the given one, share bit and all
            if (kind == Kind::Zip || kind == Kind::OldSingleFile) {
                uint32_t attributes = platform::fileAttributes(name);
                bool readOnly = attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly);
                how = readOnly ? 1 : 2;
            } else {
                how = 1;
            }
        }
    }

    uint32_t access = platform::kAccessRead;
    switch (how) {
        case 1: {
            if (!fileExists(name, &length)) return kPathNotFound;
            if (!identified) {
                if (Result r = identifyFile(name, &kind); r != kOk) return r;
            }
            // Multi-volume sets are gathered volume by volume; this build reads
            // single files only.
            if (isMultiVolumeKind(kind)) return kNotOnThisKind;
            flags |= kindFlag(kind);
            pending.file = fs::File(fs::openFile(name, platform::kAccessRead,
                                                 share ? platform::kShareReadWrite : platform::kShareRead,
                                                 fs::Disposition::OpenExisting, 0, true));
            if (!pending.file.valid()) return kAccessDenied;
            share = share ? platform::kShareReadWrite : platform::kShareRead;
            break;
        }
        case 2: {
            if (!fileExists(name, &length)) return kPathNotFound;
            if (Result r = identifyFile(name, &kind); r != kOk) return r;
            uint16_t k = static_cast<uint16_t>(kind);
            if ((k >= 2 && k <= 8) || k == 10 || k == 13) return kNotOnThisKind;
            kind = Kind::Zip;  // written as a ZIP archive: no kind bit in this mode
            access = platform::kAccessReadWrite;
            pending.file = fs::File(fs::openFile(name, access, share, fs::Disposition::OpenExisting, 0, true));
            if (!pending.file.valid()) return kAccessDenied;
            break;
        }
        default: {  // 3: create, emptying any file of that name
            access = platform::kAccessReadWrite;
            fs::File created(fs::openFile(name, access, 0, fs::Disposition::CreateAlways, platform::kAttrArchive,
                                          true));
            if (!created.valid()) return kAccessDenied;
            created.close();
            pending.created = true;
            pending.file = fs::File(fs::openFile(name, access, share, fs::Disposition::OpenExisting, 0, true));
            if (!pending.file.valid()) {
                fs::deleteFile(name);
                return kAccessDenied;
            }
            flags |= kCreatedByOpen;
            kind = Kind::Zip;
            break;
        }
    }

    ArchiveHandle record;
    PendingWork work;
    if (how == 1 && needsWorkFile(kind)) {
        if (Result r = buildWorkFile(pending.file.get(), name, kind, &work.file, &work.name, &record.volume);
            r != kOk)
            return r;
    }
    if (Result r = allocateSharedBuffers(); r != kOk) return r;
    record.workFile = work.file;
    record.workName = work.name;

    record.access = access;
    record.share = share;
    record.file = pending.file.get();
    record.name = pending.name;
    record.flags = static_cast<uint16_t>(flags | (longNames ? kLongNameMode : 0));
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

ArchiveHandle* lookup(fs::FileHandle handle) {
    if (handle == kUnset) return nullptr;
    for (ArchiveHandle& a : archives)
        if (a.file == handle) return &a;
    return nullptr;
}

int openArchiveCount() { return static_cast<int>(archives.size()); }

uint8_t* workBuffer(int which) { return sharedBuffers[which & 1].get(); }

void closeArchive(fs::FileHandle* handle) {
    fs::FileHandle value = *handle;
    *handle = kUnset;
    auto it = archives.begin();
    while (it != archives.end() && it->file != value) ++it;
    if (it == archives.end()) return;
    ArchiveHandle& a = *it;
    a.flags &= ~kEndLocated;

    bool remove = false;
    if (!(a.flags & kMultiVolumeKinds)) {
        uint8_t head[4];
        int64_t length = platform::fileSize(a.file);
        bool readable = fs::seekTo(a.file, 0) && fs::readFile(a.file, head, 4) == 4;
        bool empty = !readable || loadLe32(head) == kEndSignature || length < 23;
        remove = empty && (a.flags & kCreatedByOpen);
    }
    fs::closeFile(a.file);
    if (remove) fs::deleteFile(a.name.c_str());
    fs::unregisterTempFile(a.name.c_str());

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

void closeAllArchives() {
    for (int i = 0; i < 255 && !archives.empty(); ++i) {
        fs::FileHandle newest = archives.front().file;
        closeArchive(&newest);
    }
}

bool seekDirectory(const ArchiveHandle& archive, uint32_t offset) {
    return offset != kUnset && fs::seekTo(archive.directoryFile(), offset);
}

bool readDirectory(ArchiveHandle& archive, uint32_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (offset == kUnset) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    if (!(archive.flags & kEndLocated) || count > kWorkBufferSize) {
        if (!fs::seekTo(archive.directoryFile(), offset)) return false;
        *done = fs::readFile(archive.directoryFile(), out, count);
        return true;
    }
    bool inside = offset >= archive.windowStart && offset - archive.windowStart + uint64_t{count} <= archive.window.size();
    if (!inside) {
        archive.window.resize(kWorkBufferSize);
        if (!fs::seekTo(archive.directoryFile(), offset)) {
            archive.window.clear();
            return false;
        }
        uint32_t got = 0;
        if (!platform::readFile(archive.directoryFile(), archive.window.data(), kWorkBufferSize, &got)) {
            archive.window.clear();
            return false;
        }
        archive.window.resize(got);
        archive.windowStart = offset;
    }
    uint32_t at = offset - archive.windowStart;
    uint32_t available = static_cast<uint32_t>(archive.window.size()) - std::min<uint32_t>(at, static_cast<uint32_t>(archive.window.size()));
    *done = std::min(count, available);
    if (*done != 0) std::memcpy(out, archive.window.data() + at, *done);
    return true;
}

Result locateEnd(ArchiveHandle& archive) {
    archive.flags &= ~kEndLocated;
    archive.window.clear();
    if (archive.converted() && archive.writable()) return kNotWritable;
    FileSource source(archive.directoryFile());
    EndLocation location;
    EndKind kind = (archive.flags & kOldSingleFile) ? EndKind::OldSingleFile : EndKind::Zip;
    if (Result r = locateEndRecord(source, kind, &location); r != kOk) return r;
    archive.cdStart = location.directoryStart;
    archive.endPos = location.endRecord;
    archive.flags |= kEndLocated;
    return kOk;
}

Result readEnd(ArchiveHandle& archive, uint8_t* record, char* comment, uint32_t size) {
    if (comment != nullptr && size != 0) comment[0] = '\0';
    if (!(archive.flags & kEndLocated)) {
        if (Result r = locateEnd(archive); r != kOk) return r;
    }
    fs::FileHandle file = archive.directoryFile();
    if (!seekDirectory(archive, archive.endPos)) return kAccessDenied;
    if (fs::readFile(file, record, EndRecord::kSize) != EndRecord::kSize) return kShortRead;
    uint16_t length = loadLe16(record + EndRecord::kCommentLength);
    if (comment == nullptr || length == 0) return kOk;
    Result result = kOk;
    uint32_t take = length;
    if (size <= length) {
        take = size == 0 ? 0 : size - 1;
        result = kTooLong;
    }
    if (size == 0) return result;
    if (take != 0 && fs::readFile(file, comment, take) != take) {
        comment[0] = '\0';
        return kShortRead;
    }
    comment[take] = '\0';
    platform::oemToAnsi(comment);
    return result;
}

}  // namespace zar::archive
