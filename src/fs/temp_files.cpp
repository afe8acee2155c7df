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
    std::string own = lastPart(name);
    const bool plain = !own.empty() && own != "." && own != "..";
    if (plain && std::none_of(paths.begin(), paths.end(),
                     [&](const std::string& path) { return sameFileName(lastPart(path).c_str(), own.c_str()); }))
        return false;
    std::string full = platform::fullPath(name);
    for (const std::string& path : paths)
        if (sameFileName(path.c_str(), full.c_str())) return true;
    return false;
}

const std::string& tempRegistry() { return registry; }

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        remove();
        name_ = std::move(other.name_);
        registered_ = std::move(other.registered_);
        other.name_.clear();
        other.registered_.clear();
    }
    return *this;
}

TempFile TempFile::makeOpen(const std::string& directory, const std::string& fullDirectory, uint32_t attributes,
                            platform::FileHandle* file) {
    *file = platform::kInvalidFile;
    try {
        std::string name;
        platform::FileHandle handle =
            platform::createUniqueFile(directory.empty() ? "." : directory, "AZR", attributes, &name);
        if (handle == platform::kInvalidFile) return {};
        // The full path from the directory's: working it out from a relative
        // name would ask the system for the current directory every time.
        std::string registered = fullDirectory;
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
        *file = handle;
        return TempFile(std::move(name), std::move(registered));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

void TempFile::remove() {
    if (name_.empty()) return;
    unregister();
    platform::deleteFile(name_.c_str());
    name_.clear();
    registered_.clear();
}

bool TempFile::renameTo(const char* target) {
    if (name_.empty() || !platform::renameFile(name_.c_str(), target)) return false;
    unregister();
    name_.clear();
    registered_.clear();
    return true;
}

std::string TempFile::release() {
    std::string out = std::move(name_);
    name_.clear();
    registered_.clear();
    return out;
}

}  // namespace zar::fs
