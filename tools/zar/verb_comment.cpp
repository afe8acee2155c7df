// zar comment: shows or sets the archive comment (rewritten in place) or the
// comments of the entries a pattern matches (the archive is rebuilt).
#include <cstdio>
#include <string>
#include <vector>

#include "archive_name.h"
#include "entries.h"
#include "patterns.h"
#include "reporter.h"
#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

// An archive comment has a 16-bit length; an entry comment stays below 8192.
constexpr size_t kLongestArchiveComment = 65535;

// Entry patterns match in their own directory only, as the library matches
// them when it sets entry comments.
bool anyMatch(const std::vector<Entry>& entries, const std::string& pattern) {
    const Selection selection({pattern}, {}, false);
    for (const Entry& entry : entries)
        if (selection.selects(entry.name)) return true;
    return false;
}

int showComments(const Options& options, const ArchiveName& name) {
    OpenArchive archive;
    int16_t result = archive.open(name.path(), AX_OPEN_READ | AX_OPEN_LONG_NAMES);
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result);
    if (options.entryPatterns.empty()) {
        std::vector<char> comment(kLongestArchiveComment + 1, '\0');
        result = Ax4ZipComment(archive.handle(), comment.data(), static_cast<int32_t>(comment.size()));
        if (result != AX_OK) return reportResult(name.shown(), result);
        for (const std::string& line : linesOf(comment.data())) std::printf("%s\n", printable(line).c_str());
        return kExitOk;
    }
    std::vector<Entry> entries;
    result = readEntries(archive.handle(), &entries);
    if (result != AX_OK) return reportResult(name.shown(), result);
    const Selection selection(options.entryPatterns, {}, false);
    bool any = false;
    for (const Entry& entry : entries) {
        if (!selection.selects(entry.name)) continue;
        any = true;
        std::printf("%s:", printable(entry.name).c_str());
        const std::vector<std::string> lines = linesOf(entry.comment);
        if (lines.size() == 1) std::printf(" %s", printable(lines[0]).c_str());
        std::printf("\n");
        if (lines.size() > 1)
            for (const std::string& line : lines) std::printf("  %s\n", printable(line).c_str());
    }
    return any ? kExitOk : reportResult(name.shown(), AX_NOTHING_DONE);
}

}  // namespace

int runComment(const Options& options) {
    ReportSettings settings;
    settings.questionsOnTerminal = stdinIsTerminal();
    startReporting(settings);
    if (options.operands.size() == 1 && options.commentFile.empty() && !options.clear)
        return showComments(options, ArchiveName::forReading(options.operands[0]));
    // Setting rewrites the archive where it is, so never through a link.
    ArchiveName name = ArchiveName::forWriting(options.operands[0]);

    std::string text;
    if (options.operands.size() == 2) {
        text = options.operands[1];
    } else if (!options.commentFile.empty()) {
        if (!readWholeFile(options.commentFile, &text)) {
            complain(options.commentFile + ": cannot be read");
            return kExitFailure;
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    }
    if (text.find('\0') != std::string::npos) {
        complain("a comment cannot hold a NUL byte");
        return kExitUsage;
    }
    if (text.size() > kLongestArchiveComment) return reportResult(name.shown(), AX_TOO_LONG);

    cancelOnInterrupt();
    OpenArchive archive;
    int16_t result = archive.open(name.path(), AX_OPEN_UPDATE | AX_OPEN_LONG_NAMES);
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result, true);
    if (options.entryPatterns.empty()) {
        result = Ax4ZipNewComment(archive.handle(), text.empty() ? nullptr : text.c_str());
        return result == AX_OK ? kExitOk : reportResult(name.shown(), result);
    }

    std::vector<Entry> entries;
    result = readEntries(archive.handle(), &entries);
    if (result != AX_OK) return reportResult(name.shown(), result);
    bool unmatched = false;
    for (const std::string& pattern : options.entryPatterns) {
        if (!anyMatch(entries, pattern)) {
            complain(name.shown() + ": " + pattern + ": no entry matched");
            unmatched = true;
            continue;
        }
        result = Ax4ZipNewFileComment(&archive.handle(), pattern.c_str(), text.c_str());
        if (result == AX_CANCELLED && interrupted()) {
            complain(name.shown() + ": cancelled; the archive is as it was (code " + std::to_string(result) + ")");
            return kExitCancelled;
        }
        if (result != AX_OK) return reportResult(name.shown(), result);
    }
    return unmatched ? kExitNothingMatched : kExitOk;
}

}  // namespace zar::cli
