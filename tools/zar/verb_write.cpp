// zar add, update, freshen, move and delete: one Ax4Zip run each. The library
// builds the new archive beside the old one and commits it only when the run
// succeeded; zar compares the directory before and after to say what changed.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "archive_name.h"
#include "compose.h"
#include "entries.h"
#include "password.h"
#include "patterns.h"
#include "reporter.h"
#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

namespace fs = std::filesystem;

// The smallest ZIP archive, an end record alone, has 22 bytes.
constexpr uintmax_t kSmallestArchive = 22;

// "./a//b/./c/" becomes "a/b/c"; "." becomes "". A leading "/" stays: the
// library stores absolute paths without it.
std::string normalizePath(const std::string& given) {
    std::string path = given.rfind('/', 0) == 0 ? "/" : "";
    size_t at = 0;
    while (at <= given.size()) {
        size_t end = given.find('/', at);
        if (end == std::string::npos) end = given.size();
        const std::string part = given.substr(at, end - at);
        if (!part.empty() && part != ".") {
            if (!path.empty() && path.back() != '/') path += '/';
            path += part;
        }
        at = end + 1;
    }
    return path;
}

// A ".." in a stored name would lead out of the folder it is extracted into.
bool climbsUp(const std::string& path) {
    return path == ".." || path.rfind("../", 0) == 0 || path.find("/../") != std::string::npos ||
           (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0);
}

// All of standard input, read in large pieces; false when a read fails.
bool readStandardInput(std::string* data) {
    data->clear();
    std::vector<char> piece(1 << 20);
    for (;;) {
        size_t n = 0;
        if (!readInputPiece(piece.data(), piece.size(), &n)) return false;
        if (n == 0) return true;
        data->append(piece.data(), n);
        // Past the largest size an entry from memory can have, there is no use reading on.
        if (data->size() > static_cast<size_t>(INT32_MAX)) return true;
    }
}

// Why a name given with --name cannot be an entry's; empty when it can.
std::string entryNameProblem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name[0] == '/') return "a stored name does not begin with '/'";
    if (name.back() == '/') return "that names a directory";
    if (normalizePath(name) != name || climbsUp(name))
        return "give the name plainly: no \"..\", \".\" or empty parts";
    return {};
}

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

// What the run will read, near enough for the overall bar; 0 when unknown.
uint64_t estimateBytes(const std::vector<std::string>& files, const std::vector<std::string>& directories,
                       bool skipHidden) {
    std::error_code ec;
    uint64_t total = 0;
    for (const std::string& file : files) {
        if (hasWildcards(file)) return 0;
        total += fs::file_size(file, ec);
        if (ec) ec.clear();
    }
    for (const std::string& directory : directories) {
        fs::recursive_directory_iterator walk(directory.empty() ? "." : directory,
                                              fs::directory_options::skip_permission_denied, ec);
        for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
            if (skipHidden && isHidden(walk->path())) {
                if (walk->is_directory(ec)) walk.disable_recursion_pending();
                continue;
            }
            if (walk->is_regular_file(ec)) total += walk->file_size(ec);
            ec.clear();
        }
        ec.clear();
    }
    return total;
}

// After a move the files are gone; directories left empty go too, deepest
// first. The working directory itself stays.
void removeEmptyDirectories(const std::vector<std::string>& directories) {
    for (const std::string& directory : directories) {
        if (directory.empty()) continue;
        std::error_code ec;
        std::vector<fs::path> found{directory};
        for (fs::recursive_directory_iterator walk(directory, ec); !ec && walk != fs::recursive_directory_iterator();
             walk.increment(ec))
            if (walk->is_directory(ec) && !walk->is_symlink(ec)) found.push_back(walk->path());
        std::sort(found.begin(), found.end(),
                  [](const fs::path& a, const fs::path& b) { return a.string().size() > b.string().size(); });
        for (const fs::path& path : found)
            if (fs::is_empty(path, ec) && !ec) fs::remove(path, ec);
    }
}

// The entries of the archive before the run, when it had any.
int16_t entriesBefore(AxHandle handle, bool existed, std::vector<Entry>* entries) {
    entries->clear();
    return existed ? readEntries(handle, entries) : int16_t{AX_OK};
}

bool sameEntry(const CDR& a, const CDR& b) {
    return a.crc == b.crc && a.packedSize == b.packedSize && a.unpackedSize == b.unpackedSize && a.date == b.date &&
           a.time == b.time && a.method == b.method && a.flags == b.flags &&
           a.externalAttributes == b.externalAttributes;
}

// Prints what changed between the two directories: a line per entry with
// --verbose, one summary line unless --quiet.
void tellChanges(const Options& options, const std::string& archive, const std::vector<Entry>& before,
                 const std::vector<Entry>& after) {
    std::map<std::string, const CDR*> old, now;
    for (const Entry& entry : before) old[entry.name] = &entry.record;
    for (const Entry& entry : after) now[entry.name] = &entry.record;
    size_t added = 0, changed = 0, deleted = 0;
    for (const Entry& entry : after) {
        auto it = old.find(entry.name);
        const char* what = it == old.end() ? "added:" : !sameEntry(*it->second, entry.record) ? "changed:" : nullptr;
        if (what == nullptr) continue;
        ++(it == old.end() ? added : changed);
        if (options.verbose) std::printf("%-9s%s\n", what, printable(entry.name).c_str());
    }
    for (const Entry& entry : before) {
        if (now.count(entry.name) != 0) continue;
        ++deleted;
        if (options.verbose) std::printf("%-9s%s\n", "deleted:", printable(entry.name).c_str());
    }
    if (options.quiet) return;
    std::string line = printable(archive) + ": ";
    std::vector<std::string> parts;
    if (added != 0) parts.push_back(std::to_string(added) + " added");
    if (changed != 0) parts.push_back(std::to_string(changed) + " changed");
    if (deleted != 0) parts.push_back(std::to_string(deleted) + " deleted");
    if (parts.empty()) parts.push_back("no entry changed");
    for (size_t i = 0; i < parts.size(); ++i) line += (i != 0 ? ", " : "") + parts[i];
    line += "; " + countOf(after.size(), "entry", "entries") + " in all";
    std::printf("%s\n", line.c_str());
}

// A file that exists and is no archive zar can write is left alone; the
// library would otherwise treat a short file as a new archive.
int checkWritable(const ArchiveName& name, bool* existed) {
    *existed = false;
    if (const std::string problem = archivePathProblem(name.path(), true); !problem.empty()) {
        complain(name.shown() + ": " + problem);
        return kExitFailure;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name.path(), ec)) return kExitOk;
    const uintmax_t size = std::filesystem::file_size(name.path(), ec);
    if (ec || size == 0) return kExitOk;
    if (size < kSmallestArchive) return reportResult(name.shown(), AX_UNKNOWN_KIND);
    uint16_t kind = AX_KIND_NONE;
    const int16_t result = Ax4IdentifyFile(name.path().c_str(), &kind);
    if (result != AX_OK) return reportResult(name.shown(), result);
    if (kind != AX_KIND_ZIP && kind != AX_KIND_OLD_SINGLE_FILE) {
        complain(name.shown() + ": " + explainResult(AX_NOT_ON_THIS_KIND) + ": a " + kindName(kind) +
                 " is only read (code " + std::to_string(AX_NOT_ON_THIS_KIND) + ")");
        return exitStatusFor(AX_NOT_ON_THIS_KIND);
    }
    *existed = true;
    return kExitOk;
}

// Standard input, read whole for Ax4ZipPtr: the entry's data.
struct StdinEntry {
    bool wanted = false;
    std::string name;
    std::string data;
};

// Runs Ax4Zip (when there are files) and Ax4ZipPtr (when standard input is
// wanted) with reporting on, and reads the directory before and after.
int zipRun(const Options& options, const ArchiveName& name, int16_t openMode, bool existed, const std::string& include,
           const std::string& exclude, const std::string& zipOptions, uint64_t totalBytes,
           const StdinEntry& input = {}) {
    ReportSettings settings;
    settings.progress = !options.quiet && !options.noProgress && stderrIsTerminal() && options.verb != Verb::Delete;
    settings.questionsOnTerminal = stdinIsTerminal();
    settings.totalBytes = totalBytes;
    startReporting(settings);
    cancelOnInterrupt();

    OpenArchive archive;
    int16_t result = archive.open(name.path(), static_cast<int16_t>(openMode | AX_OPEN_LONG_NAMES));
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result, true);
    std::vector<Entry> before, after;
    result = entriesBefore(archive.handle(), existed, &before);
    if (result != AX_OK) return reportResult(name.shown(), result);

    if (!include.empty() || !input.wanted)
        result = Ax4Zip(&archive.handle(), include.c_str(), exclude.empty() ? nullptr : exclude.c_str(),
                        zipOptions.c_str());
    if (result == AX_OK && input.wanted)
        result = Ax4ZipPtr(&archive.handle(), input.data.data(), static_cast<int32_t>(input.data.size()),
                           input.name.c_str(), zipOptions.c_str());
    stopReporting();
    // Files passed over with a notice (a link that leads nowhere or back
    // into the walk) leave the rest archived: what changed is told as well.
    const bool passedOver = result == AX_SOME_ENTRIES_FAILED;
    bool changesKnown = false;
    if (result == AX_OK || passedOver) {
        const int16_t read = readEntries(archive.handle(), &after);
        changesKnown = read == AX_OK;
        if (!passedOver) result = read;
    }
    archive.close();

    if (result == AX_CANCELLED && reportCounts().declinedPrompt) {
        complain(name.shown() + ": stopped: a disk prompt needs a terminal; the archive is as it was");
        return kExitFailure;
    }
    if (result == AX_CANCELLED && interrupted()) {
        complain(name.shown() + ": cancelled; the archive is as it was (code " + std::to_string(result) + ")");
        return kExitCancelled;
    }
    if (passedOver && changesKnown) tellChanges(options, name.shown(), before, after);
    if (result != AX_OK) return reportResult(name.shown(), result);
    tellChanges(options, name.shown(), before, after);
    return kExitOk;
}

// The first volume's name for the numbered kinds: the extension ".001".
std::string numberedName(const std::string& path) {
    return fs::path(path).replace_extension(".001").string();
}

const char* kindWords(int kind) {
    switch (kind) {
        case AX_KIND_SPANNED: return "spanned set (one file on each disk)";
        case AX_KIND_FRONT_DIRECTORY: return "directory-first set (one file on each disk)";
        case AX_KIND_OWN_MULTI_VOLUME: return "numbered set";
        default: return "single-file set";
    }
}

// A new set over several volumes, filled by one zip run. It is always made
// afresh, so an existing archive of that name is refused, never emptied.
int volumeRun(const Options& options, const ArchiveName& name, const std::string& include,
              const std::string& exclude, const std::string& zipOptions) {
    std::error_code ec;
    for (const std::string& path : {name.path(), numberedName(name.path())})
        if (fs::exists(path, ec)) {
            complain(path + ": exists; a set over several volumes is written afresh: remove it or choose another "
                            "name");
            return kExitFailure;
        }
    ReportSettings settings;
    settings.progress = !options.quiet && !options.noProgress && stderrIsTerminal();
    settings.questionsOnTerminal = stdinIsTerminal();
    startReporting(settings);
    cancelOnInterrupt();

    AxHandle handle = AX_NO_ARCHIVE;
    int kind = options.volumeKind;
    const uint32_t size = options.volumeSize;
    int16_t result;
    if (kind == 0) {
        // Disks where the archive lies on a removable drive, numbered files elsewhere.
        kind = AX_KIND_SPANNED;
        result = Ax4ZipCreateMV(name.path().c_str(), static_cast<uint16_t>(kind), size, size, &handle);
        if (result == AX_NOT_REMOVABLE) {
            kind = AX_KIND_OWN_MULTI_VOLUME;
            result = Ax4ZipCreateMV(name.path().c_str(), static_cast<uint16_t>(kind), size, size, &handle);
        }
    } else {
        result = Ax4ZipCreateMV(name.path().c_str(), static_cast<uint16_t>(kind), size, size, &handle);
    }
    if (result == AX_NOT_REMOVABLE) {
        stopReporting();
        complain(name.shown() + ": spanned and directory-first sets go on the disks of a removable drive; use "
                                "--volume-kind numbered for files on this drive");
        return kExitFailure;
    }
    if (result == AX_OK)
        result = Ax4Zip(&handle, include.c_str(), exclude.empty() ? nullptr : exclude.c_str(), zipOptions.c_str());
    stopReporting();
    Ax4ZipClose(&handle);
    if (result == AX_CANCELLED && reportCounts().declinedPrompt) {
        complain(name.shown() + ": stopped: a disk prompt needs a terminal; the volumes written so far make no "
                                "complete set");
        return kExitFailure;
    }
    if (result != AX_OK && result != AX_SOME_ENTRIES_FAILED) return reportResult(name.shown(), result);
    const bool numbered = kind == AX_KIND_OWN_MULTI_VOLUME || kind == AX_KIND_OWN_MULTI_VOLUME_3;
    if (!options.quiet)
        std::printf("%s: written as a %s\n", printable(numbered ? numberedName(name.path()) : name.shown()).c_str(),
                    kindWords(kind));
    return result == AX_OK ? kExitOk : reportResult(name.shown(), result);
}

std::string timeOption(const Options& options) {
    if (options.latestTime) return "-O";
    if (options.keepTime) return "-K";
    return {};
}

}  // namespace

int runWrite(const Options& options) {
    ArchiveName name = ArchiveName::forWriting(options.operands[0]);
    if (!options.changeDir.empty()) name.makeAbsolute();
    bool existed = false;
    if (int status = checkWritable(name, &existed); status != kExitOk) return status;

    std::vector<std::string> paths(options.operands.begin() + 1, options.operands.end());
    if (int status = refuseUnquotable(paths); status != kExitOk) return status;
    if (int status = refuseUnquotable(options.excludes); status != kExitOk) return status;

    // The file "-" is standard input, stored as the entry --name (or "-").
    StdinEntry input;
    if (auto dash = std::find(paths.begin(), paths.end(), "-"); dash != paths.end()) {
        paths.erase(dash);
        input.wanted = true;
        input.name = options.stdinNameGiven ? options.stdinName : "-";
        if (const std::string problem = entryNameProblem(input.name); !problem.empty()) {
            complain("--name " + input.name + ": " + problem);
            return kExitUsage;
        }
        if (options.askPassword && !stdinIsTerminal()) {
            complain("--ask-password would read the password from standard input, which '-' takes for the data: "
                     "give --password, or run on a terminal");
            return kExitUsage;
        }
    }

    std::string password, error;
    if (!obtainPassword(options, true, &password, &error)) {
        complain(error);
        return kExitUsage;
    }
    if (input.wanted) {
        if (!readStandardInput(&input.data)) {
            complain(std::string("standard input: ") + std::strerror(errno));
            return kExitFailure;
        }
        if (input.data.size() > static_cast<size_t>(INT32_MAX)) {
            complain("standard input: more than 2 GiB cannot be stored from memory");
            return kExitFailure;
        }
    }
    std::string why;
    if (!options.changeDir.empty() && !changeDirectory(options.changeDir, &why)) {
        complain(options.changeDir + ": " + why);
        return kExitFailure;
    }

    // Directories bring their trees; files and wildcards go as they are.
    std::vector<std::string> patterns, files, directories;
    size_t missing = 0;
    for (const std::string& given : paths) {
        const std::string path = normalizePath(given);
        if (!options.flat && climbsUp(path)) {
            complain(given + ": a name with \"..\" would be stored as it is; use -C DIR to store names relative "
                             "to DIR, or --flat");
            return kExitUsage;
        }
        std::error_code ec;
        if (!hasWildcards(path) && fs::is_directory(path.empty() ? "." : path, ec)) {
            directories.push_back(path);
            patterns.push_back(path.empty() ? "*.*" : path + (path.back() == '/' ? "*.*" : "/*.*"));
        } else if (hasWildcards(path) || fs::exists(fs::symlink_status(path, ec))) {
            files.push_back(path);
            patterns.push_back(path);
        } else {
            complain(given + ": no such file or directory");
            ++missing;
        }
    }
    if (patterns.empty() && missing != 0 && !input.wanted) {
        complain(name.shown() + ": nothing to add (code " + std::to_string(AX_NOTHING_DONE) + ")");
        return kExitNothingMatched;
    }

    OptionString zipOptions;
    zipOptions.add("-.L").add("-.LR");  // names keep their case and their long form
    if (!options.flat) zipOptions.add("-N");
    if (options.recurse || !directories.empty()) zipOptions.add("-R");
    if (!options.noHidden) zipOptions.add("-WHS");
    if (options.level >= 0) zipOptions.add(levelOption(options.level));
    if (options.verb == Verb::Update) zipOptions.add("-U");
    if (options.verb == Verb::Freshen) zipOptions.add("-F");
    if (options.verb == Verb::Move) zipOptions.add("-M");
    if (options.interactive) zipOptions.add("-.Q");
    zipOptions.add(timeOption(options));
    if (!password.empty()) zipOptions.add(passwordOption(password));
    zipOptions.add(options.rawOptions);

    if (options.volumeSize != 0 || options.volumeKind != 0)
        return volumeRun(options, name, patternList(patterns), patternList(options.excludes), zipOptions.text());
    const bool wantBar = !options.quiet && !options.noProgress && stderrIsTerminal();
    const uint64_t total = wantBar ? estimateBytes(files, directories, options.noHidden) + input.data.size() : 0;
    const int16_t mode = options.verb == Verb::Freshen ? AX_OPEN_UPDATE : AX_OPEN_DECIDE;
    const int status = zipRun(options, name, mode, existed, patternList(patterns), patternList(options.excludes),
                              zipOptions.text(), total, input);
    if (status != kExitOk) return status;
    if (options.verb == Verb::Move) removeEmptyDirectories(directories);
    return missing != 0 ? kExitProblems : kExitOk;
}

int runDelete(const Options& options) {
    ArchiveName name = ArchiveName::forWriting(options.operands[0]);
    bool existed = false;
    if (int status = checkWritable(name, &existed); status != kExitOk) return status;
    const std::vector<std::string> patterns(options.operands.begin() + 1, options.operands.end());
    if (int status = refuseUnquotable(patterns); status != kExitOk) return status;
    if (int status = refuseUnquotable(options.excludes); status != kExitOk) return status;
    OptionString zipOptions;
    zipOptions.add("-D").add("-.L").add("-.LR").add(timeOption(options)).add(options.rawOptions);
    return zipRun(options, name, AX_OPEN_UPDATE, existed, patternList(patterns), patternList(options.excludes),
                  zipOptions.text(), 0);
}

}  // namespace zar::cli
