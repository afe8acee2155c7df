#include "write/zip_from_memory.h"

#include <algorithm>
#include <string>

#include "fs/names.h"
#include "platform/platform.h"
#include "write/zip_run.h"

namespace zar::write {
namespace {

// The longest stored name the zip run's file list takes.
constexpr size_t kLongestName = 255;

// Data is written to the staging file in pieces of at most this size.
constexpr uint32_t kPieceSize = 65520;

// A relative name of non-empty components, none of them "." or "..", that
// names a file: no drive, no leading or trailing separator.
bool isPlainRelativeName(const std::string& name) {
    if (name.empty() || (name.size() >= 2 && name[1] == ':')) return false;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/') continue;
        const std::string part = name.substr(start, i - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = i + 1;
    }
    return true;
}

// The directory the data is staged in: made for this run, private to this
// user, and removed with what it holds when the run is over.
class StagingDirectory {
public:
    StagingDirectory() : path_(platform::makeUniqueDirectory(platform::tempDirectory(), "AZR")) {}
    ~StagingDirectory() {
        if (path_.empty()) return;
        if (!file_.empty()) platform::deleteFile(file_.c_str());
        platform::removeDirectory(path_.c_str());
    }
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    bool valid() const { return !path_.empty(); }
    // The staging file's name, in the file system's form; deleted with the directory.
    const std::string& file() {
        file_ = path_ + "/data";
        return file_;
    }

private:
    std::string path_;
    std::string file_;
};

}  // namespace

Result zipFromMemory(fs::FileHandle* archive, const void* data, int32_t length, const char* name,
                     const char* options) {
    std::string stored = name == nullptr ? "" : fs::oemForm(name);
    std::replace(stored.begin(), stored.end(), '\\', '/');
    if (!isPlainRelativeName(stored)) return kPathNotFound;
    if (stored.size() > kLongestName) return kTooLong;
    if (data == nullptr && length > 0) return kMissingArgument;

    StagingDirectory staging;
    if (!staging.valid()) return kWriteFailed;
    const std::string path = staging.file();
    {
        fs::File file(platform::openFile(path.c_str(), platform::kAccessReadWrite, platform::kShareNone,
                                         platform::Disposition::CreateNew, platform::kAttrArchive));
        if (!file.valid()) return kWriteFailed;
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        for (uint32_t left = length > 0 ? static_cast<uint32_t>(length) : 0; left != 0;) {
            const uint32_t piece = std::min(left, kPieceSize);
            if (!fs::writeAll(file.get(), bytes, piece)) return kWriteFailed;
            bytes += piece;
            left -= piece;
        }
    }
    return zipFileAs(archive, fs::oemForm(path), stored, options);
}

}  // namespace zar::write
