#include "fs/temp_files.h"

#include <algorithm>
#include <new>
#include <vector>

#include "fs/file_io.h"
#include "fs/names.h"
#include "platform/platform.h"

namespace zar::fs {
namespace {

// The registered full paths, and the registry text made of them. The paths
// are what lookups go by: a POSIX name may hold the '"' that ends a path in
// the text.
std::vector<std::string> paths;
std::string registry;

// The part of a path after its last separator.
std::string lastPart(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !isSeparator(path[at - 1])) --at;
    return path.substr(at);
}

}  // namespace

std::string makeTempFile(const std::string& where) {
    try {
        std::string directory = where.empty() ? platform::tempDirectory() : where;
        if (directory.empty() || directory.size() > 260) return {};
        std::string name = platform::makeUniqueFile(directory, "AZR");
        if (name.empty()) return {};
        if (registerTempFile(name.c_str()) != kOk) {
            platform::deleteFile(name.c_str());
            return {};
        }
        return name;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Result registerTempFile(const char* name) {
    if (name == nullptr || *name == '\0') return kPathNotFound;
    try {
        // Room is made first, so that running out of memory leaves the registry whole.
        std::string full = platform::fullPath(name);
        paths.reserve(paths.size() + 1);
        registry.reserve(registry.size() + full.size() + 3);
        if (!registry.empty()) registry += ' ';
        registry += '"';
        registry += full;
        registry += '"';
        paths.push_back(std::move(full));
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

Result unregisterTempFile(const char* name) {
    if (name == nullptr || *name == '\0' || paths.empty()) return kOk;
    try {
        // Built aside, and swapped in whole.
        std::string full = platform::fullPath(name);
        std::vector<std::string> kept;
        std::string rebuilt;
        for (const std::string& path : paths) {
            if (sameFileName(path.c_str(), full.c_str())) continue;
            if (!rebuilt.empty()) rebuilt += ' ';
            rebuilt += '"';
            rebuilt += path;
            rebuilt += '"';
            kept.push_back(path);
        }
        if (kept.size() == paths.size()) return kOk;
        paths.swap(kept);
        registry.swap(rebuilt);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

bool isRegisteredTempFile(const char* name) {
    if (paths.empty()) return false;
    // Full paths are made only for a name whose last part some entry shares:
    // selection asks this for every file, and most share nothing.
    // A directory's name may end in its separator; its last part is the one before.
    std::string trimmed = name;
    while (trimmed.size() > 1 && isSeparator(trimmed.back())) trimmed.pop_back();
    std::string own = lastPart(trimmed);
    const bool plain = !own.empty() && own != "." && own != "..";
    if (plain && std::none_of(paths.begin(), paths.end(),
                     [&](const std::string& path) { return sameFileName(lastPart(path).c_str(), own.c_str()); }))
        return false;
    std::string full = platform::fullPath(name);
    for (const std::string& path : paths)
        if (sameFileName(path.c_str(), full.c_str())) return true;
    return false;
}

void removeLeftoverTempFiles() {
    for (const std::string& path : paths) platform::deleteFile(path.c_str());
    paths.clear();
    registry.clear();
}

const std::string& tempRegistry() { return registry; }

TempFile::TempFile(TempFile&& other) noexcept
    : name_(std::move(other.name_)),
      registered_(std::move(other.registered_)),
      directory_(std::move(other.directory_)),
      file_(other.file_),
      anonymous_(other.anonymous_) {
    other.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        remove();
        name_ = std::move(other.name_);
        registered_ = std::move(other.registered_);
        directory_ = std::move(other.directory_);
        file_ = other.file_;
        anonymous_ = other.anonymous_;
        other.clear();
    }
    return *this;
}

void TempFile::clear() {
    name_.clear();
    registered_.clear();
    directory_.clear();
    file_ = platform::kInvalidFile;
    anonymous_ = false;
}

TempFile TempFile::makeAnonymous(const std::string& directory, uint32_t attributes, bool toBeNamed,
                                 uint32_t permissions) {
    try {
        std::string name;
        platform::FileHandle handle =
            platform::createAnonymousFile(directory, "AZR", attributes, toBeNamed, &name, permissions);
        if (handle == platform::kInvalidFile) return {};
        TempFile out;
        out.file_ = handle;
        out.anonymous_ = true;
        out.directory_ = directory;
        if (!name.empty()) {  // a backend's name, gone with the handle: registered meanwhile
            if (registerTempFile(name.c_str()) != kOk) return {};
            out.name_ = std::move(name);
        }
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

TempFile TempFile::makeScratch(const std::string& directory, bool toBeNamed) {
    try {
        std::string where = directory.empty() ? platform::tempDirectory() : directory;
        if (where.empty() || where.size() > 260) return {};
        TempFile out = makeAnonymous(where, platform::kPrivateFile, toBeNamed);
        if (out.valid()) return out;
        out = TempFile(makeTempFile(where));
        if (!out.valid()) return {};
        // A directory the caller names is in the OEM form, as archive names
        // are; the temporary directory's name is the system's own.
        out.file_ = openFile(out.name_.c_str(), platform::kAccessReadWrite, platform::kShareDelete,
                             Disposition::OpenExisting, 0, !directory.empty());
        if (out.file_ == platform::kInvalidFile) return {};
        out.directory_ = std::move(where);
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

TempFile TempFile::makeOpen(const std::string& directory, std::string* fullDirectory, uint32_t attributes,
                            uint32_t permissions) {
    try {
        const std::string where = directory.empty() ? "." : directory;
        TempFile anon = makeAnonymous(where, attributes, true, permissions);
        if (anon.valid()) return anon;
        std::string name;
        platform::FileHandle handle = platform::createUniqueFile(where, "AZR", attributes, &name, permissions);
        if (handle == platform::kInvalidFile) return {};
        // The full path from the directory's: working it out from a relative
        // name would ask the system for the current directory every time.
        if (fullDirectory != nullptr && fullDirectory->empty()) *fullDirectory = platform::fullPath(where.c_str());
        std::string registered = fullDirectory != nullptr ? *fullDirectory : std::string();
        if (registered.empty()) {
            registered = platform::fullPath(name.c_str());
        } else {
            if (!isSeparator(registered.back())) registered += '/';
            registered += lastPart(name);
        }
        if (registerTempFile(registered.c_str()) != kOk) {
            platform::closeFile(handle);
            platform::deleteFile(name.c_str());
            return {};
        }
        TempFile out(std::move(name), std::move(registered));
        out.file_ = handle;
        out.directory_ = where;
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

void TempFile::handedOver() {
    if (file_ != platform::kInvalidFile) platform::closeFile(file_);
    if (!name_.empty()) unregister();
    clear();
}

void TempFile::close() {
    if (file_ == platform::kInvalidFile) return;
    platform::closeFile(file_);
    file_ = platform::kInvalidFile;
    if (anonymous_) {  // gone with its handle
        if (!name_.empty()) unregister();
        clear();
    }
}

void TempFile::remove() {
    if (file_ != platform::kInvalidFile) platform::closeFile(file_);
    if (!name_.empty()) {
        unregister();
        if (!anonymous_) platform::deleteFile(name_.c_str());
    }
    clear();
}

std::string TempFile::release() {
    if (anonymous_) {
        remove();
        return {};
    }
    if (file_ != platform::kInvalidFile) platform::closeFile(file_);
    std::string out = std::move(name_);
    clear();
    return out;
}

bool TempFile::renameTo(const char* target) {
    if (!valid()) return false;
    if (anonymous_) {
        // Where nothing stands yet, the file takes the target's name itself;
        // else it gets one of its own, to be renamed over the target at once.
        if (!platform::linkAnonymousFile(file_, target)) {
            const std::string named = platform::nameAnonymousFile(file_, directory_, "AZR");
            if (named.empty()) return false;  // still anonymous, still owned
            if (!platform::renameFile(named.c_str(), target)) {
                platform::deleteFile(named.c_str());  // anonymous again
                return false;
            }
        }
        handedOver();
        return true;
    }
    close();  // a named file's handle; the file stays
    if (!platform::renameFile(name_.c_str(), target)) return false;
    handedOver();
    return true;
}

bool TempFile::linkNew(const char* target) {
    if (!valid() || !anonymous_ || !platform::linkAnonymousFile(file_, target)) return false;
    handedOver();
    return true;
}

bool TempFile::replace(const char* target) {
    if (!valid()) return false;
    if (anonymous_) {
        if (!platform::replaceWithAnonymousFile(file_, "AZR", target)) return false;
        handedOver();
        return true;
    }
    close();  // a named file's handle; the file stays
    if (!platform::replaceFile(ansiForm(name_).c_str(), target)) return false;
    handedOver();
    return true;
}

bool TempFile::copyTo(const char* target) {
    if (file_ != platform::kInvalidFile) return platform::copyOpenFile(file_, target, false);
    return !name_.empty() && platform::copyFile(ansiForm(name_).c_str(), target, false);
}

}  // namespace zar::fs
