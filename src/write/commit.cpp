#include "write/commit.h"

#include "frame/local_time.h"
#include "fs/names.h"
#include "platform/platform.h"

namespace zar::write {
namespace {

// The drive and directory of a path of this machine; "." for a bare name.
std::string directoryOf(const std::string& path) {
    std::string drive, directory;
    fs::splitName(path.c_str(), &drive, &directory, nullptr, fs::PathKind::Host);
    std::string where = drive + directory;
    return where.empty() ? "." : where;
}

bool sameDirectory(const std::string& a, const std::string& b) {
    return fs::sameFileName(platform::fullPath(directoryOf(a).c_str()).c_str(),
                            platform::fullPath(directoryOf(b).c_str()).c_str());
}

// `name` is already in the file system's form.
int64_t sizeOf(const std::string& name) {
    fs::File file(fs::openFile(name.c_str(), platform::kAccessRead, platform::kShareReadWrite,
                               fs::Disposition::OpenExisting, 0, false));
    return file.valid() ? fs::fileLength(file.get()) : -1;
}

}  // namespace

fs::TempFile makeDataFile(const archive::ArchiveHandle& archive) {
    fs::TempFile beside = fs::TempFile::make(directoryOf(archive.name));
    if (beside.valid()) return beside;
    return fs::TempFile::make();
}

Result commitArchive(archive::ArchiveHandle& archive, fs::TempFile& dataFile, const DosDateTime* time) {
    const std::string target = fs::ansiForm(archive.name), replacement = fs::ansiForm(dataFile.name());
    const bool beside = sameDirectory(replacement, target);
    if (!beside) {
        // Copying over the archive needs room for the whole new archive.
        const int64_t newSize = sizeOf(replacement), oldSize = fs::fileLength(archive.file);
        uint32_t free = 0;
        if (newSize < 0 || oldSize < 0 || !platform::freeSpace(target.c_str(), &free)) return kAccessDenied;
        if (oldSize + int64_t{free} < newSize) return kWriteFailed;
    }

    fs::closeFile(archive.file);
    archive.endLocated = false;
    Result result = kOk;
    if (beside) {
        if (platform::replaceFile(replacement.c_str(), target.c_str())) {
            fs::unregisterTempFile(dataFile.release().c_str());
        } else {
            result = kAccessDenied;
        }
    } else if (!platform::copyFile(replacement.c_str(), target.c_str(), false)) {
        result = kAccessDenied;
    }

    archive.file = fs::openFile(archive.name.c_str(), archive.access, archive.share,
                                platform::Disposition::OpenAlways, 0, true);
    if (archive.file == fs::kInvalidFile && result == kOk) result = kAccessDenied;
    // A date that names no real time (entries of a damaged archive may carry
    // one) leaves the archive with the time of its writing.
    uint64_t utc;
    if (result == kOk && time != nullptr && frame::dosToUtc(*time, &utc) && !platform::setFileTime(archive.file, utc))
        result = kAccessDenied;
    return result;
}

}  // namespace zar::write
