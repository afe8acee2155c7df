#include "fs/dir_walk.h"

#include <algorithm>
#include <functional>
#include <unordered_set>
#include <vector>

#include "frame/local_time.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/long_names.h"
#include "fs/names.h"
#include "fs/wildcard.h"
#include "fs/zip_rules.h"

namespace zar::fs {
namespace {

using namespace frame;

constexpr uint32_t kPlainBits = platform::kAttrReadOnly | platform::kAttrArchive | platform::kAttrNormal;

struct IdentityHash {
    size_t operator()(const platform::FileIdentity& id) const {
        return std::hash<uint64_t>()(id.index * 0x9E3779B97F4A7C15ull ^ id.volume);
    }
};

// The directories a run has walked or queued, by identity: a link that leads
// to one of them would walk it again, and round and round where it leads
// back up the tree.
using WalkedDirectories = std::unordered_set<platform::FileIdentity, IdentityHash>;

// Everything one include specification's walk needs.
struct Walk {
    const OptionSet& options;
    const SpecList& include;
    const SpecList& exclude;
    FileList& list;
    DirectoryQueue& queue;
    uint32_t allowance;
    WalkedDirectories& walked;  // over the whole run
};

// Tells the host of an item the walk passes over (a notice of `code` naming
// it) and keeps the code for the run's result. kOk to go on, kCancelled when
// the host does not accept the notice.
Result passOver(const std::string& path, Result code) {
    StatusRecord& status = frame::status();
    frame::setOperation(Operation::Zipping);
    frame::setNameField(status.entryName, ansiForm(path).c_str());
    status.totalBytes = status.doneBytes = status.packedBytes = 0;
    if (frame::notice(code) != Answer::Ok) return kCancelled;
    frame::setMoreStatus(code);
    return kOk;
}

// The directory a walk is in, as far as loops go: what it is, and (asked only
// when a link to a directory turns up in it) what lies above it on disk.
class Here {
public:
    explicit Here(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // True when `target` is this directory or one above it, so that walking
    // it would come back here.
    bool within(const platform::FileIdentity& target) {
        if (!climbed_) {
            ancestry_ = platform::directoryAncestry(ansiForm(path_.empty() ? "." : path_).c_str());
            climbed_ = true;
        }
        return std::find(ancestry_.begin(), ancestry_.end(), target) != ancestry_.end();
    }

private:
    std::string path_;
    std::vector<platform::FileIdentity> ancestry_;
    bool climbed_ = false;
};

// Where one walk stands: the parts of the path of the directory in hand.
struct Place {
    const std::string& drive;
    const std::string& directory;  // of the include specification
    const std::string& subdirectory;
};

// Takes one item of a listing: a directory is queued when recursing, and what
// the options and the lists select goes into the file list. A link that
// leads nowhere, or to a directory that would lead the walk back to where it
// has been, is passed over with a notice.
Result take(Walk& w, const Place& at, Here& here, const platform::FoundItem& item, const std::string& name) {
    const uint32_t flags = w.options.flags;
    const bool recursing = flags & kZipRecurse;
    const std::string fullPath = here.path() + name;
    if (item.brokenLink) {
        if (!select(fullPath, w.include, w.exclude, recursing, true)) return kOk;
        return passOver(fullPath, kPathNotFound);
    }
    if (item.attributes & platform::kAttrDirectory) {
        if (recursing) {
            const bool known = item.identity.known();
            if (item.link && known && (w.walked.count(item.identity) != 0 || here.within(item.identity)))
                return passOver(fullPath, kAccessDenied);
            if (known) w.walked.insert(item.identity);
            if (Result r = w.queue.push(at.subdirectory + name + "/"); r != kOk) return r;
        }
        uint32_t keep = recursing ? kZipFullPaths | kZipRelativePaths : kZipFullPaths;
        if (!(flags & keep)) return kOk;
    }
    if ((flags & kZipArchiveBitOnly) && !(item.attributes & platform::kAttrArchive)) return kOk;
    if (flags & (kZipDateAfter | kZipDateBefore)) {
        if (outsideDates(frame::utcToDos(item.lastWrite).date, w.options)) return kOk;
    }
    if (!select(fullPath, w.include, w.exclude, recursing, true)) return kOk;
    std::string stored = storedName(w.options, at.drive, at.directory, at.subdirectory, name);
    return w.list.add(fullPath.c_str(), stored.c_str(), item.attributes, item.lastWrite, item.size, flags,
                      item.mode);
}

// Walks the directory of one include specification, and with recursion every
// directory below it, breadth-first. A link to a directory is walked like a
// directory unless it leads back into the walk: to the directory it was found
// in or one above it, or to one walked (or queued) already in the run. Such
// links are taken after the rest of their directory, in the order of their
// names, so that which of two ways to one directory is walked does not
// depend on the order the directory lists them in.
Result walk(Walk& w, const std::string& drive, const std::string& directory, const std::string& filePart) {
    const bool recursing = w.options.flags & kZipRecurse;
    const std::string searchFile = recursing ? "*" : filePart;
    if (recursing) {
        std::vector<platform::FileIdentity> top = platform::directoryAncestry(ansiForm(drive + directory).c_str());
        if (!top.empty()) w.walked.insert(top.front());
    }
    std::string subdirectory;
    std::vector<std::pair<std::string, platform::FoundItem>> links;  // to directories, taken last
    for (;;) {
        const Place at{drive, directory, subdirectory};
        Here here(drive + directory + subdirectory);
        links.clear();
        DiskSearch search;
        for (bool any = search.first(here.path() + searchFile, w.allowance, w.options.flags); any;
             any = search.next()) {
            const platform::FoundItem& item = search.item();
            if (recursing && item.link && (item.attributes & platform::kAttrDirectory)) {
                links.emplace_back(search.name(), item);
                continue;
            }
            if (Result r = take(w, at, here, item, search.name()); r != kOk) return r;
        }
        std::sort(links.begin(), links.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [name, item] : links)
            if (Result r = take(w, at, here, item, name); r != kOk) return r;
        if (w.queue.pending() == 0) return kOk;
        if (Result r = w.queue.pop(&subdirectory); r != kOk) return r;
    }
}

}  // namespace

bool attributesAllowed(uint32_t attributes, uint32_t allowance) {
    allowance &= ~platform::kAttrArchive;
    return ((attributes & ~kPlainBits) & ~allowance) == 0;
}

// ---- DiskSearch -------------------------------------------------------------------

bool DiskSearch::first(const std::string& pattern, uint32_t allowance, uint32_t optionFlags) {
    close();
    allowance_ = allowance;
    flags_ = optionFlags;
    size_t separator = pattern.find_last_of("\\/");
    filePart_ = separator == std::string::npos ? pattern : pattern.substr(separator + 1);
    search_ = platform::findFirstFile(ansiForm(pattern).c_str(), &item_);
    return advance(search_ != nullptr);
}

bool DiskSearch::next() { return search_ != nullptr && advance(platform::findNextFile(search_, &item_)); }

void DiskSearch::close() {
    platform::findClose(search_);
    search_ = nullptr;
}

bool DiskSearch::counts() {
    if (item_.name == "." || item_.name == "..") return false;
    if (!attributesAllowed(item_.attributes, allowance_)) return false;
    bool useShort = (flags_ & kZipShortNames) && !item_.shortName.empty();
    name_ = oemForm(useShort ? item_.shortName : item_.name);
    return wildcardMatch(name_.c_str(), filePart_.c_str());
}

bool DiskSearch::advance(bool found) {
    for (; found; found = platform::findNextFile(search_, &item_))
        if (counts()) return true;
    close();
    return false;
}

// ---- DirectoryQueue ---------------------------------------------------------------

Result DirectoryQueue::create() {
    remove();
    temp_ = TempFile::makeScratch();
    return temp_.valid() ? kOk : kWriteFailed;
}

Result DirectoryQueue::push(const std::string& directory) {
    std::string line = directory + '\n';
    if (!seekTo(temp_.file(), writeAt_) || !writeAll(temp_.file(), line.data(), static_cast<uint32_t>(line.size())))
        return kWriteFailed;
    writeAt_ += static_cast<uint32_t>(line.size());
    ++pending_;
    return kOk;
}

Result DirectoryQueue::pop(std::string* directory) {
    char buffer[kLineLimit];
    if (!seekTo(temp_.file(), readAt_)) return kShortRead;
    uint32_t got = 0;
    if (!readSome(temp_.file(), buffer, kLineLimit, &got) || got == 0) return kShortRead;
    const char* end = std::find(buffer, buffer + got, '\n');
    if (end == buffer + got) return kSomeEntriesFailed;
    directory->assign(buffer, static_cast<size_t>(end - buffer));
    readAt_ += static_cast<uint32_t>(end - buffer) + 1;
    --pending_;
    return kOk;
}

void DirectoryQueue::remove() {
    temp_.remove();
    readAt_ = writeAt_ = pending_ = 0;
}

// ---- The list builder ---------------------------------------------------------------

namespace {

Result collect(const char* include, const char* exclude, const OptionSet& options, FileList& list) {
    const uint32_t flags = options.flags;
    uint32_t allowance = 0;
    if (flags & kZipAdmitHidden) allowance |= kAllowHidden;
    if (flags & kZipAdmitSystem) allowance |= kAllowSystem;
    if (flags & (kZipRecurse | kZipFullPaths)) allowance |= kAllowDirectories;

    std::vector<std::string> specifications = splitSpecifications(include);
    if (specifications.empty()) return kNothingDone;
    DirectoryQueue queue;
    if (Result r = queue.create(); r != kOk) return r;
    if (Result r = list.open(); r != kOk) return r;

    SpecList includeList(include, PathKind::Host), excludeList(exclude, PathKind::Host);
    WalkedDirectories walked;
    Walk w{options, includeList, excludeList, list, queue, allowance, walked};
    for (size_t i = 0; i < specifications.size(); ++i) {
        std::string drive, directory, file;
        splitName(oemForm(specifications[i]).c_str(), &drive, &directory, &file, PathKind::Host);
        if (file.empty()) file.push_back('*');
        if (flags & kZipLongNames) {
            if (Result r = expandLongNames(drive, &directory); r != kOk) return r;
            // Selection compares with the directory as it was walked.
            std::string walked = directory;
            std::replace(walked.begin(), walked.end(), '\\', '/');
            includeList.specs()[i].directory = walked;
        }
        if (!directory.empty() && isSeparator(directory[0])) {
            drive += '/';
            directory.erase(0, 1);
        }
        if (Result r = walk(w, drive, directory, file); r != kOk) return r;
    }
    queue.remove();
    return list.count() == 0 ? kNothingDone : kOk;
}

}  // namespace

Result buildFileList(const char* include, const char* exclude, const OptionSet& options, FileList& list) {
    Result r = collect(include, exclude, options, list);
    if (r != kOk) list.free();  // a failed build leaves no index behind
    return r;
}

}  // namespace zar::fs
