// zar rename: one Ax4ChangeDirPaths run, which replaces a directory prefix of
// the stored names in local headers and central records alike and copies
// every entry's data unchanged, back over the archive (or into --output).
#include <cstdio>
#include <string>
#include <vector>

#include "archive_name.h"
#include "entries.h"
#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

// A prefix as a directory: "./a//b" becomes "a/b/", "" and "." stay empty. A
// leading '/' is kept: some archives store such names.
std::string asDirectory(const std::string& given) {
    std::string path = given.rfind('/', 0) == 0 ? "/" : "";
    size_t at = 0;
    while (at <= given.size()) {
        size_t end = given.find('/', at);
        if (end == std::string::npos) end = given.size();
        const std::string part = given.substr(at, end - at);
        if (!part.empty() && part != ".") path += part + "/";
        at = end + 1;
    }
    return path;
}

bool climbsOrRoots(const std::string& directory) {
    return directory.rfind('/', 0) == 0 || directory == "../" || directory.rfind("../", 0) == 0 ||
           directory.find("/../") != std::string::npos;
}

std::vector<std::string> namesOf(const std::string& path) {
    std::vector<std::string> names;
    AxHandle handle = AX_NO_ARCHIVE;
    if (Ax4ZipOpen(path.c_str(), AX_OPEN_READ | AX_OPEN_LONG_NAMES, &handle) != AX_OK) return names;
    std::vector<Entry> entries;
    readEntries(handle, &entries);
    Ax4ZipClose(&handle);
    for (const Entry& entry : entries) names.push_back(entry.name);
    return names;
}

}  // namespace

int runRename(const Options& options) {
    ArchiveName name = ArchiveName::forReading(options.operands[0]);
    const std::string from = asDirectory(options.operands[1]);
    const std::string to = asDirectory(options.operands[2]);
    if (climbsOrRoots(to)) {
        complain(options.operands[2] + ": names under it would lead out of the folder they are extracted into");
        return kExitUsage;
    }
    // A name without an extension is read through a link that has one; the
    // renamed archive then goes to the name itself.
    std::string output;
    if (!options.outputFile.empty()) output = ArchiveName::forWriting(options.outputFile).path();
    else if (name.path() != name.shown()) output = name.shown();

    const std::vector<std::string> before = options.verbose ? namesOf(name.path()) : std::vector<std::string>{};
    uint16_t changed = 0;
    const int16_t result = Ax4ChangeDirPaths(name.path().c_str(), output.empty() ? nullptr : output.c_str(),
                                             from.c_str(), to.c_str(), 1, &changed);
    if (result != AX_OK) return reportResult(name.shown(), result);
    const std::string written = output.empty() ? name.shown() : output;
    if (changed == 0) {
        complain(name.shown() + ": no entry name begins with \"" + printable(from) + "\"" +
                 (output.empty() ? "; the archive is as it was" : "; " + printable(written) + " is a plain copy"));
        return kExitNothingMatched;
    }
    if (options.verbose) {
        const std::vector<std::string> after = namesOf(output.empty() ? name.path() : output);
        for (size_t i = 0; i < before.size() && i < after.size(); ++i)
            if (before[i] != after[i])
                std::printf("renamed: %s -> %s\n", printable(before[i]).c_str(), printable(after[i]).c_str());
    }
    if (!options.quiet)
        std::printf("%s: %s renamed\n", printable(written).c_str(), countOf(changed, "entry", "entries").c_str());
    return kExitOk;
}

}  // namespace zar::cli
