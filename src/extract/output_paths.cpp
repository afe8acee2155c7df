#include "extract/output_paths.h"

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

#include "fs/names.h"
#include "platform/platform.h"

namespace zar::extract {
namespace {

std::string filters;  // from|to|from|to..., empty when there are none

// A filter part with its final '/': none after a separator, nor after a part
// that is a drive alone. A from part matches the drives stored in archives
// ("C:"), a to part names a path of this machine, which has drives only
// where paths have them: elsewhere "out:" is a directory like any other.
std::string normalized(const char* part, fs::PathKind kind) {
    std::string out = part == nullptr ? "" : part;
    const bool driveAlone = !out.empty() && out.back() == ':' &&
                            (platform::pathsHaveDrives() || (kind == fs::PathKind::Stored && out.size() == 2));
    if (!out.empty() && !fs::isSeparator(out.back()) && !driveAlone) out += '/';
    platform::ansiToOem(out.data());
    return out;
}

// True when `path` begins with `prefix`, '\\' and '/' being the same
// separator: a filter written with one matches paths written with the other.
bool startsWith(const std::string& path, const std::string& prefix) {
    if (prefix.size() > path.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (path[i] != prefix[i] && !(fs::isSeparator(path[i]) && fs::isSeparator(prefix[i]))) return false;
    return true;
}

// Drives compare ignoring case, and a UNC drive's separators either way.
bool sameDrive(std::string a, std::string b) {
    for (std::string* drive : {&a, &b})
        for (char& c : *drive)
            if (fs::isSeparator(c)) c = '/';
    return fs::namesEqual(a.c_str(), b.c_str());
}

std::vector<std::string> splitOnBars(const std::string& text) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        size_t bar = text.find('|', at);
        parts.push_back(text.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
        if (bar == std::string::npos) return parts;
        at = bar + 1;
    }
}

}  // namespace

Result addPathFilter(const char* from, const char* to) {
    try {
        std::string f = normalized(from, fs::PathKind::Stored), t = normalized(to, fs::PathKind::Host);
        if (f.empty() && t.empty()) return kMissingArgument;
        std::string pair = f + "|" + t;
        filters = filters.empty() ? pair : filters + "|" + pair;
        return kOk;
    } catch (const std::bad_alloc&) {
        filters.clear();
        filters.shrink_to_fit();
        return kNoMemory;
    }
}

void applyPathFilters(std::string& path) {
    if (filters.empty()) return;
    std::string drive, directory, name;
    fs::splitName(path.c_str(), &drive, &directory, &name);
    std::vector<std::string> parts = splitOnBars(filters);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string fromDrive, fromDirectory, toDrive, toDirectory;
        fs::splitName(parts[i].c_str(), &fromDrive, &fromDirectory, nullptr);
        fs::splitName(parts[i + 1].c_str(), &toDrive, &toDirectory, nullptr, fs::PathKind::Host);
        if (!startsWith(directory, fromDirectory)) continue;
        std::string rest = directory.substr(fromDirectory.size());
        // A from part that is a drive alone leaves the path's root separator
        // in the rest; a to part that ends in one needs no second.
        if (!toDirectory.empty() && fs::isSeparator(toDirectory.back()) && !rest.empty() &&
            fs::isSeparator(rest.front()))
            rest.erase(0, 1);
        if (sameDrive(fromDrive, drive)) {
            path = toDrive + toDirectory + rest + name;
            return;
        }
        if (fromDrive.empty()) {
            path = drive + toDirectory + rest + name;
            return;
        }
    }
}

void clearPathFilters() {
    filters.clear();
    filters.shrink_to_fit();
}

const std::string& pathFilters() { return filters; }

// Calls `visit` with each directory of `path` that createDirectoryTree would
// make, outermost first, in the system's form; stops at the first that
// returns false, and returns false then.
template <typename Visit>
bool forEachDirectory(const std::string& path, size_t storedDrive, Visit visit) {
    const bool hostDrives = platform::pathsHaveDrives();
    for (size_t i = 1; i < path.size(); ++i) {
        if (!fs::isSeparator(path[i]) || i <= storedDrive || (hostDrives && path[i - 1] == ':')) continue;
        std::string directory = path.substr(0, i);
        platform::oemToAnsi(directory.data());
        if (!visit(std::move(directory))) return false;
    }
    return true;
}

Result createDirectoryTree(const std::string& path, size_t storedDrive) {
    const bool made = forEachDirectory(path, storedDrive, [](const std::string& directory) {
        return platform::isDirectory(directory.c_str()) || platform::createDirectory(directory.c_str());
    });
    return made ? kOk : kDirectoryFailed;
}

bool directoryExists(const char* path) { return platform::isDirectory(path); }

Result OutputTree::makeDirectories(const std::string& path, size_t storedDrive) {
    const bool made = forEachDirectory(path, storedDrive, [this](std::string directory) {
        if (found_.count(directory) != 0) return true;
        if (!platform::isDirectory(directory.c_str())) {
            if (!platform::createDirectory(directory.c_str())) return false;
            made_.insert(directory);
            lastDirectory_.clear();  // it may be the one asked about last
        }
        if (inMadeDirectory(directory)) take(directory);
        found_.insert(std::move(directory));
        return true;
    });
    return made ? kOk : kDirectoryFailed;
}

bool OutputTree::inMadeDirectory(const std::string& path) const {
    const size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos || separator + 1 == path.size()) return false;
    if (lastDirectory_.size() != separator || path.compare(0, separator, lastDirectory_) != 0) {
        lastDirectory_.assign(path, 0, separator);
        lastDirectoryMade_ = made_.count(lastDirectory_) != 0;
    }
    return lastDirectoryMade_;
}

bool OutputTree::knownFree(const std::string& path) const { return inMadeDirectory(path) && !taken(path); }

void OutputTree::placed(const std::string& path) {
    if (inMadeDirectory(path)) take(path);
}

namespace {
uint64_t pathHash(std::string_view path) {
    const uint64_t h = std::hash<std::string_view>{}(path);
    return h == 0 ? 1 : h;  // 0 marks an empty slot
}
}  // namespace

bool OutputTree::taken(std::string_view path) const {
    if (takenCount_ == 0) return false;
    const uint64_t h = pathHash(path);
    const size_t mask = takenSlots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        if (takenSlots_[i] == h) return true;
        if (takenSlots_[i] == 0) return false;
    }
}

void OutputTree::take(std::string_view path) {
    if (2 * (takenCount_ + 1) > takenSlots_.size()) {
        std::vector<uint64_t> previous(std::max<size_t>(64, 2 * takenSlots_.size()), 0);
        previous.swap(takenSlots_);
        takenCount_ = 0;
        for (const uint64_t h : previous)
            if (h != 0) insertHash(h);
    }
    insertHash(pathHash(path));
}

void OutputTree::insertHash(uint64_t h) {
    const size_t mask = takenSlots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        if (takenSlots_[i] == h) return;
        if (takenSlots_[i] == 0) {
            takenSlots_[i] = h;
            ++takenCount_;
            return;
        }
    }
}

}  // namespace zar::extract
