#include "fs/zip_rules.h"

#include "fs/names.h"
#include "platform/platform.h"

namespace zar::fs {

using namespace frame;

bool outsideDates(uint16_t date, const OptionSet& o) {
    bool after = o.flags & kZipDateAfter, before = o.flags & kZipDateBefore;
    if (after && before) {
        if (o.dateAfter < o.dateBefore) return date < o.dateAfter || date >= o.dateBefore;
        return date >= o.dateBefore && date < o.dateAfter;
    }
    if (after) return date < o.dateAfter;
    if (before) return date >= o.dateBefore;
    return false;
}

std::string storedName(const OptionSet& o, const std::string& drive, const std::string& directory,
                       const std::string& subdirectory, const std::string& name) {
    std::string stored;
    bool withDrive = o.flags & kZipStoreDrive;
    if (withDrive) {
        // A drive part that is only a root separator stands for the current drive.
        bool root = !drive.empty() && isSeparator(drive[0]) && !(drive.size() > 1 && isSeparator(drive[1]));
        stored = root ? std::string(1, platform::currentDriveLetter()) + ":\\" : drive;
    }
    if (o.flags & kZipFullPaths) {
        stored += directory + subdirectory + name;
    } else if (o.flags & kZipRelativePaths) {
        stored += subdirectory + name;
    } else {
        if (withDrive && !stored.empty()) stored.pop_back();
        stored += name;
    }
    return stored;
}

}  // namespace zar::fs
