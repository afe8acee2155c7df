#include "fs/dir_walk.h"

#include <algorithm>

#include "frame/local_time.h"
#include "fs/long_names.h"
#include "fs/names.h"
#include "fs/wildcard.h"
#include "fs/zip_rules.h"

namespace zar::fs {
namespace {

using namespace frame;

constexpr uint32_t kPlainBits = platform::kAttrReadOnly | platform::kAttrArchive | platform::kAttrNormal;

// Everything one include specification's walk needs.
struct Walk {
    const OptionSet& options;
    const SpecList& include;
    const SpecList& exclude;
    FileList& list;
    DirectoryQueue& queue;
    uint32_t allowance;
};

// Walks the directory of one include specification, and with recursion every
// directory below it, breadth-first.
Result walk(Walk& w, const std::string& drive, const std::string& directory, const std::string& filePart) {
    const uint32_t flags = w.options.flags;
    const bool recursing = flags & kZipRecurse;
    const std::string searchFile = recursing ? "*" : filePart;
    std::string subdirectory;
    for (;;) {
        DiskSearch search;
        for (bool any = search.first(drive + directory + subdirectory + searchFile, w.allowance, flags); any;
             any = search.next()) {
            const platform::FoundItem& item = search.item();
            const std::string& name = search.name();
            if (item.attributes & platform::kAttrDirectory) {
                if (recursing) {
                    if (Result r = w.queue.push(subdirectory + name + "/"); r != kOk) return r;
                }
                uint32_t keep = recursing ? kZipFullPaths | kZipRelativePaths : kZipFullPaths;
                if (!(flags & keep)) continue;
            }
            if ((flags & kZipArchiveBitOnly) && !(item.attributes & platform::kAttrArchive)) continue;
            if (flags & (kZipDateAfter | kZipDateBefore)) {
                if (outsideDates(frame::utcToDos(item.lastWrite).date, w.options)) continue;
            }
            std::string fullPath = drive + directory + subdirectory + name;
            if (!select(fullPath, w.include, w.exclude, recursing, true)) continue;
            std::string stored = storedName(w.options, drive, directory, subdirectory, name);
            if (Result r = w.list.add(fullPath.c_str(), stored.c_str(), item.attributes, item.lastWrite, item.size,
                                      flags, item.mode);
                r != kOk)
                return r;
        }
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

    SpecList includeList(include), excludeList(exclude);
    Walk w{options, includeList, excludeList, list, queue, allowance};
    for (size_t i = 0; i < specifications.size(); ++i) {
        std::string drive, directory, file;
        splitName(oemForm(specifications[i]).c_str(), &drive, &directory, &file);
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
