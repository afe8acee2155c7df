#include "fs/temp_files.h"

#include <algorithm>
#include <new>
#include <vector>

#include "fs/file_io.h"
#include "fs/names.h"
#include "platform/platform.h"

namespace zar::fs {
namespace {

std::string registry;

// The part of a path after its last separator.
std::string lastPart(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !isSeparator(path[at - 1])) --at;
    return path.substr(at);
}

// The registry's entries in order: a quoted string, or a run of characters
// above blank; blanks between entries are skipped.

std::vector<std::string> entries(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        if (static_cast<unsigned char>(text[at]) <= ' ') {
            ++at;
        } else if (text[at] == '"') {
            size_t end = text.find('"', at + 1);
            if (end == std::string::npos) end = text.size();
            out.push_back(text.substr(at + 1, end - at - 1));
            at = end + 1;
        } else {
            size_t end = at;
            while (end < text.size() && static_cast<unsigned char>(text[end]) > ' ') ++end;
            out.push_back(text.substr(at, end - at));
            at = end;
        }
    }
    return out;
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
        // Built aside first, so that running out of memory leaves the registry whole.
        std::string entry;
        entry += '"';
        entry += platform::fullPath(name);
        entry += '"';
        registry.reserve(registry.size() + entry.size() + 1);
        if (!registry.empty()) registry += ' ';
        registry += entry;
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

Result unregisterTempFile(const char* name) {
    if (name == nullptr || *name == '\0' || registry.empty()) return kOk;
    try {
        std::string full = platform::fullPath(name);
        std::string rebuilt;
        bool found = false;
        for (const std::string& entry : entries(registry)) {
            if (sameFileName(entry.c_str(), full.c_str())) {
                found = true;
                continue;
            }
            if (!rebuilt.empty()) rebuilt += ' ';
            rebuilt += '"';
            rebuilt += entry;
            rebuilt += '"';
        }
        if (found) registry = std::move(rebuilt);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

bool isRegisteredTempFile(const char* name) {
    if (registry.empty()) return false;
    // Full paths are made only for a name whose last part some entry shares:
    // selection asks this for every file, and most share nothing.
    std::vector<std::string> registered = entries(registry);
    std::string own = lastPart(name);
    const bool plain = !own.empty() && own != "." && own != "..";
    if (plain && std::none_of(registered.begin(), registered.end(),
                     [&](const std::string& entry) { return sameFileName(lastPart(entry).c_str(), own.c_str()); }))
        return false;
    std::string full = platform::fullPath(name);
    for (const std::string& entry : registered)
        if (sameFileName(entry.c_str(), full.c_str())) return true;
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
