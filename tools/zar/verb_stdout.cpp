// zar extract --stdout: the bytes of the selected entries, one after the
// other in directory order, to standard output. Each entry is decoded into a
// buffer of fixed size through windows of Ax4UnZipPtr, which go on from one
// another, so memory stays the same however large the entry is. zar keeps
// the CRC-32 of what it writes and compares it with the entry's at the end.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
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

// The size of one window: the memory the data of an entry goes through.
constexpr uint32_t kWindow = 1 << 20;

bool writeOut(const char* data, size_t size) { return writeStandardOutput(data, size); }

}  // namespace

int runExtractToStdout(const Options& options) {
    ArchiveName name = ArchiveName::forReading(options.operands[0]);
    const std::vector<std::string> patterns(options.operands.begin() + 1, options.operands.end());
    std::string password, error;
    if (!obtainPassword(options, false, &password, &error)) {
        complain(error);
        return kExitUsage;
    }

    // Standard output carries the data: every word goes to stderr.
    ReportSettings settings;
    startReporting(settings);
    cancelOnInterrupt();
    if (int16_t result = name.openInnerTar(); result != AX_OK) return reportResult(name.shown(), result);

    OpenArchive archive;
    int16_t result = archive.open(name.path(), AX_OPEN_READ | AX_OPEN_LONG_NAMES);
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result);
    std::vector<Entry> entries;
    if ((result = readEntries(archive.handle(), &entries)) != AX_OK) return reportResult(name.shown(), result);
    // TAR members carry no CRC-32.
    uint16_t kind = AX_KIND_NONE;
    Ax4IdentifyFile(name.path().c_str(), &kind);
    const bool checked = kind != AX_KIND_TAR;

    const Selection selection(patterns.empty() ? std::vector<std::string>{"*"} : patterns, options.excludes, true);
    if (password.empty()) {
        for (const Entry& entry : entries) {
            if (entry.isDirectory() || !entry.isEncrypted() || !selection.selects(entry.name)) continue;
            if (!askPasswordFor(printable(entry.name), &password)) {
                settings.noPassword = true;
                startReporting(settings);
            }
            break;
        }
    }

    OptionString unzipOptions;
    unzipOptions.add("-.L");
    if (!password.empty()) unzipOptions.add(passwordOption(password));
    unzipOptions.add(options.rawOptions);

    std::vector<char> window;
    std::set<std::string> done;
    size_t selected = 0;
    int status = kExitOk;
    for (const Entry& entry : entries) {
        if (entry.isDirectory() || !selection.selects(entry.name)) continue;
        ++selected;
        // The library finds an entry by its name: of two that share one, only
        // the first can be read.
        if (!done.insert(entry.name).second) {
            complain(printable(entry.name) + ": a second entry of this name cannot be read on its own; skipped");
            status = kExitProblems;
            continue;
        }
        const uint32_t size = entry.record.unpackedSize;
        if (window.empty() && size != 0) window.resize(kWindow);
        // An empty entry still has its password and method checked.
        if (size == 0) {
            const unsigned troubledBefore = reportCounts().troubled;
            result = Ax4UnZipPtr(archive.handle(), nullptr, 0, 0, entry.name.c_str(),
                                 (unzipOptions.text() + " -T").c_str());
            if (result != AX_OK) {
                if (reportCounts().troubled == troubledBefore) reportResult(printable(entry.name), result);
                if (exitStatusFor(result) == kExitUsage) return kExitUsage;
                status = kExitProblems;
            }
        }
        uint32_t crc = 0xFFFFFFFFu;
        uint32_t at = 0;
        while (at < size) {
            const uint32_t count = std::min(kWindow, size - at);
            const unsigned troubledBefore = reportCounts().troubled;
            result = Ax4UnZipPtr(archive.handle(), window.data(), static_cast<int32_t>(at), static_cast<int32_t>(count),
                                 entry.name.c_str(), unzipOptions.text().c_str());
            if (result == AX_CANCELLED) {
                complain(name.shown() + ": cancelled (code " + std::to_string(result) + ")");
                return kExitCancelled;
            }
            if (result != AX_OK) {
                // A notice has told of it already, or else the code does now;
                // the window that failed is not written.
                if (reportCounts().troubled == troubledBefore) reportResult(printable(entry.name), result);
                status = exitStatusFor(result) == kExitUsage ? kExitUsage : kExitProblems;
                break;
            }
            if (!writeOut(window.data(), count)) {
                complain(std::string("standard output: ") + std::strerror(errno));
                return kExitFailure;
            }
            crc = AxCrc32A(reinterpret_cast<const uint8_t*>(window.data()), count, crc);
            at += count;
        }
        if (status == kExitUsage) return status;
        if (at == size && size != 0 && checked && ~crc != entry.record.crc) {
            reportResult(printable(entry.name), AX_CRC_MISMATCH);
            status = kExitProblems;
        }
    }
    if (selected == 0) {
        complain(name.shown() + ": " + explainResult(AX_NOTHING_DONE) + " (code " + std::to_string(AX_NOTHING_DONE) +
                 ")");
        return kExitNothingMatched;
    }
    return status;
}

}  // namespace zar::cli
