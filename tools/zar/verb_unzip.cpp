// zar test and zar extract: one Ax4UnZip run over the selected entries, with
// the overwrite policy, the password and any raw options composed into the
// library's unzip option string.
#include <cstdio>
#include <string>
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

std::string existingOption(Existing existing) {
    switch (existing) {
        case Existing::Overwrite: return "-O -R+";  // read-only files are made writable first
        case Existing::Skip: return "-O-";
        case Existing::Freshen: return "-F";
        case Existing::Update: return "-N";
        case Existing::Ask: break;
    }
    return {};
}

// What zar needs to know of the selected files before the run: their
// bytes, for the overall bar, and the first that is encrypted.
struct Selected {
    uint64_t bytes = 0;
    std::string firstEncrypted;
};

Selected selectedFiles(AxHandle handle, const std::vector<std::string>& patterns,
                       const std::vector<std::string>& excludes) {
    Selected selected;
    std::vector<Entry> entries;
    if (readEntries(handle, &entries) != AX_OK) return selected;
    const Selection selection(patterns, excludes, true);
    for (const Entry& entry : entries) {
        if (entry.isDirectory() || !selection.selects(entry.name)) continue;
        selected.bytes += entry.record.unpackedSize;
        if (entry.isEncrypted() && selected.firstEncrypted.empty()) selected.firstEncrypted = entry.name;
    }
    return selected;
}

int runUnzip(const Options& options, bool test) {
    ArchiveName name = ArchiveName::forReading(options.operands[0]);
    const std::vector<std::string> patterns(options.operands.begin() + 1, options.operands.end());
    if (int status = refuseUnquotable(patterns); status != kExitOk) return status;
    if (int status = refuseUnquotable(options.excludes); status != kExitOk) return status;
    std::string password, error;
    if (!obtainPassword(options, false, &password, &error)) {
        complain(error);
        return kExitUsage;
    }

    ReportSettings settings;
    settings.entryWord = test ? "testing:" : "extracting:";
    settings.progress = !options.quiet && !options.noProgress && stderrIsTerminal();
    settings.verbose = options.verbose;
    settings.questionsOnTerminal = stdinIsTerminal();
    startReporting(settings);
    cancelOnInterrupt();
    if (int16_t result = name.openInnerTar(); result != AX_OK) return reportResult(name.shown(), result);

    OpenArchive archive;
    int16_t result = archive.open(name.path(), AX_OPEN_READ | AX_OPEN_LONG_NAMES);
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result);
    // Made once the archive is known to open: a failed run leaves no new
    // directory behind.
    if (!test && !options.outputDir.empty() && !prepareOutputDirectory(options.outputDir)) return kExitFailure;

    const Selected selected = selectedFiles(archive.handle(), patterns, options.excludes);
    if (password.empty() && !selected.firstEncrypted.empty() &&
        !askPasswordFor(printable(selected.firstEncrypted), &password))
        settings.noPassword = true;
    settings.totalBytes = selected.bytes;
    startReporting(settings);

    OptionString unzipOptions;
    if (test) {
        unzipOptions.add("-T");
    } else {
        if (!options.flat) unzipOptions.add("-D");
        unzipOptions.add(existingOption(options.existing));
    }
    unzipOptions.add("-.L");
    if (!password.empty()) unzipOptions.add(passwordOption(password));
    unzipOptions.add(options.rawOptions);

    const std::string include = patternList(patterns.empty() ? std::vector<std::string>{"*"} : patterns);
    const std::string exclude = patternList(options.excludes);
    result = Ax4UnZip(&archive.handle(), test || options.outputDir.empty() ? nullptr : options.outputDir.c_str(),
                      include.c_str(), exclude.empty() ? nullptr : exclude.c_str(), unzipOptions.text().c_str());
    stopReporting();
    archive.close();

    const ReportCounts& counts = reportCounts();
    if (result == AX_CANCELLED && counts.declinedPrompt) {
        complain(name.shown() + ": stopped: a disk prompt needs a terminal");
        return kExitFailure;
    }
    if ((result == AX_OK || result == AX_SOME_ENTRIES_FAILED) && !options.quiet) {
        std::string line = printable(name.shown()) + ": ";
        const std::string troubled = countOf(counts.troubled, "file", "files") + " with problems";
        if (test) {
            line += countOf(counts.entries, "file", "files") + " tested, ";
            line += counts.troubled == 0 ? "no problems found" : troubled;
        } else {
            line += countOf(counts.entries - counts.troubled, "file", "files") + " extracted";
            if (!options.outputDir.empty()) line += " into " + printable(options.outputDir);
            if (counts.troubled != 0) line += ", " + troubled;
            if (counts.keptExisting != 0)
                line += ", " + countOf(counts.keptExisting, "existing file", "existing files") + " kept";
        }
        std::printf("%s\n", line.c_str());
    }
    if (result != AX_OK) return reportResult(name.shown(), result);
    // The library finishes with success after some notices (an entry of an
    // unknown method is passed over without the run counting it); every
    // notice zar printed still makes the run one with problems.
    if (counts.troubled != 0) {
        complain(name.shown() + ": " + countOf(counts.troubled, "entry", "entries") +
                 " passed over or suspect");
        return kExitProblems;
    }
    return kExitOk;
}

}  // namespace

int runTest(const Options& options) { return runUnzip(options, true); }
int runExtract(const Options& options) { return runUnzip(options, false); }

}  // namespace zar::cli
