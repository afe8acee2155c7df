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

// The directory the data file lies in: an anonymous one has no name to tell.
std::string dataDirectory(const fs::TempFile& dataFile) {
    if (dataFile.anonymous()) return dataFile.directory().empty() ? "." : dataFile.directory();
    return directoryOf(dataFile.name());
}

// `name` is already in the file system's form.
int64_t sizeOf(const std::string& name) {
    fs::File file(fs::openFile(name.c_str(), platform::kAccessRead, platform::kShareReadWrite,
                               fs::Disposition::OpenExisting, 0, false));
    return file.valid() ? fs::fileLength(file.get()) : -1;
}

}  // namespace

fs::TempFile makeDataFile(const archive::ArchiveHandle& archive) {
    fs::TempFile beside = fs::TempFile::makeScratch(directoryOf(archive.name), true);
    if (beside.valid()) return beside;
    return fs::TempFile::makeScratch("", true);
}

Result commitArchive(archive::ArchiveHandle& archive, fs::TempFile& dataFile, const DosDateTime* time) {
    const std::string target = fs::ansiForm(archive.name);
    const bool beside =
        fs::sameFileName(platform::fullPath(fs::ansiForm(dataDirectory(dataFile)).c_str()).c_str(),
                         platform::fullPath(directoryOf(target).c_str()).c_str());
    if (!beside) {
        // Copying over the archive needs room for the whole new archive.
        const int64_t newSize = dataFile.file() != fs::kInvalidFile ? fs::fileLength(dataFile.file())
                                                                    : sizeOf(fs::ansiForm(dataFile.name()));
        const int64_t oldSize = fs::fileLength(archive.file);
        uint32_t free = 0;
        if (newSize < 0 || oldSize < 0 || !platform::freeSpace(target.c_str(), &free)) return kAccessDenied;
        if (oldSize + int64_t{free} < newSize) return kWriteFailed;
    }

    fs::closeFile(archive.file);
    archive.endLocated = false;
    Result result = kOk;
    if (beside ? !dataFile.replace(target.c_str()) : !dataFile.copyTo(target.c_str())) result = kAccessDenied;

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
