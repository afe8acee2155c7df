#include "write/change_paths.h"

#include <algorithm>
#include <cstring>

#include "archive/handles.h"
#include "archive/records.h"
#include "fs/names.h"
#include "platform/platform.h"
#include "write/new_archive.h"

namespace zar::write {
namespace {

// True when `text` begins with `prefix`, compared as the file system compares names.
bool beginsWith(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    if (platform::namesIgnoreCase()) return fs::namesEqualN(text.c_str(), prefix.c_str(), prefix.size());
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool sameDrive(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    return platform::namesIgnoreCase() ? fs::namesEqual(a.c_str(), b.c_str()) : a == b;
}

std::string withSlashes(const char* text) {
    std::string out = fs::oemForm(text == nullptr ? "" : text);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

// Closes the archive the run opened, whatever happens.
struct OpenedArchive {
    fs::FileHandle handle = fs::kInvalidFile;
    ~OpenedArchive() { archive::closeArchive(&handle); }
};

}  // namespace

bool rewritePath(const std::string& oldPath, const std::string& newPath, std::string* name) {
    std::string oldDrive, oldDirectory, newDrive, newDirectory, drive, directory, file;
    fs::splitName(oldPath.c_str(), &oldDrive, &oldDirectory, nullptr);
    fs::splitName(newPath.c_str(), &newDrive, &newDirectory, nullptr);
    fs::splitName(name->c_str(), &drive, &directory, &file);
    if (!beginsWith(directory, oldDirectory)) return false;
    if (sameDrive(drive, oldDrive))
        drive = newDrive;
    else if (!oldDrive.empty())
        return false;
    const std::string rebuilt = drive + newDirectory + directory.substr(oldDirectory.size()) + file;
    if (rebuilt == *name) return false;
    *name = rebuilt;
    return true;
}

Result changeDirPaths(const char* archiveName, const char* newArchiveName, const char* oldPath,
                      const char* newPath, bool longNames, uint16_t* changed) {
    if (changed != nullptr) *changed = 0;
    if (archiveName == nullptr || *archiveName == '\0') return kPathNotFound;
    const std::string from = withSlashes(oldPath);
    std::string to = withSlashes(newPath);
    // Without long names, stored names are the upper-case 8.3 names where
    // names ignore case; the new path is stored the same way.
    if (!longNames && platform::namesIgnoreCase()) platform::upperCase(to.data());

    OpenedArchive opened;
    const uint32_t mode = archive::openMode(archive::OpenMode::ReadOnly, longNames ? archive::kOpenLongNames : 0);
    if (Result r = archive::openArchive(archiveName, mode, &opened.handle); r != kOk) return r;
    archive::ArchiveHandle& source = *archive::lookup(opened.handle);
    if (source.kind != archive::Kind::Zip) return kNotOnThisKind;

    const std::string output = newArchiveName == nullptr ? "" : fs::ansiForm(newArchiveName);
    const std::string archivePath = fs::ansiForm(source.name);
    const bool inPlace = output.empty() || fs::sameFileName(platform::fullPath(output.c_str()).c_str(),
                                                            platform::fullPath(archivePath.c_str()).c_str());
    // The commit replaces the archive file as a whole; one marked read-only stays.
    if (inPlace) {
        const uint32_t attributes = platform::fileAttributes(archivePath.c_str());
        if (attributes == platform::kInvalidAttributes) return kAccessDenied;
        if (attributes & platform::kAttrReadOnly) return kNotWritable;
    }

    NewArchive target(source, inPlace ? std::string() : output);
    if (Result r = target.create(); r != kOk) return r;
    if (Result r = target.readOldEnd(); r != kOk) return r;
    uint16_t count = 0;
    OldEntries old(source);
    Result r;
    for (r = old.first(); r == kOk; r = old.next()) {
        ExistingEntry& entry = old.entry();
        // An entry keeps its stored name and long-name block unless its path
        // changes; a changed one is stored under its whole new name.
        const bool hadLongName = entry.renamed;
        entry.renamed = false;
        std::string name = entry.name;
        if (rewritePath(from, to, &name)) {
            if (name.size() > archive::kNameLimit) return kTooLong;
            entry.formerLongName = hadLongName ? entry.name : "";
            entry.name = std::move(name);
            entry.renamed = true;
            ++count;
        }
        if (Result c = target.count(); c != kOk) return c;
        if (Result c = copyEntry(source.file, target.data(), target.directory(), entry); c != kOk) return c;
    }
    if (r != kNothingDone) return r;
    if (Result f = target.finish(); f != kOk) return f;
    if (changed != nullptr) *changed = count;
    // Asked for a count, a run that changed nothing leaves the archive alone.
    if (inPlace && changed != nullptr && count == 0) return kOk;
    return target.commit(nullptr);
}

}  // namespace zar::write
