#include "fs/long_names.h"

#include <utility>
#include <vector>

#include "fs/names.h"
#include "platform/platform.h"

namespace zar::fs {
namespace {

struct Range {
    size_t begin, end;
};

// The components of a path between its separators (empty ones left out).
std::vector<Range> components(const std::string& path, const char* separators) {
    std::vector<Range> out;
    size_t at = 0;
    while (at < path.size()) {
        size_t end = path.find_first_of(separators, at);
        if (end == std::string::npos) end = path.size();
        if (end > at) out.push_back({at, end});
        at = end + 1;
    }
    return out;
}

bool isDots(const std::string& component) { return component == "." || component == ".."; }

// Searches `prefix` (ANSI) and reports the item the file system finds. The
// search matches ignoring case, so where case tells names apart it may find
// "README" and "readme" both: the item spelt exactly as asked is then the one
// meant, and only without one does the first spelling found stand.
bool lookUp(const std::string& prefix, platform::FoundItem* item) {
    platform::Search* search = platform::findFirstFile(prefix.c_str(), item);
    if (search == nullptr) return false;
    size_t separator = prefix.find_last_of("\\/");
    const std::string wanted = separator == std::string::npos ? prefix : prefix.substr(separator + 1);
    if (!sameFileName(item->name.c_str(), wanted.c_str())) {
        platform::FoundItem other;
        while (platform::findNextFile(search, &other)) {
            if (sameFileName(other.name.c_str(), wanted.c_str())) {
                *item = std::move(other);
                break;
            }
        }
    }
    platform::findClose(search);
    return true;
}

}  // namespace

Result expandLongNames(const std::string& drive, std::string* path) {
    std::string p = ansiForm(*path);
    const std::string d = ansiForm(drive);
    bool first = true;
    size_t at = 0;
    while (at < p.size()) {
        if (isSeparator(p[at])) {
            ++at;
            continue;
        }
        size_t end = p.find_first_of("\\/", at);
        if (end == std::string::npos) end = p.size();
        std::string component = p.substr(at, end - at);
        // A drive component ("C:") is searched together with the next one;
        // where paths have no drives, "a:" is a directory like any other.
        bool driveComponent = first && d.empty() && component.back() == ':' && platform::pathsHaveDrives();
        first = false;
        if (isDots(component) || driveComponent) {
            at = end;
            continue;
        }
        platform::FoundItem item;
        if (!lookUp(d + p.substr(0, end), &item)) return kDirectoryFailed;
        p.replace(at, end - at, item.name);
        at += item.name.size();
    }
    *path = oemForm(p);
    return kOk;
}

Result shortNameForm(const std::string& fullPath, std::string* storedName, std::string* shortName) {
    const std::string p = ansiForm(fullPath);
    std::vector<std::pair<std::string, std::string>> names;  // long and short, in OEM
    bool first = true;
    for (const Range& r : components(p, "\\/")) {
        std::string component = p.substr(r.begin, r.end - r.begin);
        bool driveComponent = first && component.back() == ':' && platform::pathsHaveDrives();
        first = false;
        if (driveComponent) continue;
        if (isDots(component)) {
            names.emplace_back(oemForm(component), oemForm(component));
            continue;
        }
        platform::FoundItem item;
        if (!lookUp(p.substr(0, r.end), &item)) {
            shortName->clear();
            return kDirectoryFailed;
        }
        names.emplace_back(oemForm(item.name), oemForm(item.shortName.empty() ? item.name : item.shortName));
    }

    // Replace the trailing components from the last backwards, so that the
    // offsets of the earlier ones stay valid.
    std::string longForm = *storedName, shortForm = *storedName;
    // The stored name's components; a leading drive, which the disk path does
    // not spell, keeps its place. A ':' anywhere else is part of a name, and
    // so is a leading "a:" where paths have no drives and the disk path's
    // component in the same place spells it too ("a:b/f" from the directory
    // "a:b"); a drive that -.D put before a name ("C:f") it never spells.
    size_t driveEnd = beginsWithDrive(*storedName, PathKind::Stored) ? 2 : 0;
    if (driveEnd != 0 && !platform::pathsHaveDrives()) {
        const size_t whole = components(*storedName, "\\/").size();
        if (whole <= names.size() && namesEqualN(names[names.size() - whole].first.c_str(), storedName->c_str(), 2))
            driveEnd = 0;
    }
    std::vector<Range> stored;
    for (const Range& r : components(storedName->substr(driveEnd), "\\/"))
        stored.push_back({r.begin + driveEnd, r.end + driveEnd});
    size_t count = std::min(stored.size(), names.size());
    for (size_t j = 1; j <= count; ++j) {
        const Range& r = stored[stored.size() - j];
        const auto& [longName, shortOne] = names[names.size() - j];
        longForm.replace(r.begin, r.end - r.begin, longName);
        shortForm.replace(r.begin, r.end - r.begin, shortOne);
    }
    *storedName = std::move(longForm);
    *shortName = std::move(shortForm);
    return kOk;
}

char driveLetter(const char* path) {
    char c = path != nullptr ? path[0] : '\0';
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letter && path[1] == ':' ? c : platform::currentDriveLetter();
}

}  // namespace zar::fs
