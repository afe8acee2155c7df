#include "span/volumes.h"

#include <cstring>

#include "frame/status.h"
#include "fs/names.h"
#include "fs/temp_files.h"
#include "archive/volume_names.h"

namespace zar::span {
namespace {

using archive::ArchiveHandle;
using archive::Kind;
using archive::frontHeaderVolumeName;
using archive::kLastVolumeNumber;
using archive::labelMatches;
using archive::splitVolumeName;
using archive::volumeLabel;

bool isSpannedKind(Kind kind) { return kind == Kind::Spanned || kind == Kind::FrontDirectory; }

bool removable(const std::string& name) {
    return platform::driveType(fs::ansiForm(name).c_str()) == platform::DriveType::Removable;
}

// The room a volume offers: the host's size, or the drive's free space.
uint32_t roomFor(const std::string& name, uint32_t hostSize) {
    if (hostSize != 0) return hostSize;
    uint32_t room = 0;
    return platform::freeSpace(fs::ansiForm(name).c_str(), &room) ? room : 0;
}

// The extension a kind gives a new set's name: ".001" for the front-header
// kinds, replacing any other; ".ZIP" for the spanned kinds, on a name with none.
std::string nameForKind(std::string name, Kind kind) {
    const bool drives = platform::pathsHaveDrives();
    size_t dot = std::string::npos;
    for (size_t i = name.size(); i-- > 0;) {
        const char c = name[i];
        if (fs::isSeparator(c) || (c == ':' && drives)) break;
        if (c == '.') {
            if (i != 0) dot = i;
            break;
        }
    }
    const bool frontHeader = kind == Kind::OwnMultiVolume || kind == Kind::OwnMultiVolume3;
    if (dot == std::string::npos) return name + (frontHeader ? ".001" : ".ZIP");
    if (frontHeader && name.compare(dot, std::string::npos, ".001") != 0) name.replace(dot, std::string::npos, ".001");
    return name;
}

bool kindFor(uint16_t number, Kind* kind) {
    switch (number) {
        case 2: *kind = Kind::OwnMultiVolume; return true;
        case 3: *kind = Kind::Spanned; return true;
        case 4: *kind = Kind::FrontDirectory; return true;
        case 10: *kind = Kind::OwnMultiVolume3; return true;
        default: return false;
    }
}

// The file that holds volume `archive.volume` of a set read from a fixed
// drive. Disks copied to a fixed drive keep the volume the set is opened by
// under the set's name (the last one of a spanned set, the first one of a set
// that starts with its directory) and the others under the split names.
std::string fixedVolumeName(const ArchiveHandle& archive) {
    if (!isSpannedKind(archive.kind)) return archive.name;
    if (archive.kind == Kind::Spanned && archive.volume == archive.lastVolume)
        return archive::lastSplitVolumeName(archive.name);
    if (archive.kind == Kind::FrontDirectory && archive.volume == 1) return archive.name;
    return splitVolumeName(archive.name, archive.volume);
}

// One try at the volume in the drive. False when it is not the one wanted or
// cannot be opened; the host is then asked again. Only disks carry labels.
bool tryVolume(ArchiveHandle& archive, bool writing, const std::string& name, bool disk) {
    if (writing) {
        archive.volumeRoom = roomFor(name, archive.nextVolumeSize);
        if (archive.volumeRoom == 0) return false;
        if (disk && isSpannedKind(archive.kind) &&
            !platform::setVolumeLabel(fs::ansiForm(name).c_str(), volumeLabel(archive.volume).c_str()))
            return false;
    } else if (disk && isSpannedKind(archive.kind)) {
        std::string label;
        if (!platform::volumeLabel(fs::ansiForm(name).c_str(), &label) || !labelMatches(label, archive.volume))
            return false;
    }
    // A volume written afresh is emptied of any older file; the single-file
    // kind 10 goes on at the end of what it holds.
    const bool appends = archive.kind == Kind::OwnMultiVolume3;
    const fs::Disposition disposition = !writing ? fs::Disposition::OpenExisting
                                        : appends ? fs::Disposition::OpenAlways
                                                  : fs::Disposition::CreateAlways;
    archive.file = fs::openFile(name.c_str(), archive.access, archive.share, disposition, platform::kAttrArchive, true);
    if (archive.file == fs::kInvalidFile) return false;
    if (writing && appends && fs::seekToEnd(archive.file) < 0) {
        fs::closeFile(archive.file);
        return false;
    }
    if (writing && name != archive.name && fs::registerTempFile(name.c_str()) == kOk)
        archive.volumeNames.push_back(name);
    return true;
}

}  // namespace

Result createMultiVolume(const char* archiveName, uint16_t kindNumber, uint32_t firstVolumeSize,
                         uint32_t nextVolumeSize, fs::FileHandle* handle) {
    *handle = fs::kInvalidFile;
    if (archiveName == nullptr || std::strpbrk(archiveName, "?*") != nullptr) return kPathNotFound;
    while (*archiveName >= 1 && *archiveName <= 32) ++archiveName;
    if (*archiveName == '\0') return kPathNotFound;
    Kind kind;
    if (!kindFor(kindNumber, &kind)) return kUnknownKind;

    const std::string name = nameForKind(fs::oemForm(archiveName), kind);
    const bool onRemovable = removable(name);
    if (isSpannedKind(kind) && !onRemovable) return kNotRemovable;

    fs::File file(fs::openFile(name.c_str(), platform::kAccessReadWrite, platform::kShareNone,
                               fs::Disposition::CreateAlways, platform::kAttrArchive, true));
    if (!file.valid()) return kAccessDenied;
    struct Undo {
        fs::File& file;
        const std::string& name;
        bool armed = true;
        ~Undo() {
            if (!armed) return;
            file.close();
            fs::deleteFile(name.c_str());
        }
    } undo{file, name};

    ArchiveHandle record;
    record.volumeRoom = roomFor(name, firstVolumeSize);
    if (record.volumeRoom == 0) return kWriteFailed;
    if (isSpannedKind(kind) && !platform::setVolumeLabel(fs::ansiForm(name).c_str(), volumeLabel(1).c_str()))
        return kAccessDenied;

    record.access = platform::kAccessReadWrite;
    record.share = platform::kShareNone;
    record.kind = kind;
    record.createdByOpen = true;
    record.volume = 1;
    record.firstVolumeSize = firstVolumeSize;
    record.nextVolumeSize = nextVolumeSize;
    record.name = name;
    record.file = file.get();
    if (Result r = archive::adoptArchive(std::move(record)); r != kOk) return r;
    undo.armed = false;
    *handle = file.release();
    return kOk;
}

Result changeVolume(ArchiveHandle& archive, bool writing) {
    fs::closeFile(archive.file);
    if (archive.volume == 0 || archive.volume > kLastVolumeNumber) return kAccessDenied;
    if (archive.kind == Kind::OwnMultiVolume) archive.name = frontHeaderVolumeName(archive.name, archive.volume);

    if (!removable(archive.name)) {
        if (tryVolume(archive, writing, writing ? archive.name : fixedVolumeName(archive), false)) return kOk;
        return kAccessDenied;
    }
    for (;;) {
        if (frame::ask(frame::Question::InsertDisk, static_cast<int16_t>(archive.volume)) != frame::Answer::Ok)
            return kCancelled;
        if (tryVolume(archive, writing, archive.name, true)) return kOk;
    }
}

}  // namespace zar::span
